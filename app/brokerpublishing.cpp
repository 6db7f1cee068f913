#include "app/brokerpublishing.h"

#include "mqtt/mqttpublisher.h"
#include "session/recordingsession.h"

BrokerPublishing::BrokerPublishing(RecordingSession *session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
}

// The session may be gone already; nothing records any more.
BrokerPublishing::~BrokerPublishing() = default;

void BrokerPublishing::setBroker(const QString &url, const QString &name)
{
    m_url = url.trimmed();
    m_name = name.trimmed();
}

// The broker gets what is queued and the offline status in the background, so that neither a
// change of broker nor closing the window waits for it.
void BrokerPublishing::stop()
{
    m_session->setPublisher(nullptr, QString());
    MqttPublisher::retire(std::move(m_publisher), MqttPublisher::kClosingWaitMs);
}

void BrokerPublishing::start(const QString &device)
{
    stop();
    if (m_url.isEmpty())
        return;
    MqttSettings settings;
    settings.name = m_name.isEmpty() ? MqttSettings::defaultName(device) : m_name;
    settings.password = qEnvironmentVariable("KLM704_MQTT_PASSWORD");
    QString error;
    if (!MqttSettings::isValidName(settings.name)) {
        emit message(tr("MQTT: the meter name must not hold /, + or #"));
        return;
    }
    if (!MqttSettings::fromUrl(m_url, &settings, &error)) {
        emit message(tr("MQTT: %1").arg(error));
        return;
    }
    m_publisher = std::make_unique<MqttPublisher>(settings);
    connectMessages(QStringLiteral("%1:%2").arg(settings.host).arg(settings.port), settings.name);
    if (!m_publisher->start(&error)) {
        emit message(tr("MQTT: %1").arg(error));
        m_publisher.reset();
        return;
    }
    m_session->setPublisher(m_publisher.get(), settings.name);
}

void BrokerPublishing::connectMessages(const QString &broker, const QString &meterName)
{
    MqttPublisher *publisher = m_publisher.get();
    connect(publisher, &MqttPublisher::connected, this, [this, broker, meterName] {
        emit message(tr("Publishing to %1 as %2").arg(broker, meterName));
    });
    connect(publisher, &MqttPublisher::unreachable, this, [this, broker](const QString &reason) {
        emit message(tr("MQTT broker %1 not reachable: %2; trying again").arg(broker, reason));
    });
    connect(publisher, &MqttPublisher::connectionLost, this, [this, broker](const QString &reason) {
        emit message(tr("MQTT connection to %1 lost: %2; trying again").arg(broker, reason));
    });
    connect(publisher, &MqttPublisher::refused, this, [this](const QString &reason) {
        emit message(tr("The MQTT broker refused the login: %1").arg(reason));
    });
}
