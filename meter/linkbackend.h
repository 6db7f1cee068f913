#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// One way of reaching the meter (a HID bridge, a serial port, the virtual meter, a test fake).
// A backend lives in the thread of the DeviceSelector that owns it. If it reads in a thread of
// its own, it hands the bytes over as a QByteArray so that bytesReceived is emitted here.
class LinkBackend : public QObject
{
    Q_OBJECT
public:
    explicit LinkBackend(QObject *parent = nullptr);

    // Opens the link; false with errorString() set when it cannot be used.
    virtual bool open() = 0;
    // Closes an open link (emits closed); does nothing on a closed one.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Sends bytes in order; a failure that ends the link closes it (and emits closed).
    virtual void write(const QByteArray &bytes) = 0;

    // Why the last open failed, and what the user can do about it.
    QString errorString() const { return m_errorString; }

signals:
    void bytesReceived(const QByteArray &bytes);
    void opened();
    void closed();

protected:
    void setErrorString(const QString &text) { m_errorString = text; }

private:
    QString m_errorString;
};
