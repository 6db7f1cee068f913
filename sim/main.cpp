// vx310a-sim: the virtual meter on a serial line, for trying the program and testing its
// serial link without a meter.

#include "meter/linksettings.h"
#include "meter/unixsignalwatcher.h"
#include "sim/simport.h"
#include "sim/simsession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <csignal>
#include <cstdio>

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

const char kDescription[] =
    "A virtual VX310A multimeter on a serial line. Without DEVICE it creates a pseudo-terminal "
    "and prints its path; connect with: klm704 --device serial:PATH\n\n"
    "Signals: SIGUSR1 pulls the meter's cable (the line closes), SIGUSR2 plugs it in again (on a "
    "new pseudo-terminal, whose path is printed).";

const char kExitStatus[] = "\n"
                           "Exit status:\n"
                           "  0  ended by Ctrl+C or SIGTERM\n"
                           "  1  the line cannot be opened or set up, or fails; the link name\n"
                           "     cannot be made\n"
                           "  2  usage error\n";

int fail(const QString &message)
{
    std::fprintf(stderr, "vx310a-sim: %s\n", qPrintable(message));
    return kFailure;
}

// What the command line asks for.
struct Settings
{
    quint32 seed = 0;
    double timeScale = 1;
    uint baudrate = kMeterBaudrate;
    QString device; // empty: a new pseudo-terminal
    QString linkName;
};

constexpr int kRun = -1;

int usageError(const QString &message)
{
    std::fprintf(stderr, "vx310a-sim: %s\nTry 'vx310a-sim --help'.\n", qPrintable(message));
    return kUsageError;
}

int printed(const QString &text)
{
    std::fputs(qPrintable(text), stdout);
    return 0;
}

// Reads the command line into settings; returns kRun, or the code to exit with once it has
// printed what was asked for or what is wrong. Parsed by hand rather than by
// QCommandLineParser::process(), which ends the program with 1 on a usage error, not the usual 2.
int parseCommandLine(const QStringList &arguments, Settings *settings)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help({"h", "help"}, "Show these options, then exit.");
    const QCommandLineOption version({"v", "version"}, "Print the version, then exit.");
    const QCommandLineOption seed(
        {"s", "seed"}, "Seed of the readings' noise and of the reply chunks (default: random).",
        "number");
    const QCommandLineOption scale(
        {"t", "time-scale"}, "Line timing: 1 real 9600 baud, 0.1 ten times faster, 0 instant.",
        "factor", "1");
    const QCommandLineOption baud(
        {"b", "baud"}, "Baud rate of a serial DEVICE: " + SimPort::baudrates().join(", ") + ".",
        "rate", QString::number(kMeterBaudrate));
    const QCommandLineOption link(
        {"l", "link"},
        "Keeps a symbolic link at PATH to the line while the meter is plugged in, so that it can "
        "be found under one name, e.g. --link /tmp/meter and klm704-cli --device "
        "serial:/tmp/meter --reconnect.",
        "path");
    parser.addOptions({help, version, seed, scale, baud, link});
    parser.addPositionalArgument(
        "device", "Serial device to answer on (default: a new pseudo-terminal).", "[DEVICE]");

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return printed(parser.helpText() + QLatin1String(kExitStatus));
    if (parser.isSet(version))
        return printed(QStringLiteral("vx310a-sim " KLM704_VERSION "\n"));
    bool ok = true;
    settings->seed = parser.isSet(seed) ? parser.value(seed).toUInt(&ok)
                                        : QRandomGenerator::global()->generate();
    if (!ok)
        return usageError("the seed must be a whole number");
    settings->timeScale = parser.value(scale).toDouble(&ok);
    if (!ok || !(settings->timeScale >= 0))
        return usageError("the time scale must be a number of 0 or more");
    settings->baudrate = parser.value(baud).toUInt(&ok);
    if (!ok || !SimPort::baudrates().contains(QString::number(settings->baudrate)))
        return usageError("the baud rate must be one of " + SimPort::baudrates().join(", "));
    const QStringList devices = parser.positionalArguments();
    if (devices.size() > 1)
        return usageError("give at most one DEVICE");
    settings->device = devices.value(0);
    settings->linkName = parser.value(link);
    return kRun;
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
    Settings settings;
    const int parsed = parseCommandLine(QCoreApplication::arguments(), &settings);
    if (parsed != kRun)
        return parsed;

    SimSession session(settings.seed, settings.timeScale);
    if (!settings.device.isEmpty())
        session.setDevice(settings.device, settings.baudrate);
    session.setLinkName(settings.linkName);
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
        app.exit(kFailure);
    });
    return app.exec();
}
