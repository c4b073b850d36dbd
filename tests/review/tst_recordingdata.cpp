// The review loader on real session folders: hand-made decoded files for the exact figures, and
// a synthetic recording decoded by the real decoder for the whole chain.
#include "tests/support/TestMain.h"
#include "tests/support/SessionFiles.h"
#include "import/RecorderLog.h"
#include "import/RecordingDecoder.h"
#include "import/Spo2Conversion.h"
#include "sim/SyntheticAnalysis.h"
#include "review/plots/QwtDateScaleWithOffset.h"
#include "review/data/BeatFile.h"
#include "review/data/RecordingData.h"
#include "tests/support/ToolRun.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

namespace {

// Records whose value k is base + k (time as given), appended to folder/name.
template <int N>
void writeRecords(const QString &path, const QVector<quint32> &times, float base = 0.0f, QByteArray tail = {})
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    QByteArray bytes(int(times.size()) * (4 + 4 * N), '\0');
    for (int i = 0; i < times.size(); ++i) {
        float values[N];
        for (int k = 0; k < N; ++k)
            values[k] = base + float(i) * 10.0f + float(k);
        putRecord(reinterpret_cast<uchar *>(bytes.data()) + i * (4 + 4 * N), times[i], values, N);
    }
    QCOMPARE(file.write(bytes + tail), qint64(bytes.size() + tail.size()));
}

QVector<quint32> evenTimes(int count, quint32 step, quint32 first = 0)
{
    QVector<quint32> times;
    for (int i = 0; i < count; ++i)
        times.append(first + quint32(i) * step);
    return times;
}

quint32 timeOf(const SampleRecord &record) { return sampleTime(record); }

} // namespace

class RecordingDataTest : public QObject
{
    Q_OBJECT

private slots:
    void fullDayBoundary();
    void overviewCountsAndSteps();
    void emptyAndShortSessions();
    void damagedSessionsAreRefused();
    void breathExtremaOfDamagedValues();
    void beatTimesMustBeFinite();
    void missingPairing();
    void overviewCurveKeepsEdges();
    void availabilityTexts();
    void oximetryFromPulsFile();
    void oximetryReadAsTheConversionReadsIt();
    void readersAndPartialRecords();
    void imuSearchEnds();
    void lowerBoundOnUnevenTimes();
    void timeAxisLabels();
    void syntheticSessionEndToEnd();
    void toolWritesAnalysisFolder();

private:
    QString folder()
    {
        m_dirs.push_back(std::make_unique<QTemporaryDir>());
        return m_dirs.back()->path();
    }
    std::vector<std::unique_ptr<QTemporaryDir>> m_dirs;
};

void RecordingDataTest::fullDayBoundary()
{
    QVERIFY(RecordingData::isTimeCorrect(86400000));
    QVERIFY(RecordingData::isTimeCorrect(86400000 - 3600000));
    QVERIFY(RecordingData::isTimeCorrect(86400000 + 3600000));
    QVERIFY(!RecordingData::isTimeCorrect(82799999));
    QVERIFY(!RecordingData::isTimeCorrect(90000001));

    // The same through files: two ECG records span the recording.
    for (const auto &[last, expected] : {std::pair<quint32, bool>{82800000, true}, {82799999, false}}) {
        const QString f = folder();
        writeRecords<8>(f + "/ecg.txt", {0, last});
        writeRecords<5>(f + "/breath.txt", {0, last});
        RecordingData data;
        QVERIFY(data.load(f, 0));
        QCOMPARE(data.ecgSpan(), qint64(last));
        QCOMPARE(data.timeCorrect(), expected);
    }
}

void RecordingDataTest::overviewCountsAndSteps()
{
    QCOMPARE(RecordingData::overviewCount(43200000), 50);
    QCOMPARE(RecordingData::overviewCount(50), 50);
    QCOMPARE(RecordingData::overviewCount(99), 99);
    QCOMPARE(RecordingData::overviewCount(100), 50);
    QCOMPARE(RecordingData::overviewCount(149), 74);

    // 120 records a second apart: 60 points, step 119000 / 50 = 2380 ms, each point the record at
    // the lower bound of its time, the last one 20 s before the end.
    const QString f = folder();
    writeRecords<8>(f + "/ecg.txt", evenTimes(120, 1000), 0.5f);
    writeRecords<5>(f + "/breath.txt", evenTimes(200, 500, 100), 1.0f);
    RecordingData data;
    QVERIFY(data.load(f, 0));
    const QVector<quint32> &times = data.ecgOverviewTimes();
    QCOMPARE(times.size(), 60);
    QCOMPARE(data.ecgOverviewValues().size(), 60);
    QCOMPARE(times[0], 0u);
    QCOMPARE(times[1], 3000u);  // lower bound of 2380
    QCOMPARE(times[50], 119000u); // 50 * 2380: the last record
    QCOMPARE(times[58], 119000u); // past the end: held at the last record, not a zero record at 0
    QCOMPARE(times[59], 99000u);
    QCOMPARE(data.ecgOverviewValues()[1], 0.5f + 30.0f); // record 3, channel 0
    // Respiration steps by the ECG step from its own first time: 100, 2480 -> 2600, ...
    const QVector<quint32> &breathTimes = data.breathOverviewTimes();
    QCOMPARE(breathTimes.size(), 50);
    QCOMPARE(breathTimes[0], 100u);
    QCOMPARE(breathTimes[1], 2600u);
    QCOMPARE(breathTimes.last(), 79600u); // 20 s before the last record, 99600
    // Sum of the five channels of record 5 (time 2600): 5 * (1 + 50) + 0 + 1 + 2 + 3 + 4.
    QCOMPARE(data.breathOverviewSums()[1], 5.0f * 51.0f + 10.0f);
    QCOMPARE(data.breathMin(), int(data.breathOverviewSums()[0]));
    QVERIFY(data.breathMax() >= int(data.breathOverviewSums()[1]));
}

void RecordingDataTest::emptyAndShortSessions()
{
    {
        RecordingData data;
        krntest::expectMessage(QtWarningMsg, QRegularExpression("^La sessione non contiene dati"));
        QVERIFY(!data.load(folder(), 0));
        QVERIFY(data.errorString().contains("La sessione non contiene dati"));
    }
    {
        // Files there but empty: no data either.
        const QString f = folder();
        QVERIFY(writeFile(f + "/ecg.txt", {}));
        QVERIFY(writeFile(f + "/breath.txt", {}));
        RecordingData data;
        krntest::expectMessage(QtWarningMsg, QRegularExpression("^La sessione non contiene dati"));
        QVERIFY(!data.load(f, 0));
        QVERIFY(!data.errorString().isEmpty());
    }
    {
        // Respiration only: it opens, the ECG figures are empty and nothing divides by zero.
        const QString f = folder();
        writeRecords<5>(f + "/breath.txt", evenTimes(70, 20));
        RecordingData data;
        QVERIFY(data.load(f, 0));
        QVERIFY(!data.ecgPresent());
        QCOMPARE(data.ecgSpan(), qint64(0));
        QVERIFY(data.ecgOverviewTimes().isEmpty());
        QVERIFY(data.overviewCurve().isEmpty());
        QCOMPARE(data.breathOverviewTimes().size(), 70);
        QCOMPARE(data.availability(), 0.0);
        QVERIFY(!data.timeCorrect());
        SampleList out;
        data.readEcgRecords(out, 0, 5);
        QVERIFY(out.empty());
    }
    {
        // Ten ECG records and no respiration: every record is an overview point.
        const QString f = folder();
        writeRecords<8>(f + "/ecg.txt", evenTimes(10, 2));
        RecordingData data;
        QVERIFY(data.load(f, 0));
        QCOMPARE(data.ecgOverviewTimes(), evenTimes(10, 2));
        QCOMPARE(data.overviewCurve().size(), 10);
        QVERIFY(data.breathOverviewTimes().isEmpty());
        QCOMPARE(data.availabilityText(), QStringLiteral("100% di 0min"));
    }
}

void RecordingDataTest::damagedSessionsAreRefused()
{
    const QRegularExpression damaged("^I dati della sessione sono danneggiati");
    {
        // 1000 random bytes as ecg.txt: 27 records of noise, not a recording of 41 hours.
        const QString f = folder();
        QByteArray noise(1000, '\0');
        QRandomGenerator random(7);
        for (char &c : noise)
            c = char(random.bounded(256));
        QVERIFY(writeFile(f + "/ecg.txt", noise));
        writeRecords<5>(f + "/breath.txt", evenTimes(10, 20));
        RecordingData data;
        krntest::expectMessage(QtWarningMsg, damaged);
        QVERIFY(!data.load(f, 0));
        QVERIFY2(data.errorString().contains("ecg.txt"), qPrintable(data.errorString()));
        QVERIFY(!data.ecgPresent());
    }
    {
        // Increasing, but a month long: no decoded recording passes 48 hours.
        const QString f = folder();
        writeRecords<8>(f + "/ecg.txt", evenTimes(100, 30000000));
        RecordingData data;
        krntest::expectMessage(QtWarningMsg, damaged);
        QVERIFY(!data.load(f, 0));
        QVERIFY(data.errorString().contains("48"));
    }
    {
        // Times that run backwards.
        const QString f = folder();
        QVector<quint32> times = evenTimes(500, 20);
        std::reverse(times.begin(), times.end());
        writeRecords<8>(f + "/ecg.txt", evenTimes(500, 20));
        writeRecords<5>(f + "/breath.txt", times);
        RecordingData data;
        krntest::expectMessage(QtWarningMsg, damaged);
        QVERIFY(!data.load(f, 0));
        QVERIFY2(data.errorString().contains("breath.txt"), qPrintable(data.errorString()));
    }
}

void RecordingDataTest::breathExtremaOfDamagedValues()
{
    // Respiration sums far outside five 16-bit channels (a damaged breath.txt) have no integer
    // value: they are left out of the autoscale's extremes.
    const QString f = folder();
    writeRecords<8>(f + "/ecg.txt", evenTimes(20, 2));
    QByteArray bytes(20 * 24, '\0');
    for (int i = 0; i < 20; ++i) {
        float values[5] = {100, 200, 300, 400, float(500 + i)};
        if (i == 3)
            values[0] = 1e30f;
        if (i == 5)
            values[1] = -1e30f;
        if (i == 7)
            values[2] = std::numeric_limits<float>::quiet_NaN();
        putRecord(reinterpret_cast<uchar *>(bytes.data()) + 24 * i, quint32(20 * i), values, 5);
    }
    QVERIFY(writeFile(f + "/breath.txt", bytes));
    RecordingData data;
    QVERIFY(data.load(f, 0));
    QCOMPARE(data.breathMin(), 1500);
    QCOMPARE(data.breathMax(), 1518);
}

void RecordingDataTest::beatTimesMustBeFinite()
{
    BeatFile file;
    krntest::expectMessage(QtWarningMsg, "6 annotations without a valid time left out");
    file.parse("0:00:01.000\t500\tN\t0\t0\t0\n"
               "-1:00:00.000\t550\tV\t0\t0\t0\n"
               "48:00:00.001\t560\tV\t0\t0\t0\n"
               "nan\t600\tN\t0\t0\t0\n"
               "inf\t700\tV\t0\t0\t0\n"
               "0:nan:02.000\t800\tN\t0\t0\t0\n"
               "1e300:00:00\t900\tN\t0\t0\t0\n"
               "0:00:02.500\t1250\ts\t0\t0\t0\n");
    QCOMPARE(file.lines().size(), 2);
    const QVector<Beat> beats = file.beatList();
    QCOMPARE(beats.size(), 2);
    QCOMPARE(beats[0].seconds, 1.0);
    QCOMPARE(beats[1].seconds, 2.5);
    QCOMPARE(file.lines()[1].ms, qint64(2500));
    QCOMPARE(file.annotationCount(), 2);
    QCOMPARE(file.normalCount(), 2);
}

void RecordingDataTest::missingPairing()
{
    const QDateTime acq(QDate(2016, 3, 1), QTime(9, 0), Qt::LocalTime);
    const auto at = [](int h, int m) { return QDateTime(QDate(2016, 3, 1), QTime(h, m), Qt::LocalTime); };
    using V = QVector<MissingInterval>;
    // The unmatched last start is dropped.
    QCOMPARE(RecorderLog::pairMissingMarks(acq, {at(10, 0), at(11, 0)}, {at(10, 5)}),
             V({{3600000, 3900000}}));
    // Two starts more than stops: the pairs that exist, nothing made up.
    QCOMPARE(RecorderLog::pairMissingMarks(acq, {at(10, 0), at(11, 0), at(12, 0)}, {at(10, 5)}),
             V({{3600000, 3900000}}));
    QCOMPARE(RecorderLog::pairMissingMarks(acq, {at(10, 0), at(11, 0)}, {at(10, 5), at(11, 30)}),
             V({{3600000, 3900000}, {7200000, 9000000}}));
    QCOMPARE(RecorderLog::pairMissingMarks(acq, {at(10, 0)}, {}), V());
    QCOMPARE(RecorderLog::pairMissingMarks(QDateTime(), {at(10, 0)}, {at(10, 5)}), V());

    // Through the session's log.
    const QString f = folder();
    writeRecords<8>(f + "/ecg.txt", evenTimes(60, 100000));
    QVERIFY(writeFile(f + "/logfile.txt", "ID_SESSIONE:RSSMRA80A01H501U0001\r\nSTART_ACQ:20160301090000\r\n"
                                  "START_MISSING_DATA:20160301100000\r\nSTOP_MISSING_DATA:20160301100500\r\n"
                                  "START_MISSING_DATA:20160301110000\r\nSTART_MISSING_DATA:20160301120000\r\n"));
    RecordingData data;
    QVERIFY(data.load(f, 0));
    QVERIFY(data.logPresent());
    QCOMPARE(data.acquisitionStart(), acq);
    QCOMPARE(data.acquisitionStartSeconds(), acq.toSecsSinceEpoch());
    QCOMPARE(data.missingIntervals(), V({{3600000, 3900000}}));
    QCOMPARE(data.availability(), 1.0 - 300000.0 / 5900000.0);

    // A stop mark too many: the decoder filled the gap, so the review must show it as missing.
    const QString g = folder();
    writeRecords<8>(g + "/ecg.txt", evenTimes(61, 120000));
    const QByteArray log = "START_ACQ:20160301090000\nSTART_MISSING_DATA:20160301100000\n"
                           "STOP_MISSING_DATA:20160301100500\nSTOP_MISSING_DATA:20160301100600\n";
    QVERIFY(writeFile(g + "/logfile.txt", log));
    QVERIFY(data.load(g, 0));
    QCOMPARE(data.missingIntervals(), RecorderLog::parse(log).missingIntervals());
    QCOMPARE(data.availabilityText(), QStringLiteral("96% di 2h"));
}

void RecordingDataTest::overviewCurveKeepsEdges()
{
    const QString f = folder();
    writeRecords<8>(f + "/ecg.txt", evenTimes(6, 1000));
    QVERIFY(writeFile(f + "/logfile.txt", "START_ACQ:20160301090000\nSTART_MISSING_DATA:20160301090001\n"
                                  "STOP_MISSING_DATA:20160301090003\n"));
    RecordingData data;
    QVERIFY(data.load(f, 0));
    QCOMPARE(data.missingIntervals(), QVector<MissingInterval>({{1000, 3000}}));
    QVERIFY(!data.insideMissingInterval(1000));
    QVERIFY(data.insideMissingInterval(2000));
    QVERIFY(!data.insideMissingInterval(3000));
    QVector<double> xs;
    for (const QPointF &p : data.overviewCurve())
        xs.append(p.x());
    QCOMPARE(xs, QVector<double>({0, 1000, 3000, 4000, 5000}));
    QCOMPARE(data.ecgOverviewTimes().size(), 6); // the overview itself keeps every point
}

void RecordingDataTest::availabilityTexts()
{
    QCOMPARE(RecordingData::availabilityText(1.0, 3600000), QStringLiteral("100% di 60min"));
    QCOMPARE(RecordingData::availabilityText(1.0, 3600001), QStringLiteral("100% di 1h"));
    QCOMPARE(RecordingData::availabilityText(0.9, 86400000), QStringLiteral("90% di 24h"));

    const QString f = folder();
    writeRecords<8>(f + "/ecg.txt", evenTimes(61, 60000));
    QVERIFY(writeFile(f + "/logfile.txt", "START_ACQ:20160301090000\nSTART_MISSING_DATA:20160301091000\n"
                                  "STOP_MISSING_DATA:20160301091600\n"));
    RecordingData data;
    QVERIFY(data.load(f, 0));
    QCOMPARE(data.ecgSpan(), qint64(3600000));
    QCOMPARE(data.availabilityText(), QStringLiteral("90% di 60min"));
}

void RecordingDataTest::oximetryFromPulsFile()
{
    const QString f = folder();
    writeRecords<8>(f + "/ecg.txt", evenTimes(60, 1000));
    QVERIFY(writeFile(f + "/Puls.txt", "VERSION 2.1,export\r\n"
                               "x,2016,3,1,10,0,0,75,97\r\n"
                               "x,2016,3,1,10,0,1,76\r\n"          // 8 fields: skipped
                               "x,2016,3,1,10,0,2,511,511\r\n"     // probe off: left out of both
                               "x,2016,3,1,10,0,3,499,500\r\n"     // pulse kept, SpO2 left out
                               "x,2016,13,1,10,0,4,70,95\r\n"      // no such date: skipped
                               "x,2016,3,1,10,0,5,78,94\r\n"));
    RecordingData data;
    const qint64 start = QDateTime(QDate(2016, 3, 1), QTime(9, 0), Qt::LocalTime).toSecsSinceEpoch();
    QVERIFY(data.load(f, start));
    QVERIFY(data.pulsPresent());
    using P = QVector<QPair<int, int>>;
    QCOMPARE(data.spo2Series(), P({{3600000, 97}, {3605000, 94}}));
    QCOMPARE(data.pulseSeries(), P({{3600000, 75}, {3603000, 499}, {3605000, 78}}));
    QCOMPARE(data.spo2Span(), qint64(5000));

    // A second load of a folder without the file leaves no series behind.
    const QString g = folder();
    writeRecords<8>(g + "/ecg.txt", evenTimes(60, 1000));
    QVERIFY(data.load(g, start));
    QVERIFY(!data.pulsPresent());
    QVERIFY(data.spo2Series().isEmpty());
    QCOMPARE(data.spo2Span(), qint64(0));
}

void RecordingDataTest::oximetryReadAsTheConversionReadsIt()
{
    // Rome's change to summer time: 2024-03-31 02:00 to 02:59 does not exist.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Rome");
    tzset();
    const auto restoreZone = qScopeGuard([zone] {
        qputenv("TZ", zone);
        tzset();
    });
    const QDateTime start(QDate(2024, 3, 31), QTime(1, 0), Qt::LocalTime);
    const auto line = [](const char *clock, const QByteArray &pulse, const QByteArray &spo2) {
        return QByteArray("1,2024,3,31,") + clock + "," + pulse + "," + spo2 + "\n";
    };
    QByteArray text = "VERSION 2.1\n";
    text += line("1,0,0", "70", "97");
    text += line("1,59,59", "71", "96");
    text += line("2,30,0", "71", "96");                       // does not exist: left out
    text += line("3,0,0", "72", "95");
    text += line("3,0,1", "abc", "94");                       // SpO2 kept, no pulse
    text += line("3,0,2", "72", QByteArray("9\0" "7", 3));    // a NUL inside
    text += line("3,0,3", "72", "abc");                       // no number: not 0 %
    text += line("3,0,4", "72", QByteArray(1000000, '9'));    // overflows
    text += line("3,0,5", "75", "98");
    text += "1,2024,5,30,10,0,0,75,98\n";                    // 60 days on: no wrapped time
    const QString f = folder();
    writeRecords<8>(f + "/ecg.txt", evenTimes(60, 1000));
    QVERIFY(writeFile(f + "/Puls.txt", text));
    RecordingData data;
    QVERIFY(data.load(f, start.toSecsSinceEpoch()));
    using P = QVector<QPair<int, int>>;
    QCOMPARE(data.spo2Series(), P({{0, 97}, {3599000, 96}, {3600000, 95}, {3601000, 94}, {3605000, 98}}));
    QCOMPARE(data.pulseSeries(), P({{0, 70}, {3599000, 71}, {3600000, 72}, {3605000, 75}}));
    QCOMPARE(data.spo2Span(), qint64(3605000));

    // The converted file holds the same times and values.
    qint64 records = 0;
    QVERIFY(!convertSpo2File(f + "/Puls.txt", f + "/spo2.txt", start, &records));
    QFile converted(f + "/spo2.txt");
    QVERIFY(converted.open(QIODevice::ReadOnly));
    const QByteArray bytes = converted.readAll();
    P fromFile;
    for (int at = 0; at + 8 <= bytes.size(); at += 8) {
        const auto *p = reinterpret_cast<const uchar *>(bytes.constData()) + at;
        fromFile.append({qFromLittleEndian<qint32>(p), int(qFromLittleEndian<float>(p + 4))});
    }
    QCOMPARE(fromFile, data.spo2Series());

    // An export of another recording, weeks away: nothing to plot, rather than wrapped times.
    QVERIFY(writeFile(f + "/Puls.txt", "VERSION\n1,2024,5,30,10,0,0,75,98\n1,2024,5,30,10,0,1,75,97\n"));
    QVERIFY(data.load(f, start.toSecsSinceEpoch()));
    QVERIFY(data.spo2Series().isEmpty());
    QVERIFY(data.pulseSeries().isEmpty());
    QCOMPARE(data.spo2Span(), qint64(0));
}

void RecordingDataTest::readersAndPartialRecords()
{
    const QString f = folder();
    // 100 ECG records 2 ms apart and 10 bytes of a cut last record (time 200 and 1.5 floats).
    QByteArray tail(10, '\0');
    const float half[2] = {7.0f, 0.0f};
    qToLittleEndian<quint32>(200, reinterpret_cast<uchar *>(tail.data()));
    memcpy(tail.data() + 4, half, 4);
    writeRecords<8>(f + "/ecg.txt", evenTimes(100, 2), 0.0f, tail);
    writeRecords<5>(f + "/breath.txt", evenTimes(10, 20));
    RecordingData data;
    QVERIFY(data.load(f, 0));
    QCOMPARE(data.ecg().size(), std::size_t(100));
    QCOMPARE(data.ecg().partialTailSize(), std::size_t(10));

    SampleList out{SampleRecord(3, 1.0f)}; // cleared by the reader
    data.readEcgRecords(out, 51, 3);       // lower bound: the record at 52
    QCOMPARE(out.size(), std::size_t(3));
    QCOMPARE(timeOf(out[0]), 52u);
    QCOMPARE(out[0].size(), std::size_t(9));
    QCOMPARE(out[0][1], 26.0f * 10.0f);
    QCOMPARE(timeOf(out[2]), 56u);

    // Past the last whole record the read lands on the cut one, and stops there.
    data.readEcgRecords(out, 5000, 4);
    QCOMPARE(out.size(), std::size_t(1));
    QCOMPARE(timeOf(out[0]), 200u);
    QCOMPARE(out[0][2], 0.0f);

    // Reading into the end: the whole records, then the cut one with zeros where bytes are missing.
    data.readEcgRecords(out, 196, 10);
    QCOMPARE(out.size(), std::size_t(3));
    QCOMPARE(timeOf(out[1]), 198u);
    QCOMPARE(timeOf(out[2]), 200u);
    QCOMPARE(out[2][1], 7.0f);
    QCOMPARE(out[2][3], 0.0f);

    data.readBreathRecords(out, 0, 3);
    QCOMPARE(out.size(), std::size_t(3));
    QCOMPARE(out[1].size(), std::size_t(6));
    QCOMPARE(timeOf(out[1]), 20u);
    data.readBreathRecords(out, 181, 2); // past the last (180): zeros
    QCOMPARE(out, SampleList({SampleRecord(6, 0.0f)}));

    // The mapped view and its ranges agree with the readers.
    const auto [from, to] = data.ecg().range(10, 20);
    QCOMPARE(int(to - from), 5);
    QCOMPARE(from->time, 10u);
    QCOMPARE(data.ecg().lowerBound(199), std::size_t(100));
    QCOMPARE(data.ecg().range(20, 20).first, data.ecg().range(20, 20).second);
}

void RecordingDataTest::imuSearchEnds()
{
    const QString f = folder();
    writeRecords<8>(f + "/ecg.txt", evenTimes(60, 20));
    // IMU records at 1000, 1020, ... 2980, and one lone record at 5000.
    QVector<quint32> imuTimes = evenTimes(100, 20, 1000);
    imuTimes.append(5000);
    writeRecords<3>(f + "/imu.txt", imuTimes);
    RecordingData data;
    QVERIFY(data.load(f, 0));
    QVERIFY(data.imuPresent());
    SampleList out;
    data.readImuRecords(out, 1040, 2);
    QCOMPARE(out.size(), std::size_t(2));
    QCOMPARE(timeOf(out[0]), 1040u);
    QCOMPARE(out[0].size(), std::size_t(4));
    data.readImuRecords(out, 1047, 1); // 1046 ... 1037 are tried: 1040 wins
    QCOMPARE(timeOf(out.at(0)), 1040u);
    data.readImuRecords(out, 4000, 1); // 3999..3990, then 2989..2980: 2980 wins
    QCOMPARE(timeOf(out.at(0)), 2980u);
    data.readImuRecords(out, 5002, 3); // 5000 and then past the end: zeros
    QCOMPARE(out.size(), std::size_t(2));
    QCOMPARE(timeOf(out[0]), 5000u);
    QCOMPARE(out[1], SampleRecord(4, 0.0f));
    // Far after the last record: 8029..8020, 7019..7010, 6009..6000, 4999..4990, 3989..3980,
    // 2979..2970 all miss; 1969..1960 finds 1960.
    data.readImuRecords(out, 8030, 1);
    QCOMPARE(timeOf(out.at(0)), 1960u);
    data.readImuRecords(out, 4000000000u, 1); // candidates on float steps: it ends, found or not
    QVERIFY(out.empty() || timeOf(out[0]) <= 5000u);
    // Before the first record no candidate can exist: the search ends with nothing.
    data.readImuRecords(out, 999, 1);
    QVERIFY(out.empty());
    data.readImuRecords(out, 0, 1);
    QVERIFY(out.empty());

    // An empty IMU file ends at once too.
    const QString g = folder();
    writeRecords<8>(g + "/ecg.txt", evenTimes(60, 20));
    QVERIFY(writeFile(g + "/imu.txt", {}));
    QVERIFY(data.load(g, 0));
    QVERIFY(data.imuPresent());
    data.readImuRecords(out, 123456, 1);
    QVERIFY(out.empty());
}

void RecordingDataTest::lowerBoundOnUnevenTimes()
{
    // Times that interpolation guesses badly: a dense run, a huge jump, repeats, a sparse tail.
    QVector<quint32> times;
    for (quint32 t = 0; t < 3000; t += 2)
        times.append(t);
    times.append({3000, 3000, 3000, 1000000, 1000001, 4000000000u});
    for (quint32 t = 4000000100u; t < 4000100000u; t += 997)
        times.append(t);
    // Far beyond any recording: the file map on its own, not a session.
    const QString f = folder();
    writeRecords<5>(f + "/breath.txt", times);
    MappedRecords<BreathRecord> records;
    QVERIFY(records.open(f + "/breath.txt"));
    QCOMPARE(records.size(), std::size_t(times.size()));
    QVector<quint32> probes = {0, 1, 2999, 3000, 3001, 999999, 1000000, 1000001, 1000002, 3999999999u,
                               4000000000u, 4000000001u, 4000099999u, 4294967295u};
    for (quint32 t = 0; t < 4200; t += 7)
        probes.append(t);
    for (quint32 t = 4000000000u; t < 4000100500u; t += 331)
        probes.append(t);
    for (const quint32 t : probes) {
        const std::size_t expected = std::size_t(std::lower_bound(times.begin(), times.end(), t) - times.begin());
        QVERIFY2(records.lowerBound(t) == expected, qPrintable(QString::number(t)));
    }
}

void RecordingDataTest::timeAxisLabels()
{
    const qint64 offset = QDateTime(QDate(2024, 3, 4), QTime(9, 30), Qt::LocalTime).toSecsSinceEpoch();
    QCOMPARE(QwtDateScaleWithOffset::labelText(offset, 61000.0), QStringLiteral("09:31:01"));
    QwtDateScaleWithOffset scale;
    scale.setOffset(offset);
    QCOMPARE(scale.label(3600000.0 + 999.6).text(), QStringLiteral("10:30:01"));
    scale.setLabelFormat("hh:mm");
    QCOMPARE(scale.label(600000.0).text(), QStringLiteral("09:40"));
}

void RecordingDataTest::syntheticSessionEndToEnd()
{
    const QString card = folder(), session = folder();
    SynthOptions options;
    options.hours = 0.25;
    options.seed = 3;
    SynthTrace trace;
    options.trace = &trace;
    SynthSummary summary;
    QString error;
    QVERIFY2(writeSyntheticRecording(card, options, &summary, &error), qPrintable(error));
    QVERIFY2(writeSyntheticAnalysis(session + "/ANALISI", trace, &error), qPrintable(error));
    CardDecodeResult decoded;
    QVERIFY2(decodeCardFolder(card, session, options.calibration, &decoded, &error), qPrintable(error));
    QFile::copy(card + "/Puls.txt", session + "/Puls.txt");

    RecordingData data;
    QVERIFY(data.load(session, options.start.toSecsSinceEpoch()));
    QCOMPARE(data.acquisitionStart(), options.start);
    QCOMPARE(data.missingIntervals(), decoded.missingIntervals);
    QVERIFY(!decoded.missingIntervals.isEmpty());
    QVERIFY(qAbs(data.ecgSpan() - qint64(summary.durationMs)) <= 20);
    QVERIFY(!data.timeCorrect());
    QCOMPARE(data.ecgOverviewTimes().size(), RecordingData::overviewCount(data.ecg().size()));
    QVERIFY(data.overviewCurve().size() < data.ecgOverviewTimes().size()); // points in the drop-outs left out
    QVERIFY(data.availability() > 0.9 && data.availability() < 1.0);
    QVERIFY(data.imuPresent());
    QVERIFY(data.spo2Series().size() > 800);
    QCOMPARE(data.spo2Series().first().first, -45000); // the oximeter was on before the recorder

    // Every annotated beat sits on its R wave in lead II: the largest deflection within 60 ms.
    QFile annotations(session + "/ANALISI/annotations_fusion.pt");
    QVERIFY(annotations.open(QIODevice::ReadOnly | QIODevice::Text));
    int normal = 0, ventricular = 0;
    QStringList rhythms;
    while (!annotations.atEnd()) {
        const QStringList tokens = QString::fromLatin1(annotations.readLine()).split(QRegularExpression("[ \t\n]+"));
        const QStringList clock = tokens[0].split(':');
        const double ms = ((clock[0].toDouble() * 60 + clock[1].toDouble()) * 60 + clock[2].toDouble()) * 1000;
        QCOMPARE(tokens[1].toLongLong(), qint64(std::llround(ms)) / 2);
        if (tokens[2] != "N" && tokens[2] != "V") {
            rhythms.append(tokens[2] + tokens.value(6));
            continue;
        }
        (tokens[2] == "N" ? normal : ventricular)++;
        const auto [from, to] = data.ecg().range(quint32(ms) - 60, quint32(ms) + 62);
        QVERIFY(to - from >= 50);
        const EcgRecord *peak = std::max_element(from, to, [](const EcgRecord &a, const EcgRecord &b) {
            return std::fabs(a.values[2]) < std::fabs(b.values[2]);
        });
        // A ventricular QRS is broad and has two lobes of similar size.
        QVERIFY2(qAbs(qint64(peak->time) - qint64(ms)) <= (tokens[2] == "N" ? 12 : 30),
                 qPrintable(QStringLiteral("beat at %1 ms, peak at %2 ms").arg(ms).arg(peak->time)));
    }
    QVERIFY(normal > 700);
    QVERIFY(ventricular > 20);
    QCOMPARE(rhythms, QStringList({"+(SBR", "+(N", "+(P)", "+(B", "+(N", "+(VT", "+(N", "s(ST", "sAST0-200", "s(N"}));

    QFile positions(session + "/ANALISI/positions.txt");
    QVERIFY(positions.open(QIODevice::ReadOnly));
    QCOMPARE(positions.readAll(), QByteArray("093000;SUPINE\n"));
    QFile split(session + "/ANALISI/split_AVF.txt");
    QVERIFY(split.open(QIODevice::ReadOnly));
    const QList<QByteArray> splitLines = split.readAll().split('\n');
    QCOMPARE(splitLines.first(), QByteArray("093000"));
    QCOMPARE(splitLines.size(), decoded.missingIntervals.size() + 3); // t0, one stretch per segment, ""
}

void RecordingDataTest::toolWritesAnalysisFolder()
{
    const QString f = folder();
    const ToolRun run = runTool({"synth", "--hours", "0.02", "--analysis", f + "/ANALISI", f + "/card"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains("analysis results in " + f + "/ANALISI"));
    for (const char *lead : LeadNames)
        QVERIFY(QFile::exists(f + "/ANALISI/split_" + QLatin1String(lead) + ".txt"));
    QFile annotations(f + "/ANALISI/annotations_fusion.pt");
    QVERIFY(annotations.open(QIODevice::ReadOnly));
    QVERIFY(annotations.readAll().count("\tN\t") > 50); // 72 s of beats
    QVERIFY(QFile::exists(f + "/ANALISI/positions.txt"));

    // Without the option the card alone, the same bytes as before the option existed.
    const QString g = folder();
    QCOMPARE(runTool({"synth", "--hours", "0.02", g + "/card"}).exitCode, 0);
    QVERIFY(!QFile::exists(g + "/ANALISI"));
    QFile withTrace(f + "/card/s0.txt"), plain(g + "/card/s0.txt");
    QVERIFY(withTrace.open(QIODevice::ReadOnly) && plain.open(QIODevice::ReadOnly));
    QVERIFY(withTrace.readAll() != plain.readAll()); // the rhythm episodes are in the ECG
}

KRN_TEST_MAIN(RecordingDataTest)
#include "tst_recordingdata.moc"
