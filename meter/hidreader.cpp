#include "meter/hidreader.h"

#include "meter/hiddevice.h"
#include "meter/threadchecker.h"

HidReader::HidReader(HidDevice *device, int timeoutMs, QObject *parent)
    : QThread(parent)
    , m_device(device)
    , m_timeoutMs(timeoutMs)
{
}

HidReader::~HidReader()
{
    stop();
}

void HidReader::stop()
{
    m_stopping = true;
    wait();
    threadchecker::takeOver(this);
}

void HidReader::run()
{
    while (!m_stopping) {
        QByteArray report;
        const int n = m_device->read(&report, m_timeoutMs);
        if (n < 0) {
            const threadchecker::QueuedEmit queued;
            emit failed(m_device->errorText());
            break;
        }
        if (n > 0) {
            const threadchecker::QueuedEmit queued;
            emit reportReceived(report);
        }
    }
    threadchecker::handOver(this);
}
