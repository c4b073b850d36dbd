#include "tests/support/SessionFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool SyntheticSession::writeCard(const QString &cardFolder, bool withAnalysis, QString *error)
{
    m_card = cardFolder;
    m_analysis = withAnalysis;
    SynthTrace trace;
    SynthSummary summary;
    SynthOptions written = options;
    if (withAnalysis)
        written.trace = &trace;
    if (!writeSyntheticRecording(cardFolder, written, &summary, error))
        return false;
    return !withAnalysis || writeSyntheticAnalysis(analysisFolder(), trace, error);
}

bool SyntheticSession::decodeInto(const QString &sessionFolder, QString *error, CardDecodeResult *decoded) const
{
    CardDecodeResult result;
    if (!decodeCardFolder(m_card, sessionFolder, options.calibration, decoded ? decoded : &result, error))
        return false;
    auto copy = [error](const QString &from, const QString &to) {
        QFile::remove(to);
        if (QFile::copy(from, to))
            return true;
        *error = QStringLiteral("cannot copy %1 to %2").arg(from, to);
        return false;
    };
    if (!copy(m_card + "/Puls.txt", sessionFolder + "/Puls.txt"))
        return false;
    if (!m_analysis)
        return true;
    const QString analysis = sessionFolder + "/ANALISI";
    if (!QDir().mkpath(analysis)) {
        *error = QStringLiteral("cannot make %1").arg(analysis);
        return false;
    }
    for (const QString &name : QDir(analysisFolder()).entryList(QDir::Files))
        if (!copy(analysisFolder() + "/" + name, analysis + "/" + name))
            return false;
    return true;
}

bool SyntheticSession::decodeForSession(TestDatabase &data, SessionRecord &session, QString *error) const
{
    session.dataPathName = session.patientFC + "/" + std::to_string(session.id);
    if (!data.db().updateSession(session)) {
        *error = QStringLiteral("cannot store the data folder of session %1").arg(session.id);
        return false;
    }
    return decodeInto(data.dataDir() + "/" + QString::fromStdString(session.dataPathName), error);
}
