#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QSharedPointer>

// One complete command frame for the meter and whether the meter answers it. A command is
// never changed after it has been built, so the command thread and the driver can share it.
class Command
{
public:
    Command(const QByteArray &frame, bool needsReply);
    Q_DISABLE_COPY(Command)

    const QByteArray &frame() const { return m_frame; }
    // When set, the command thread waits for the meter's answer after handing it out.
    bool needsReply() const { return m_needsReply; }
    // The command code (the first payload byte), or -1 for a frame without payload.
    int code() const;

private:
    const QByteArray m_frame;
    const bool m_needsReply;
};

// Commands are shared between the pools, the command thread and the driver: whoever still
// holds one keeps it alive, so a command handed out is never read after it was freed.
using CommandPtr = QSharedPointer<Command>;
Q_DECLARE_METATYPE(CommandPtr)

// The codes the meter understands; every command carries one of them as its only payload byte.
namespace commandcode {
constexpr char kPoll = 0x5E; // asks for the current display
constexpr char kMaxMin = 0x41;
constexpr char kExitMaxMin = 0x42;
constexpr char kRangeManual = 0x46;
constexpr char kRangeAuto = 0x47;
constexpr char kRelative = 0x48;
constexpr char kHz = 0x49;
constexpr char kHold = 0x4A;
constexpr char kLight = 0x4B;
constexpr char kSelect = 0x4C;
constexpr char kPeak = 0x4D;
constexpr char kExitPeak = 0x4E;
} // namespace commandcode
