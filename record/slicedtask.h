#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

// Runs a long piece of work on the GUI thread in slices between turns of the event loop, so that
// the window goes on painting and taking input meanwhile.
class SlicedTask : public QObject
{
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;
    // How long a slice works: half a frame, so that the paint and the input of the frame fit
    // beside it.
    static constexpr std::chrono::milliseconds kSlice{8};
    // Works until the clock passes deadline; true once all the work is done.
    using Step = std::function<bool(Clock::time_point deadline)>;

    explicit SlicedTask(QObject *parent = nullptr);

    // Runs step in slices, in place of any task under way; the first slice runs at once.
    void start(Step step);
    bool isRunning() const { return bool(m_step); }
    // How long a slice may work; tests shorten it.
    void setSlice(std::chrono::milliseconds slice) { m_slice = slice; }

signals:
    void finished();

private:
    void runSlice();

    QTimer m_timer;
    Step m_step;
    std::chrono::milliseconds m_slice;
};
