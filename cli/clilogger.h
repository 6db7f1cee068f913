#pragma once

#include "cli/clioptions.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>
#include <memory>

class DeviceSelector;
class DmmData;
class LinkSupervisor;
class MqttPublisher;
class MyDmm;
class QIODevice;
class ReadingFormatter;
class RecordingSession;

// Drives one headless logging run: opens the link, presses the requested keys, writes every
// reading that the recording session takes to the output as it arrives, stops at the sample or
// time limit, on an interrupt or when the link is lost, and reconnects if asked to. finished()
// carries the exit status.
class CliLogger : public QObject
{
    Q_OBJECT
public:
    // The exit status of a run whose readings did not all reach the broker.
    static constexpr int kUndelivered = 3;
    // What a run ended by a signal gives the broker at most, so that it ends within 2 s.
    static constexpr int kInterruptWaitMs = 1000;

    // Readings go to output (written one whole line per write); messages to log.
    CliLogger(const CliOptions &options, QIODevice *output, QIODevice *log,
              QObject *parent = nullptr);
    ~CliLogger() override;

    // Starts the run; finished() follows, possibly from within this call.
    void start();
    // Ends the run in order (link closed, output complete, the last event saying why) with the
    // given status; a run that never had its link open ends with the failure status all the same.
    void stop(int exitCode, const QString &reason);
    // Ends the run for a signal (SIGINT, SIGTERM) within a bound, in whatever it is doing: also
    // a wait for the broker that has begun is cut short.
    void interrupt(int signalNumber);

signals:
    void finished(int exitCode);

private:
    void connectLink();
    void reportOpenFailure(const QString &reason);
    void pressKeysOnce();
    void onOpened();
    void onLost();
    void endLink(const QString &reason);
    void onRecorded(const DmmData &data);
    void write(const QByteArray &bytes);
    void report(const QString &message);
    void armTimeLimit();
    void startPublisher();
    void reportDrops();
    void onPublisherFinished(qint64 undelivered);

    CliOptions m_options;
    QIODevice *m_output;
    QIODevice *m_log;
    std::unique_ptr<ReadingFormatter> m_formatter;
    std::unique_ptr<DeviceSelector> m_selector;
    std::unique_ptr<MyDmm> m_dmm;
    std::unique_ptr<LinkSupervisor> m_link;
    std::unique_ptr<RecordingSession> m_session;
    std::unique_ptr<MqttPublisher> m_publisher;
    QDeadlineTimer m_deadline;
    QTimer m_timeLimit;
    QString m_lastFailure; // the message of the last failed open since the link was last open
    qint64 m_written = 0;
    bool m_everOpened = false;
    bool m_linkOpen = false; // a connected event has no disconnected one yet
    bool m_keysPressed = false;
    bool m_stopping = false;
    bool m_dropReported = false;
    int m_mqttWaitMs; // what the end of the run gives the broker
    int m_exitCode = 0;
};
