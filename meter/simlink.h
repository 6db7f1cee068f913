#pragma once

#include "meter/linkbackend.h"

#include <QMetaObject>

class VirtualMeter;

// The "sim" link: the built-in virtual meter behind the link interface, in process. Commands
// written to the link go to the meter; its answers come back as received bytes with the
// meter's line timing. Pulling the virtual meter's cable (VirtualMeter::unplug) closes the link.
class SimLink : public LinkBackend
{
    Q_OBJECT
public:
    // Talks to meter, which must outlive the link, so that its state survives reconnecting;
    // with none the link makes a meter of its own with a random seed.
    explicit SimLink(VirtualMeter *meter = nullptr, QObject *parent = nullptr);
    ~SimLink() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void write(const QByteArray &bytes) override;

    // The meter at the other end, for tests that steer it.
    VirtualMeter *meter() const { return m_meter; }

private:
    void disconnectMeter();

    VirtualMeter *m_meter;
    QMetaObject::Connection m_transmitted;
    QMetaObject::Connection m_unplugged;
    bool m_open = false;
};
