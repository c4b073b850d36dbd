// The events of an analysis folder in a real database file: conversion and reuse with the review
// state, and `tavokrn-tool events` run as a separate process over a synthetic analysis folder.

#include "tests/support/TestMain.h"
#include "tests/support/SessionFiles.h"
#include "review/data/AnalysisResults.h"
#include "review/data/BeatFile.h"
#include "review/data/EventStore.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/ToolRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Two ventricular beats, a bigeminy, a pause and an ST episode with its extreme.
const QByteArray beatText = "0:00:01.000\t500\tN\t0\tL2\t0\n"
                            "0:00:02.002\t1001\tV\t0\tL2\t0\n"
                            "0:00:05.000\t2500\t+\t0\tL2\t0\t(B\n"
                            "0:00:20.000\t10000\t+\t0\tL2\t0\t(N\n"
                            "0:00:30.000\t15000\t+\t0\tL2\t0\t(P)\n"
                            "0:00:31.500\t15750\tV\t0\tV1\t0\n"
                            "0:01:00.000\t30000\ts\t0\tV5\t0\t(ST\n"
                            "0:01:10.000\t35000\ts\t0\tV5\t0\tAST0-180\n"
                            "0:02:00.000\t60000\ts\t0\tV5\t0\t(N\n";

int rowCount(Database &db, int sessionId)
{
    std::vector<AnnotationRecord> rows;
    if (!db.listAnnotations(sessionId, std::string(), rows))
        return -1;
    return int(rows.size());
}

bool execute(Database &db, const char *sql)
{
    Query q;
    q.sql = sql;
    return db.execute(q);
}

BeatFile parsed(const QByteArray &text)
{
    BeatFile file;
    file.parse(text);
    return file;
}

} // namespace

class EventStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void convertsOnceThenReusesWithTheStatus();
    void toolRunsTheSameLoad();
    void toolFailures();
    void analysedSessionAndDamagedFiles();

private:
    std::unique_ptr<TestDatabase> m_fixture;
    int m_session = 0;
};

void EventStoreTest::init()
{
    m_fixture = std::make_unique<TestDatabase>();
    QVERIFY2(m_fixture->isValid(), qPrintable(m_fixture->error()));
    m_fixture->addPatient("RSSMRA80A01H501U");
    m_session = m_fixture->addSession("RSSMRA80A01H501U", "LOADED", 1709544600).id;
    QVERIFY(m_session > 0);
}

void EventStoreTest::cleanup() { m_fixture.reset(); }

void EventStoreTest::convertsOnceThenReusesWithTheStatus()
{
    Database &db = m_fixture->db();
    const BeatFile file = parsed(beatText);
    EventStore store(&db);
    QVERIFY2(store.load(m_session, file), qPrintable(store.errorString()));
    QVERIFY(store.wroteRows());
    QCOMPARE(store.rowCount(), 5);
    QCOMPARE(rowCount(db, m_session), 5);
    QCOMPARE(store.sourceId(), file.sourceId());

    EventList &list = store.list();
    const int v = EventList::typeIndex("V");
    QCOMPARE(list.size(v), 2);
    QVERIFY(list.at(v, 0)->id > 0);
    QVERIFY(list.at(v, 0)->id != list.at(v, 1)->id);
    QVERIFY(store.accept(list.at(v, 0)));
    QVERIFY(store.reject(list.at(v, 1)));
    Event *st = list.current(EventList::typeIndex("ST"));
    QVERIFY(st);
    QVERIFY(store.acceptPrint(st));
    QVERIFY(st->accepted && st->printed);

    // The same file again (another store, as after reopening the session): nothing inserted, the
    // review state and the ST extreme come back from the table.
    EventStore again(&db);
    QVERIFY(again.load(m_session, parsed(beatText)));
    QVERIFY(!again.wroteRows());
    QCOMPARE(again.rowCount(), 5);
    QCOMPARE(rowCount(db, m_session), 5);
    QVERIFY(again.list().at(v, 0)->accepted);
    QVERIFY(again.list().at(v, 1)->rejected);
    const Event *stAgain = again.list().current(EventList::typeIndex("ST"));
    QCOMPARE(stAgain->status(), QString("printed"));
    QCOMPARE(stAgain->stMaxValue, -180.0);
    QCOMPARE(stAgain->stMaxTime, 70.0);
    QCOMPARE(again.list().at(v, 0)->start, 2.002);

    // Another file is another source: its own rows, the first file's stay.
    EventStore other(&db);
    QVERIFY(other.load(m_session, parsed(beatText + "0:03:00.000\t90000\tV\t0\tL2\t0\n")));
    QVERIFY(other.wroteRows());
    QCOMPARE(other.rowCount(), 6);
    QCOMPARE(rowCount(db, m_session), 11);
}

void EventStoreTest::toolRunsTheSameLoad()
{
    // A synthetic analysis folder with every kind of event, as the analysis tool leaves it.
    QTemporaryDir dir;
    const QString folder = dir.filePath("ANALISI");
    const ToolRun synth = runTool({"synth", "--hours", "0.3", "--analysis", folder, dir.filePath("card")});
    QVERIFY2(synth.exitCode == 0, qPrintable(synth.err));
    QFile beats(folder + "/annotations_fusion.pt");
    QVERIFY(beats.open(QIODevice::ReadOnly));
    const QString digest = QCryptographicHash::hash(beats.readAll(), QCryptographicHash::Md5).toHex();
    const QString session = QString::number(m_session);

    const ToolRun first = runTool({"events", m_fixture->dbPath(), session, folder});
    QVERIFY2(first.exitCode == 0, qPrintable(first.err));
    const int stored = rowCount(m_fixture->db(), m_session);
    QVERIFY(stored > 10);
    QCOMPARE(first.out, QString("source %1 rows %2 written\n").arg(digest).arg(stored));

    const ToolRun second = runTool({"events", m_fixture->dbPath(), session, folder});
    QCOMPARE(second.exitCode, 0);
    QCOMPARE(second.out, QString("source %1 rows %2 reused\n").arg(digest).arg(stored));
    QCOMPARE(rowCount(m_fixture->db(), m_session), stored);
    // Every list kind the synthetic heart plays is there, the ST episode with its extreme.
    std::vector<AnnotationRecord> rows;
    QVERIFY(m_fixture->db().listAnnotations(m_session, digest.toStdString(), rows));
    QStringList types;
    for (const AnnotationRecord &r : rows) {
        types << QString::fromStdString(r.m_type);
        if (r.m_type == "st")
            QCOMPARE(r.m_valueMax, -200.0f);
    }
    for (const char *type : {"veb", "vt", "bradichardia", "pause", "bigemia", "st"})
        QVERIFY2(types.contains(type), type);
}

void EventStoreTest::toolFailures()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("ANALISI");
    QVERIFY(QDir().mkpath(folder));
    const QString db = m_fixture->dbPath();
    const QString session = QString::number(m_session);

    QCOMPARE(runTool({"events"}).exitCode, 2);
    // Every command answers --help and -h with its usage.
    const QStringList usages = runTool({"--help"}).out.split('\n').filter(QRegularExpression("^  tavokrn-tool "));
    QCOMPARE(usages.size(), 17);
    for (const QString &usage : usages)
        for (const char *option : {"--help", "-h"}) {
            const ToolRun help = runTool({usage.section(' ', 3, 3), option});
            QVERIFY2(help.exitCode == 0 && help.out == "usage: " + usage.trimmed() + "\n", qPrintable(usage + option));
        }
    QCOMPARE(runTool({"events", db, "first", folder}).exitCode, 2);
    QCOMPARE(runTool({"events", db, session}).exitCode, 2);

    ToolRun run = runTool({"events", db, session, folder});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("no annotations_fusion.pt in " + folder), qPrintable(run.err));

    QVERIFY(writeFile(folder + "/annotations_fusion.pt", beatText));
    run = runTool({"events", db, "999", folder});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("no session 999"), qPrintable(run.err));

    QVERIFY(execute(m_fixture->db(), "CREATE TRIGGER refuse BEFORE INSERT ON ANNOTATIONS WHEN NEW.type = 'st' "
                                     "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    run = runTool({"events", db, session, folder});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("could not be stored: refused"), qPrintable(run.err));
    QCOMPARE(rowCount(m_fixture->db(), m_session), 0);
}

void EventStoreTest::analysedSessionAndDamagedFiles()
{
    // One annotation, 46 million line ends (a line across the reader's first megabyte): the file
    // once asked for a slot per line, more than a vector holds, and the tool died of it.
    QTemporaryDir dir;
    const QByteArray beat("0:00:02.002\t1001\tV\t0\tL2\t0\n");
    QVERIFY(writeFile(dir.filePath("annotations_fusion.pt"), beat + QByteArray((1 << 20) - 40, '\n') + beat
                                                                  + QByteArray(46000000, '\n')));
    const QStringList args{"events", m_fixture->dbPath(), QString::number(m_session), dir.path()};
    ToolRun run = runTool(args);
    QVERIFY2(run.out.endsWith(" rows 2 written\n"), qPrintable(run.err));

    // A damaged row, its times far outside any recording: left out where the rows are read.
    AnnotationRecord damaged;
    damaged.m_type = "vt";
    damaged.m_sessionId = m_session;
    damaged.m_sourceId = run.out.section(' ', 1, 1).toStdString();
    damaged.m_dateStart = INT64_MIN;
    damaged.m_dateEnd = INT64_MAX;
    QVERIFY(m_fixture->db().insertAnnotation(damaged));
    QVERIFY(runTool(args).out.endsWith(" rows 2 reused\n"));

    // Analysed, then its beat file changes: its rows are kept as they are, nothing is written.
    QVERIFY(execute(m_fixture->db(), "UPDATE SESSIONS SET status = 'ANALYZED'"));
    QVERIFY(writeFile(dir.filePath("annotations_fusion.pt"), beatText));
    QCOMPARE(runTool(args).out, run.out.replace("written", "kept"));
    QCOMPARE(rowCount(m_fixture->db(), m_session), 3);
}

KRN_TEST_GUILESS_MAIN(EventStoreTest)
#include "tst_eventstore.moc"
