#include "device/ImportedCard.h"

#include "db/Database.h"
#include "import/RecordingFormat.h"

#include <QFileInfo>

#include <vector>

std::optional<QDateTime> importedSessionDate(Database &database, const QString &dataFolder,
                                             const QByteArray &identifier)
{
    constexpr int FiscalCodeSize = 16;
    constexpr int IdDigits = 4;
    if (identifier.size() != FiscalCodeSize + IdDigits)
        return std::nullopt;
    bool number = false;
    const int id = identifier.mid(FiscalCodeSize).toInt(&number);
    if (!number)
        return std::nullopt;
    std::vector<SessionRecord> sessions;
    if (!database.listSessions(identifier.left(FiscalCodeSize).toStdString(), sessions))
        return std::nullopt;
    for (const SessionRecord &session : sessions) {
        if (session.id != id || (session.status != "LOADED" && session.status != "ANALYZED")
            || session.dataPathName.empty())
            continue;
        const QString folder = dataFolder + "/" + QString::fromStdString(session.dataPathName) + "/";
        if (!QFileInfo(folder + EcgFormat.fileName).isFile() || !QFileInfo(folder + BreathFormat.fileName).isFile())
            return std::nullopt;
        return QDateTime::fromSecsSinceEpoch(session.importDate);
    }
    return std::nullopt;
}
