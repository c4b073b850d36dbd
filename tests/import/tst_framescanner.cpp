// The frame scanners on hand-built byte strings: resynchronisation, check bytes, lengths, byte
// order, cut frames, and block-wise scanning giving the same records as one whole chunk.
#include "tests/support/TestMain.h"
#include "RawFrames.h"

#include "import/FrameScanner.h"

#include <QTest>

namespace {

const float Ecg8[8] = {1.5f, -2.25f, 0.0f, 1e-3f, -0.125f, 300.0f, 7.0f, -1e6f};

// An ECG frame at `time` whose check byte is 0xFE (found by varying the free byte).
QByteArray ecgEndingInFE(quint32 time)
{
    for (int free = 0; free < 256; ++free) {
        const QByteArray f = raw::ecg(time, Ecg8, uchar(free));
        if (uchar(f.back()) == 0xFE)
            return f;
    }
    return {};
}

QList<quint32> times(const SampleList &records)
{
    QList<quint32> result;
    for (const SampleRecord &r : records)
        result.append(sampleTime(r));
    return result;
}

// Collects records from block-wise scanning, keeping the tail that an attempt was cut in.
class Collector : public FrameHandler
{
public:
    void frame(Stream stream, quint32 deviceTime, const float *values) override
    {
        lists[int(stream)].push_back(makeSampleRecord(deviceTime, values, decodedFormat(stream).valueCount));
    }
    SampleList lists[3];
};

void scanInBlocks(const QByteArray &stream, std::size_t block, bool imu, Collector &out)
{
    std::vector<uchar> pending;
    for (std::size_t at = 0; at < std::size_t(stream.size()); at += block) {
        const std::size_t n = std::min(block, std::size_t(stream.size()) - at);
        pending.insert(pending.end(), stream.constData() + at, stream.constData() + at + n);
        const std::size_t resume = imu ? scanImuFrames(pending.data(), pending.size(), out)
                                       : scanSampleFrames(pending.data(), pending.size(), out);
        QVERIFY(pending.size() - resume < MaxFrameSize);
        pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(resume));
    }
}

} // namespace

class TestFrameScanner : public QObject
{
    Q_OBJECT

private slots:
    void ecgAndBreathFramesDecodeExactly()
    {
        SampleList ecg, breath;
        parseSampleChunk(raw::ecg(0xA1B2C3D4u, Ecg8) + raw::breath(77, {0, 1, 0x1234, 0xFFFF, 40000}), ecg,
                         breath);
        QCOMPARE(ecg.size(), std::size_t(1));
        QCOMPARE(ecg[0].size(), std::size_t(9));
        QCOMPARE(sampleTime(ecg[0]), 0xA1B2C3D4u); // bits kept, not converted to float
        for (int i = 0; i < 8; ++i)
            QCOMPARE(ecg[0][std::size_t(i) + 1], Ecg8[i]);
        QCOMPARE(breath.size(), std::size_t(1));
        QCOMPARE(breath[0], (SampleRecord{breath[0][0], 0.0f, 1.0f, 4660.0f, 65535.0f, 40000.0f}));
        QCOMPARE(sampleTime(breath[0]), 77u);
    }

    void listsAreAppendedNotCleared()
    {
        SampleList ecg, breath, imu;
        parseSampleChunk(raw::ecg(1), ecg, breath);
        parseSampleChunk(raw::ecg(2) + raw::breath(3, {1, 2, 3, 4, 5}), ecg, breath);
        parseImuChunk(raw::imu(4, {1, 2, 3}), imu);
        parseImuChunk(raw::imu(5, {1, 2, 3}), imu);
        QCOMPARE(times(ecg), (QList<quint32>{1, 2}));
        QCOMPARE(times(breath), QList<quint32>{3});
        QCOMPARE(times(imu), (QList<quint32>{4, 5}));
    }

    void checkByteFEIsReadAgainAsStartByte()
    {
        const QByteArray first = ecgEndingInFE(10);
        QVERIFY(!first.isEmpty());
        // The next frame has no start byte of its own: the previous check byte serves as one.
        const QByteArray next = raw::breath(20, {5, 6, 7, 8, 9}).mid(1);
        SampleList ecg, breath;
        parseSampleChunk(first + next, ecg, breath);
        QCOMPARE(times(ecg), QList<quint32>{10});
        QCOMPARE(times(breath), QList<quint32>{20});
    }

    void mismatchingFEIsPushedBack()
    {
        SampleList ecg, breath;
        // FE FE C0 ...: the second FE is the real start.
        QByteArray bytes = QByteArray(1, char(0xFE)) + raw::ecg(1);
        // FE C0 FE C0 ...: a type byte of FE starts the next attempt.
        bytes += QByteArray::fromHex("fec0") + raw::ecg(2);
        // FE C0 05 26 FE ...: the byte that should be 0xFF is a start byte.
        bytes += QByteArray::fromHex("fec00526") + raw::ecg(3);
        parseSampleChunk(bytes, ecg, breath);
        QCOMPARE(times(ecg), (QList<quint32>{1, 2, 3}));
    }

    void unknownLengthResumesAfterPayloadMark()
    {
        // LEN 0x20 is not a sample frame: the scan goes on right after its 0xFF, where a whole
        // frame sits (which would be lost if the unknown frame's bytes were consumed).
        SampleList ecg, breath;
        parseSampleChunk(QByteArray::fromHex("fec00520ff") + raw::ecg(9) + raw::breath(11, {1, 1, 1, 1, 1}),
                         ecg, breath);
        QCOMPARE(times(ecg), QList<quint32>{9});
        QCOMPARE(times(breath), QList<quint32>{11});
    }

    void wrongCheckIsDroppedAndTheNextFrameKept()
    {
        SampleList ecg, breath;
        const float values[8] = {};
        parseSampleChunk(raw::ecg(1, values, 0, 0x01) + raw::ecg(2) + raw::breath(3, {1, 2, 3, 4, 5}, 0xC0, 0x80)
                             + raw::breath(4, {1, 2, 3, 4, 5}),
                         ecg, breath);
        QCOMPARE(times(ecg), QList<quint32>{2});
        QCOMPARE(times(breath), QList<quint32>{4});

        SampleList imu;
        parseImuChunk(raw::imu(1, {1, 2, 3}, 0x40) + raw::imu(2, {1, 2, 3}), imu);
        QCOMPARE(times(imu), QList<quint32>{2});
    }

    void groupAndTypeSelectTheScanner()
    {
        // A respiration-sized frame in the IMU group, an IMU frame and an ECG frame of type 0x02.
        const QByteArray bytes = raw::breath(1, {1, 2, 3, 4, 5}, 0xC1) + raw::imu(2, {7, 8, 9})
                                 + raw::frame(0xC0, 0x02, raw::sampleHead(3) + QByteArray(32, '\0'));
        SampleList ecg, breath, imu;
        parseSampleChunk(bytes, ecg, breath);
        parseImuChunk(bytes, imu);
        QVERIFY(ecg.empty());
        QVERIFY(breath.empty());
        QCOMPARE(times(imu), QList<quint32>{2});
        QCOMPARE(imu[0], (SampleRecord{imu[0][0], 7.0f, 8.0f, 9.0f}));
    }

    void imuAxesAreLittleEndianRespirationBigEndian()
    {
        QByteArray imuFrame = raw::frame(0xC1, 0x05, raw::sampleHead(5) + QByteArray::fromHex("3412" "ffff" "0080"));
        QByteArray breathFrame = raw::frame(0xC0, 0x05, raw::sampleHead(6) + QByteArray::fromHex("1234" "ffff" "0080" "0000" "0001"));
        SampleList imu, ecg, breath;
        parseImuChunk(imuFrame, imu);
        parseSampleChunk(breathFrame, ecg, breath);
        QCOMPARE(imu.size(), std::size_t(1));
        QCOMPARE(imu[0][1], 4660.0f);
        QCOMPARE(imu[0][2], -1.0f);      // signed
        QCOMPARE(imu[0][3], -32768.0f);
        QCOMPARE(breath.size(), std::size_t(1));
        QCOMPARE(breath[0][1], 4660.0f);
        QCOMPARE(breath[0][2], 65535.0f); // unsigned
        QCOMPARE(breath[0][3], 128.0f);
        QCOMPARE(breath[0][5], 1.0f);
    }

    void garbageBetweenFramesIsSkipped()
    {
        QByteArray bytes = QByteArray::fromHex("00112233ffc0c105");
        bytes += raw::ecg(1);
        bytes += QByteArray::fromHex("fe00fec0fec005fec00526fe");
        bytes += raw::breath(2, {9, 9, 9, 9, 9});
        bytes += QByteArray::fromHex("c0c0c0fefe");
        bytes += raw::ecg(3);
        bytes += QByteArray("not a frame at all");
        SampleList ecg, breath;
        parseSampleChunk(bytes, ecg, breath);
        QCOMPARE(times(ecg), (QList<quint32>{1, 3}));
        QCOMPARE(times(breath), QList<quint32>{2});
    }

    void frameCutAtTheEndIsDropped()
    {
        const QByteArray whole = raw::ecg(1) + raw::breath(2, {1, 2, 3, 4, 5});
        for (const QByteArray &cut : {raw::ecg(3).left(42), raw::ecg(3).left(4), raw::breath(3, {1, 2, 3, 4, 5}).left(20)}) {
            SampleList ecg, breath;
            parseSampleChunk(whole + cut, ecg, breath);
            QCOMPARE(times(ecg), QList<quint32>{1});
            QCOMPARE(times(breath), QList<quint32>{2});
        }
        SampleList imu;
        parseImuChunk(raw::imu(1, {1, 2, 3}) + raw::imu(2, {1, 2, 3}).left(16), imu);
        QCOMPARE(times(imu), QList<quint32>{1});
    }

    void blockCutsDoNotChangeTheRecords()
    {
        // A stream with every awkward case, scanned whole and in blocks of every small size.
        QByteArray samples = QByteArray::fromHex("fe") + raw::ecg(1) + ecgEndingInFE(2)
                             + raw::breath(3, {1, 2, 3, 4, 5}).mid(1) + QByteArray::fromHex("fec00520ff")
                             + raw::ecg(4) + QByteArray::fromHex("fec005fe") + raw::breath(5, {6, 7, 8, 9, 10})
                             + raw::ecg(6, Ecg8, 0, 0x10) + raw::ecg(7);
        QByteArray imuBytes = raw::imu(1, {1, -1, 300}) + QByteArray::fromHex("fec1fec1") + raw::imu(2, {4, 5, 6})
                              + raw::imu(3, {0, 0, 0}, 0x02) + raw::imu(4, {-7, 8, -9});
        SampleList ecg, breath, imu;
        parseSampleChunk(samples, ecg, breath);
        parseImuChunk(imuBytes, imu);
        QCOMPARE(times(ecg), (QList<quint32>{1, 2, 4, 7}));
        QCOMPARE(times(breath), (QList<quint32>{3, 5}));
        QCOMPARE(times(imu), (QList<quint32>{1, 2, 4}));
        for (std::size_t block = 1; block <= 50; ++block) {
            Collector sampleBlocks, imuBlocks;
            scanInBlocks(samples, block, false, sampleBlocks);
            scanInBlocks(imuBytes, block, true, imuBlocks);
            QCOMPARE(sampleBlocks.lists[int(Stream::Ecg)], ecg);
            QCOMPARE(sampleBlocks.lists[int(Stream::Breath)], breath);
            QCOMPARE(imuBlocks.lists[int(Stream::Imu)], imu);
        }
    }

    void calibrationFramesReplaceTheVectors()
    {
        auto calibration = [](uchar code, float first) {
            QByteArray f = QByteArray::fromHex("fec00221");
            f.append(char(code));
            for (int i = 0; i < 8; ++i) {
                uchar b[4];
                qToBigEndian<float>(first + float(i), b);
                f.append(reinterpret_cast<const char *>(b), 4);
            }
            return f; // no check byte
        };
        std::vector<float> factors{9.0f}, ratios;
        // Garbage, a pushed-back FE in the header, factors, an unknown code, ratios, then later
        // factors that replace the first ones, and a cut frame that changes nothing.
        const QByteArray chunk = QByteArray::fromHex("0102fec0fe") + calibration(0x0B, 1.0f).mid(1)
                                 + calibration(0x0D, 50.0f) + calibration(0x0C, 0.5f) + QByteArray::fromHex("fec002")
                                 + calibration(0x0B, 10.0f) + calibration(0x0C, 100.0f).left(30);
        parseCalibrationChunk(chunk, factors, ratios);
        QCOMPARE(factors, (std::vector<float>{10, 11, 12, 13, 14, 15, 16, 17}));
        QCOMPARE(ratios, (std::vector<float>{0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f}));

        std::vector<float> untouched{1.0f}, none;
        parseCalibrationChunk(raw::ecg(1) + calibration(0x0B, 1.0f).left(36), untouched, none);
        QCOMPARE(untouched, std::vector<float>{1.0f});
        QVERIFY(none.empty());
    }
};

KRN_TEST_APPLESS_MAIN(TestFrameScanner)
#include "tst_framescanner.moc"
