#pragma once

#include <QObject>
#include <QVector>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal delivered in the event loop, so that a program
// interrupted from the terminal or stopped by the desktop session shuts down in order instead
// of dying with unsaved data; a second SIGINT or SIGTERM ends it at once, as the system's
// default does. One watcher per process.
class UnixSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignalWatcher(QObject *parent = nullptr);
    ~UnixSignalWatcher() override;

    // False when the signal pipe or the handlers could not be installed.
    bool isActive() const { return m_notifier != nullptr; }
    // Catches one more signal (SIGUSR1...), delivered through received(); false when it cannot.
    bool watch(int signalNumber);

signals:
    void terminationRequested(int signalNumber);
    void received(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
    QVector<int> m_watched;
};
