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

#include <QtTest>
#include <sys/stat.h>

namespace {
int mode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}
} // namespace

class FirstStartTest : public QObject
{
    Q_OBJECT
private slots:
    void dataFolderChoice()
    {
        QTemporaryDir program, user;
        using S = DataFolder::Source;
        const struct { QString option, environment; bool writable, installedHere; QString path; S source; } rows[] = {
            {"/srv/a/", "/srv/b", true, false, "/srv/a", S::Option},
            {"rel/DATA", "", true, false, QDir::current().filePath("rel/DATA"), S::Option},
            {"", "/srv/b", true, false, "/srv/b", S::Environment},
            {"", "", true, false, program.filePath("DATA"), S::ProgramFolder},
            {"", "", false, false, user.filePath("DATA"), S::UserFolder},
            {"", "", true, true, user.filePath("DATA"), S::UserFolder}, // installed: never beside itself
        };
        for (const auto &r : rows) {
            const QString installed = r.installedHere ? program.path() + "/." : "/usr/bin";
            const DataFolder chosen =
                DataFolder::choose({r.option, r.environment, program.path(), r.writable, installed, user.path()});
            QCOMPARE(chosen.path, r.path);
            QCOMPARE(chosen.source, r.source);
        }
    }

    void firstStart_data()
    {
        QTest::addColumn<QStringList>("answers"); // the archive box's button, then the forms
        QTest::addColumn<QStringList>("warnings");
        const QString good = " Maria |Rossi|mrossi|segreta-123|segreta-123";
        QTest::newRow("declined") << QStringList{"Cancel"} << QStringList();
        QTest::newRow("created") << QStringList{"OK", good} << QStringList();
        QTest::newRow("short, then good") << QStringList{"OK", "Maria|Rossi|mrossi|1234567|1234567", good}
                                          << QStringList{"La password deve contenere almeno 8 caratteri."};
        QTest::newRow("no surname, differing, cancelled")
            << QStringList{"OK", "Maria| |mrossi|segreta-123|segreta-123", "Maria|Rossi|mrossi|segreta-123|segreta-12"}
            << QStringList{"Inserire nome, cognome e nome utente.", "Le due password non coincidono."};
    }

    void firstStart()
    {
        QFETCH(QStringList, answers);
        QFETCH(QStringList, warnings);
        QTemporaryDir root;
        const QString folder = root.filePath("clinic/DATA");
        ScriptedPrompts prompts;
        prompts.buttons.enqueue(answers.takeFirst());
        for (const QString &f : answers) {
            const QStringList v = f.split('|');
            prompts.userForms.enqueue(Prompts::UserForm{v[0], v[1], v[2], v[3], v[4]});
        }
        const mode_t umaskBefore = umask(0); // owner only, whatever the umask
        const bool ready = FirstStart(prompts).run(folder) == FirstStart::Outcome::Ready;
        umask(umaskBefore);

        QStringList boxes{"Primo avvio|Nessun archivio trovato in " + folder + ". Crearne uno nuovo?"};
        for (const QString &w : warnings)
            boxes.append("Primo utente|" + w);
        QCOMPARE(prompts.boxTexts(), boxes);
        for (int i = 1; i < prompts.shownForms.size(); ++i) // asked again: all but the passwords kept
            QVERIFY(prompts.shownForms[i].username == "mrossi" && prompts.shownForms[i].password.isEmpty());
        QCOMPARE(ready, answers.size() > 0 && answers.last().startsWith(" Maria"));
        QCOMPARE(QFileInfo::exists(root.filePath("clinic")), ready); // nothing is written before both answers
        if (!ready)
            return;
        QCOMPARE(QList<int>({mode(root.filePath("clinic")), mode(folder), mode(folder + "/krnDb.db")}),
                 QList<int>({0700, 0700, 0600}));
        Database db;
        db.open(folder + "/krnDb.db");
        std::vector<UserRecord> users;
        QVERIFY(db.hasSchema() && db.listUsers(users) && users.size() == 1);
        QCOMPARE(users[0].name + users[0].surname + users[0].username + users[0].role,
                 std::string("MariaRossimrossidoctor"));
        QCOMPARE(users[0].password, passwordDigest("segreta-123"));
        ScriptedPrompts again; // the next start finds the archive and asks nothing
        QVERIFY(FirstStart(again).run(folder) == FirstStart::Outcome::Ready && again.boxes.isEmpty());
    }

    void newFilesArePrivate()
    {
        // The data folder's mode (0: made by initdb), then what new folders and files get in it.
        for (const QList<int> &row : {QList<int>{0, 0700, 0600}, {0755, 0750, 0640}, {0770, 0770, 0660}}) {
            QTemporaryDir root;
            const QString folder = root.filePath("DATA");
            if (row[0])
                QVERIFY(QDir().mkdir(folder) && ::chmod(QFile::encodeName(folder).constData(), mode_t(row[0])) == 0);
            const mode_t umaskBefore = umask(0);
            QVERIFY(createDatabaseFile(folder + "/krnDb.db"));
            // A session folder and a decoded file as the workstation makes them after its start-up.
            Platform::keepNewFilesPrivate(PrivateFiles::groupBits(folder));
            QDir().mkpath(folder + "/FC/1");
            QFile(folder + "/FC/1/ecg.txt").open(QIODevice::WriteOnly);
            umask(umaskBefore);
            QCOMPARE(QList<int>({mode(folder + "/krnDb.db"), mode(folder + "/FC"), mode(folder + "/FC/1/ecg.txt")}),
                     QList<int>({row[2], row[1], row[2]}));
        }
    }
};

KRN_TEST_GUILESS_MAIN(FirstStartTest)
#include "tst_firststart.moc"
