#include "meter/command.h"

namespace {
// Header (two bytes) and length byte come before the payload.
constexpr int kPayloadOffset = 3;
// A frame without payload is just header, length and checksum.
constexpr int kEmptyFrameSize = 5;
} // namespace

Command::Command(const QByteArray &frame, bool needsReply)
    : m_frame(frame)
    , m_needsReply(needsReply)
{
}

int Command::code() const
{
    if (m_frame.size() <= kEmptyFrameSize)
        return -1;
    return static_cast<unsigned char>(m_frame.at(kPayloadOffset));
}
