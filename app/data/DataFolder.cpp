#include "app/data/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const char *const DataFolderName = "DATA";

QString absoluteClean(const QString &path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

bool sameFolder(const QString &a, const QString &b)
{
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

} // namespace

DataFolder::Facts DataFolder::Facts::ofThisProcess(const QString &option)
{
    Facts facts;
    facts.option = option;
    facts.environment = qEnvironmentVariable("TAVOKRN_DATA_DIR");
    facts.programFolder = QCoreApplication::applicationDirPath();
    facts.programFolderWritable = QFileInfo(facts.programFolder).isWritable();
    facts.installedFolder = QStringLiteral(KRN_INSTALL_BINDIR);
    facts.userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return facts;
}

DataFolder DataFolder::choose(const Facts &facts)
{
    if (!facts.option.isEmpty())
        return {absoluteClean(facts.option), Source::Option};
    if (!facts.environment.isEmpty())
        return {absoluteClean(facts.environment), Source::Environment};
    // Even where an administrator may write beside the installed program, the data stays out of
    // the system's folders.
    if (facts.programFolderWritable && !sameFolder(facts.programFolder, facts.installedFolder))
        return {absoluteClean(facts.programFolder + "/" + DataFolderName), Source::ProgramFolder};
    return {absoluteClean(facts.userFolder + "/" + DataFolderName), Source::UserFolder};
}

QString DataFolder::describe() const
{
    switch (source) {
    case Source::Option: return QStringLiteral("Data folder %1 (--data-dir)").arg(path);
    case Source::Environment: return QStringLiteral("Data folder %1 (TAVOKRN_DATA_DIR)").arg(path);
    case Source::ProgramFolder: return QStringLiteral("Data folder %1 (beside the program)").arg(path);
    case Source::UserFolder: return QStringLiteral("Data folder %1 (the user's application data)").arg(path);
    }
    return path;
}
