#include "cli/clilogger.h"

#include "format/csvformatter.h"
#include "format/influxformatter.h"
#include "format/jsonlformatter.h"
#include "meter/deviceselector.h"
#include "meter/dmmdata.h"
#include "meter/linksupervisor.h"
#include "meter/mydmm.h"
#include "mqtt/mqttpublisher.h"
#include "record/timestampformatter.h"
#include "session/journalkeeper.h"
#include "session/recordingsession.h"

#include <QIODevice>
#include <algorithm>
#include <csignal>
#include <limits>

namespace {

constexpr int kFailure = 1;

QString now()
{
    return QDateTime::currentDateTime().toString(kTimestampLayout);
}

std::unique_ptr<ReadingFormatter> formatterFor(const CliOptions &options)
{
    switch (options.format) {
    case CliOptions::Format::Jsonl:
        return std::make_unique<JsonlFormatter>(options.name, options.limits);
    case CliOptions::Format::Influx:
        return std::make_unique<InfluxFormatter>(options.model, options.name);
    case CliOptions::Format::Csv:
        break;
    }
    return std::make_unique<CsvFormatter>();
}

} // namespace

CliLogger::CliLogger(const CliOptions &options, QIODevice *output, QIODevice *log, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_output(output)
    , m_log(log)
    , m_formatter(formatterFor(options))
    , m_selector(std::make_unique<DeviceSelector>())
    , m_mqttWaitMs(options.mqttWaitMs)
{
    m_selector->setDevice(options.device);
    m_dmm = std::make_unique<MyDmm>(m_selector.get());
    m_dmm->setModel(options.model);
    m_dmm->setSampleRate(options.rate);
    m_dmm->setSkipRepeat(options.skipRepeat);
    connectLink();

    // Without a table: the logger keeps no reading, it writes each one out.
    m_session = std::make_unique<RecordingSession>(m_dmm.get(), nullptr);
    m_session->setLimits(options.limits);
    m_session->setJournalQuota(options.journalQuota);
    connect(m_dmm.get(), &MyDmm::display, m_session.get(), &RecordingSession::take);
    connect(m_session.get(), &RecordingSession::recorded, this, &CliLogger::onRecorded);

    m_timeLimit.setSingleShot(true);
    m_timeLimit.setTimerType(Qt::PreciseTimer);
    connect(&m_timeLimit, &QTimer::timeout, this, &CliLogger::armTimeLimit);
}

void CliLogger::connectLink()
{
    m_link = std::make_unique<LinkSupervisor>(m_dmm.get(), m_selector.get());
    m_link->setReconnect(m_options.reconnect);
    connect(m_link.get(), &LinkSupervisor::opened, this, &CliLogger::onOpened);
    connect(m_link.get(), &LinkSupervisor::lost, this, &CliLogger::onLost);
    connect(m_link.get(), &LinkSupervisor::openFailed, this, &CliLogger::reportOpenFailure);
    connect(m_dmm.get(), &MyDmm::meterSilent, this, [this] {
        report(
            QStringLiteral("%1 %2: %3").arg(now(), m_options.device, LinkSupervisor::silentText()));
    });
    connect(m_dmm.get(), &MyDmm::meterAnswering, this, [this] {
        report(QStringLiteral("%1 the meter on %2 answers again").arg(now(), m_options.device));
    });
}

CliLogger::~CliLogger()
{
    // Closing the link from here is no loss to report.
    m_stopping = true;
    m_link->close();
}

void CliLogger::start()
{
    if (!m_options.journalDir.isEmpty())
        m_session->useJournal(m_options.journalDir);
    if (m_options.mqtt)
        startPublisher();
    if (m_stopping)
        return;
    if (!m_link->open()) {
        if (m_options.reconnect)
            m_link->keepTrying();
        else
            stop(kFailure, QStringLiteral("link lost"));
    }
    // Counted from the first try, so that even the shortest run has had its chance to connect.
    if (m_options.seconds > 0 && !m_stopping) {
        m_deadline.setRemainingTime(qint64(m_options.seconds * 1000 + 0.5), Qt::PreciseTimer);
        armTimeLimit();
    }
}

// A timer runs at most an int's worth of milliseconds; a longer run takes several.
void CliLogger::armTimeLimit()
{
    if (m_deadline.hasExpired()) {
        stop(0, QStringLiteral("time"));
        return;
    }
    const qint64 remaining = m_deadline.remainingTime();
    m_timeLimit.start(int(qMin<qint64>(remaining, std::numeric_limits<int>::max())));
}

// Retries that fail for the same reason say so once.
void CliLogger::reportOpenFailure(const QString &reason)
{
    const QString message = LinkSupervisor::openFailedText() +
                            (reason.isEmpty() ? QString() : QStringLiteral(" ") + reason);
    if (message == m_lastFailure)
        return;
    m_lastFailure = message;
    report(message);
}

void CliLogger::pressKeysOnce()
{
    if (m_keysPressed)
        return;
    m_keysPressed = true;
    for (const char code : qAsConst(m_options.keys))
        m_dmm->sendKey(QByteArray(1, code));
}

void CliLogger::onOpened()
{
    m_lastFailure.clear();
    report(QStringLiteral("%1 connected to %2").arg(now(), m_options.device));
    if (!m_everOpened)
        write(m_formatter->header());
    m_everOpened = true;
    m_linkOpen = true;
    write(m_formatter->event(QStringLiteral("connected"), QDateTime::currentDateTime()));
    // The driver empties its key queue while it opens: the keys go in once open() has returned.
    QMetaObject::invokeMethod(this, &CliLogger::pressKeysOnce, Qt::QueuedConnection);
}

// The stream says when and why the link ended, once for each time it was open.
void CliLogger::endLink(const QString &reason)
{
    if (!m_linkOpen)
        return;
    m_linkOpen = false;
    write(m_formatter->event(QStringLiteral("disconnected"), QDateTime::currentDateTime(), reason));
}

void CliLogger::onLost()
{
    if (m_stopping)
        return;
    report(QStringLiteral("%1 link to %2 lost%3")
               .arg(now(), m_options.device,
                    m_options.reconnect ? QStringLiteral("; trying again every 2 s") : QString()));
    endLink(QStringLiteral("link lost"));
    if (!m_options.reconnect)
        stop(kFailure, QStringLiteral("link lost"));
}

// The session has journaled the reading and handed it to the broker; the output shows it now.
void CliLogger::onRecorded(const DmmData &data)
{
    if (m_stopping)
        return;
    write(m_formatter->reading(++m_written, data));
    reportDrops();
    if (m_options.samples > 0 && m_written >= m_options.samples)
        stop(0, QStringLiteral("samples"));
}

void CliLogger::write(const QByteArray &bytes)
{
    if (bytes.isEmpty() || m_stopping)
        return;
    if (m_output->write(bytes) != bytes.size()) {
        report(QStringLiteral("Cannot write the output: %1").arg(m_output->errorString()));
        stop(kFailure, QStringLiteral("error"));
    }
}

void CliLogger::report(const QString &message)
{
    m_log->write((message + '\n').toLocal8Bit());
}

void CliLogger::stop(int exitCode, const QString &reason)
{
    if (m_stopping)
        return;
    endLink(reason);
    if (m_stopping) // the event could not be written, which has ended the run
        return;
    m_stopping = true;
    m_timeLimit.stop();
    m_link->close();
    m_session->finish();
    if (m_options.stats) {
        QString summary = m_session->stats().summary();
        if (m_publisher)
            summary += QStringLiteral("mqtt dropped: %1\n").arg(m_publisher->dropped());
        m_log->write(summary.toLocal8Bit());
    }
    // A run whose meter never answered has logged nothing, whatever ended it.
    if (m_everOpened && m_session->readingsTaken() == 0) {
        report(QStringLiteral("no reading received"));
        exitCode = kFailure;
    }
    m_exitCode = m_everOpened ? exitCode : kFailure;
    if (m_publisher) {
        if (m_publisher->dropped() > 0)
            report(QStringLiteral("MQTT: %1 readings dropped").arg(m_publisher->dropped()));
        const qint64 pending = m_publisher->pending();
        if (pending > 0 && m_mqttWaitMs > 0)
            report(QStringLiteral("MQTT: waiting up to %1 s for the broker to take %2 readings")
                       .arg(m_mqttWaitMs / 1000.0)
                       .arg(pending));
        m_publisher->finish(m_mqttWaitMs); // finished() follows from there
        return;
    }
    emit finished(m_exitCode);
}

void CliLogger::interrupt(int signalNumber)
{
    report(QStringLiteral("%1 stopped by %2")
               .arg(now(),
                    signalNumber == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM")));
    m_mqttWaitMs = std::min(m_mqttWaitMs, kInterruptWaitMs);
    if (m_stopping && m_publisher)
        m_publisher->finish(m_mqttWaitMs);
    stop(0, QStringLiteral("signal"));
}

void CliLogger::startPublisher()
{
    const MqttSettings &settings = m_options.mqttSettings;
    const QString broker = QStringLiteral("%1:%2").arg(settings.host).arg(settings.port);
    m_publisher = std::make_unique<MqttPublisher>(settings);
    connect(m_publisher.get(), &MqttPublisher::connected, this, [this, broker] {
        report(QStringLiteral("%1 MQTT connected to %2").arg(now(), broker));
    });
    connect(m_publisher.get(), &MqttPublisher::unreachable, this,
            [this, broker](const QString &reason) {
                report(QStringLiteral("%1 MQTT broker %2 not reachable: %3; trying again")
                           .arg(now(), broker, reason));
            });
    connect(m_publisher.get(), &MqttPublisher::connectionLost, this,
            [this, broker](const QString &reason) {
                report(QStringLiteral("%1 MQTT connection to %2 lost: %3; trying again")
                           .arg(now(), broker, reason));
            });
    connect(m_publisher.get(), &MqttPublisher::refused, this, [this](const QString &reason) {
        report(QStringLiteral("The MQTT broker refused the login: %1").arg(reason));
        m_mqttWaitMs = 0; // there is nothing to wait for
        stop(kFailure, QStringLiteral("mqtt refused"));
    });
    connect(m_publisher.get(), &MqttPublisher::finished, this, &CliLogger::onPublisherFinished);
    QString error;
    if (!m_publisher->start(&error)) {
        report(error);
        m_publisher.reset();
        stop(kFailure, QStringLiteral("error"));
        return;
    }
    m_session->setPublisher(m_publisher.get(), m_options.name);
}

// The queue's first drop is reported at once.
void CliLogger::reportDrops()
{
    if (!m_publisher || m_dropReported || m_publisher->dropped() == 0)
        return;
    m_dropReported = true;
    report(QStringLiteral("%1 MQTT queue full (%2 readings): dropping the oldest")
               .arg(now())
               .arg(m_options.mqttSettings.queueLimit));
}

// Success is a reading in every destination; a failure's own status stands.
void CliLogger::onPublisherFinished(qint64 undelivered)
{
    if (undelivered > 0)
        report(QStringLiteral("MQTT: %1 readings not delivered").arg(undelivered));
    if (m_exitCode == 0 && (undelivered > 0 || m_publisher->dropped() > 0))
        m_exitCode = kUndelivered;
    emit finished(m_exitCode);
}
