#pragma once

#include <QString>

// Where and as whom readings are published: the broker from an mqtt:// or mqtts:// address,
// the login, and the meter's name that makes up the topics.
struct MqttSettings
{
    static constexpr int kDefaultQueue = 100000;

    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile; // empty: the system's certificates
    QString prefix; // topic levels before the meter's name, without slashes at either end
    QString user;
    QString password;
    QString name;
    int queueLimit = kDefaultQueue;

    // Reads mqtt://[user@]host[:port][/prefix] or mqtts://...; false with *error otherwise.
    static bool fromUrl(const QString &url, MqttSettings *settings, QString *error);
    // A meter name must be one topic level: not empty, no slash, no wildcard.
    static bool isValidName(const QString &name);
    // The name a meter gets when none is given: the host name and the device, e.g.
    // bench-pc-ch9329 (for a serial port its file name: bench-pc-ttyUSB0).
    static QString defaultName(const QString &device);

    QString readingTopic() const { return topic(QStringLiteral("reading")); }
    QString statusTopic() const { return topic(QStringLiteral("status")); }

private:
    QString topic(const QString &leaf) const;
};
