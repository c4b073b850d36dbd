// Converting the oximeter's export into spo2.txt, through the library and through
// `tavokrn-tool spo2`.
#include "tests/support/TestMain.h"
#include "import/Spo2Conversion.h"
#include "tests/support/ToolRun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

const QDateTime Start(QDate(2024, 3, 4), QTime(9, 30, 0), Qt::LocalTime);

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

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
    void initTestCase() { QVERIFY(dir.isValid()); }

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
        text += line(Start.addSecs(4), "74", "abc");              // not a number: 0
        text += line(Start.addSecs(3600), "75", "511");           // probe off: not range-checked
        text += line(Start.addDays(50), "76", "90");              // beyond 32 bits of ms: skipped, not wrapped
        QVERIFY(writeFile(path("puls.txt"), text));
        QCOMPARE(convertSpo2File(path("puls.txt"), path("spo2.txt"), Start), false);
        const QVector<QPair<qint32, float>> expected{{0, 96.0f}, {2000, 97.0f}, {4000, 0.0f}, {3600000, 511.0f}};
        QCOMPARE(readSpo2(path("spo2.txt")), expected);
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
