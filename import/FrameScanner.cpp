#include "import/FrameScanner.h"

#include "import/FrameEnvelope.h"

#include <cstring>

namespace {

constexpr uchar StartByte = envelope::StartByte;
constexpr uchar ImuGroup = 0xC1;
constexpr uchar PayloadMark = 0xFF;
constexpr uchar EcgLength = 0x26;
constexpr uchar BreathLength = 0x10;
constexpr uchar ImuLength = 0x0C;

// Where the scan goes on after an attempt that ended on byte `last` at `position`.
inline std::size_t resumeAfter(std::size_t position, uchar last)
{
    return last == StartByte ? position : position + 1;
}

void decodeValues(Stream stream, const uchar *p, float *values)
{
    switch (stream) {
    case Stream::Ecg:
        for (int i = 0; i < 8; ++i)
            values[i] = qFromBigEndian<float>(p + 4 * i);
        break;
    case Stream::Breath:
        for (int i = 0; i < 5; ++i)
            values[i] = float(qFromBigEndian<quint16>(p + 2 * i));
        break;
    case Stream::Imu:
        for (int i = 0; i < 3; ++i)
            values[i] = float(qFromLittleEndian<qint16>(p + 2 * i));
        break;
    }
}

// The scan of one block. Layout of a sample frame from its start byte s: s+1 group, s+2 type,
// s+3 LEN, s+4 0xFF, s+5 byte not interpreted, s+6..s+9 time, s+10.. values, s+4+LEN check.
template <bool Imu>
std::size_t scanFrames(const uchar *data, std::size_t size, FrameHandler &handler)
{
    constexpr uchar group = Imu ? ImuGroup : ValueGroup;
    float values[MaxStreamValues];
    std::size_t i = 0;
    for (;;) {
        const auto *hit = static_cast<const uchar *>(std::memchr(data + i, StartByte, size - i));
        if (!hit)
            return size;
        const std::size_t s = std::size_t(hit - data);
        if (size - s < 5)
            return s;
        if (data[s + 1] != group) {
            i = resumeAfter(s + 1, data[s + 1]);
            continue;
        }
        if (data[s + 2] != SampleType) {
            i = resumeAfter(s + 2, data[s + 2]);
            continue;
        }
        if (data[s + 4] != PayloadMark) {
            i = resumeAfter(s + 4, data[s + 4]);
            continue;
        }
        const uchar length = data[s + 3];
        Stream stream;
        if (Imu && length == ImuLength)
            stream = Stream::Imu;
        else if (!Imu && length == EcgLength)
            stream = Stream::Ecg;
        else if (!Imu && length == BreathLength)
            stream = Stream::Breath;
        else {
            // Unknown length: go on right after the 0xFF.
            i = s + 5;
            continue;
        }
        const std::size_t checkAt = s + 4 + length;
        if (checkAt >= size)
            return s;
        if (data[checkAt] == envelope::checkByte(data + s, checkAt - s)) {
            decodeValues(stream, data + s + 10, values);
            handler.frame(stream, qFromBigEndian<quint32>(data + s + 6), values);
        } else {
            handler.badCheck(stream);
        }
        i = resumeAfter(checkAt, data[checkAt]);
    }
}

class ListCollector : public FrameHandler
{
public:
    ListCollector(SampleList *ecg, SampleList *breath, SampleList *imu)
        : m_ecg(ecg), m_breath(breath), m_imu(imu)
    {
    }

    void frame(Stream stream, quint32 deviceTime, const float *values) override
    {
        SampleList *list = stream == Stream::Ecg ? m_ecg : stream == Stream::Breath ? m_breath : m_imu;
        list->push_back(makeSampleRecord(deviceTime, values, decodedFormat(stream).valueCount));
    }

private:
    SampleList *m_ecg;
    SampleList *m_breath;
    SampleList *m_imu;
};

const uchar *bytes(const QByteArray &chunk)
{
    return reinterpret_cast<const uchar *>(chunk.constData());
}

} // namespace

SampleRecord makeSampleRecord(quint32 time, const float *values, int valueCount)
{
    SampleRecord record(std::size_t(valueCount) + 1);
    std::memcpy(record.data(), &time, sizeof time);
    std::memcpy(record.data() + 1, values, sizeof(float) * std::size_t(valueCount));
    return record;
}

quint32 sampleTime(const SampleRecord &record)
{
    quint32 time;
    std::memcpy(&time, record.data(), sizeof time);
    return time;
}

std::size_t scanSampleFrames(const uchar *data, std::size_t size, FrameHandler &handler)
{
    return scanFrames<false>(data, size, handler);
}

std::size_t scanImuFrames(const uchar *data, std::size_t size, FrameHandler &handler)
{
    return scanFrames<true>(data, size, handler);
}

void parseSampleChunk(const QByteArray &chunk, SampleList &ecgRecords, SampleList &breathRecords)
{
    ListCollector collector(&ecgRecords, &breathRecords, nullptr);
    scanSampleFrames(bytes(chunk), std::size_t(chunk.size()), collector);
}

void parseImuChunk(const QByteArray &chunk, SampleList &imuRecords)
{
    ListCollector collector(nullptr, nullptr, &imuRecords);
    scanImuFrames(bytes(chunk), std::size_t(chunk.size()), collector);
}

void parseCalibrationChunk(const QByteArray &chunk, std::vector<float> &calibrationFactors,
                           std::vector<float> &calibrationRatios)
{
    constexpr uchar header[] = {ValueGroup, 0x02, 0x21};
    constexpr uchar FactorCode = 0x0B;
    constexpr uchar RatioCode = 0x0C;
    const uchar *data = bytes(chunk);
    const std::size_t size = std::size_t(chunk.size());
    std::size_t i = 0;
    while (i < size) {
        const auto *hit = static_cast<const uchar *>(std::memchr(data + i, StartByte, size - i));
        if (!hit)
            return;
        const std::size_t s = std::size_t(hit - data);
        std::size_t k = 1;
        while (k <= 3 && s + k < size && data[s + k] == header[k - 1])
            ++k;
        if (k <= 3) {
            if (s + k >= size)
                return;
            i = resumeAfter(s + k, data[s + k]);
            continue;
        }
        if (size - s < CalibrationFrameSize)
            return;
        const uchar code = data[s + 4];
        if (code == FactorCode || code == RatioCode) {
            std::vector<float> values(8);
            for (int v = 0; v < 8; ++v)
                values[std::size_t(v)] = qFromBigEndian<float>(data + s + 5 + 4 * v);
            (code == FactorCode ? calibrationFactors : calibrationRatios) = std::move(values);
        }
        i = s + CalibrationFrameSize;
    }
}
