// vx310a-sim: the virtual meter on a serial line, for trying the program and testing its
// serial link without a meter.

#include "meter/virtualmeter.h"
#include "sim/simport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGINT and SIGTERM write a byte into this pair; the event loop reads it and quits.
int signalPair[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    const ssize_t written = ::write(signalPair[0], &byte, 1);
    (void)written; // nothing can be done about a full pipe inside a handler
}

bool quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPair) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signalPair[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "vx310a-sim: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vx310a-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A virtual VX310A multimeter on a serial line. Without DEVICE it creates a "
        "pseudo-terminal and prints its path; connect with: klm704 --device serial:PATH"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("device"),
                                 QStringLiteral("Serial device to answer on (default: a new "
                                                "pseudo-terminal)."),
                                 QStringLiteral("[DEVICE]"));
    const QCommandLineOption seedOption(
        {QStringLiteral("s"), QStringLiteral("seed")},
        QStringLiteral("Seed of the readings' noise and of the reply chunks (default: random)."),
        QStringLiteral("number"));
    const QCommandLineOption scaleOption(
        {QStringLiteral("t"), QStringLiteral("time-scale")},
        QStringLiteral("Line timing: 1 real 9600 baud, 0.1 ten times faster, 0 instant."),
        QStringLiteral("factor"), QStringLiteral("1"));
    const QCommandLineOption baudOption({QStringLiteral("b"), QStringLiteral("baud")},
                                        QStringLiteral("Baud rate of a serial DEVICE."),
                                        QStringLiteral("rate"), QStringLiteral("9600"));
    parser.addOptions({seedOption, scaleOption, baudOption});
    parser.process(app);

    bool ok = true;
    const quint32 seed = parser.isSet(seedOption) ? parser.value(seedOption).toUInt(&ok)
                                                  : QRandomGenerator::global()->generate();
    if (!ok)
        return fail(QStringLiteral("the seed must be a whole number"));
    const double scale = parser.value(scaleOption).toDouble(&ok);
    if (!ok || scale < 0)
        return fail(QStringLiteral("the time scale must be a number of 0 or more"));
    const uint baudrate = parser.value(baudOption).toUInt(&ok);
    if (!ok)
        return fail(QStringLiteral("the baud rate must be a whole number"));
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() > 1)
        return fail(QStringLiteral("give at most one DEVICE"));

    SimPort port;
    const bool opened = arguments.isEmpty() ? port.openPseudoTerminal()
                                            : port.openDevice(arguments.first(), baudrate);
    if (!opened)
        return fail(port.errorString());
    if (!quitOnSignals(app))
        return fail(QStringLiteral("cannot catch SIGINT and SIGTERM"));

    VirtualMeter meter(seed);
    meter.setTimeScale(scale);
    QObject::connect(&port, &SimPort::received, &meter, &VirtualMeter::receive);
    QObject::connect(&meter, &VirtualMeter::transmitted, &port, &SimPort::write);
    QObject::connect(&port, &SimPort::failed, &app, [&app](const QString &reason) {
        fail(reason);
        app.exit(1);
    });

    std::printf("%s\n", qPrintable(port.path()));
    std::fflush(stdout);
    return app.exec();
}
