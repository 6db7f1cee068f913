#include "cli/clioptions.h"

#include "meter/linkfactory.h"
#include "meter/meterkeys.h"
#include "meter/mydmm.h"
#include "record/journal.h"

#include <QCommandLineParser>
#include <QFile>
#include <algorithm>

namespace {

const char kDescription[] =
    "Logs readings of a VX310A multimeter without a window: one line per reading on standard "
    "output (or --output FILE), each written out at once; messages on standard error.\n"
    "Without --samples or --time it logs until interrupted (Ctrl+C or SIGTERM), which ends the "
    "run in order within 2 s: the link is closed, every reading received is written, and what "
    "the MQTT broker has not taken is reported. A second Ctrl+C ends it at once.";

// After the options. Each exit status has a line of its own, in order, and each cause of 1 too.
const char kEpilogue[] =
    "\n"
    "Exit status:\n"
    "  0  a good run, also one ended by Ctrl+C or SIGTERM\n"
    "  1  the link cannot be opened (with --reconnect: it never opened);\n"
    "     the link is lost without --reconnect;\n"
    "     no reading received;\n"
    "     the MQTT broker refused the login;\n"
    "     the output cannot be written\n"
    "  2  usage error\n"
    "  3  readings not delivered to the MQTT broker: not taken by the end of\n"
    "     --mqtt-wait, or dropped from a full queue\n"
    "\n"
    "Environment:\n"
    "  KLM704_MQTT_PASSWORD  the broker password, unless --mqtt-password-file names\n"
    "                        a file; never on the command line, where ps shows it\n"
    "  QT_LOGGING_RULES      the link's diagnostics are off; \"klm704.*=true\" shows\n"
    "                        them\n"
    "\n"
    "Examples:\n"
    "  klm704-cli --device sim --samples 10\n"
    "                        ten readings from the built-in virtual meter as CSV\n"
    "  klm704-cli --device ch9329 --time 3600 --rate 0 --output hour.csv\n"
    "                        every reading of one hour into hour.csv\n"
    "  klm704-cli --device serial:/dev/ttyUSB0 --format jsonl --key hold\n"
    "                        press Hold on the meter, then log JSON lines until\n"
    "                        Ctrl+C\n"
    "  klm704-cli --format influx --reconnect | telegraf --config meter.conf\n"
    "                        feed a time-series database, reconnecting after an\n"
    "                        unplug\n"
    "  klm704-cli --device ch9329 --name bench-1 --mqtt mqtt://broker.lan/lab\n"
    "                        also publish every reading to the topic\n"
    "                        lab/bench-1/reading\n";

// A timer counts milliseconds in an int; longer runs are timed in steps, but a year is enough.
constexpr double kMaxSeconds = 366.0 * 24 * 3600;
// The end of a run waits for the broker at most an hour.
constexpr double kMaxMqttWaitSeconds = 3600;

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

    const QCommandLineOption wait{
        "mqtt-wait",
        "At the end of the run, waits at most SECONDS (fractions allowed) for the broker to "
        "take the readings still queued, and says so (default 15); readings it has not taken "
        "by then are reported and the exit status is 3. Ctrl+C or SIGTERM cut the wait to "
        "1 s. Example: --mqtt-wait 60",
        "SECONDS"};

    QList<QCommandLineOption> all() const
    {
        return {name, url, ca, user, passwordFile, queue, wait};
    }
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
        for (const QCommandLineOption &option : {ca, user, passwordFile, queue, wait}) {
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
    if (parser.isSet(wait)) {
        const double seconds = parser.value(wait).toDouble(&ok);
        if (!ok || !(seconds >= 0) || !(seconds <= kMaxMqttWaitSeconds)) {
            *error = QStringLiteral("--mqtt-wait needs a number of seconds from 0 to 3600");
            return false;
        }
        options->mqttWaitMs = int(seconds * 1000 + 0.5);
    }
    return true;
}

// The command line's options, and its values read one at a time. A value that cannot be
// used leaves its default; the first such complaint is kept as the usage error.
class ArgumentReader
{
public:
    ArgumentReader();
    // False with the error set when an option is unknown or an argument is left over.
    bool read(const QStringList &arguments);
    QString printText() const;

    QString device();
    QString model();
    qint64 samples();
    double seconds();
    int rate();
    QByteArray keys();
    CliOptions::Format format();
    QString journalDir();
    qint64 journalQuota();
    LimitAlarm limits();
    // The meter's name and the broker's settings, which depend on the device.
    void readMqtt(CliOptions *options);
    QString output() const { return m_parser.value(m_output); }
    bool skipRepeat() const { return m_parser.isSet(m_skipRepeat); }
    bool stats() const { return m_parser.isSet(m_stats); }
    bool reconnect() const { return m_parser.isSet(m_reconnect); }

    QString error() const { return m_error; }

private:
    const QCommandLineOption m_help{{"h", "help"}, "Shows this help and exits."};
    const QCommandLineOption m_version{{"v", "version"}, "Prints the version and exits."};
    const QCommandLineOption m_device{
        "device",
        "The link to the meter: auto (the first cable found, CH9329 before CP2110), sim "
        "(built-in virtual meter), serial:PATH (9600 baud 8N1), cp2110, ch9329. "
        "Example: --device serial:/dev/ttyUSB0",
        "DEVICE", CliOptions().device};
    const QCommandLineOption m_model{
        "model",
        "The meter model, which selects its function table: " + MyDmm::knownModels().join(", ") +
            ". Example: --model VX310A",
        "NAME", CliOptions().model};
    const QCommandLineOption m_samples{
        "samples", "Stops after N readings have been written. Example: --samples 100", "N"};
    const QCommandLineOption m_time{
        "time", "Stops after SECONDS (fractions allowed). Example: --time 3600", "SECONDS"};
    const QCommandLineOption m_rate{
        "rate", "At most one reading per MS milliseconds; 0 takes every reply. Example: --rate 0",
        "MS", QString::number(CliOptions().rate)};
    const QCommandLineOption m_skipRepeat{
        "skip-repeat", "Skips a reading whose value text equals the last one written, as the "
                       "window's recording does. Example: --skip-repeat --rate 0"};
    const QCommandLineOption m_key{"key",
                                   "Presses a meter key after connecting; repeatable. NAME is "
                                   "one of: " +
                                       keyNames().join(", ") + ". Example: --key hold",
                                   "NAME"};
    const QCommandLineOption m_format{"format",
                                      "Output format: csv (as the window's export), jsonl (one "
                                      "JSON object per reading with every field, and an "
                                      "\"event\" line on each connect and disconnect) or influx "
                                      "(InfluxDB line protocol). Example: --format jsonl",
                                      "FORMAT", "csv"};
    const QCommandLineOption m_output{
        "output", "Writes to FILE instead of standard output. Example: --output log.csv", "FILE"};
    const QCommandLineOption m_stats{
        "stats", "At the end, prints a summary on standard error: the number of readings, the "
                 "first and last time, and min, max, mean and standard deviation of the numeric "
                 "readings of the last function (overloads counted apart), and with --low or "
                 "--high the readings outside. Example: --stats"};
    const QCommandLineOption m_low{
        "low",
        "A reading below VALUE raises an alarm: jsonl adds \"alarm\": \"low\" to it, --stats "
        "counts it. VALUE is a number in the unit of the readings' numbers, as the window's "
        "limits: volts for DCV, millivolts for DCmV, ohms, hertz and farads without prefix. "
        "Example: --low 4.995",
        "VALUE"};
    const QCommandLineOption m_high{
        "high",
        "A reading above VALUE raises an alarm: jsonl adds \"alarm\": \"high\" to "
        "it, --stats counts it; either limit may be given alone. Example: --high 5.005",
        "VALUE"};
    const QCommandLineOption m_reconnect{
        "reconnect", "Tries a link that cannot be opened or is lost again every 2 seconds, until "
                     "the time limit or an interrupt; each loss and reconnection is reported "
                     "on standard error. Example: --reconnect --time 86400"};
    const QCommandLineOption m_journal{
        "journal",
        "Also writes every reading at once into a journal in DIR, in the CSV layout, one file "
        "per measuring function named after its start time; the oldest journals beyond the "
        "quota (--journal-quota) are removed, each named on standard error. "
        "Example: --journal ~/meter-journal",
        "DIR"};
    const QCommandLineOption m_journalQuota{
        "journal-quota",
        "The bytes the journals of the --journal folder may take together, with K, M or G for "
        "powers of 1024 (default 1G); the running journal is never removed. "
        "Example: --journal-quota 200M",
        "SIZE", QStringLiteral("1G")};
    const MqttOptions m_mqtt;

    void complain(const QString &text)
    {
        if (m_error.isEmpty())
            m_error = text;
    }

    QCommandLineParser m_parser;
    QString m_error;
};

ArgumentReader::ArgumentReader()
{
    m_parser.setApplicationDescription(QString::fromLatin1(kDescription));
    m_parser.addOptions({m_help, m_version, m_device, m_model, m_samples, m_time, m_rate,
                         m_skipRepeat, m_key, m_format, m_output, m_stats, m_low, m_high,
                         m_reconnect, m_journal, m_journalQuota});
    m_parser.addOptions(m_mqtt.all());
}

bool ArgumentReader::read(const QStringList &arguments)
{
    if (!m_parser.parse(arguments))
        complain(m_parser.errorText());
    else if (!m_parser.positionalArguments().isEmpty())
        complain(
            QStringLiteral("Unexpected argument: %1").arg(m_parser.positionalArguments().first()));
    return m_error.isEmpty();
}

QString ArgumentReader::printText() const
{
    if (m_parser.isSet(m_help))
        return m_parser.helpText() + QLatin1String(kEpilogue);
    return m_parser.isSet(m_version) ? QStringLiteral("klm704-cli " KLM704_VERSION "\n")
                                     : QString();
}

QString ArgumentReader::device()
{
    const QString name = m_parser.value(m_device);
    if (!isDeviceName(name))
        complain(unknownDeviceText(name));
    return name;
}

QString ArgumentReader::model()
{
    const QString name = m_parser.value(m_model);
    if (!MyDmm::knownModels().contains(name))
        complain(QStringLiteral("Unknown model \"%1\"; use %2.")
                     .arg(name, MyDmm::knownModels().join(QStringLiteral(", "))));
    return name;
}

qint64 ArgumentReader::samples()
{
    if (!m_parser.isSet(m_samples))
        return 0;
    bool ok = false;
    const qint64 samples = m_parser.value(m_samples).toLongLong(&ok);
    if (!ok || samples < 1)
        complain(QStringLiteral("--samples needs a whole number of at least 1"));
    return samples;
}

double ArgumentReader::seconds()
{
    if (!m_parser.isSet(m_time))
        return 0;
    bool ok = false;
    const double seconds = m_parser.value(m_time).toDouble(&ok);
    if (!ok || !(seconds > 0) || !(seconds <= kMaxSeconds))
        complain(QStringLiteral("--time needs a number of seconds above 0, at most a year"));
    return seconds;
}

int ArgumentReader::rate()
{
    bool ok = false;
    const int rate = m_parser.value(m_rate).toInt(&ok);
    if (!ok || rate < 0)
        complain(QStringLiteral("--rate needs a whole number of milliseconds, 0 or more"));
    return rate;
}

LimitAlarm ArgumentReader::limits()
{
    std::optional<double> values[2];
    const QCommandLineOption *options[2] = {&m_low, &m_high};
    for (int i = 0; i < 2; ++i) {
        if (!m_parser.isSet(*options[i]))
            continue;
        values[i] = LimitAlarm::parse(m_parser.value(*options[i]));
        if (!values[i])
            complain(QStringLiteral("--%1 needs a number such as 5.005")
                         .arg(options[i]->names().first()));
    }
    // Equal limits are allowed: a reading on a limit is inside.
    if (values[0] && values[1] && *values[0] > *values[1])
        complain(QStringLiteral("--low %1 is above --high %2: every reading would raise an alarm")
                     .arg(m_parser.value(m_low), m_parser.value(m_high)));
    LimitAlarm limits;
    limits.setLimits(values[0], values[1]);
    return limits;
}

QByteArray ArgumentReader::keys()
{
    QByteArray codes;
    for (const QString &name : m_parser.values(m_key)) {
        const auto known = std::find_if(
            meterkeys::kNamedKeys.begin(), meterkeys::kNamedKeys.end(),
            [&name](const meterkeys::NamedKey &key) { return name == QLatin1String(key.name); });
        if (known == meterkeys::kNamedKeys.end())
            complain(QStringLiteral("Unknown key \"%1\"; known keys: %2")
                         .arg(name, keyNames().join(", ")));
        else
            codes.append(char(known->code));
    }
    return codes;
}

CliOptions::Format ArgumentReader::format()
{
    const QString name = m_parser.value(m_format);
    if (name == "jsonl")
        return CliOptions::Format::Jsonl;
    if (name == "influx")
        return CliOptions::Format::Influx;
    if (name != "csv")
        complain(QStringLiteral("Unknown format \"%1\"; use csv, jsonl or influx").arg(name));
    return CliOptions::Format::Csv;
}

QString ArgumentReader::journalDir()
{
    if (m_parser.isSet(m_journal) && m_parser.value(m_journal).isEmpty())
        complain(QStringLiteral("--journal needs a folder"));
    return m_parser.value(m_journal);
}

qint64 ArgumentReader::journalQuota()
{
    qint64 bytes = Journal::kDefaultQuota;
    if (!Journal::parseQuota(m_parser.value(m_journalQuota), &bytes))
        complain(QStringLiteral("--journal-quota needs a size such as 1G, 500M or 1048576"));
    return bytes;
}

void ArgumentReader::readMqtt(CliOptions *options)
{
    QString error;
    if (!m_mqtt.read(m_parser, options, &error))
        complain(error);
}

} // namespace

CliOptions::Parsed CliOptions::parse(const QStringList &arguments)
{
    Parsed parsed;
    ArgumentReader reader;
    if (reader.read(arguments)) {
        parsed.text = reader.printText();
        if (!parsed.text.isEmpty()) {
            parsed.outcome = Parsed::Outcome::Print;
            return parsed;
        }
        CliOptions &options = parsed.options;
        options.device = reader.device();
        options.model = reader.model();
        options.samples = reader.samples();
        options.seconds = reader.seconds();
        options.rate = reader.rate();
        options.skipRepeat = reader.skipRepeat();
        options.keys = reader.keys();
        options.format = reader.format();
        options.output = reader.output();
        options.stats = reader.stats();
        options.limits = reader.limits();
        options.reconnect = reader.reconnect();
        options.journalDir = reader.journalDir();
        options.journalQuota = reader.journalQuota();
        reader.readMqtt(&options);
    }
    if (!reader.error().isEmpty()) {
        parsed.outcome = Parsed::Outcome::UsageError;
        parsed.text = reader.error();
    }
    return parsed;
}
