#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;

// The serial end the simulator answers on: a new pseudo-terminal, or a serial device, both in
// raw mode, 8 data bits, no parity, one stop bit.
class SimPort : public QObject
{
    Q_OBJECT
public:
    explicit SimPort(QObject *parent = nullptr);
    ~SimPort() override;

    // The baud rates a serial device can be set to, as the command line names them.
    static QStringList baudrates();

    // Creates a pseudo-terminal; path() is then the name a client opens.
    bool openPseudoTerminal();
    bool openDevice(const QString &path, uint baudrate);
    // Lets go of the line, as when the cable is pulled: a client's next read fails.
    void close();
    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }

    // Sends bytes; what the line cannot take at once is lost, as on a real wire.
    void write(const QByteArray &bytes);

signals:
    void received(const QByteArray &bytes);
    // The device failed or went away.
    void failed(const QString &reason);

private:
    bool fail(const char *what);
    bool makeRaw(int fd, uint baudrate);
    void startReading();
    void readAvailable();

    int m_fd = -1;
    // The simulator keeps the pseudo-terminal's client side open itself, so that a client
    // closing it does not hang the line up: the next client finds it as it was.
    int m_keepOpen = -1;
    QSocketNotifier *m_notifier = nullptr;
    QString m_path;
    QString m_error;
};
