#pragma once

#include <QByteArray>
#include <QThread>
#include <atomic>

class HidDevice;

// Reads the input reports of one HID device in a thread of its own and hands each one over as
// a value; the link that owns it receives them, queued, in its own thread.
class HidReader : public QThread
{
    Q_OBJECT
public:
    // Waits at most timeoutMs per read, which bounds how long stop() takes.
    HidReader(HidDevice *device, int timeoutMs, QObject *parent = nullptr);
    ~HidReader() override;

    // Ends the loop and waits for the thread; the device may then be closed.
    void stop();

signals:
    void reportReceived(const QByteArray &report);
    // The device failed (unplugged); the loop has ended.
    void failed(const QString &reason);

protected:
    void run() override;

private:
    HidDevice *m_device;
    int m_timeoutMs;
    std::atomic_bool m_stopping{false};
};
