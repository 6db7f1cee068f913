#include "meter/unixsignalwatcher.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler may only do async-signal-safe work: it writes the signal number into a pipe
// that the event loop watches.
int signalPipe[2] = {-1, -1};

void restoreDefault(int signalNumber)
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

void onSignal(int signalNumber)
{
    // A second interrupt or stop ends the program at once, should the orderly end not come.
    if (signalNumber == SIGINT || signalNumber == SIGTERM) {
        restoreDefault(SIGINT);
        restoreDefault(SIGTERM);
    }
    const char number = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &number, 1);
}

bool installHandler(int signalNumber)
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(signalNumber, &action, nullptr) == 0;
}

} // namespace

UnixSignalWatcher::UnixSignalWatcher(QObject *parent)
    : QObject(parent)
{
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    if (!watch(SIGINT) || !watch(SIGTERM))
        return;
    m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignalWatcher::readSignal);
}

UnixSignalWatcher::~UnixSignalWatcher()
{
    if (!m_notifier)
        return;
    for (const int signalNumber : qAsConst(m_watched))
        restoreDefault(signalNumber);
    delete m_notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

bool UnixSignalWatcher::watch(int signalNumber)
{
    if (signalPipe[0] < 0 || !installHandler(signalNumber))
        return false;
    m_watched.append(signalNumber);
    return true;
}

void UnixSignalWatcher::readSignal()
{
    char number = 0;
    if (::read(signalPipe[1], &number, 1) != 1)
        return;
    if (number == SIGINT || number == SIGTERM)
        emit terminationRequested(int(number));
    else
        emit received(int(number));
}
