#include "sim/simport.h"

#include "meter/linksettings.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kReadSize = 256;

struct Speed
{
    uint baudrate;
    speed_t code;
};
constexpr Speed kSpeeds[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                             {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

speed_t speedOf(uint baudrate)
{
    for (const Speed &speed : kSpeeds) {
        if (speed.baudrate == baudrate)
            return speed.code;
    }
    return B0;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QStringList SimPort::baudrates()
{
    QStringList rates;
    for (const Speed &speed : kSpeeds)
        rates << QString::number(speed.baudrate);
    return rates;
}

SimPort::SimPort(QObject *parent)
    : QObject(parent)
{
}

SimPort::~SimPort()
{
    close();
}

void SimPort::close()
{
    delete m_notifier;
    m_notifier = nullptr;
    for (int *fd : {&m_fd, &m_keepOpen}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

// The system's reason is taken first, before building the text can change errno. "%1" in what
// stands for the line's path.
bool SimPort::fail(const char *what)
{
    const QString reason = systemError(errno);
    m_error = QString::fromLatin1(what).replace(QLatin1String("%1"), m_path) + ": " + reason;
    return false;
}

bool SimPort::openPseudoTerminal()
{
    close();
    m_path.clear();
    m_fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0)
        return fail("Cannot create a pseudo-terminal");
    if (grantpt(m_fd) != 0 || unlockpt(m_fd) != 0)
        return fail("Cannot unlock the pseudo-terminal");
    const char *name = ptsname(m_fd);
    if (!name)
        return fail("Cannot name the pseudo-terminal");
    m_path = QString::fromLocal8Bit(name);
    m_keepOpen = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_keepOpen < 0)
        return fail("Cannot open %1");
    if (!makeRaw(m_keepOpen, kMeterBaudrate))
        return false;
    startReading();
    return true;
}

bool SimPort::openDevice(const QString &path, uint baudrate)
{
    close();
    m_path = path;
    if (speedOf(baudrate) == B0) {
        m_error = QStringLiteral("Unsupported baud rate %1").arg(baudrate);
        return false;
    }
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0)
        return fail("Cannot open %1");
    if (!makeRaw(m_fd, baudrate))
        return false;
    startReading();
    return true;
}

bool SimPort::makeRaw(int fd, uint baudrate)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return fail("Cannot read the settings of %1");
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    cfsetispeed(&settings, speedOf(baudrate));
    cfsetospeed(&settings, speedOf(baudrate));
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        return fail("Cannot set up %1");
    return true;
}

void SimPort::startReading()
{
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &SimPort::readAvailable);
}

void SimPort::readAvailable()
{
    char buffer[kReadSize];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            emit received(QByteArray(buffer, int(n)));
            continue;
        }
        const int error = errno;
        if (n < 0 && (error == EAGAIN || error == EINTR))
            return;
        m_notifier->setEnabled(false);
        emit failed(n == 0 ? QStringLiteral("%1 was closed").arg(m_path)
                           : QStringLiteral("%1: %2").arg(m_path, systemError(error)));
        return;
    }
}

void SimPort::write(const QByteArray &bytes)
{
    if (m_fd < 0)
        return;
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        left -= n;
    }
}
