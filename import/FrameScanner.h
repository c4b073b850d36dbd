#pragma once

// Cutting the recorder's raw byte streams into frames.
//
// Frames in the common envelope (import/FrameEnvelope.h). Sample frames (type 0x05) start their payload with
// 0xFF and a byte that is not interpreted, then the big-endian device time in ms, then the values:
//   ECG          group 0xC0, LEN 0x26: 8 float32, big-endian
//   respiration  group 0xC0, LEN 0x10: 5 uint16, big-endian
//   IMU          group 0xC1, LEN 0x0C: 3 int16, little-endian
// Calibration value frames are FE C0 02 21, a code byte (0x0B factors, 0x0C ratios) and 8 big-endian
// float32, read without a check byte.
//
// Bytes between frames are skipped. An attempt that fails ends after the byte that failed it; if
// that byte is 0xFE it is looked at again as a possible start byte.

#include "import/RecordingFormat.h"

#include <QByteArray>

#include <cstddef>
#include <vector>

// One decoded frame: element 0 holds the bits of the unsigned device time (never read it as a
// float), the other elements the frame's values.
using SampleRecord = std::vector<float>;
using SampleList = std::vector<SampleRecord>;

SampleRecord makeSampleRecord(quint32 time, const float *values, int valueCount);
quint32 sampleTime(const SampleRecord &record);

// Receives the valid sample frames of a scan, in stream order.
class FrameHandler
{
public:
    virtual ~FrameHandler() = default;
    virtual void frame(Stream stream, quint32 deviceTime, const float *values) = 0;
    // A whole sample frame whose check byte is wrong; it is dropped.
    virtual void badCheck(Stream) {}
};

// Bytes of the longest frame: an attempt never reads more than this from its start byte.
constexpr std::size_t MaxFrameSize = 43;

// The group of ECG and respiration sample frames and of calibration value frames, and the type of
// sample frames.
constexpr quint8 ValueGroup = 0xC0;
constexpr quint8 SampleType = 0x05;
// A calibration value frame as it is read, without its check byte: start, group, type, LEN, code
// and 8 floats.
constexpr std::size_t CalibrationFrameSize = 4 + 1 + 8 * 4;

// Scan a block of a longer stream for ECG and respiration frames (scanSampleFrames) or IMU frames
// (scanImuFrames). Returns where an attempt was cut off by the end of the block (size when none):
// scan the bytes from there again together with what follows, or drop them at the end of the
// stream. The result is the same however the stream is cut into blocks.
std::size_t scanSampleFrames(const uchar *data, std::size_t size, FrameHandler &handler);
std::size_t scanImuFrames(const uchar *data, std::size_t size, FrameHandler &handler);

// One self-contained chunk (a raw file, or bytes received from the recorder): the records are
// appended to the lists, which are not cleared; a frame cut by the end of the chunk is lost.
void parseSampleChunk(const QByteArray &chunk, SampleList &ecgRecords, SampleList &breathRecords);
void parseImuChunk(const QByteArray &chunk, SampleList &imuRecords);

// Each complete calibration value frame in the chunk replaces the whole factor vector (code 0x0B)
// or ratio vector (code 0x0C) by its 8 values; other codes are dropped.
void parseCalibrationChunk(const QByteArray &chunk, std::vector<float> &calibrationFactors,
                           std::vector<float> &calibrationRatios);
