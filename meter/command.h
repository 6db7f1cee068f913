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
