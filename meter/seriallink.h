#pragma once

#include "meter/linkbackend.h"
#include "meter/linksettings.h"

#include <QSerialPort>

// The "serial:PATH" link: a plain UART (a USB serial adapter, a pseudo-terminal) at the
// configured baud rate, 8 data bits, no parity, one stop bit, no flow control. A port error
// while open (the adapter pulled out, the other end of a pseudo-terminal gone) ends the link.
class SerialLink : public LinkBackend
{
    Q_OBJECT
public:
    SerialLink(const QString &path, const LinkSettings &settings, QObject *parent = nullptr);

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    void write(const QByteArray &bytes) override;

private:
    void onError(QSerialPort::SerialPortError error);
    void endAfterError();
    QString openFailureText() const;

    QSerialPort m_port;
    QString m_path;
    uint m_baudrate;
    bool m_ending = false;
};
