// Where the data folder is, the first start that makes its archive and first user, and the
// permissions of what the workstation and initdb create there, on real folders and database files.
#include "tests/support/TestMain.h"
#include "app/Platform.h"
#include "app/data/DataFolder.h"
#include "app/data/FirstStart.h"
#include "common/PrivateFiles.h"
#include "db/Database.h"
#include "db/Password.h"
#include "db/Schema.h"
#include "tests/support/ScriptedPrompts.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

int mode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// "name|surname|username|password|again"
Prompts::UserForm form(const QString &fields)
{
    const QStringList f = fields.split('|');
    return {f.value(0), f.value(1), f.value(2), f.value(3), f.value(4)};
}

} // namespace

class FirstStartTest : public QObject
{
    Q_OBJECT
private slots:
    void dataFolderChoice_data();
    void dataFolderChoice();
    void firstStart_data();
    void firstStart();
    void newFilesArePrivate_data();
    void newFilesArePrivate();
};

void FirstStartTest::dataFolderChoice_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("installedHere");
    QTest::addColumn<QString>("expected"); // "program/..." and "user/..." are relative to those folders
    QTest::addColumn<int>("source");
    using S = DataFolder::Source;
    QTest::newRow("option first") << "/srv/a/" << "/srv/b" << true << false << "/srv/a" << int(S::Option);
    QTest::newRow("relative option") << "rel/DATA" << "" << true << false << QDir::current().filePath("rel/DATA")
                                     << int(S::Option);
    QTest::newRow("environment") << "" << "/srv/b" << true << false << "/srv/b" << int(S::Environment);
    QTest::newRow("own writable folder") << "" << "" << true << false << "program/DATA" << int(S::ProgramFolder);
    QTest::newRow("read-only folder") << "" << "" << false << false << "user/DATA" << int(S::UserFolder);
    QTest::newRow("installed, even writable") << "" << "" << true << true << "user/DATA" << int(S::UserFolder);
}

void FirstStartTest::dataFolderChoice()
{
    QFETCH(QString, option);
    QFETCH(QString, environment);
    QFETCH(bool, writable);
    QFETCH(bool, installedHere);
    QFETCH(QString, expected);
    QFETCH(int, source);
    QTemporaryDir program;
    QTemporaryDir user;
    DataFolder::Facts facts;
    facts.option = option;
    facts.environment = environment;
    facts.programFolder = program.path();
    facts.programFolderWritable = writable;
    // Through a differently spelled path: the same folder all the same.
    facts.installedFolder = installedHere ? program.path() + "/." : QStringLiteral("/usr/bin");
    facts.userFolder = user.path();
    const DataFolder chosen = DataFolder::choose(facts);
    expected.replace(QRegularExpression("^program"), program.path()).replace(QRegularExpression("^user"), user.path());
    QCOMPARE(chosen.path, expected);
    QCOMPARE(int(chosen.source), source);
}

void FirstStartTest::firstStart_data()
{
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QStringList>("forms");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QStringList>("warnings");
    const QString good = " Maria |Rossi|mrossi|segreta-123|segreta-123";
    using O = FirstStart::Outcome;
    QTest::newRow("archive declined") << QStringList{"Cancel"} << QStringList() << int(O::Cancelled) << QStringList();
    QTest::newRow("form cancelled") << QStringList{"OK"} << QStringList() << int(O::Cancelled) << QStringList();
    QTest::newRow("created") << QStringList{"OK"} << QStringList{good} << int(O::Ready) << QStringList();
    QTest::newRow("short, then good")
        << QStringList{"OK"} << QStringList{"Maria|Rossi|mrossi|1234567|1234567", good} << int(O::Ready)
        << QStringList{"La password deve contenere almeno 8 caratteri."};
    QTest::newRow("empty surname, differing, cancelled")
        << QStringList{"OK"} << QStringList{"Maria| |mrossi|segreta-123|segreta-123", "Maria|Rossi|mrossi|segreta-123|segreta-124"}
        << int(O::Cancelled) << QStringList{"Inserire nome, cognome e nome utente.", "Le due password non coincidono."};
}

void FirstStartTest::firstStart()
{
    QFETCH(QStringList, buttons);
    QFETCH(QStringList, forms);
    QFETCH(int, outcome);
    QFETCH(QStringList, warnings);
    QTemporaryDir root;
    const QString folder = root.filePath("clinic/DATA");
    ScriptedPrompts prompts;
    prompts.buttons.append(buttons);
    for (const QString &f : forms)
        prompts.userForms.enqueue(form(f));

    const mode_t previous = umask(0); // whatever the umask: owner only
    const FirstStart::Outcome result = FirstStart(prompts).run(folder);
    umask(previous);

    QCOMPARE(int(result), outcome);
    QStringList expectedBoxes{"Primo avvio|Nessun archivio trovato in " + QDir::toNativeSeparators(folder)
                              + ". Crearne uno nuovo?"};
    for (const QString &w : warnings)
        expectedBoxes.append("Primo utente|" + w);
    QCOMPARE(prompts.boxTexts(), expectedBoxes);
    // A form asked again keeps what was typed but the passwords.
    for (int i = 1; i < prompts.shownForms.size(); ++i) {
        QCOMPARE(prompts.shownForms[i].username, QString("mrossi"));
        QVERIFY(prompts.shownForms[i].password.isEmpty() && prompts.shownForms[i].passwordAgain.isEmpty());
    }
    if (outcome != int(FirstStart::Outcome::Ready)) {
        QVERIFY2(!QFileInfo::exists(root.filePath("clinic")), "nothing is written before both answers");
        return;
    }
    QCOMPARE(mode(root.filePath("clinic")), 0700);
    QCOMPARE(mode(folder), 0700);
    QCOMPARE(mode(folder + "/krnDb.db"), 0600);
    Database db;
    db.open(folder + "/krnDb.db");
    QVERIFY(db.hasSchema());
    std::vector<UserRecord> users;
    QVERIFY(db.listUsers(users));
    QCOMPARE(int(users.size()), 1);
    QCOMPARE(users[0].name + "/" + users[0].surname + "/" + users[0].username + "/" + users[0].role,
             std::string("Maria/Rossi/mrossi/doctor"));
    QCOMPARE(users[0].password, passwordDigest("segreta-123"));

    // The next start finds the archive and asks nothing.
    ScriptedPrompts again;
    QCOMPARE(FirstStart(again).run(folder), FirstStart::Outcome::Ready);
    QVERIFY(again.boxes.isEmpty());
}

void FirstStartTest::newFilesArePrivate_data()
{
    QTest::addColumn<int>("folderMode"); // -1: the data folder does not exist yet
    QTest::addColumn<int>("newFolder");
    QTest::addColumn<int>("newFile");
    QTest::newRow("new folder") << -1 << 0700 << 0600;
    QTest::newRow("owner only") << 0700 << 0700 << 0600;
    QTest::newRow("open to all: others left out") << 0755 << 0750 << 0640;
    QTest::newRow("shared with a group") << 0770 << 0770 << 0660;
    QTest::newRow("group may read") << 0750 << 0750 << 0640;
}

void FirstStartTest::newFilesArePrivate()
{
    QFETCH(int, folderMode);
    QFETCH(int, newFolder);
    QFETCH(int, newFile);
    QTemporaryDir root;
    const QString folder = root.filePath("DATA");
    if (folderMode >= 0) {
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode_t(folderMode)) == 0);
    }
    const mode_t previous = umask(0);
    // The archive as initdb and the first start make it.
    QString error;
    QVERIFY2(createDatabaseFile(folder + "/krnDb.db", &error), qPrintable(error));
    QCOMPARE(mode(folder + "/krnDb.db"), newFile);
    // A session folder and a decoded file as the workstation makes them, after its start-up.
    Platform::keepNewFilesPrivate(PrivateFiles::groupBits(folder));
    const bool made = QDir().mkpath(folder + "/RSSMRA80A01H501U/1");
    QFile decoded(folder + "/RSSMRA80A01H501U/1/ecg.txt");
    const bool written = decoded.open(QIODevice::WriteOnly);
    decoded.close();
    umask(previous);
    QVERIFY(made && written);
    QCOMPARE(mode(folder), folderMode >= 0 ? folderMode : newFolder);
    QCOMPARE(mode(folder + "/RSSMRA80A01H501U"), newFolder);
    QCOMPARE(mode(decoded.fileName()), newFile);
}

KRN_TEST_GUILESS_MAIN(FirstStartTest)
#include "tst_firststart.moc"
