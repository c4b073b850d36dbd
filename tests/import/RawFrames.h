#pragma once

// Hand-built recorder frames for the decoder tests: FE, group, type, LEN, payload, XOR check.

#include <QByteArray>
#include <QtEndian>

#include <initializer_list>

namespace raw {

inline char xorOf(const QByteArray &bytes)
{
    char check = 0;
    for (const char b : bytes)
        check ^= b;
    return check;
}

// A frame with its correct check byte; `checkFlip` is XORed into the check to spoil it.
inline QByteArray frame(uchar group, uchar type, const QByteArray &payload, uchar checkFlip = 0)
{
    QByteArray f;
    f.append(char(0xFE)).append(char(group)).append(char(type)).append(char(payload.size()));
    f.append(payload);
    f.append(char(xorOf(f) ^ char(checkFlip)));
    return f;
}

// 0xFF, the byte that is not interpreted, the big-endian device time.
inline QByteArray sampleHead(quint32 time, uchar free = 0)
{
    QByteArray p;
    p.append(char(0xFF)).append(char(free));
    uchar t[4];
    qToBigEndian<quint32>(time, t);
    p.append(reinterpret_cast<const char *>(t), 4);
    return p;
}

inline QByteArray ecg(quint32 time, const float (&values)[8], uchar free = 0, uchar checkFlip = 0)
{
    QByteArray p = sampleHead(time, free);
    for (const float v : values) {
        uchar b[4];
        qToBigEndian<float>(v, b);
        p.append(reinterpret_cast<const char *>(b), 4);
    }
    return frame(0xC0, 0x05, p, checkFlip);
}

inline QByteArray ecg(quint32 time, float value = 1.0f)
{
    const float values[8] = {value, value, value, value, value, value, value, value};
    return ecg(time, values);
}

inline QByteArray breath(quint32 time, std::initializer_list<quint16> values, uchar group = 0xC0,
                         uchar checkFlip = 0)
{
    QByteArray p = sampleHead(time);
    for (const quint16 v : values) {
        uchar b[2];
        qToBigEndian<quint16>(v, b);
        p.append(reinterpret_cast<const char *>(b), 2);
    }
    return frame(group, 0x05, p, checkFlip);
}

inline QByteArray imu(quint32 time, std::initializer_list<qint16> values, uchar checkFlip = 0)
{
    QByteArray p = sampleHead(time);
    for (const qint16 v : values) {
        uchar b[2];
        qToLittleEndian<qint16>(v, b);
        p.append(reinterpret_cast<const char *>(b), 2);
    }
    return frame(0xC1, 0x05, p, checkFlip);
}

} // namespace raw
