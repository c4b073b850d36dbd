#include "report/EdfExportAction.h"

#include "report/EdfExport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace {

const QString Title = QStringLiteral("Esportazione EDF");

QString fileWord(const std::string &text)
{
    QString word;
    for (const QChar c : QString::fromStdString(text).normalized(QString::NormalizationForm_D)) {
        if (c.unicode() < 128 && c.isLetterOrNumber())
            word.append(c);
        else if (c.isSpace() && !word.endsWith(QLatin1Char('-')))
            word.append(QLatin1Char('-'));
    }
    return word;
}

} // namespace

QString EdfExportAction::suggestedFileName(const PatientRecord &patient, const SessionRecord &session)
{
    const QString date = QDateTime::fromSecsSinceEpoch(session.startRecDate).toString(QStringLiteral("yyyy-MM-dd"));
    return fileWord(patient.surname) + QLatin1Char('_') + fileWord(patient.name) + QLatin1Char('_') + date
           + QStringLiteral(".edf");
}

bool EdfExportAction::run(const SessionRecord &session, const PatientRecord &patient, const QString &sessionFolder,
                          const QString &startFolder)
{
    QString path = m_prompts.saveFileName(QStringLiteral("Esporta la registrazione in formato EDF+"),
                                          QDir(startFolder).filePath(suggestedFileName(patient, session)),
                                          QStringLiteral("File EDF+ (*.edf)"));
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".edf");

    const auto failed = [&](const QString &reason) {
        m_prompts.inform(Prompts::Icon::Critical, QStringLiteral("Esportazione EDF non riuscita"),
                         reason + QStringLiteral("\nNessun file è stato salvato."));
        return false;
    };
    EdfSessionInfo info;
    QString error;
    if (!EdfSessionInfo::read(m_db, session.id, sessionFolder, &info, &error))
        return failed(error);

    Prompts::ProgressSpec setup;
    setup.title = Title;
    setup.labelText = QStringLiteral("Esportazione della registrazione di %1 %2 in corso")
                          .arg(QString::fromStdString(patient.surname), QString::fromStdString(patient.name));
    setup.cancelText = QStringLiteral("Annulla");
    setup.maximum = ProgressSteps;
    setup.fixedWidth = 600;
    std::unique_ptr<Prompts::Progress> progress = m_prompts.progress(setup);
    int shown = 0;
    EdfExport exporter(sessionFolder, std::move(info));
    const bool written = exporter.write(path, [&](qint64 done, qint64 total) {
        const int step = int(done * ProgressSteps / total);
        if (step != shown)
            progress->setValue(shown = step);
        return !progress->wasCanceled();
    });
    progress.reset();
    if (exporter.wasCanceled())
        return false;
    if (!written)
        return failed(exporter.errorString());
    m_prompts.inform(Prompts::Icon::Information, Title,
                     QStringLiteral("La registrazione è stata esportata in\n%1").arg(QDir::toNativeSeparators(path)));
    return true;
}
