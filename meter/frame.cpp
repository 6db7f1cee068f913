#include "meter/frame.h"

namespace frame {

quint16 checksum(const char *data, int size)
{
    quint16 sum = 0;
    for (int i = 0; i < size; ++i)
        sum = quint16(sum + static_cast<unsigned char>(data[i]));
    return sum;
}

QByteArray build(const QByteArray &payload)
{
    QByteArray bytes;
    bytes.reserve(payload.size() + 5);
    bytes.append(char(kHeader0));
    bytes.append(char(kHeader1));
    bytes.append(char((payload.size() + 2) & 0xFF));
    bytes.append(payload);
    const quint16 sum = checksum(bytes.constData(), bytes.size());
    bytes.append(char(sum >> 8));
    bytes.append(char(sum & 0xFF));
    return bytes;
}

namespace {

enum class Candidate
{
    Frame,
    Incomplete,
    Invalid
};

// Judges the bytes at start: a whole valid frame, the beginning of one, or not a frame.
Candidate judge(const unsigned char *bytes, int available)
{
    if (bytes[0] != kHeader0)
        return Candidate::Invalid;
    if (available < 2)
        return Candidate::Incomplete;
    if (bytes[1] != kHeader1)
        return Candidate::Invalid;
    if (available < 3)
        return Candidate::Incomplete;
    const int length = bytes[2];
    if (length < kMinLength)
        return Candidate::Invalid;
    if (available < length + 3)
        return Candidate::Incomplete;
    const quint16 sum = checksum(reinterpret_cast<const char *>(bytes), length + 1);
    const quint16 sent = quint16(bytes[length + 1] << 8 | bytes[length + 2]);
    return sum == sent ? Candidate::Frame : Candidate::Invalid;
}

// Start of the first whole valid frame at or after from, or -1.
int nextWholeFrame(const unsigned char *bytes, int size, int from)
{
    for (int start = from; start < size; ++start) {
        if (bytes[start] == kHeader0 && judge(bytes + start, size - start) == Candidate::Frame)
            return start;
    }
    return -1;
}

} // namespace

QByteArray extract(const QByteArray &buffer, int &offset)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(buffer.constData());
    const int size = buffer.size();
    while (offset < size) {
        switch (judge(bytes + offset, size - offset)) {
        case Candidate::Frame: {
            const int total = bytes[offset + 2] + 3;
            const QByteArray found = buffer.mid(offset, total);
            offset += total;
            return found;
        }
        case Candidate::Incomplete: {
            // A false header in garbage can claim a length that is never filled; a whole valid
            // frame further on shows that, and must not be kept waiting behind it.
            const int later = nextWholeFrame(bytes, size, offset + 1);
            if (later < 0)
                return QByteArray();
            offset = later;
            break;
        }
        case Candidate::Invalid: {
            const int next = buffer.indexOf(char(kHeader0), offset + 1);
            offset = next < 0 ? size : next;
            break;
        }
        }
    }
    return QByteArray();
}

QString hexDump(const QByteArray &bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text.append(QLatin1Char(kDigits[value >> 4]));
        text.append(QLatin1Char(kDigits[value & 0x0F]));
        text.append(QLatin1Char(' '));
    }
    return text;
}

} // namespace frame
