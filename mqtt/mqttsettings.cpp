#include "mqtt/mqttsettings.h"

#include <QFileInfo>
#include <QSysInfo>
#include <QUrl>

bool MqttSettings::fromUrl(const QString &text, MqttSettings *settings, QString *error)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != "mqtt" && scheme != "mqtts") || url.host().isEmpty() ||
        url.hasQuery() || url.hasFragment() || !url.password().isEmpty()) {
        *error = QStringLiteral("\"%1\" is not a broker address like mqtt://host[:port]/prefix "
                                "or mqtts://host[:port]/prefix")
                     .arg(text);
        return false;
    }
    settings->tls = scheme == "mqtts";
    settings->host = url.host();
    settings->port = url.port(settings->tls ? 8883 : 1883);
    if (!url.userName().isEmpty())
        settings->user = url.userName();
    QString prefix = url.path();
    while (prefix.startsWith('/'))
        prefix.remove(0, 1);
    while (prefix.endsWith('/'))
        prefix.chop(1);
    if (prefix.contains('+') || prefix.contains('#') || prefix.contains(QStringLiteral("//"))) {
        *error = QStringLiteral("The topic prefix \"%1\" holds a wildcard or an empty level")
                     .arg(prefix);
        return false;
    }
    settings->prefix = prefix;
    return true;
}

bool MqttSettings::isValidName(const QString &name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('+') && !name.contains('#') &&
           !name.contains(QChar(0));
}

QString MqttSettings::defaultName(const QString &device)
{
    const QString serial = QStringLiteral("serial:");
    const QString link =
        device.startsWith(serial) ? QFileInfo(device.mid(serial.size())).fileName() : device;
    QString name = QSysInfo::machineHostName() + '-' + link;
    // Whatever would split or widen a topic becomes a dash.
    for (QChar &c : name)
        if (c == '/' || c == '+' || c == '#' || c == QChar(0))
            c = '-';
    return name;
}

QString MqttSettings::topic(const QString &leaf) const
{
    return (prefix.isEmpty() ? QString() : prefix + '/') + name + '/' + leaf;
}
