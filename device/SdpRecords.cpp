#include "device/SdpRecords.h"

#include <QtEndian>

#include <vector>

namespace sdp {
namespace {

enum Type : quint8 { Nil = 0, Unsigned = 1, Uuid = 3, Sequence = 6, Alternative = 7 };

struct Element {
    quint8 type = Nil;
    QByteArray value; // the bytes of a plain element
    std::vector<Element> items;
};

// Sequences inside sequences: a record is three levels deep, a protocol list five.
constexpr int MaxDepth = 8;

bool parse(const uchar *&p, const uchar *end, Element *element, int depth)
{
    if (p >= end || depth > MaxDepth)
        return false;
    const quint8 header = *p++;
    element->type = header >> 3;
    const int sizeIndex = header & 7;
    std::size_t size = 0;
    if (element->type == Nil) {
        size = 0;
    } else if (sizeIndex <= 4) {
        size = std::size_t(1) << sizeIndex;
    } else {
        const std::size_t lengthBytes = std::size_t(1) << (sizeIndex - 5);
        if (std::size_t(end - p) < lengthBytes)
            return false;
        for (std::size_t i = 0; i < lengthBytes; ++i)
            size = size << 8 | *p++;
    }
    if (std::size_t(end - p) < size)
        return false;
    const uchar *itemsEnd = p + size;
    if (element->type == Sequence || element->type == Alternative) {
        while (p < itemsEnd) {
            Element item;
            if (!parse(p, itemsEnd, &item, depth + 1))
                return false;
            element->items.push_back(std::move(item));
        }
    } else {
        element->value = QByteArray(reinterpret_cast<const char *>(p), int(size));
        p = itemsEnd;
    }
    return true;
}

std::optional<quint32> number(const Element &e)
{
    if (e.type != Unsigned || e.value.isEmpty() || e.value.size() > 4)
        return std::nullopt;
    quint32 n = 0;
    for (char b : e.value)
        n = n << 8 | quint8(b);
    return n;
}

// A 16-bit or 32-bit UUID, or a 128-bit one on the Bluetooth base, as its short form.
std::optional<quint32> shortUuid(const Element &e)
{
    if (e.type != Uuid)
        return std::nullopt;
    const auto *b = reinterpret_cast<const uchar *>(e.value.constData());
    if (e.value.size() == 2)
        return qFromBigEndian<quint16>(b);
    if (e.value.size() == 4)
        return qFromBigEndian<quint32>(b);
    static const QByteArray base = QByteArray::fromHex("00001000800000805F9B34FB");
    if (e.value.size() == 16 && e.value.mid(4) == base)
        return qFromBigEndian<quint32>(b);
    return std::nullopt;
}

// The records of an answer: a sequence of records, or one record on its own.
std::optional<std::vector<Element>> records(const QByteArray &answer)
{
    const auto *p = reinterpret_cast<const uchar *>(answer.constData());
    const uchar *end = p + answer.size();
    Element root;
    if (!parse(p, end, &root, 0) || p != end || root.type != Sequence)
        return std::nullopt;
    if (!root.items.empty() && root.items.front().type == Unsigned)
        return std::vector<Element>{root};
    for (const Element &record : root.items) {
        if (record.type != Sequence)
            return std::nullopt;
    }
    return root.items;
}

// The channel in a protocol descriptor list (or an alternative of lists).
std::optional<int> channelIn(const Element &list)
{
    for (const Element &descriptor : list.items) {
        if (descriptor.type == Alternative || (descriptor.type == Sequence && !descriptor.items.empty()
                                               && descriptor.items.front().type == Sequence)) {
            if (const std::optional<int> channel = channelIn(descriptor))
                return channel;
            continue;
        }
        if (descriptor.type != Sequence || descriptor.items.size() < 2
            || shortUuid(descriptor.items[0]) != quint32(RfcommUuid))
            continue;
        const std::optional<quint32> channel = number(descriptor.items[1]);
        if (channel && *channel >= 1 && *channel <= 30)
            return int(*channel);
    }
    return std::nullopt;
}

} // namespace

std::optional<int> recordCount(const QByteArray &attributeLists)
{
    const std::optional<std::vector<Element>> list = records(attributeLists);
    return list ? std::optional<int>(int(list->size())) : std::nullopt;
}

std::optional<int> rfcommChannel(const QByteArray &attributeLists)
{
    const std::optional<std::vector<Element>> list = records(attributeLists);
    if (!list)
        return std::nullopt;
    for (const Element &record : *list) {
        for (std::size_t i = 0; i + 1 < record.items.size(); i += 2) {
            if (number(record.items[i]) != quint32(ProtocolDescriptorListId))
                continue;
            if (const std::optional<int> channel = channelIn(record.items[i + 1]))
                return channel;
        }
    }
    return std::nullopt;
}

ChannelChoice chooseRfcommChannel(const QByteArray &rfcommAnswer, const QByteArray &serialPortAnswer)
{
    if (const std::optional<int> channel = rfcommChannel(rfcommAnswer))
        return {*channel, QStringLiteral("RFCOMM service record")};
    if (const std::optional<int> channel = rfcommChannel(serialPortAnswer))
        return {*channel, QStringLiteral("Serial Port service record")};
    return {DefaultChannel, QStringLiteral("no service record names one: default")};
}

} // namespace sdp
