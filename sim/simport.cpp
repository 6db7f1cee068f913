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

speed_t speedOf(uint baudrate)
{
    switch (baudrate) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

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

bool SimPort::fail(const QString &what)
{
    m_error = QStringLiteral("%1: %2").arg(what, systemError());
    return false;
}

bool SimPort::openPseudoTerminal()
{
    close();
    m_fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0)
        return fail(QStringLiteral("Cannot create a pseudo-terminal"));
    if (grantpt(m_fd) != 0 || unlockpt(m_fd) != 0)
        return fail(QStringLiteral("Cannot unlock the pseudo-terminal"));
    m_path = QString::fromLocal8Bit(ptsname(m_fd));
    m_keepOpen = ::open(ptsname(m_fd), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_keepOpen < 0)
        return fail(QStringLiteral("Cannot open %1").arg(m_path));
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
        return fail(QStringLiteral("Cannot open %1").arg(path));
    if (!makeRaw(m_fd, baudrate))
        return false;
    startReading();
    return true;
}

bool SimPort::makeRaw(int fd, uint baudrate)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return fail(QStringLiteral("Cannot read the settings of %1").arg(m_path));
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    cfsetispeed(&settings, speedOf(baudrate));
    cfsetospeed(&settings, speedOf(baudrate));
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        return fail(QStringLiteral("Cannot set up %1").arg(m_path));
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
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        m_notifier->setEnabled(false);
        emit failed(n == 0 ? QStringLiteral("%1 was closed").arg(m_path)
                           : QStringLiteral("%1: %2").arg(m_path, systemError()));
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
