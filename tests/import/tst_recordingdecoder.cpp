// Decoding copies of the recorder's card: the log rules, the numeric file order, frames cut by a
// file boundary, the refusals of `tavokrn-tool decode`, and a synthetic recording decoded by the
// real tool binary and checked record by record.
#include "tests/support/TestMain.h"
#include "tests/support/SessionFiles.h"
#include "RawFrames.h"
#include "tests/support/ToolRun.h"

#include "import/RecorderLog.h"
#include "import/RecordingDecoder.h"
#include "sim/SyntheticRecorder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

ToolRun tool(const QStringList &args) { return runTool(args, 60000); }

QVector<quint32> fileTimes(const QByteArray &bytes, const DecodedFormat &format)
{
    QVector<quint32> times;
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    for (int at = 0; at + format.recordSize <= bytes.size(); at += format.recordSize)
        times.append(recordFileTime(p + at));
    return times;
}

QByteArray ecgRun(quint32 from, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += raw::ecg(from + 2 * quint32(i), float(i + 1));
    return bytes;
}

quint64 printedCount(const QString &out, const QString &file, int group)
{
    const QRegularExpression re(QRegularExpression::escape(file) + QStringLiteral(": (\\d+) records \\((\\d+) zero"));
    const QRegularExpressionMatch m = re.match(out);
    return m.hasMatch() ? m.captured(group).toULongLong() : ~0ull;
}

const char CalibrationText[] = "6,0.01,0.011,0.012,0.013,0.014,0.015,0.016,0.017";

} // namespace

Q_DECLARE_METATYPE(MissingInterval)

class TestRecordingDecoder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString path(const QString &name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(qEnvironmentVariable("KRN_TOOL")), "KRN_TOOL does not name the tool");
        QVERIFY(dir.isValid());
    }

    void logKeysAndMissingIntervals()
    {
        const RecorderLog log = RecorderLog::parse(
            "FW_VERSION:3.4.2\r\nID_SESSIONE:  RSSMRA80A01H501U0007 \r\nSTART_ACQ:20160301090000\r\n"
            "START_MISSING_DATA:20160301100000\r\nNOTE:anything\r\nSTOP_MISSING_DATA:20160301100500\r\n"
            "START_MISSING_DATA:20160301110000\r\n");
        QCOMPARE(log.sessionIds(), QStringList{"RSSMRA80A01H501U0007"});
        QCOMPARE(log.acquisitionStart(), QDateTime(QDate(2016, 3, 1), QTime(9, 0), Qt::LocalTime));
        // The start without a stop is dropped.
        QCOMPARE(log.missingIntervals(), (QVector<MissingInterval>{{3600000, 3900000}}));

        // The key in the second part: found, but its value is the key itself.
        const RecorderLog keyLater = RecorderLog::parse(
            "X:START_ACQ:20160301090000\nSTART_MISSING_DATA:20160301100000\nSTOP_MISSING_DATA:20160301100500\n");
        QVERIFY(!keyLater.acquisitionStart().isValid());
        QVERIFY(keyLater.missingIntervals().isEmpty());
        QVERIFY(keyLater.sessionIds().isEmpty());
    }

    void missingMarksPairing_data()
    {
        QTest::addColumn<QByteArray>("marks");
        QTest::addColumn<QVector<MissingInterval>>("expected");
        QTest::addColumn<int>("ignored");
        using V = QVector<MissingInterval>;
        const QByteArray m1 = "START_MISSING_DATA:20160301100000\nSTOP_MISSING_DATA:20160301100500\n";
        const QByteArray m2 = "START_MISSING_DATA:20160301110000\nSTOP_MISSING_DATA:20160301110100\n";
        QTest::newRow("one") << m1 << V{{3600000, 3900000}} << 0;
        QTest::newRow("two") << m1 + m2 << V{{3600000, 3900000}, {7200000, 7260000}} << 0;
        // Every start takes the stop at its position, also when a stop more follows.
        QTest::newRow("extra stop") << m1 + m2 + "STOP_MISSING_DATA:20160301120000\n"
                                    << V{{3600000, 3900000}, {7200000, 7260000}} << 0;
        QTest::newRow("starts without stops")
            << m1 + "START_MISSING_DATA:20160301110000\nSTART_MISSING_DATA:20160301120000\n" << V{{3600000, 3900000}} << 0;
        // A recorder clock reset writes marks that no period of this recording can have.
        QTest::newRow("stop before the acquisition")
            << "START_MISSING_DATA:20160301100000\nSTOP_MISSING_DATA:20000101000000\n" + m2 << V{{7200000, 7260000}} << 1;
        QTest::newRow("start before the acquisition")
            << "START_MISSING_DATA:20160301080000\nSTOP_MISSING_DATA:20160301100500\n" + m2 << V{{7200000, 7260000}} << 1;
        QTest::newRow("stop before its start")
            << m1 + "START_MISSING_DATA:20160301110000\nSTOP_MISSING_DATA:20160301105900\n" << V{{3600000, 3900000}} << 1;
        QTest::newRow("beyond 32 bits of ms")
            << QByteArray("START_MISSING_DATA:20160301100000\nSTOP_MISSING_DATA:20160501100000\n") << V() << 1;
    }

    void missingMarksPairing()
    {
        QFETCH(QByteArray, marks);
        QFETCH(QVector<MissingInterval>, expected);
        QFETCH(int, ignored);
        for (int i = 0; i < ignored; ++i)
            krntest::expectMessage(QtWarningMsg, QRegularExpression("^Missing data ignored: "));
        QCOMPARE(RecorderLog::parse("START_ACQ:20160301090000\n" + marks).missingIntervals(), expected);
    }

    void numberedFilesInRecordingOrder()
    {
        const QString card = path("order");
        QVERIFY(QDir().mkpath(card));
        for (const char *name : {"log.txt", "s10.txt", "s2.txt", "s0.txt", "s1.txt", "s11.txt", "s9.txt", "S3.txt",
                                 "s1a.txt", "xs4.txt", "i10.txt", "i2.txt", "i.txt", "s5.txt.bak"})
            QVERIFY(writeFile(card + "/" + name, "x"));
        const CardFolder folder(card);
        QStringList names;
        for (const QString &p : folder.sampleFiles())
            names.append(QFileInfo(p).fileName());
        QCOMPARE(names, (QStringList{"s0.txt", "s1.txt", "s2.txt", "s9.txt", "s10.txt", "s11.txt"}));
        names.clear();
        for (const QString &p : folder.imuFiles())
            names.append(QFileInfo(p).fileName());
        QCOMPARE(names, (QStringList{"i2.txt", "i10.txt"}));
        QVERIFY(folder.errorString().isEmpty());

        // Decoded in that order, s2 comes before s10 and the times run on.
        const QString numbered = path("numbered");
        QVERIFY(QDir().mkpath(numbered));
        QVERIFY(writeFile(numbered + "/log.txt", "START_ACQ:20240304093000\n"));
        QVERIFY(writeFile(numbered + "/s2.txt", ecgRun(1000, 10)));
        QVERIFY(writeFile(numbered + "/s10.txt", ecgRun(1020, 10)));
        const ToolRun run = tool({"decode", numbered, path("numbered-out")});
        QCOMPARE(run.exitCode, 0);
        QVector<quint32> expected;
        for (quint32 t = 0; t < 40; t += 2)
            expected.append(t);
        QCOMPARE(fileTimes(readFile(path("numbered-out/ecg.txt")), EcgFormat), expected);
        QVERIFY(!QFile::exists(path("numbered-out/breath.txt")));
        QVERIFY(!QFile::exists(path("numbered-out/imu.txt")));
    }

    void frameCutByAFileBoundaryIsLost()
    {
        const QString card = path("cut");
        QVERIFY(QDir().mkpath(card));
        const QByteArray third = raw::ecg(1004);
        QVERIFY(writeFile(card + "/log.txt", "START_ACQ:20240304093000\n"));
        QVERIFY(writeFile(card + "/s0.txt", ecgRun(1000, 2) + third.left(20)));
        QVERIFY(writeFile(card + "/s1.txt", third.mid(20) + ecgRun(1006, 2)));
        QVERIFY(writeFile(card + "/i0.txt", raw::imu(1000, {1, 2, 3}) + raw::imu(1020, {1, 2, 3}).left(9)));
        QVERIFY(writeFile(card + "/i1.txt", raw::imu(1020, {1, 2, 3}).mid(9) + raw::imu(1040, {1, 2, 3})));
        CardDecodeResult result;
        QString error;
        QVERIFY2(decodeCardFolder(card, path("cut-out"), Calibration(), &result, &error), qPrintable(error));
        QCOMPARE(fileTimes(readFile(path("cut-out/ecg.txt")), EcgFormat), (QVector<quint32>{0, 2, 6, 8}));
        QCOMPARE(fileTimes(readFile(path("cut-out/imu.txt")), ImuFormat), (QVector<quint32>{0, 40}));
        QCOMPARE(result.records[int(Stream::Ecg)], quint64(4));
        QCOMPARE(result.sampleFiles, 2);
        QCOMPARE(result.imuFiles, 2);
    }

    void decodeRefusesIncompleteCardsAndWritesNothing()
    {
        const QString noLog = path("nolog"), noSamples = path("nosamples");
        QVERIFY(QDir().mkpath(noLog));
        QVERIFY(QDir().mkpath(noSamples));
        QVERIFY(writeFile(noLog + "/s0.txt", ecgRun(0, 3)));
        QVERIFY(writeFile(noSamples + "/log.txt", "START_ACQ:20240304093000\n"));
        QVERIFY(writeFile(noSamples + "/i0.txt", raw::imu(0, {1, 2, 3})));
        QVERIFY(writeFile(noSamples + "/S0.txt", ecgRun(0, 3)));
        // Logs that cannot place the records in time: every restart would only set the floor.
        const QString garbageLog = path("garbagelog"), emptyLog = path("emptylog"), noFrames = path("noframes");
        for (const QString &card : {garbageLog, emptyLog, noFrames}) {
            QVERIFY(QDir().mkpath(card));
            QVERIFY(writeFile(card + "/s0.txt", ecgRun(0, 3)));
        }
        QVERIFY(writeFile(garbageLog + "/log.txt", QByteArray("\x8f\x03START_ACQ\nSTART_ACQ:2024030\nID_SESSIONE:x\n", 42)));
        QVERIFY(writeFile(emptyLog + "/log.txt", QByteArray()));
        // Only an empty s-file: no usable ECG/respiration file.
        QVERIFY(writeFile(noFrames + "/log.txt", "START_ACQ:20240304093000\n"));
        QVERIFY(writeFile(noFrames + "/s0.txt", QByteArray()));

        struct Case {
            QStringList args;
            const char *mentions;
        };
        const QString out = path("refused-out");
        const Case cases[] = {
            {{"decode", noLog, out}, "log.txt"},
            {{"decode", noSamples, out}, "s<number>.txt"},
            {{"decode", path("absent"), out}, "not a folder"},
            {{"decode", "--calibration", "6,1,1,1,1,1,1,1", noLog, out}, "8"},
            {{"decode", "--calibration", "6,nan,inf,1,1,1,1,1,1", noFrames, out}, "finite"},
            {{"decode", garbageLog, out}, "START_ACQ"},
            {{"decode", emptyLog, out}, "START_ACQ"},
            {{"decode", noFrames, out}, "no whole ECG or respiration frame"},
            {{"decode", noSamples}, "argument"},
        };
        for (const Case &c : cases) {
            const ToolRun run = tool(c.args);
            QVERIFY2(run.exitCode > 0, qPrintable(c.args.join(' ')));
            QVERIFY2(run.err.contains(c.mentions), qPrintable(run.err));
            QVERIFY(!QFileInfo::exists(out));
        }
    }

    void droppedRecordsArePrintedAndBadMarksIgnored()
    {
        // 10 s of ECG and respiration, a clock restart, 10 s more. The log's only gap ends
        // before the acquisition started (a reset recorder clock): it is ignored rather than
        // filled up to 2^32 ms, and the restart then only sets the floor.
        const QString card = path("dropped");
        QVERIFY(QDir().mkpath(card));
        QByteArray s0;
        for (int run = 0; run < 2; ++run) {
            for (quint32 t = 0; t < 10000; t += 2) {
                s0 += raw::ecg(run * 40 + t);
                if (t % 20 == 0)
                    s0 += raw::breath(run * 40 + t, {100, 200, 300, 400, 500});
            }
        }
        QVERIFY(writeFile(card + "/s0.txt", s0));
        QVERIFY(writeFile(card + "/log.txt", "START_ACQ:20240304093000\nSTART_MISSING_DATA:20240304093010\n"
                                             "STOP_MISSING_DATA:20000101000000\n"));
        const ToolRun run = tool({"decode", card, path("dropped-out")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("Missing data ignored"), qPrintable(run.err));
        // The second run's records until its clock is back at the first run's last time:
        // ECG 40 ... 9996 and respiration 40 ... 9960.
        QVERIFY2(run.out.contains("dropped behind the recorder's clock: 4979 ECG records (10.0 s), "
                                  "497 respiration records (9.9 s), 0 IMU records (0.0 s)"),
                 qPrintable(run.out));
        QCOMPARE(QFileInfo(path("dropped-out/ecg.txt")).size(), qint64(5000 + 21) * EcgFormat.recordSize);

        // A gap logged past 48 hours is refused, and nothing is left in the session folder.
        QVERIFY(writeFile(card + "/log.txt", "START_ACQ:20240304093000\nSTART_MISSING_DATA:20240304093015\n"
                                             "STOP_MISSING_DATA:20240307093000\n"));
        const ToolRun refused = tool({"decode", card, path("refused-48h")});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("48 hours"), qPrintable(refused.err));
        QVERIFY(!QFileInfo::exists(path("refused-48h")));
        QVERIFY(QDir().mkpath(path("kept")));
        QVERIFY(writeFile(path("kept/notes.txt"), "x"));
        QCOMPARE(tool({"decode", card, path("kept")}).exitCode, 1);
        QCOMPARE(QDir(path("kept")).entryList(QDir::Files), QStringList{"notes.txt"});
    }

    void synthesisedRecordingDecodesRecordByRecord()
    {
        SynthOptions options;
        options.hours = 0.2;
        options.fileMinutes = 4;
        options.seed = 11;
        QString error;
        QVERIFY(Calibration::fromText(CalibrationText, &options.calibration, &error));
        const QString card = path("synth");
        SynthSummary summary;
        QVERIFY2(writeSyntheticRecording(card, options, &summary, &error), qPrintable(error));
        QCOMPARE(summary.durationMs, 720000u);
        // Both kinds of restart: inside a card file and at the start of new files.
        QVERIFY(summary.gaps.size() >= 2);
        QVERIFY(std::any_of(summary.gaps.begin(), summary.gaps.end(), [](const SynthGap &g) { return g.newFiles; }));
        QVERIFY(std::any_of(summary.gaps.begin(), summary.gaps.end(), [](const SynthGap &g) { return !g.newFiles; }));
        QVERIFY(summary.damaged[int(Stream::Ecg)] > 0);
        QVERIFY(summary.strayRuns > 0);
        QVERIFY(summary.sampleFiles > 3);

        // The tool writes the same bytes for the same options.
        const ToolRun synth = tool({"synth", "--hours", "0.2", "--file-minutes", "4", "--seed", "11", "--calibration",
                                CalibrationText, path("synth-tool")});
        QCOMPARE(synth.exitCode, 0);
        for (const QString &name : QDir(card).entryList(QDir::Files))
            QVERIFY2(readFile(card + "/" + name) == readFile(path("synth-tool/") + name), qPrintable(name));

        const QString session = path("session");
        for (int pass = 0; pass < 2; ++pass) { // the second decode replaces the first
            const ToolRun run = tool({"decode", "--calibration", CalibrationText, card, session});
            QCOMPARE(run.exitCode, 0);

            quint64 filled[3] = {};
            for (const SynthGap &gap : summary.gaps) {
                filled[int(Stream::Ecg)] += (gap.stop - gap.start) / 2 + 1;
                filled[int(Stream::Breath)] += (gap.stop - gap.start) / 20 + 1;
                filled[int(Stream::Imu)] += (gap.stop - gap.start) / 20 + 1;
            }
            for (const Stream s : {Stream::Ecg, Stream::Breath, Stream::Imu}) {
                const int i = int(s);
                // Every frame but the damaged ones and the first one after each restart.
                const quint64 expected = summary.frames[i] - summary.damaged[i] - quint64(summary.gaps.size()) + filled[i];
                QCOMPARE(printedCount(run.out, decodedFormat(s).fileName, 1), expected);
                QCOMPARE(printedCount(run.out, decodedFormat(s).fileName, 2), filled[i]);
                QCOMPARE(QFileInfo(session + "/" + decodedFormat(s).fileName).size(),
                         qint64(expected) * decodedFormat(s).recordSize);
            }
            QVERIFY2(run.out.contains(QStringLiteral("duration: %1 s").arg((720000 - 20) / 1000)), qPrintable(run.out));
        }
        QCOMPARE(readFile(session + "/logfile.txt"), readFile(card + "/log.txt"));

        // ECG: one record per 2 ms slot of the whole recording, but for the damaged frames; zero
        // records exactly over the logged gaps, plausible millivolts elsewhere.
        const QByteArray ecg = readFile(session + "/ecg.txt");
        const auto *p = reinterpret_cast<const uchar *>(ecg.constData());
        const int count = ecg.size() / EcgFormat.recordSize;
        QCOMPARE(quint64(count), 720000 / 2 - summary.damaged[int(Stream::Ecg)]);
        quint32 previous = 0;
        float lowII = 0, highII = 0;
        for (int r = 0; r < count; ++r) {
            const uchar *rec = p + r * EcgFormat.recordSize;
            const quint32 t = recordFileTime(rec);
            QVERIFY(t % 2 == 0);
            QVERIFY(r == 0 ? t == 0 : t > previous);
            previous = t;
            bool inGap = false;
            for (const SynthGap &gap : summary.gaps)
                inGap = inGap || (t >= gap.start && t <= gap.stop);
            bool zero = true;
            for (int k = 0; k < 8; ++k)
                zero = zero && recordValue(rec, k) == 0.0f;
            QVERIFY2(zero == inGap, qPrintable(QString::number(t)));
            if (!inGap) {
                lowII = std::min(lowII, recordValue(rec, 2));
                highII = std::max(highII, recordValue(rec, 2));
            }
        }
        QCOMPARE(previous, 720000u - 2);
        QVERIFY2(highII > 0.5f && highII < 5.0f && lowII > -3.0f, qPrintable(QStringLiteral("%1 %2").arg(lowII).arg(highII)));

        // IMU: gravity, about 16384 counts per g, outside the gaps.
        const QByteArray imu = readFile(session + "/imu.txt");
        const auto *q = reinterpret_cast<const uchar *>(imu.constData());
        double sum = 0;
        int samples = 0;
        for (int at = 0; at + ImuFormat.recordSize <= imu.size(); at += ImuFormat.recordSize) {
            const float x = recordValue(q + at, 0), y = recordValue(q + at, 1), z = recordValue(q + at, 2);
            if (x == 0 && y == 0 && z == 0)
                continue;
            sum += std::sqrt(double(x) * x + double(y) * y + double(z) * z);
            ++samples;
        }
        QVERIFY(samples > 30000);
        QVERIFY2(std::fabs(sum / samples - 16384) < 0.15 * 16384, qPrintable(QString::number(sum / samples)));
    }
};

KRN_TEST_GUILESS_MAIN(TestRecordingDecoder)
#include "tst_recordingdecoder.moc"
