#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

class DeviceSelector;
class DmmData;

// A meter reached through the device link: opening and closing the link, passing its opened
// and closed notifications on, and turning received bytes into readings (in the subclass that
// knows the meter's frames).
class Dmm : public QObject
{
    Q_OBJECT
public:
    // The selector is not owned; the driver forgets it should it be destroyed first.
    explicit Dmm(DeviceSelector *selector, QObject *parent = nullptr);
    // Closes the link.
    ~Dmm() override;

    virtual bool open();
    virtual void close();
    // True exactly while the link is open.
    virtual bool isOpen() const;

signals:
    void opened();
    void closed();
    void message(QString msg);
    // A new reading; the receiver owns it.
    void display(const DmmData *data);

public slots:
    virtual void slotSerialDeviceRead(const uint8_t *data, int len) = 0;

protected:
    virtual void handleFrame(const QByteArray &frame) = 0;

    QPointer<DeviceSelector> deviceSelector;
};
