// The window's publishing of recorded readings to an MQTT broker named in the options dialog.

#include "app/widget.h"
#include "format/jsonlformatter.h"
#include "meter/deviceselector.h"
#include "meter/dmmdata.h"
#include "mqtt/mqttpublisher.h"
#include "ui_widget.h"

#include <memory>

void Widget::setMqttBroker(const QString &url, const QString &name)
{
    mqttUrl = url.trimmed();
    mqttName = name.trimmed();
    // Before the first show the device may still change; showing the window starts it.
    if (layoutRestored)
        startPublishing();
}

void Widget::stopPublishing()
{
    delete publisher;
    publisher = nullptr;
}

void Widget::startPublishing()
{
    stopPublishing();
    if (mqttUrl.isEmpty())
        return;
    MqttSettings settings;
    settings.name =
        mqttName.isEmpty() ? MqttSettings::defaultName(deviceSelector->device()) : mqttName;
    settings.password = qEnvironmentVariable("KLM704_MQTT_PASSWORD");
    QString error;
    if (!MqttSettings::isValidName(settings.name)) {
        ui->statusBar->showMessage(tr("MQTT: the meter name must not hold /, + or #"));
        return;
    }
    if (!MqttSettings::fromUrl(mqttUrl, &settings, &error)) {
        ui->statusBar->showMessage(tr("MQTT: %1").arg(error));
        return;
    }
    publisher = new MqttPublisher(settings, this);
    publishedName = settings.name;
    const QString broker = QStringLiteral("%1:%2").arg(settings.host).arg(settings.port);
    connect(publisher, &MqttPublisher::connected, this, [this, broker] {
        ui->statusBar->showMessage(tr("Publishing to %1 as %2").arg(broker, publishedName));
    });
    const auto trying = [this, broker](const QString &reason) {
        ui->statusBar->showMessage(
            tr("MQTT broker %1 not reachable: %2; trying again").arg(broker, reason));
    };
    connect(publisher, &MqttPublisher::unreachable, this, trying);
    connect(publisher, &MqttPublisher::connectionLost, this, trying);
    connect(publisher, &MqttPublisher::refused, this, [this](const QString &reason) {
        ui->statusBar->showMessage(tr("The MQTT broker refused the login: %1").arg(reason));
    });
    if (!publisher->start(&error)) {
        ui->statusBar->showMessage(tr("MQTT: %1").arg(error));
        delete publisher;
        publisher = nullptr;
    }
}

// The JSON line is made on the publisher's thread, from a copy: the recording step only queues.
void Widget::publishReading(const DmmData &reading)
{
    if (!publisher)
        return;
    auto copy = std::make_shared<DmmData>();
    copy->setTimestamp(reading.timestamp());
    copy->setValue(reading.value());
    copy->setValueText(reading.valueText());
    copy->setOverload(reading.overload());
    copy->setUnitText(reading.unitText());
    copy->setRangeText(reading.rangeText());
    copy->setFunctionName(reading.functionName());
    copy->setEntry(reading.entry()); // the function tables live as long as the program
    copy->setMaxMinText(reading.maxMinText());
    copy->setHold(reading.hold());
    copy->setRelative(reading.relative());
    copy->setStatusBit3(reading.statusBit3());
    copy->setManualRange(reading.manualRange());
    copy->setLowBattery(reading.lowBattery());
    copy->setStatusBit0(reading.statusBit0());
    copy->setPeakText(reading.peakText());
    copy->setCouplingText(reading.couplingText());
    publisher->publish(
        [copy, name = publishedName] { return JsonlFormatter(name).reading(0, *copy).chopped(1); });
}
