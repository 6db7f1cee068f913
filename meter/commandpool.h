#pragma once

#include "meter/command.h"

#include <QList>
#include <QObject>
#include <mutex>

// Commands waiting to be handed out by the command thread, oldest first. The GUI thread adds
// and clears while the command thread takes and removes, so every operation holds the pool's
// mutex; the pool owns (shares) the commands in it.
class CommandPool : public QObject
{
    Q_OBJECT
public:
    explicit CommandPool(QObject *parent = nullptr);

    // A copy of the list; the commands themselves are shared, not copied.
    QList<CommandPtr> commands() const;
    bool isEmpty() const;
    void append(const CommandPtr &command);
    // Drops the oldest command; nothing when the pool is empty.
    void removeFirst();
    // Drops this very command if it is still in the pool (a command handed out earlier may
    // have been cleared away meanwhile, and must not take a newer one with it).
    void remove(const CommandPtr &command);
    virtual void clear();
    // The command to hand out now; null when there is none.
    virtual CommandPtr next() = 0;
    // The command handed out last, as far as the pool still knows it; null otherwise.
    virtual CommandPtr current() const = 0;

protected:
    using Lock = std::lock_guard<std::mutex>;
    // A standard mutex rather than QMutex, so that thread checkers see the locking.
    mutable std::mutex m_mutex;
    QList<CommandPtr> m_commands;
};
