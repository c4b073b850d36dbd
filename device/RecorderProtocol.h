#pragma once

// The recorder's Bluetooth command protocol, shared by the workstation's link and the simulated
// recorder. Every frame uses the common envelope (import/FrameEnvelope.h): commands are group
// 0xC1 type 0x01, replies group 0xC1 type 0x02, both with the command code as first payload byte;
// measured values (samples, calibration values) come in group 0xC0.
//
// Replies the workstation reads by count are exactly that long on the recorder's side (no check
// byte after the battery, setTime, stream and Gain replies' last examined byte is counted in), so
// that nothing is left over in front of the next reply.

#include "import/FrameEnvelope.h"
#include "import/FrameScanner.h"
#include "import/UsbProtocol.h"

#include <QByteArray>
#include <QDateTime>
#include <QtEndian>
#include <QtGlobal>

#include <array>
#include <vector>

namespace recorder {

// The Bluetooth link shares the USB link's command frames and the card's sample frames.
constexpr quint8 CommandGroup = usb::Group;
constexpr quint8 ValueGroup = ::ValueGroup;
constexpr quint8 CommandType = usb::HostType;
constexpr quint8 ReplyType = usb::ReplyType;
constexpr quint8 SampleType = ::SampleType;

enum Code : quint8 {
    BatteryCode = 0xFE,
    SessionInfoCode = usb::IdentifyCode,
    ClearSdCode = usb::EraseCode,
    SetTimeCode = 0xFD,
    SessionIdCode = 0xFC,
    StartRecordingCode = 0xFB,
    StartCalibrationCode = 0x08,
    StopCalibrationCode = 0x09,
    CalibrationFactorCode = 0x0B,
    CalibrationRatioCode = 0x0C,
    GainCode = 0x0A,
    StartStreamCode = 0x04,
    StopStreamCode = 0x05,
};

// The second argument of the stream commands.
constexpr quint8 EcgStream = 0x00;
constexpr quint8 BreathStream = 0x01;

// What the workstation reads of each reply.
constexpr int BatteryReplySize = 8;
constexpr int BatteryLevelOffset = 5;
constexpr int CardStatusOffset = 6;
constexpr int SessionInfoReplySize = 27;
constexpr int SessionIdOffset = usb::SessionIdOffset;
constexpr int SessionIdSize = usb::SessionIdSize;
constexpr int ClearSdAckSize = 5;
constexpr int SetTimeReplySize = 12;
constexpr int StreamAckSize = 8;
constexpr int SessionIdEchoSize = 25;
constexpr int StartCalibrationAckSize = 5;
constexpr int GainTailSize = 5;

// The gain selector's items in order; the position p is sent as code p + 1, anything else as 0.
constexpr std::array<int, 7> GainValues = {1, 2, 3, 4, 6, 8, 12};
constexpr int DefaultGainPosition = 4;
inline quint8 gainCode(int position)
{
    return position >= 0 && position < int(GainValues.size()) ? quint8(position + 1) : quint8(0);
}
// The gain a code asks for; 0 for a code outside the table.
inline int gainOfCode(quint8 code)
{
    return code >= 1 && code <= GainValues.size() ? GainValues[code - 1] : 0;
}

inline QByteArray command(quint8 code, const QByteArray &arguments = QByteArray())
{
    return envelope::frame(CommandGroup, CommandType, QByteArray(1, char(code)) + arguments);
}

inline QByteArray batteryLevelAndSDStatus() { return command(BatteryCode); }
inline QByteArray sessionInfo() { return command(SessionInfoCode); }
inline QByteArray clearSd() { return command(ClearSdCode); }
inline QByteArray startRecording() { return command(StartRecordingCode); }
inline QByteArray startCalibration() { return command(StartCalibrationCode); }
inline QByteArray stopCalibration() { return command(StopCalibrationCode); }
inline QByteArray calibrationFactor() { return command(CalibrationFactorCode); }
inline QByteArray calibrationRatio() { return command(CalibrationRatioCode); }
inline QByteArray startStream(quint8 stream) { return command(StartStreamCode, QByteArray("\xC0", 1) + char(stream)); }
inline QByteArray stopStream(quint8 stream) { return command(StopStreamCode, QByteArray("\xC0", 1) + char(stream)); }
// The Gain command's payload, which the recorder's reply repeats.
inline QByteArray gainPayload(int position)
{
    return QByteArray(1, char(GainCode)) + QByteArray("\xC0\x00", 2) + char(gainCode(position));
}
inline QByteArray gain(int position) { return envelope::frame(CommandGroup, CommandType, gainPayload(position)); }
// Day, month, year modulo 100, hour, minute, second, each byte holding the number itself.
inline QByteArray setTime(const QDateTime &local)
{
    const QDate d = local.date();
    const QTime t = local.time();
    const char fields[6] = {char(d.day()), char(d.month()), char(d.year() % 100),
                            char(t.hour()), char(t.minute()), char(t.second())};
    return command(SetTimeCode, QByteArray(fields, 6));
}
inline QByteArray sendessionId(const QByteArray &sessionId) { return command(SessionIdCode, sessionId); }

// The leading bytes of replies as the workstation compares them.
inline QByteArray replyHead(quint8 length, quint8 code)
{
    const char head[5] = {char(envelope::StartByte), char(CommandGroup), char(ReplyType), char(length), char(code)};
    return QByteArray(head, 5);
}
inline QByteArray clearSdAck() { return replyHead(1, ClearSdCode); }
inline QByteArray startCalibrationAck() { return replyHead(1, StartCalibrationCode); }
inline QByteArray startRecordingAck() { return replyHead(1, StartRecordingCode); }
inline QByteArray sessionIdEcho(const QByteArray &sessionId) { return replyHead(0x15, SessionIdCode) + sessionId; }
// The Gain reply is found by its first four bytes, then five more are read.
inline QByteArray gainReplyHead() { return replyHead(4, GainCode).left(4); }

// A full reply frame of the recorder, check byte included.
inline QByteArray reply(quint8 code, const QByteArray &payload = QByteArray())
{
    return envelope::frame(CommandGroup, ReplyType, QByteArray(1, char(code)) + payload);
}

// A calibration value frame: factors (0x0B) or ratios (0x0C), 8 big-endian floats.
inline QByteArray calibrationValues(quint8 code, const std::vector<float> &values)
{
    QByteArray payload(1, char(code));
    for (float v : values) {
        uchar bytes[4];
        qToBigEndian<float>(v, bytes);
        payload.append(reinterpret_cast<const char *>(bytes), 4);
    }
    return envelope::frame(ValueGroup, ReplyType, payload);
}

} // namespace recorder
