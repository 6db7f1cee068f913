#pragma once

#include <QObject>
#include <QString>
#include <memory>

class MqttPublisher;
class RecordingSession;

// The window's publishing of recorded readings to the MQTT broker its options name: the broker's
// address and the meter's name in the topics, the publisher while one runs (the session hands it
// the readings), and what the publisher reports, as texts for the status bar.
class BrokerPublishing : public QObject
{
    Q_OBJECT
public:
    explicit BrokerPublishing(RecordingSession *session, QObject *parent = nullptr);
    ~BrokerPublishing() override;

    // mqtt://host[:port]/prefix, empty: none; name empty: the host name and the device.
    void setBroker(const QString &url, const QString &name);
    QString url() const { return m_url; }
    QString name() const { return m_name; }
    // (Re)starts publishing for the device, whose name makes the default meter name; ends it
    // when no broker is named.
    void start(const QString &device);
    // What the broker has not yet taken gets a moment; then the status says offline.
    void stop();

signals:
    void message(const QString &text);

private:
    void connectMessages(const QString &broker, const QString &meterName);

    RecordingSession *m_session;
    QString m_url;
    QString m_name;
    std::unique_ptr<MqttPublisher> m_publisher;
};
