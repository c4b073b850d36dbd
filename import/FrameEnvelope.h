#pragma once

// The envelope of every recorder frame, on the card, over USB and over Bluetooth: start byte 0xFE,
// group byte, type byte, LEN, LEN payload bytes, then the XOR of all preceding bytes (start byte
// included). The decoder's scanners, the USB download and the Bluetooth link all build and check
// frames through these.

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <optional>

namespace envelope {

constexpr quint8 StartByte = 0xFE;
// Start, group, type and LEN before the payload; the check byte after it.
constexpr int HeaderSize = 4;
constexpr int Overhead = HeaderSize + 1;

// XOR of the bytes [data, data + size).
inline quint8 checkByte(const uchar *data, std::size_t size)
{
    quint8 check = 0;
    for (std::size_t k = 0; k < size; ++k)
        check ^= data[k];
    return check;
}

inline QByteArray frame(quint8 group, quint8 type, const QByteArray &payload)
{
    QByteArray bytes;
    bytes.reserve(payload.size() + Overhead);
    bytes.append(char(StartByte)).append(char(group)).append(char(type)).append(char(payload.size()));
    bytes.append(payload);
    return bytes.append(char(checkByte(reinterpret_cast<const uchar *>(bytes.constData()), std::size_t(bytes.size()))));
}

// Cuts the next frame that accept(group, type, payload) takes out of the bytes that have arrived,
// and returns its payload; no value while no such frame is complete. What precedes a start byte is
// dropped; so is the start byte of a frame that is not accepted or has a wrong check byte, and the
// search goes on right after it.
template <typename Accept>
std::optional<QByteArray> takeFrame(QByteArray &pending, Accept accept)
{
    for (;;) {
        const int start = pending.indexOf(char(StartByte));
        if (start < 0) {
            pending.clear();
            return std::nullopt;
        }
        pending.remove(0, start);
        if (pending.size() < HeaderSize)
            return std::nullopt;
        const int size = Overhead + quint8(pending[3]);
        if (pending.size() < size)
            return std::nullopt;
        const quint8 group = quint8(pending[1]);
        const quint8 type = quint8(pending[2]);
        QByteArray payload = pending.mid(HeaderSize, size - Overhead);
        if (!accept(group, type, payload) || frame(group, type, payload) != pending.left(size)) {
            pending.remove(0, 1);
            continue;
        }
        pending.remove(0, size);
        return payload;
    }
}

} // namespace envelope
