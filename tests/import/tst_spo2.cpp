// Converting the oximeter's export into spo2.txt, through the library and through
// `tavokrn-tool spo2`.
#include "tests/support/TestMain.h"
#include "tests/support/SessionFiles.h"
#include "import/Spo2Conversion.h"
#include "tests/support/ToolRun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <ctime>

namespace {

const QDateTime Start(QDate(2024, 3, 4), QTime(9, 30, 0), Qt::LocalTime);

// (time, value) pairs of a converted file; its size must be a multiple of 8.
QVector<QPair<qint32, float>> readSpo2(const QString &path)
{
    QFile f(path);
    QVector<QPair<qint32, float>> records;
    if (!f.open(QIODevice::ReadOnly))
        return records;
    const QByteArray bytes = f.readAll();
    if (bytes.size() % 8 != 0)
        return {{-1, -1.0f}};
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    for (int at = 0; at < bytes.size(); at += 8)
        records.append({qFromLittleEndian<qint32>(p + at), qFromLittleEndian<float>(p + at + 4)});
    return records;
}

QByteArray line(const QDateTime &t, const QByteArray &pulse, const QByteArray &spo2)
{
    return QStringLiteral("7,%1,%2,%3,%4,%5,%6,")
               .arg(t.date().year())
               .arg(t.date().month())
               .arg(t.date().day())
               .arg(t.time().hour())
               .arg(t.time().minute())
               .arg(t.time().second())
               .toLatin1()
           + pulse + "," + spo2 + "\n";
}

} // namespace

class TestSpo2 : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString path(const QString &name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        // The summer-time changes below are those of the workstation's clinics.
        qputenv("TZ", "Europe/Rome");
        tzset();
    }

    void emptySourceGivesAnEmptyFile()
    {
        QVERIFY(writeFile(path("empty.txt"), ""));
        QVERIFY(writeFile(path("empty-out.txt"), "old content"));
        QCOMPARE(convertSpo2File(path("empty.txt"), path("empty-out.txt"), Start), false);
        QVERIFY(QFile::exists(path("empty-out.txt")));
        QCOMPARE(QFile(path("empty-out.txt")).size(), qint64(0));
    }

    void headerWithoutVersionFailsAndRemovesTheOutput()
    {
        QVERIFY(writeFile(path("noversion.txt"), "Version 2.1,export\n" + line(Start, "70", "97")));
        QVERIFY(writeFile(path("noversion-out.txt"), "old content"));
        krntest::expectMessage(QtInfoMsg, "HEADER Version 2.1,export");
        QCOMPARE(convertSpo2File(path("noversion.txt"), path("noversion-out.txt"), Start), true);
        QVERIFY(!QFile::exists(path("noversion-out.txt")));
    }

    void unreadableSourceOrDestinationFails()
    {
        QCOMPARE(convertSpo2File(path("absent.txt"), path("absent-out.txt"), Start), true);
        QVERIFY(writeFile(path("ok.txt"), "VERSION\n"));
        QCOMPARE(convertSpo2File(path("ok.txt"), path("no/such/folder/out.txt"), Start), true);
    }

    void linesAreFilteredAndConverted()
    {
        QByteArray text = "VERSION 2.1,TAVO-OX export\n";
        text += line(Start.addSecs(-1), "70", "95");              // before the start: skipped
        text += line(Start, "71", "96");                          // exactly at the start: time 0
        text += line(Start.addSecs(2), "72", "  97 ");            // padded: 97.0
        text += line(Start.addSecs(3), "73", "98").replace("\n", ",extra\n"); // 10 fields: skipped
        text += "1,2024,3,4\n";                                   // too few fields
        text += line(Start.addSecs(5), "75", "98.5");             // a decimal SpO2 stays one
        text += line(Start.addSecs(3600), "75", "511");           // probe off: not range-checked
        text += line(Start.addDays(50), "76", "90");              // beyond 32 bits of ms: skipped, not wrapped
        QVERIFY(writeFile(path("puls.txt"), text));
        qint64 records = -1;
        QCOMPARE(convertSpo2File(path("puls.txt"), path("spo2.txt"), Start, &records), false);
        const QVector<QPair<qint32, float>> expected{{0, 96.0f}, {2000, 97.0f}, {5000, 98.5f}, {3600000, 511.0f}};
        QCOMPARE(readSpo2(path("spo2.txt")), expected);
        QCOMPARE(records, qint64(expected.size()));
    }

    void spo2FieldThatIsNoNumberSkipsTheLine()
    {
        // Written as 0 % they would read as a catastrophic desaturation.
        QByteArray text = "VERSION\n";
        text += line(Start.addSecs(1), "70", "abc");
        text += line(Start.addSecs(2), "70", QByteArray("9\0" "7", 3));  // a NUL inside, not a line end
        text += line(Start.addSecs(3), "70", QByteArray(1000000, '9'));   // overflows to infinity
        text += line(Start.addSecs(4), "70", "nan");
        text += line(Start.addSecs(5), "70", "inf");
        text += line(Start.addSecs(6), "70", "");
        text += line(Start.addSecs(7), "70", "1e39");                     // past float32
        text += line(Start.addSecs(8), "70", "95");
        QVERIFY(writeFile(path("nonumber.txt"), text));
        qint64 records = -1;
        QCOMPARE(convertSpo2File(path("nonumber.txt"), path("nonumber-out.txt"), Start, &records), false);
        QCOMPARE(readSpo2(path("nonumber-out.txt")), (QVector<QPair<qint32, float>>{{8000, 95.0f}}));
        QCOMPARE(records, qint64(1));

        // An export without a usable line converts into an empty file, and says so.
        QVERIFY(writeFile(path("unusable.txt"), "VERSION\n" + line(Start.addSecs(-5), "70", "95") + line(Start, "70", "x")));
        QCOMPARE(convertSpo2File(path("unusable.txt"), path("unusable-out.txt"), Start, &records), false);
        QCOMPARE(QFile(path("unusable-out.txt")).size(), qint64(0));
        QCOMPARE(records, qint64(0));
    }

    void summerTimeChangesKeepTimesIncreasing()
    {
        // 2024-03-31 02:00 to 02:59 does not exist in Rome; 2024-10-27 02:00 to 02:59 comes twice.
        const QDateTime spring(QDate(2024, 3, 31), QTime(1, 0, 0), Qt::LocalTime);
        QByteArray text = "VERSION\n";
        for (const char *clock : {"1,59,58", "1,59,59", "2,30,0", "3,0,0", "3,0,1"})
            text += QByteArray("1,2024,3,31,") + clock + ",70,95\n";
        QVERIFY(writeFile(path("spring.txt"), text));
        QCOMPARE(convertSpo2File(path("spring.txt"), path("spring-out.txt"), spring), false);
        QCOMPARE(readSpo2(path("spring-out.txt")),
                 (QVector<QPair<qint32, float>>{{3598000, 95.0f}, {3599000, 95.0f}, {3600000, 95.0f}, {3601000, 95.0f}}));

        // The second 02:xx follows the first; a line that goes back in time is left out.
        const QDateTime autumn(QDate(2024, 10, 27), QTime(2, 59, 58), Qt::LocalTime);
        text = "VERSION\n";
        for (const char *clock : {"2,59,58", "2,59,59", "2,0,0", "2,0,1", "1,59,0", "2,0,2", "3,0,0"})
            text += QByteArray("1,2024,10,27,") + clock + ",70,95\n";
        QVERIFY(writeFile(path("autumn.txt"), text));
        QCOMPARE(convertSpo2File(path("autumn.txt"), path("autumn-out.txt"), autumn), false);
        QCOMPARE(readSpo2(path("autumn-out.txt")),
                 (QVector<QPair<qint32, float>>{{0, 95.0f}, {1000, 95.0f}, {2000, 95.0f}, {3000, 95.0f},
                                                {4000, 95.0f}, {3600 * 1000 + 2000, 95.0f}}));
    }

    void toolConvertsAndReportsFailure()
    {
        QVERIFY(QFile::exists(qEnvironmentVariable("KRN_TOOL")));
        QVERIFY(writeFile(path("tool.txt"), "VERSION\n" + line(Start.addSecs(1), "70", "95") + line(Start.addSecs(2), "70", "94")));
        QCOMPARE(runTool({"spo2", path("tool.txt"), path("tool-out.txt"), "--start",
                          QString::number(Start.toSecsSinceEpoch())}, 20000).exitCode, 0);
        QCOMPARE(readSpo2(path("tool-out.txt")), (QVector<QPair<qint32, float>>{{1000, 95.0f}, {2000, 94.0f}}));

        QVERIFY(writeFile(path("tool-bad.txt"), "no header\n"));
        for (const QStringList &args : {QStringList{"spo2", path("tool-bad.txt"), path("tool-bad-out.txt"), "--start", "0"},
                                        QStringList{"spo2", path("tool.txt"), path("tool-bad-out.txt")}}) {
            const ToolRun bad = runTool(args, 20000);
            QVERIFY(bad.exitCode > 0);
            QVERIFY(!QFile::exists(path("tool-bad-out.txt")));
        }
    }
};

KRN_TEST_GUILESS_MAIN(TestSpo2)
#include "tst_spo2.moc"
