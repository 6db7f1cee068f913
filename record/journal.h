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
    // How many bytes the journals of a folder may take together unless told otherwise: 1 GiB.
    static constexpr qint64 kDefaultQuota = qint64(1) << 30;

    // A journal in the folder "journal" of the application's local data folder.
    explicit Journal(QObject *parent = nullptr);
    explicit Journal(const QString &directory, QObject *parent = nullptr);
    ~Journal() override;

    static QString defaultDirectory();
    // A quota as bytes, or with K, M or G (powers of 1024) after the number: "1G", "500M".
    // False for anything else, a negative number included.
    static bool parseQuota(const QString &text, qint64 *bytes);
    QString directory() const { return m_directory; }

    // Ends any running journal and begins a new file named after the start time
    // ("yyyy-MM-dd_hh-mm-ss.csv", with "-1", "-2" … added when that name is taken) holding the
    // header line. False, with failed() emitted, when the file cannot be made.
    bool start(const QStringList &headerFields,
               const QDateTime &startTime = QDateTime::currentDateTime());
    // Writes one complete line and hands it to the system before returning. After a failed
    // write the journal stops (the line is not left half written) until the next start().
    bool append(const QStringList &fields);
    // Goes on writing an existing journal (a recording restored after a crash): a line cut short
    // at its end is taken away first. False, with failed() emitted, when it cannot be written.
    bool resume(const QString &fileName);
    void stop();

    bool isActive() const { return m_file.isOpen(); }
    // The running journal's path; empty when none runs.
    QString fileName() const;
    QString errorString() const { return m_errorString; }

    // Removes the oldest journals of the folder until the rest take at most quota bytes; the
    // running journal is always kept. Each removal is named on standard error (and returned,
    // oldest first, as the sentence that names it).
    QStringList prune(qint64 quota = kDefaultQuota);
    // The removals of the last prune in one sentence, for a status bar that has room for one
    // ("Removed 7 old journals, 412 MB, to keep the journals within 1 GB."); empty when none.
    QString pruneSummary() const;

signals:
    // A journal could not be created or written; emitted once per failure.
    void failed(const QString &message);

private:
    bool openNewFile(const QDateTime &startTime);
    QString folderFailure() const;
    // The length of the file's whole lines: up to and with its last line feed.
    qint64 wholeLinesLength();
    bool writeLine(const QString &line);
    void fail(const QString &message);

    QString m_directory;
    QFile m_file;
    qint64 m_written = 0;
    QString m_errorString;
    // What the last prune removed, and to stay within what.
    int m_prunedFiles = 0;
    qint64 m_prunedBytes = 0;
    qint64 m_pruneQuota = 0;
};
