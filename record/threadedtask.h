#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QThread;

// Runs one piece of work at a time on a thread of its own, and says on its owner's thread when
// the work is done. Destroying it waits for the work: whoever owns the data the work uses keeps
// the task as its last member, so that the task ends first.
class ThreadedTask : public QObject
{
    Q_OBJECT
public:
    explicit ThreadedTask(QObject *parent = nullptr);
    ~ThreadedTask() override;

    // Starts work on the task's thread; false, and nothing started, while other work runs.
    bool start(std::function<void()> work);
    bool isRunning() const { return m_thread != nullptr; }

signals:
    // The work has returned; whatever it wrote may be read now.
    void done();

private:
    void threadFinished();

    std::unique_ptr<QThread> m_thread;
};
