#pragma once

// The frames of the recorder's USB serial link (group 0xC1 in the common envelope), shared by the
// workstation and the simulated recorder.

#include "import/FrameEnvelope.h"

#include <QByteArray>
#include <QtGlobal>

namespace usb {

// What the host asks the recorder to send; the byte follows the 0xF9 (request) or 0xF8 (end) code.
enum class Transfer : quint8 { Log = 0x00, EcgBreath = 0x01, Imu = 0x02 };

constexpr quint8 StartByte = envelope::StartByte;
constexpr quint8 Group = 0xC1;
constexpr quint8 HostType = 0x01;     // host to recorder, and the end frames of the transfers
constexpr quint8 ReplyType = 0x02;    // replies of the recorder
constexpr quint8 IdentifyCode = 0xFA;
constexpr quint8 RequestCode = 0xF9;
constexpr quint8 EndCode = 0xF8;
constexpr quint8 EraseCode = 0xF7;

constexpr int IdentifyReplySize = 28;
constexpr int SessionIdOffset = 7;
constexpr int SessionIdSize = 20;

inline QByteArray frame(quint8 type, const QByteArray &payload) { return envelope::frame(Group, type, payload); }

inline QByteArray identifyRequest() { return frame(HostType, QByteArray(1, char(IdentifyCode))); }
inline QByteArray transferRequest(Transfer t)
{
    return frame(HostType, QByteArray(1, char(RequestCode)).append(char(t)));
}
inline QByteArray transferEnd(Transfer t) { return frame(HostType, QByteArray(1, char(EndCode)).append(char(t))); }
inline QByteArray eraseRequest() { return frame(HostType, QByteArray(1, char(EraseCode))); }

// The recorder's acknowledgement of an erase, and the first bytes the host checks for.
inline QByteArray eraseAcknowledgement() { return frame(ReplyType, QByteArray(1, char(EraseCode))); }
inline QByteArray eraseAcknowledgementHead() { return eraseAcknowledgement().left(5); }

// Two status bytes, then the identifier in 20 bytes, padded with zero bytes.
inline QByteArray identifyReply(quint8 status1, quint8 status2, const QByteArray &sessionId)
{
    QByteArray payload(1, char(IdentifyCode));
    payload.append(char(status1)).append(char(status2));
    payload.append(sessionId.left(SessionIdSize).leftJustified(SessionIdSize, '\0'));
    return frame(ReplyType, payload);
}

// The first bytes of the identify reply, which the host checks for.
inline QByteArray identifyReplyHead() { return identifyReply(0, 0, QByteArray()).left(5); }

// The identifier of an identify reply: its 20 bytes read as text up to the first zero byte.
inline QByteArray sessionIdOf(const QByteArray &identifyReply)
{
    const QByteArray field = identifyReply.mid(SessionIdOffset, SessionIdSize);
    const int zero = field.indexOf('\0');
    return zero < 0 ? field : field.left(zero);
}

} // namespace usb
