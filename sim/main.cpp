// vx310a-sim: the virtual meter on a serial line, for trying the program and testing its
// serial link without a meter.

#include "meter/unixsignalwatcher.h"
#include "sim/simsession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <csignal>
#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "vx310a-sim: %s\n", qPrintable(message));
    return 1;
}

// Every line the meter answers on is announced on its own line of standard output.
bool plugIn(SimSession &session)
{
    if (!session.plugIn())
        return false;
    std::printf("%s\n", qPrintable(session.path()));
    std::fflush(stdout);
    return true;
}

// SIGUSR1 pulls the cable, SIGUSR2 plugs it in again.
void actOnSignal(int signalNumber, SimSession &session)
{
    if (signalNumber == SIGUSR1)
        session.unplug();
    else if (signalNumber == SIGUSR2 && !plugIn(session))
        fail(session.errorString());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vx310a-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A virtual VX310A multimeter on a serial line. Without DEVICE it creates a "
        "pseudo-terminal and prints its path; connect with: klm704 --device serial:PATH\n"
        "Signals: SIGUSR1 pulls the meter's cable (the line closes), SIGUSR2 plugs it in again "
        "(on a new pseudo-terminal, whose path is printed)."));
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
                                        QStringLiteral("rate"), QString::number(kMeterBaudrate));
    const QCommandLineOption linkOption(
        {QStringLiteral("l"), QStringLiteral("link")},
        QStringLiteral("Keeps a symbolic link at PATH to the line while the meter is plugged in, "
                       "so that it can be found under one name, e.g. --link /tmp/meter and "
                       "klm704-cli --device serial:/tmp/meter --reconnect."),
        QStringLiteral("path"));
    parser.addOptions({seedOption, scaleOption, baudOption, linkOption});
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

    SimSession session(seed, scale);
    if (!arguments.isEmpty())
        session.setDevice(arguments.first(), baudrate);
    session.setLinkName(parser.value(linkOption));
    // SIGINT and SIGTERM end the program.
    UnixSignalWatcher watcher;
    if (!watcher.isActive() || !watcher.watch(SIGUSR1) || !watcher.watch(SIGUSR2))
        return fail(QStringLiteral("cannot catch its signals"));
    QObject::connect(&watcher, &UnixSignalWatcher::terminationRequested, &app,
                     &QCoreApplication::quit);
    QObject::connect(&watcher, &UnixSignalWatcher::received, &app,
                     [&session](int signalNumber) { actOnSignal(signalNumber, session); });
    if (!plugIn(session))
        return fail(session.errorString());
    QObject::connect(&session, &SimSession::failed, &app, [&app](const QString &reason) {
        fail(reason);
        app.exit(1);
    });
    return app.exec();
}
