#include "report/SessionReport.h"

#include "common/Prompts.h"
#include "db/Database.h"
#include "report/DesktopOpener.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

SessionReport::Result SessionReport::generate(const ReportInput &input, Database &db, const QString &dataFolder)
{
    m_error.clear();
    if (!m_builder.write(input, db)) {
        m_error = m_builder.errorString();
        return Result::PdfNotWritten;
    }
    SessionRecord analysed = input.session;
    analysed.status = "ANALYZED";
    analysed.reportPathName = reportPathName(dataFolder, input.sessionFolder).toStdString();
    analysed.whoAnalyzedID = input.author.id;
    if (!db.updateSession(analysed)) {
        m_error = "the session could not be marked as analysed: " + db.lastError();
        return Result::SessionNotUpdated;
    }
    return Result::Done;
}

QString SessionReport::reportPathName(const QString &dataFolder, const QString &sessionFolder)
{
    const QString prefix = QDir::cleanPath(dataFolder) + "/";
    QString folder = QDir::cleanPath(sessionFolder);
    if (folder.startsWith(prefix))
        folder = folder.mid(prefix.size());
    return folder + "/Report.pdf";
}

QString SessionReport::reportFile(const QString &dataFolder, const SessionRecord &session)
{
    const QString stored = QString::fromStdString(session.reportPathName);
    if (stored.isEmpty())
        return QString();
    return QDir::isAbsolutePath(stored) ? stored : QDir::cleanPath(dataFolder) + "/" + stored;
}

bool openSessionReport(const QString &dataFolder, const SessionRecord &session, DesktopOpener &desktop,
                       Prompts &prompts)
{
    const QString path = SessionReport::reportFile(dataFolder, session);
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        qInfo().noquote() << "Report not found: " + path;
        prompts.inform(Prompts::Icon::Critical, "Errore apertura report",
                       "Il file Report.pdf di questa sessione non è stato trovato.");
        return false;
    }
    if (!desktop.openFile(path)) {
        prompts.inform(Prompts::Icon::Critical, "Errore apertura report",
                       "Non è stato trovato un programma predefinito per aprire il file Report.pdf");
        return false;
    }
    return true;
}
