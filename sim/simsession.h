#pragma once

#include "meter/linksettings.h"
#include "meter/virtualmeter.h"
#include "sim/simport.h"

#include <QObject>
#include <QString>

// The virtual meter on its serial line, with a cable that can be pulled and plugged in again.
// The line is a new pseudo-terminal on every plug-in, or the given serial device. A link name,
// when set, is a symbolic link kept pointing at the line while it is plugged in, so that a
// client finds the meter under one name however often it is replugged.
class SimSession : public QObject
{
    Q_OBJECT
public:
    SimSession(quint32 seed, double timeScale, QObject *parent = nullptr);
    ~SimSession() override;

    // Answer on this serial device instead of a pseudo-terminal.
    void setDevice(const QString &device, uint baudrate);
    void setLinkName(const QString &name) { m_linkName = name; }

    // Opens the line and points the link name at it; false with errorString() set.
    bool plugIn();
    // Closes the line (the client's next read fails) and removes the link name.
    void unplug();
    QString path() const { return m_port.path(); }
    QString errorString() const { return m_error; }

signals:
    // The serial device failed or went away.
    void failed(const QString &reason);

private:
    bool pointLinkAtLine();

    VirtualMeter m_meter;
    SimPort m_port;
    QString m_device;
    uint m_baudrate = kMeterBaudrate;
    QString m_linkName;
    QString m_error;
};
