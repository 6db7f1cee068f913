#pragma once

#include <QByteArray>
#include <QString>

// The frame format both directions share: 0xAB 0xCD, a length byte L (the bytes after it,
// checksum included), L - 2 content bytes, and a 16-bit big-endian sum of every byte before
// the checksum. A frame is L + 3 bytes long.
namespace frame {

constexpr unsigned char kHeader0 = 0xAB;
constexpr unsigned char kHeader1 = 0xCD;
// The shortest frame that carries a byte after the length: header, length, one byte, checksum.
constexpr int kMinLength = 3;

// Sum of the bytes, each unsigned, modulo 65536.
quint16 checksum(const char *data, int size);

// A complete frame around the payload; the length byte is taken modulo 256.
QByteArray build(const QByteArray &payload);

// Scans buffer from offset for the next complete frame with a valid checksum and returns it,
// advancing offset past it. Bytes that cannot start a frame (anything before the next 0xAB, a
// candidate with a bad length or checksum) are skipped one candidate at a time, so a valid
// frame behind garbage is still found; so is a candidate whose length runs past the end when
// a whole valid frame follows it. Returns an empty array when no complete frame is there;
// offset then points at the first byte that may still start one, so the caller can drop
// everything before it and wait for more bytes.
QByteArray extract(const QByteArray &buffer, int &offset);

// The bytes as upper-case hexadecimal pairs, each followed by one space ("AB CD 03 ").
QString hexDump(const QByteArray &bytes);

} // namespace frame
