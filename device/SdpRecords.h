#pragma once

// The service records a Bluetooth device gives in answer to a service search (SDP), read as far
// as the link needs them: how many there are, and the RFCOMM channel they announce. The answer is
// the attribute lists of a ServiceSearchAttribute response: a data element sequence of records,
// each a sequence of attribute id / value pairs. Plain bytes in, no radio: a recorded answer
// tells what the link would choose.

#include <QByteArray>
#include <QString>

#include <optional>

namespace sdp {

constexpr quint16 RfcommUuid = 0x0003;
constexpr quint16 L2capUuid = 0x0100;
constexpr quint16 SerialPortUuid = 0x1101;
constexpr quint16 ProtocolDescriptorListId = 0x0004;
// Where a recorder is tried when no record names a channel.
constexpr int DefaultChannel = 1;

// The records of an answer; no value when the bytes are not a well-formed answer.
std::optional<int> recordCount(const QByteArray &attributeLists);
// The channel of the first record whose protocol descriptor list carries RFCOMM with a channel.
std::optional<int> rfcommChannel(const QByteArray &attributeLists);

struct ChannelChoice {
    int channel = DefaultChannel;
    QString source; // what the channel came from, for the log
};
// The RFCOMM protocol first, as the Windows stack connects by it; then the Serial Port service;
// otherwise the default channel.
ChannelChoice chooseRfcommChannel(const QByteArray &rfcommAnswer, const QByteArray &serialPortAnswer);

} // namespace sdp
