#pragma once

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

// Keeps the recording on disk while it runs, one CSV file per recording, in the same line format
// as the export: a crash or power cut loses at most the reading being written.
class Journal : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxFiles = 100;
    static constexpr qint64 kMaxBytes = qint64(1) << 30;

    // A journal in the folder "journal" of the application's local data folder.
    explicit Journal(QObject *parent = nullptr);
    explicit Journal(const QString &directory, QObject *parent = nullptr);
    ~Journal() override;

    static QString defaultDirectory();
    QString directory() const { return m_directory; }

    // Ends any running journal and begins a new file named after the start time
    // ("yyyy-MM-dd_hh-mm-ss.csv", with "-1", "-2" … added when that name is taken) holding the
    // header line. False, with failed() emitted, when the file cannot be made.
    bool start(const QStringList &headerFields,
               const QDateTime &startTime = QDateTime::currentDateTime());
    // Writes one complete line and hands it to the system before returning. After a failed
    // write the journal stops (the line is not left half written) until the next start().
    bool append(const QStringList &fields);
    void stop();

    bool isActive() const { return m_file.isOpen(); }
    // The running journal's path; empty when none runs.
    QString fileName() const;
    QString errorString() const { return m_errorString; }

    // Removes the oldest journals of the folder beyond the newest maxFiles files or maxBytes
    // bytes in all; the running journal is always kept. Returns how many were removed.
    int prune(int maxFiles = kMaxFiles, qint64 maxBytes = kMaxBytes);

signals:
    // A journal could not be created or written; emitted once per failure.
    void failed(const QString &message);

private:
    bool openNewFile(const QDateTime &startTime);
    bool writeLine(const QString &line);
    void fail(const QString &message);

    QString m_directory;
    QFile m_file;
    qint64 m_written = 0;
    QString m_errorString;
};
