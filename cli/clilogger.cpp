#include "cli/clilogger.h"

#include "meter/deviceselector.h"
#include "meter/dmmdata.h"
#include "meter/mydmm.h"

#include <QIODevice>

namespace {

constexpr int kReconnectIntervalMs = 2000;

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

CliLogger::CliLogger(const CliOptions &options, QIODevice *output, QIODevice *log, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_output(output)
    , m_log(log)
    , m_formatter(ReadingFormatter::create(options.format, options.model))
    , m_selector(std::make_unique<DeviceSelector>())
{
    m_selector->setDevice(options.device);
    m_dmm = std::make_unique<MyDmm>(m_selector.get());
    m_dmm->setModel(options.model);
    m_dmm->setSampleRate(options.rate);
    connect(m_dmm.get(), &MyDmm::opened, this, &CliLogger::onOpened);
    connect(m_dmm.get(), &MyDmm::closed, this, &CliLogger::onClosed);
    connect(m_dmm.get(), &MyDmm::display, this, &CliLogger::onReading);

    m_timeLimit.setSingleShot(true);
    connect(&m_timeLimit, &QTimer::timeout, this, [this] { stop(0); });
    m_reconnectTimer.setSingleShot(true);
    m_reconnectTimer.setInterval(kReconnectIntervalMs);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &CliLogger::tryOpen);
}

CliLogger::~CliLogger()
{
    m_dmm->close();
}

void CliLogger::start()
{
    if (m_options.seconds > 0)
        m_timeLimit.start(qMax(1, qRound(m_options.seconds * 1000)));
    write(m_formatter->header());
    tryOpen();
}

void CliLogger::tryOpen()
{
    if (m_stopping || m_dmm->open())
        return;
    QString reason = m_selector->errorString();
    report(QStringLiteral("Failed to open device.") +
           (reason.isEmpty() ? QString() : QStringLiteral(" ") + reason));
    if (m_options.reconnect)
        scheduleReconnect();
    else
        stop(1);
}

void CliLogger::scheduleReconnect()
{
    if (!m_stopping)
        m_reconnectTimer.start();
}

void CliLogger::onOpened()
{
    const QDateTime time = QDateTime::currentDateTime();
    report(QStringLiteral("%1 connected to %2").arg(now(), m_options.device));
    write(m_formatter->event(QStringLiteral("connected"), time));
    if (!m_keysPressed) {
        m_keysPressed = true;
        for (const char code : qAsConst(m_options.keys))
            m_dmm->sendKey(QByteArray(1, code));
    }
}

void CliLogger::onClosed()
{
    if (m_stopping)
        return;
    report(QStringLiteral("%1 link to %2 lost").arg(now(), m_options.device));
    write(m_formatter->event(QStringLiteral("disconnected"), QDateTime::currentDateTime()));
    // The driver keeps its command thread until it is closed; close it before trying again.
    m_dmm->close();
    if (m_options.reconnect)
        scheduleReconnect();
    else
        stop(1);
}

void CliLogger::onReading(const DmmData *data)
{
    // Every reading the driver emits is ours to delete.
    std::unique_ptr<const DmmData> owned(data);
    if (data && !m_stopping)
        handleReading(*data);
}

void CliLogger::handleReading(const DmmData &data)
{
    if (m_options.skipRepeat && m_hasLastValue && data.valueText() == m_lastValueText)
        return;
    m_lastValueText = data.valueText();
    m_hasLastValue = true;
    ++m_written;
    write(m_formatter->reading(m_written, data));
    m_stats.add(data);
    if (m_options.samples > 0 && m_written >= m_options.samples)
        stop(0);
}

void CliLogger::write(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_output->write(bytes) != bytes.size()) {
        report(QStringLiteral("Cannot write the output: %1").arg(m_output->errorString()));
        stop(1);
    }
}

void CliLogger::report(const QString &message)
{
    m_log->write((message + '\n').toLocal8Bit());
}

void CliLogger::stop(int exitCode)
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_timeLimit.stop();
    m_reconnectTimer.stop();
    m_dmm->close();
    if (m_options.stats)
        m_log->write(m_stats.summary().toLocal8Bit());
    emit finished(exitCode);
}
