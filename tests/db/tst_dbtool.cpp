// The database commands of tavokrn-tool, run as a separate process.
#include "tests/support/TestMain.h"
#include "db/Database.h"
#include "db/Password.h"
#include "tests/support/ToolRun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

ToolRun tool(const QStringList &args, const QByteArray &input = {}) { return runTool(args, 20000, input); }

} // namespace

class TestDbTool : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(qEnvironmentVariable("KRN_TOOL")), "KRN_TOOL does not name the tool");
        QVERIFY(dir.isValid());
    }

    void initDbCreatesOnceAndRefusesAnExistingFile()
    {
        const QString file = dir.filePath("init.db");
        const ToolRun first = tool({"initdb", file});
        QCOMPARE(first.exitCode, 0);
        QVERIFY(QFile::exists(file));

        Database db;
        db.open(file);
        std::vector<UserRecord> users;
        QVERIFY(db.listUsers(users));
        QVERIFY(users.empty());
        db.close();

        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        const ToolRun again = tool({"initdb", file});
        QVERIFY(again.exitCode != 0);
        QVERIFY2(again.err.contains("already exists"), qPrintable(again.err));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);

        const ToolRun noFile = tool({"initdb"});
        QVERIFY(noFile.exitCode != 0);
        QVERIFY(noFile.err.contains("DB_FILE"));
    }

    void addUserStoresTheDigest()
    {
        const QString file = dir.filePath("users.db");
        QCOMPARE(tool({"initdb", file}).exitCode, 0);
        const ToolRun r = tool({"adduser", file, "--username", "mrossi", "--password", "segreta", "--name", "Maria",
                            "--surname", "Rossi", "--role", "nurse"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(tool({"adduser", file, "--username", "gverdi", "--password", "x", "--name", "Gino", "--surname",
                       "Verdi"})
                     .exitCode,
                 0);

        Database db;
        db.open(file);
        std::vector<UserRecord> users;
        QVERIFY(db.listUsers(users));
        QCOMPARE(int(users.size()), 2);
        QCOMPARE(users[0].username, std::string("mrossi"));
        QCOMPARE(users[0].password, passwordDigest("segreta"));
        QCOMPARE(users[0].name, std::string("Maria"));
        QCOMPARE(users[0].surname, std::string("Rossi"));
        QCOMPARE(users[0].role, std::string("nurse"));
        QCOMPARE(users[1].role, std::string());
    }

    void addUserReportsMissingOptionsAndFiles()
    {
        const QString file = dir.filePath("errors.db");
        QCOMPARE(tool({"initdb", file}).exitCode, 0);
        const ToolRun noPassword = tool({"adduser", file, "--username", "u", "--name", "N", "--surname", "S"});
        QVERIFY(noPassword.exitCode != 0);
        QVERIFY2(noPassword.err.contains("--password"), qPrintable(noPassword.err));

        const ToolRun unknown = tool({"adduser", file, "--username", "u", "--password", "p", "--name", "N",
                                  "--surname", "S", "--colour", "red"});
        QVERIFY(unknown.exitCode != 0);
        QVERIFY2(unknown.err.contains("colour"), qPrintable(unknown.err));

        const QString missing = dir.filePath("missing.db");
        const ToolRun noDb = tool({"adduser", missing, "--username", "u", "--password", "p", "--name", "N",
                               "--surname", "S"});
        QVERIFY(noDb.exitCode != 0);
        QVERIFY2(noDb.err.contains("cannot open database"), qPrintable(noDb.err));
        QVERIFY(!QFile::exists(missing));

        Database db;
        db.open(file);
        std::vector<UserRecord> users;
        QVERIFY(db.listUsers(users));
        QVERIFY(users.empty());
    }

    void passwdAndUsers()
    {
        const QString file = dir.filePath("passwd.db");
        QCOMPARE(tool({"initdb", file}).exitCode, 0);
        QCOMPARE(tool({"adduser", file, "--username", "mrossi", "--password", "old", "--name", "Maria", "--surname",
                       "Rossi", "--role", "nurse"}).exitCode, 0);
        // Standard input as a pipe: the two lines a terminal would be asked for without echo.
        const struct { QStringList args; QByteArray input; int exitCode; QString message, stored; } rows[] = {
            {{"--username", "mrossi"}, "nuova-pass\nnuova-pasS\n", 1, "the two passwords differ", "old"},
            {{"--username", "mrossi"}, "corta\ncorta\n", 1, "at least 8 characters", "old"},
            {{"--username", "mrossi"}, "nuova-pass\n", 1, "no password given", "old"},
            {{"--username", "nessuno"}, "nuova-pass\nnuova-pass\n", 1, "has no user nessuno", "old"},
            {{"--username", "mrossi", "--password", "nuova-pass"}, {}, 2, "Unknown option 'password'", "old"},
            {{"--username", "mrossi"}, "nuova-pass\r\nnuova-pass", 0, "password of mrossi changed", "nuova-pass"},
        };
        for (const auto &r : rows) {
            const ToolRun run = tool(QStringList{"passwd", file} + r.args, r.input);
            QVERIFY2(run.exitCode == r.exitCode && (run.out + run.err).contains(r.message), qPrintable(run.err));
            Database db;
            db.open(file);
            std::vector<UserRecord> users;
            QVERIFY(db.listUsers(users) && users.at(0).password == passwordDigest(r.stored));
        }
        const ToolRun list = tool({"users", file}); // who is there with which role, never a digest
        QCOMPARE(list.out, QString("id\tusername\trole\tname\tsurname\n1\tmrossi\tnurse\tMaria\tRossi\n"));
    }
};

KRN_TEST_GUILESS_MAIN(TestDbTool)
#include "tst_dbtool.moc"
