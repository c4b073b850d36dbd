// The stream writers on real files: the continuous time base with its floor and restart fill,
// the state carried from file to file, the ECG scaling, and the inputs they refuse.
#include "tests/support/TestMain.h"
#include "import/StreamWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Decoded {
    QVector<quint32> times;
    std::vector<std::vector<float>> values;
};

Decoded readDecoded(const QString &path, const DecodedFormat &format)
{
    QFile file(path);
    Decoded d;
    if (!file.open(QIODevice::ReadOnly))
        return d;
    const QByteArray bytes = file.readAll();
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    for (int at = 0; at + format.recordSize <= bytes.size(); at += format.recordSize) {
        d.times.append(recordFileTime(p + at));
        std::vector<float> v;
        for (int k = 0; k < format.valueCount; ++k)
            v.push_back(recordValue(p + at, k));
        d.values.push_back(v);
    }
    return d;
}

SampleList records(std::initializer_list<quint32> times, int valueCount, float value = 1.0f)
{
    SampleList list;
    const std::vector<float> values(std::size_t(valueCount), value);
    for (const quint32 t : times)
        list.push_back(makeSampleRecord(t, values.data(), valueCount));
    return list;
}

SampleList ecgRecords(std::initializer_list<quint32> times) { return records(times, 8); }
SampleList breathRecords(std::initializer_list<quint32> times) { return records(times, 5); }
SampleList imuRecords(std::initializer_list<quint32> times) { return records(times, 3); }

const std::vector<float> UnitFactors(8, 1.0f);

bool allZero(const std::vector<float> &values)
{
    for (const float v : values)
        if (v != 0.0f)
            return false;
    return true;
}

} // namespace

class TestStreamWriter : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;

    // One ECG writer over the whole list, as a decode holds it across raw files.
    struct Run {
        bool closed = false;
        QVector<quint32> times;
        quint64 dropped = 0;
        quint64 outOfLine = 0;
        bool exceeded = false;
        QString error;
    };
    Run run(const QVector<quint32> &times, const QVector<MissingInterval> &intervals = {})
    {
        QFile::remove(dir->filePath("ecg.txt"));
        DecodeState state;
        StreamWriter writer(Stream::Ecg, dir->filePath("ecg.txt"), state.ecg, intervals);
        const float values[8] = {1, 1, 1, 1, 1, 1, 1, 1};
        for (const quint32 t : times)
            writer.add(t, values);
        Run r;
        r.closed = writer.close();
        r.times = ecg().times;
        r.dropped = writer.recordsDropped();
        r.outOfLine = writer.recordsOutOfLine();
        r.exceeded = writer.timeBaseExceeded();
        r.error = writer.errorString();
        return r;
    }

    QString folder() const { return dir->path(); }
    Decoded ecg() const { return readDecoded(dir->filePath("ecg.txt"), EcgFormat); }
    Decoded breath() const { return readDecoded(dir->filePath("breath.txt"), BreathFormat); }
    Decoded imu() const { return readDecoded(dir->filePath("imu.txt"), ImuFormat); }

    bool write(const SampleList &e, const SampleList &b, DecodeState &state,
               const QVector<MissingInterval> &intervals = {})
    {
        QString error;
        const bool ok = writeEcgBreathFiles(folder(), e, b, intervals, 1, UnitFactors, state, &error);
        if (!ok)
            qWarning() << error;
        return ok;
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    void fileTimesStartAtZeroAndEcgIsScaled()
    {
        const float raw[8] = {1.5f, -3.0f, 0.7f, 100.0f, 1e-3f, -2.5f, 6.0f, 0.1f};
        const std::vector<float> factors{0.5f, 2.0f, 0.0123457f, 1.0f, 3.0f, -1.0f, 0.25f, 7.0f};
        SampleList e;
        for (const quint32 t : {1000u, 1002u, 1004u})
            e.push_back(makeSampleRecord(t, raw, 8));
        const float breathValues[5] = {0, 1, 4660, 65535, 300};
        SampleList b{makeSampleRecord(5000, breathValues, 5), makeSampleRecord(5020, breathValues, 5)};
        DecodeState state;
        QString error;
        krntest::expectMessage(QtInfoMsg, "current gain: 3");
        QVERIFY(writeEcgBreathFiles(folder(), e, b, {}, 3, factors, state, &error));
        QVERIFY(writeImuFile(folder(), imuRecords({7, 27, 47}), state, {}, &error));

        const Decoded d = ecg();
        QCOMPARE(d.times, (QVector<quint32>{0, 2, 4}));
        for (int k = 0; k < 8; ++k)
            QCOMPARE(d.values[2][std::size_t(k)], (raw[k] * factors[std::size_t(k)]) / 3);
        QCOMPARE(breath().times, (QVector<quint32>{0, 20}));
        QCOMPARE(breath().values[1], std::vector<float>(breathValues, breathValues + 5));
        QCOMPARE(imu().times, (QVector<quint32>{0, 20, 40}));
        QCOMPARE(state.lastEcgTime(), 1004u);
        QCOMPARE(state.lastBreathTime(), 5020u);

        // The bytes themselves: 36-byte records, little-endian time then float bits.
        QFile file(dir->filePath("ecg.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), 3 * 36);
        QCOMPARE(bytes.mid(36, 4), QByteArray::fromHex("02000000"));
        const float first = (1.5f * 0.5f) / 3;
        QCOMPARE(bytes.mid(40, 4), QByteArray(reinterpret_cast<const char *>(&first), 4));
        QCOMPARE(QFile(dir->filePath("breath.txt")).size(), 2 * 24);
        QCOMPARE(QFile(dir->filePath("imu.txt")).size(), 3 * 16);
    }

    void backwardStepSetsTheFloorAndSkips()
    {
        DecodeState state;
        krntest::expectMessage(QtInfoMsg, "Hole found 4 1002 1006");
        // 1000 is a second backward step before anything was written: no second hole.
        QVERIFY(write(ecgRecords({1000, 1002, 1004, 1006, 1002, 1000, 1004, 1006, 1008}), {}, state));
        const Decoded d = ecg();
        QCOMPARE(d.times, (QVector<quint32>{0, 2, 4, 6, 6, 8}));
        for (const auto &v : d.values)
            QVERIFY(!allZero(v));
    }

    void restartInsideALoggedIntervalIsFilled()
    {
        DecodeState state;
        // Two periods match; the last one wins.
        const QVector<MissingInterval> intervals{{3595000, 3650000}, {3599000, 3700000}, {4000000, 4100000}};
        QVERIFY(write(ecgRecords({0, 3600000, 40, 42}), breathRecords({0, 3600000, 40, 60}), state, intervals));
        QVERIFY(writeImuFile(folder(), imuRecords({0, 3600000, 40, 60}), state, intervals));

        const Decoded e = ecg();
        QCOMPARE(e.times.size(), 2 + 50000 + 1);
        QCOMPARE(e.times[1], 3600000u);
        for (int i = 0; i < 50000; ++i) {
            QCOMPARE(e.times[2 + i], quint32(3600002 + 2 * i));
            QVERIFY(allZero(e.values[std::size_t(2 + i)]));
        }
        QCOMPARE(e.times.last(), 3700042u); // the record at 40 is dropped
        QVERIFY(!allZero(e.values.back()));

        for (const Decoded &d : {breath(), imu()}) {
            QCOMPARE(d.times.size(), 2 + 5000 + 1);
            QCOMPARE(d.times[2], 3600020u);
            QCOMPARE(d.times[2 + 4999], 3700000u);
            QVERIFY(allZero(d.values[2 + 4999]));
            QCOMPARE(d.times.last(), 3700060u);
        }
    }

    void restartWithoutMatchingIntervalOnlySetsTheFloor()
    {
        DecodeState state;
        // No interval: device times below the first one must not wrap to 49 days.
        QVERIFY(write(ecgRecords({1000, 3000, 40, 42, 2998, 3000, 3002}), {}, state));
        QCOMPARE(ecg().times, (QVector<quint32>{0, 2000, 2000, 2002}));

        // A period starting within the first 10 s never matches (unsigned comparison).
        QVERIFY(QFile::remove(dir->filePath("ecg.txt")));
        DecodeState second;
        QVERIFY(write(ecgRecords({0, 8000, 40, 8000, 8002}), {}, second, {{5000, 20000}}));
        QCOMPARE(ecg().times, (QVector<quint32>{0, 8000, 8000, 8002}));
    }

    void fileTimesContinueAcrossFiles()
    {
        DecodeState state;
        QVERIFY(write(ecgRecords({1000, 1002}), breathRecords({500, 520}), state));
        QVERIFY(writeImuFile(folder(), imuRecords({10, 30}), state, {}));
        QVERIFY(write(ecgRecords({1004, 1006}), breathRecords({540}), state));
        QVERIFY(writeImuFile(folder(), imuRecords({50}), state, {}));
        QVERIFY(write(ecgRecords({1008}), breathRecords({560, 580}), state));
        QVERIFY(writeImuFile(folder(), imuRecords({70, 90}), state, {}));
        QCOMPARE(ecg().times, (QVector<quint32>{0, 2, 4, 6, 8}));
        QCOMPARE(breath().times, (QVector<quint32>{0, 20, 40, 60, 80}));
        QCOMPARE(imu().times, (QVector<quint32>{0, 20, 40, 60, 80}));
        QCOMPARE(state.ecgOffset(), qint64(1000));
        QCOMPARE(state.lastEcgTime(), 1008u);
        QCOMPARE(state.lastBreathTime(), 580u);
    }

    void fileStartingWithARestartedClockIsFilled()
    {
        DecodeState state;
        const QVector<MissingInterval> intervals{{3599000, 3700000}};
        QVERIFY(write(ecgRecords({0, 3600000}), breathRecords({0, 3600000}), state, intervals));
        QVERIFY(writeImuFile(folder(), imuRecords({0, 3600000}), state, intervals));
        QVERIFY(write(ecgRecords({40, 42}), breathRecords({40, 60}), state, intervals));
        QVERIFY(writeImuFile(folder(), imuRecords({40, 60}), state, intervals));
        const Decoded e = ecg();
        QCOMPARE(e.times.size(), 2 + 50000 + 1);
        QCOMPARE(e.times[2 + 49999], 3700000u);
        QCOMPARE(e.times.last(), 3700042u);
        QCOMPARE(breath().times.last(), 3700060u);
        QCOMPARE(imu().times.size(), 2 + 5000 + 1);
        QCOMPARE(imu().times.last(), 3700060u);
        QCOMPARE(state.ecgOffset(), qint64(-3700000));
    }

    void backwardStepAfterAFilledRestartUsesTheRelativeFloor()
    {
        DecodeState state;
        QVERIFY(write(ecgRecords({0, 3600000, 40, 42, 50000, 49990, 49992, 50000, 50002}), {}, state,
                      {{3599000, 3700000}}));
        const Decoded e = ecg();
        QCOMPARE(e.times.size(), 2 + 50000 + 4);
        QCOMPARE(e.times.mid(e.times.size() - 4), (QVector<quint32>{3700042, 3750000, 3750000, 3750002}));
    }

    void recordsBehindTheFloorAreCounted()
    {
        // A step back: 1000 is behind, so are 1004 and 1002 until the clock is past 1006 again.
        krntest::expectMessage(QtInfoMsg, "Hole found 4 1002 1006");
        Run r = run({1000, 1002, 1004, 1006, 1002, 1000, 1004, 1006, 1008});
        QCOMPARE(r.times, (QVector<quint32>{0, 2, 4, 6, 6, 8}));
        QCOMPARE(r.dropped, quint64(3));
        // A restart without a logged gap: the restart record and all up to the old time.
        r = run({1000, 3000, 40, 42, 2998, 3000, 3002});
        QCOMPARE(r.times, (QVector<quint32>{0, 2000, 2000, 2002}));
        QCOMPARE(r.dropped, quint64(3));
        // A restart into a logged gap is filled: nothing is lost.
        r = run({0, 3600000, 40, 42}, {{3599000, 3700000}});
        QCOMPARE(r.times.size(), 2 + 50000 + 1);
        QCOMPARE(r.dropped, quint64(0));
        QCOMPARE(r.outOfLine, quint64(0));
    }

    void wildTimeStampCostsOnlyItself_data()
    {
        QTest::addColumn<QVector<quint32>>("times");
        QTest::addColumn<QVector<quint32>>("expected");
        QVector<quint32> even;
        for (quint32 t = 1000; t <= 1040; t += 2)
            even.append(t);
        QVector<quint32> relative;
        for (const quint32 t : even)
            relative.append(t - 1000);
        // One bit flipped in a time stamp whose check byte still passes.
        const auto flipped = [&even](int at, quint32 bit) {
            QVector<quint32> t = even;
            t[at] ^= bit;
            return t;
        };
        const auto without = [&relative](int at) {
            QVector<quint32> t = relative;
            t.remove(at);
            return t;
        };
        QTest::newRow("bit 31 in the middle") << flipped(10, 1u << 31) << without(10);
        QTest::newRow("bit 20 in the middle") << flipped(10, 1u << 20) << without(10);
        QTest::newRow("bit 4 in the middle") << flipped(10, 1u << 4) << without(10);
        QTest::newRow("bit 31 first") << flipped(0, 1u << 31) << [&] {
            QVector<quint32> t;
            for (quint32 x = 0; x <= 38; x += 2)
                t.append(x);
            return t;
        }();
        QTest::newRow("bit 31 last") << flipped(20, 1u << 31) << without(20);
        // Near the clock's start a lower time could pass for a restart.
        QVector<quint32> high;
        for (quint32 t = 0; t <= 40; t += 2)
            high.append((1u << 20) + t);
        QVector<quint32> low = high;
        low[10] ^= 1u << 20; // 20 ms
        QVector<quint32> lowExpected;
        for (quint32 t = 0; t <= 40; t += 2)
            if (t != 20)
                lowExpected.append(t);
        QTest::newRow("down to 20 ms") << low << lowExpected;
    }

    void wildTimeStampCostsOnlyItself()
    {
        QFETCH(QVector<quint32>, times);
        QFETCH(QVector<quint32>, expected);
        // A restart into this gap would fill it: a wild low time stamp must not pass for one.
        const Run r = run(times, {{10010, 20000}});
        QVERIFY2(r.closed, qPrintable(r.error));
        QCOMPARE(r.times, expected);
        QCOMPARE(r.outOfLine, quint64(1));
        QCOMPARE(r.dropped, quint64(0));
    }

    void fileTimesStayIncreasingAfterAFill()
    {
        // A gap filled up to 20000, then a time stamp near the end of the 32-bit clock: placed
        // after the fill it would pass 2^32 and come back as 15904.
        QVector<quint32> times;
        for (quint32 t = 0; t <= 14000; t += 2)
            times.append(t);
        times << 40 << 0xFFFFF000u << 42 << 44;
        const Run r = run(times, {{15000, 20000}});
        QVERIFY2(r.closed, qPrintable(r.error));
        for (int i = 1; i < r.times.size(); ++i)
            QVERIFY2(r.times[i] >= r.times[i - 1], qPrintable(QStringLiteral("%1 after %2").arg(r.times[i]).arg(r.times[i - 1])));
        QCOMPARE(r.times.last(), 20044u);
        QCOMPARE(r.outOfLine, quint64(1));
    }

    void timeBasePast48HoursIsRefused()
    {
        constexpr quint32 Limit = 48u * 3600u * 1000u;
        // Missing data logged up to beyond 48 hours: refused before anything is filled.
        Run r = run({0, Limit - 1000, 40, 42}, {{Limit - 5000, Limit + 1000}});
        QVERIFY(!r.closed);
        QVERIFY(r.exceeded);
        QVERIFY2(r.error.contains("48"), qPrintable(r.error));
        QVERIFY(r.times.size() <= 2);
        // Records that go on past 48 hours.
        r = run({0, 2, Limit - 2, Limit, Limit + 2, Limit + 4});
        QVERIFY(!r.closed);
        QVERIFY(r.exceeded);
        QVERIFY(r.times.size() <= 4);
        // Up to 48 hours is a recording.
        r = run({0, 2, Limit - 2, Limit});
        QVERIFY(r.closed);
        QCOMPARE(r.times.last(), Limit);
    }

    void emptyStreamsWriteNothing()
    {
        DecodeState state;
        QVERIFY(write({}, {}, state));
        QVERIFY(writeImuFile(folder(), {}, state, {}));
        QVERIFY(!QFile::exists(dir->filePath("ecg.txt")));
        QVERIFY(!QFile::exists(dir->filePath("breath.txt")));
        QVERIFY(!QFile::exists(dir->filePath("imu.txt")));
        // The recording starts with the first record there is.
        QVERIFY(write(ecgRecords({500, 502}), {}, state));
        QCOMPARE(ecg().times, (QVector<quint32>{0, 2}));
        QVERIFY(!QFile::exists(dir->filePath("breath.txt")));
    }

    void decodedFilesAreAppendedTo()
    {
        QFile old(dir->filePath("ecg.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(36, 'x'));
        old.close();
        DecodeState state;
        QVERIFY(write(ecgRecords({7, 9}), {}, state));
        QFile file(dir->filePath("ecg.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), 3 * 36);
        QCOMPARE(bytes.left(36), QByteArray(36, 'x'));
        QCOMPARE(bytes.mid(72, 4), QByteArray::fromHex("02000000"));
    }

    void unusableInputsAreRefused()
    {
        DecodeState state;
        QString error;
        for (const std::size_t count : {std::size_t(0), std::size_t(7), std::size_t(9)}) {
            error.clear();
            QVERIFY(!writeEcgBreathFiles(folder(), ecgRecords({1, 3}), breathRecords({1}), {}, 1,
                                         std::vector<float>(count, 1.0f), state, &error));
            QVERIFY2(error.contains("8"), qPrintable(error));
        }
        QVERIFY(!writeEcgBreathFiles(folder(), ecgRecords({1, 3}), {}, {}, 0, UnitFactors, state, &error));
        QVERIFY(!QFile::exists(dir->filePath("ecg.txt")));
        QVERIFY(!QFile::exists(dir->filePath("breath.txt")));
        QVERIFY(state.ecg.firstChunk);

        // A record of the wrong stream.
        QVERIFY(!writeImuFile(folder(), ecgRecords({1}), state, {}, &error));
        QVERIFY(error.contains("elements"));

        // A folder that is not there is an error, not a silent loss.
        error.clear();
        QVERIFY(!writeEcgBreathFiles(dir->filePath("missing/folder"), ecgRecords({1}), {}, {}, 1, UnitFactors,
                                     state, &error));
        QVERIFY(error.contains("ecg.txt"));
    }

    void calibrationText()
    {
        Calibration c;
        QString error;
        QVERIFY(Calibration::fromText("6,0.0123457,1,2,3,4,5,6,-7.5e-2", &c, &error));
        QCOMPARE(c.gain, 6);
        QCOMPARE(c.factors, (std::vector<float>{0.0123457f, 1, 2, 3, 4, 5, 6, -7.5e-2f}));
        for (const char *bad : {"6,1,1,1,1,1,1,1", "6,1,1,1,1,1,1,1,1,1", "6", "x,1,1,1,1,1,1,1,1",
                                "6,1,1,1,1,abc,1,1,1", "0,1,1,1,1,1,1,1,1", "6,nan,1,1,1,1,1,1,1",
                                "6,1,1,1,1,1,1,1,inf", "6,1,-inf,1,1,1,1,1,1", "6,1,1,1e39,1,1,1,1,1"}) {
            error.clear();
            Calibration untouched;
            QVERIFY2(!Calibration::fromText(bad, &untouched, &error), bad);
            QVERIFY(!error.isEmpty());
            QCOMPARE(untouched.gain, 1);
        }
    }
};

KRN_TEST_GUILESS_MAIN(TestStreamWriter)
#include "tst_streamwriter.moc"
