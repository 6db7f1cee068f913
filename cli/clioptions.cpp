#include "cli/clioptions.h"

#include "meter/meterkeys.h"

#include <QCommandLineParser>
#include <QFile>

namespace {

const char kDescription[] =
    "Logs readings of a VX310A multimeter without a window: one line per reading on standard "
    "output (or --output FILE), each written out at once; messages on standard error.\n"
    "Without --samples or --time it logs until interrupted (Ctrl+C or SIGTERM), which ends the "
    "run in order: the link is closed and every reading received is written.\n"
    "\n"
    "Examples:\n"
    "  klm704-cli --device sim --samples 10\n"
    "      ten readings from the built-in virtual meter as CSV on standard output\n"
    "  klm704-cli --device ch9329 --time 3600 --rate 0 --output hour.csv\n"
    "      every reading of one hour into hour.csv\n"
    "  klm704-cli --device serial:/dev/ttyUSB0 --format jsonl --key hold\n"
    "      press Hold on the meter, then log JSON lines until Ctrl+C\n"
    "  klm704-cli --format influx --reconnect | telegraf --config meter.conf\n"
    "      feed a time-series database, reconnecting after an unplug\n"
    "  klm704-cli --device ch9329 --name bench-1 --mqtt mqtt://broker.lan/lab\n"
    "      also publish every reading to the topic lab/bench-1/reading\n"
    "\n"
    "Diagnostics of the link are off; QT_LOGGING_RULES=\"klm704.*=true\" shows them.\n"
    "The MQTT password comes from the environment variable KLM704_MQTT_PASSWORD or from "
    "--mqtt-password-file, never from the command line.\n"
    "Exit status: 0 success, 1 the link could not be opened or was lost (with --reconnect: "
    "never opened) or the broker refused the login, 2 usage error.";

const QString kSerialPrefix = QStringLiteral("serial:");

bool isDeviceName(const QString &device)
{
    static const QStringList kNames = {"auto", "sim", "cp2110", "ch9329"};
    return kNames.contains(device) ||
           (device.startsWith(kSerialPrefix) && device.size() > kSerialPrefix.size());
}

// A timer counts milliseconds in an int; longer runs are timed in steps, but a year is enough.
constexpr double kMaxSeconds = 366.0 * 24 * 3600;

bool parseKey(const QString &name, QByteArray *keys)
{
    for (const meterkeys::NamedKey &key : meterkeys::kNamedKeys) {
        if (name == QLatin1String(key.name)) {
            keys->append(char(key.code));
            return true;
        }
    }
    return false;
}

QStringList keyNames()
{
    QStringList names;
    for (const meterkeys::NamedKey &key : meterkeys::kNamedKeys)
        names << QLatin1String(key.name);
    return names;
}

// The options of the meter's name and of the broker.
struct MqttOptions
{
    const QCommandLineOption name{
        "name",
        "The meter's name in the jsonl (\"meter\") and influx (tag meter) lines and in the MQTT "
        "topics; default: the host name and the device, e.g. bench-pc-ch9329. Example: --name "
        "bench-1",
        "NAME"};
    const QCommandLineOption url{
        "mqtt",
        "Also publishes every reading written, as its JSON object, to <prefix>/<name>/reading "
        "(QoS 1), and a retained <prefix>/<name>/status of online or offline (also the last "
        "will). mqtts:// uses TLS with the system's certificates. Readings wait while the "
        "broker is away. Example: --mqtt mqtt://broker.lan:1883/lab",
        "URL"};
    const QCommandLineOption ca{
        "mqtt-ca",
        "Trusts the certificate authority in FILE for mqtts:// instead of the "
        "system's. Example: --mqtt-ca ca.crt",
        "FILE"};
    const QCommandLineOption user{"mqtt-user",
                                  "The user name for the broker. Example: "
                                  "--mqtt-user logger",
                                  "USER"};
    const QCommandLineOption passwordFile{
        "mqtt-password-file",
        "Reads the broker password from the first line of FILE. Example: --mqtt-password-file "
        "~/.mqtt-password",
        "FILE"};
    const QCommandLineOption queue{
        "mqtt-queue",
        "At most N readings wait for an unreachable broker; beyond that the oldest are dropped "
        "and counted (default 100000). Example: --mqtt-queue 1000",
        "N"};

    QList<QCommandLineOption> all() const { return {name, url, ca, user, passwordFile, queue}; }
    bool read(const QCommandLineParser &parser, CliOptions *options, QString *error) const;
};

QString passwordFromFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("Cannot read the password file %1: %2").arg(path, file.errorString());
        return QString();
    }
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

bool MqttOptions::read(const QCommandLineParser &parser, CliOptions *options, QString *error) const
{
    options->name =
        parser.isSet(name) ? parser.value(name) : MqttSettings::defaultName(options->device);
    if (!MqttSettings::isValidName(options->name)) {
        *error = QStringLiteral("--name needs a name without /, + or #");
        return false;
    }
    MqttSettings &settings = options->mqttSettings;
    settings.name = options->name;
    options->mqtt = parser.isSet(url);
    if (!options->mqtt) {
        for (const QCommandLineOption &option : {ca, user, passwordFile, queue}) {
            if (parser.isSet(option)) {
                *error = QStringLiteral("--%1 needs --mqtt").arg(option.names().first());
                return false;
            }
        }
        return true;
    }
    if (!MqttSettings::fromUrl(parser.value(url), &settings, error))
        return false;
    settings.caFile = parser.value(ca);
    if (!settings.caFile.isEmpty() && !settings.tls) {
        *error = QStringLiteral("--mqtt-ca needs an mqtts:// address");
        return false;
    }
    if (parser.isSet(user))
        settings.user = parser.value(user);
    settings.password = parser.isSet(passwordFile)
                            ? passwordFromFile(parser.value(passwordFile), error)
                            : qEnvironmentVariable("KLM704_MQTT_PASSWORD");
    if (!error->isEmpty())
        return false;
    if (!settings.password.isEmpty() && settings.user.isEmpty()) {
        *error = QStringLiteral("A broker password needs a user name (--mqtt-user)");
        return false;
    }
    bool ok = true;
    if (parser.isSet(queue)) {
        settings.queueLimit = parser.value(queue).toInt(&ok);
        if (!ok || settings.queueLimit < 1) {
            *error = QStringLiteral("--mqtt-queue needs a whole number of at least 1");
            return false;
        }
    }
    return true;
}

} // namespace

bool CliOptions::parse(const QStringList &arguments, CliOptions *options, QString *error,
                       bool *exitNow, QString *text)
{
    *exitNow = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help({"h", "help"}, "Shows this help and exits.");
    const QCommandLineOption version("version", "Prints the version and exits.");
    const QCommandLineOption device(
        "device",
        "The link to the meter: auto (the first cable found, CH9329 before CP2110), sim "
        "(built-in virtual meter), serial:PATH (9600 baud 8N1), cp2110, ch9329. "
        "Example: --device serial:/dev/ttyUSB0",
        "DEVICE", options->device);
    const QCommandLineOption model(
        "model",
        "The meter model; selects its function table (a name with an E: the E variant's). "
        "Example: --model VX310A",
        "NAME", options->model);
    const QCommandLineOption samples(
        "samples", "Stops after N readings have been written. Example: --samples 100", "N");
    const QCommandLineOption time(
        "time", "Stops after SECONDS (fractions allowed). Example: --time 3600", "SECONDS");
    const QCommandLineOption rate(
        "rate", "At most one reading per MS milliseconds; 0 takes every reply. Example: --rate 0",
        "MS", QString::number(options->rate));
    const QCommandLineOption skipRepeat(
        "skip-repeat", "Skips a reading whose value text equals the last one written, as the "
                       "window's recording does. Example: --skip-repeat --rate 0");
    const QCommandLineOption key("key",
                                 "Presses a meter key after connecting; repeatable. NAME is one "
                                 "of: " +
                                     keyNames().join(", ") + ". Example: --key hold",
                                 "NAME");
    const QCommandLineOption format("format",
                                    "Output format: csv (as the window's export), jsonl (one "
                                    "JSON object per reading with every field, and an "
                                    "\"event\" line on each connect and disconnect) or influx "
                                    "(InfluxDB line protocol). Example: --format jsonl",
                                    "FORMAT", "csv");
    const QCommandLineOption output(
        "output", "Writes to FILE instead of standard output. Example: --output log.csv", "FILE");
    const QCommandLineOption stats(
        "stats", "At the end, prints a summary on standard error: the number of readings, the "
                 "first and last time, and min, max, mean and standard deviation of the numeric "
                 "readings of the last function (overloads counted apart). Example: --stats");
    const QCommandLineOption reconnect(
        "reconnect", "Tries a link that cannot be opened or is lost again every 2 seconds, until "
                     "the time limit or an interrupt; each loss and reconnection is reported "
                     "on standard error. Example: --reconnect --time 86400");
    const QCommandLineOption journal(
        "journal",
        "Also writes every reading at once into a journal in DIR, in the CSV layout, one file "
        "per measuring function named after its start time; the newest 100 journals (1 GiB) "
        "are kept. Example: --journal ~/meter-journal",
        "DIR");
    parser.addOptions({help, version, device, model, samples, time, rate, skipRepeat, key, format,
                       output, stats, reconnect, journal});
    const MqttOptions mqtt;
    parser.addOptions(mqtt.all());

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error =
            QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
        return false;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        *exitNow = true;
        *text = parser.isSet(help) ? parser.helpText() : QStringLiteral("klm704-cli 2.02\n");
        return true;
    }

    options->device = parser.value(device);
    if (!isDeviceName(options->device)) {
        *error = QStringLiteral("Unknown device \"%1\"; use auto, sim, serial:PATH, cp2110 or "
                                "ch9329")
                     .arg(options->device);
        return false;
    }
    options->model = parser.value(model);
    bool ok = true;
    if (parser.isSet(samples)) {
        options->samples = parser.value(samples).toLongLong(&ok);
        if (!ok || options->samples < 1) {
            *error = QStringLiteral("--samples needs a whole number of at least 1");
            return false;
        }
    }
    if (parser.isSet(time)) {
        options->seconds = parser.value(time).toDouble(&ok);
        if (!ok || !(options->seconds > 0) || !(options->seconds <= kMaxSeconds)) {
            *error = QStringLiteral("--time needs a number of seconds above 0, at most a year");
            return false;
        }
    }
    options->rate = parser.value(rate).toInt(&ok);
    if (!ok || options->rate < 0) {
        *error = QStringLiteral("--rate needs a whole number of milliseconds, 0 or more");
        return false;
    }
    options->skipRepeat = parser.isSet(skipRepeat);
    for (const QString &name : parser.values(key)) {
        if (!parseKey(name, &options->keys)) {
            *error = QStringLiteral("Unknown key \"%1\"; known keys: %2")
                         .arg(name, keyNames().join(", "));
            return false;
        }
    }
    const QString formatName = parser.value(format);
    if (formatName == "csv")
        options->format = Format::Csv;
    else if (formatName == "jsonl")
        options->format = Format::Jsonl;
    else if (formatName == "influx")
        options->format = Format::Influx;
    else {
        *error = QStringLiteral("Unknown format \"%1\"; use csv, jsonl or influx").arg(formatName);
        return false;
    }
    options->output = parser.value(output);
    if (parser.isSet(journal) && parser.value(journal).isEmpty()) {
        *error = QStringLiteral("--journal needs a folder");
        return false;
    }
    options->stats = parser.isSet(stats);
    options->reconnect = parser.isSet(reconnect);
    options->journalDir = parser.value(journal);
    return mqtt.read(parser, options, error);
}
