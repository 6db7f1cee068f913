#pragma once

#include "mqtt/mqttsettings.h"

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

    QString device = QStringLiteral("auto");
    QString model = QStringLiteral("VX310A");
    qint64 samples = 0; // 0: no limit
    double seconds = 0; // 0: no limit
    int rate = 1000;    // sample rate in ms; 0 = every reply
    bool skipRepeat = false;
    QByteArray keys; // key codes to press after connecting, in order
    Format format = Format::Csv;
    QString output; // empty: standard output
    bool stats = false;
    bool reconnect = false;
    QString journalDir; // empty: no journal
    QString name;       // the meter's name in jsonl, influx and MQTT
    bool mqtt = false;  // publish to the broker of mqttSettings
    MqttSettings mqttSettings;

    // Parses the arguments (program name first). On a usage error returns false with *error
    // set; --help and --version set *exitNow and fill *text with what to print.
    static bool parse(const QStringList &arguments, CliOptions *options, QString *error,
                      bool *exitNow, QString *text);
};
