#pragma once

#include "meter/linksettings.h"
#include "meter/mydmm.h"
#include "mqtt/mqttsettings.h"
#include "record/limitalarm.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What klm704-cli was asked to do, as parsed from its command line.
struct CliOptions
{
    enum class Format
    {
        Csv,
        Jsonl,
        Influx
    };

    QString device = QLatin1String(kDefaultDevice);
    QString model = QStringLiteral("VX310A");
    qint64 samples = 0;                   // 0: no limit
    double seconds = 0;                   // 0: no limit
    int rate = MyDmm::kDefaultSampleRate; // in ms; 0 = every reply
    bool skipRepeat = false;
    QByteArray keys; // key codes to press after connecting, in order
    Format format = Format::Csv;
    QString output; // empty: standard output
    bool stats = false;
    LimitAlarm limits; // --low, --high, in the recording's unit without prefix
    bool reconnect = false;
    QString journalDir;                    // empty: no journal
    qint64 journalQuota = qint64(1) << 30; // bytes the journals may take together
    QString name;                          // the meter's name in jsonl, influx and MQTT
    bool mqtt = false;                     // publish to the broker of mqttSettings
    MqttSettings mqttSettings;
    int mqttWaitMs = 15000; // how long the end of a run waits for the broker to take the rest

    // What a command line asks for: a run with these options, a text to print (--help,
    // --version), or nothing but the complaint about a usage error.
    struct Parsed;
    // Parses the arguments, program name first.
    static Parsed parse(const QStringList &arguments);
};

struct CliOptions::Parsed
{
    enum class Outcome
    {
        Run,
        Print,
        UsageError
    };
    Outcome outcome = Outcome::Run;
    CliOptions options;
    QString text; // what to print, or what is wrong
};
