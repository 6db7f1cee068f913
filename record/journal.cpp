#include "record/journal.h"

#include "record/csvformat.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtDebug>

#include <algorithm>

namespace {

// Collisions get a counter; beyond this many files for one second something else is wrong.
constexpr int kMaxCounter = 1000;

// "2024-05-01_12-30-00.csv" or, after a collision, "2024-05-01_12-30-00-2.csv".
const QRegularExpression &journalName()
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2})(?:-(\\d+))?\\.csv$"));
    return pattern;
}

struct JournalFile
{
    QFileInfo info;
    QString stamp;
    int counter;
};

// The journal files of the folder, newest first.
QList<JournalFile> journalFiles(const QString &directory)
{
    QList<JournalFile> files;
    const QFileInfoList entries =
        QDir(directory).entryInfoList({QStringLiteral("*.csv")}, QDir::Files);
    for (const QFileInfo &info : entries) {
        const QRegularExpressionMatch match = journalName().match(info.fileName());
        if (match.hasMatch())
            files.append({info, match.captured(1), match.captured(2).toInt()});
    }
    std::sort(files.begin(), files.end(), [](const JournalFile &a, const JournalFile &b) {
        return a.stamp != b.stamp ? a.stamp > b.stamp : a.counter > b.counter;
    });
    return files;
}

} // namespace

Journal::Journal(QObject *parent)
    : Journal(defaultDirectory(), parent)
{
}

Journal::Journal(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_directory(directory)
{
}

Journal::~Journal() = default;

QString Journal::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/journal");
}

bool Journal::start(const QStringList &headerFields, const QDateTime &startTime)
{
    stop();
    m_errorString.clear();
    if (!QDir().mkpath(m_directory)) {
        fail(tr("Cannot create the journal folder %1.").arg(m_directory));
        return false;
    }
    if (!openNewFile(startTime))
        return false;
    return writeLine(csvLine(headerFields));
}

bool Journal::append(const QStringList &fields)
{
    return isActive() && writeLine(csvLine(fields));
}

void Journal::stop()
{
    m_file.close();
    m_written = 0;
}

QString Journal::fileName() const
{
    return isActive() ? m_file.fileName() : QString();
}

int Journal::prune(int maxFiles, qint64 maxBytes)
{
    const QString running = isActive() ? QFileInfo(m_file).absoluteFilePath() : QString();
    int kept = 0;
    qint64 keptBytes = 0;
    bool beyondLimits = false;
    int removed = 0;
    for (const JournalFile &file : journalFiles(m_directory)) {
        const bool isRunning = file.info.absoluteFilePath() == running;
        beyondLimits =
            beyondLimits || kept + 1 > maxFiles || keptBytes + file.info.size() > maxBytes;
        if (beyondLimits && !isRunning) {
            removed += QFile::remove(file.info.absoluteFilePath()) ? 1 : 0;
            continue;
        }
        ++kept;
        keptBytes += file.info.size();
    }
    return removed;
}

// Creates the file exclusively, so that a journal of the same second is never overwritten.
bool Journal::openNewFile(const QDateTime &startTime)
{
    const QString base =
        QDir(m_directory).filePath(startTime.toString(QStringLiteral("yyyy-MM-dd_hh-mm-ss")));
    for (int counter = 0; counter < kMaxCounter; ++counter) {
        const QString suffix = counter == 0 ? QString() : QStringLiteral("-%1").arg(counter);
        m_file.setFileName(base + suffix + QStringLiteral(".csv"));
        // Unbuffered: each line goes to the system in one write, complete or not at all.
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        if (!m_file.exists())
            break;
    }
    fail(tr("Cannot create the journal %1: %2").arg(m_file.fileName(), m_file.errorString()));
    return false;
}

bool Journal::writeLine(const QString &line)
{
    const QByteArray bytes = encodeCsv(line);
    if (m_file.write(bytes) == bytes.size()) {
        m_written += bytes.size();
        return true;
    }
    const QString reason = m_file.error() != QFileDevice::NoError
                               ? m_file.errorString()
                               : tr("only part of the line was written");
    // A line cut short by a full disk is taken back, so that the file ends with whole lines.
    m_file.resize(m_written);
    fail(tr("Cannot write the journal %1: %2").arg(m_file.fileName(), reason));
    stop();
    return false;
}

void Journal::fail(const QString &message)
{
    m_errorString = message;
    qWarning().noquote() << message;
    emit failed(message);
}
