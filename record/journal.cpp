#include "record/journal.h"

#include "record/csvformat.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <sys/stat.h>

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

// A size as a status bar gives it: "412 MB", "1.5 GB", "201 bytes".
QString sizeText(qint64 bytes)
{
    double units = double(bytes);
    while (units >= 1024)
        units /= 1024;
    const int decimals = units < 10 && units != std::floor(units) ? 1 : 0;
    return QLocale().formattedDataSize(bytes, decimals, QLocale::DataSizeTraditionalFormat);
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

bool Journal::parseQuota(const QString &text, qint64 *bytes)
{
    static const QString kSuffixes = QStringLiteral("KMG");
    QString number = text.trimmed();
    const int power = number.isEmpty() ? -1 : kSuffixes.indexOf(number.back().toUpper());
    if (power >= 0)
        number.chop(1);
    bool ok = false;
    const qint64 count = number.toLongLong(&ok);
    const int shift = 10 * (power + 1);
    if (!ok || count < 0 || count > (std::numeric_limits<qint64>::max() >> shift))
        return false;
    *bytes = count << shift;
    return true;
}

bool Journal::start(const QStringList &headerFields, const QDateTime &startTime)
{
    stop();
    m_errorString.clear();
    if (!QDir().mkpath(m_directory)) {
        fail(tr("Cannot create the journal folder %1: %2").arg(m_directory, folderFailure()));
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

bool Journal::resume(const QString &fileName)
{
    stop();
    m_errorString.clear();
    m_file.setFileName(fileName);
    if (m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        m_written = wholeLinesLength();
        if (m_written >= 0 && m_file.resize(m_written) && m_file.seek(m_written))
            return true;
    }
    fail(tr("Cannot continue the journal %1: %2").arg(fileName, m_file.errorString()));
    stop();
    return false;
}

qint64 Journal::wholeLinesLength()
{
    constexpr qint64 kChunk = 4096;
    for (qint64 end = m_file.size(); end > 0; end -= kChunk) {
        const qint64 start = qMax<qint64>(0, end - kChunk);
        if (!m_file.seek(start))
            return -1;
        const QByteArray chunk = m_file.read(end - start);
        const int lineFeed = chunk.lastIndexOf('\n');
        if (lineFeed >= 0)
            return start + lineFeed + 1;
    }
    return 0;
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

QStringList Journal::prune(qint64 quota)
{
    const QString running = isActive() ? QFileInfo(m_file).absoluteFilePath() : QString();
    QList<JournalFile> files = journalFiles(m_directory);
    qint64 total = 0;
    for (const JournalFile &file : qAsConst(files))
        total += file.info.size();
    QStringList removed;
    m_prunedFiles = 0;
    m_prunedBytes = 0;
    m_pruneQuota = quota;
    // Oldest first, until what is left fits.
    while (total > quota && !files.isEmpty()) {
        const JournalFile oldest = files.takeLast();
        if (oldest.info.absoluteFilePath() == running ||
            !QFile::remove(oldest.info.absoluteFilePath()))
            continue;
        total -= oldest.info.size();
        ++m_prunedFiles;
        m_prunedBytes += oldest.info.size();
        removed.append(tr("Removed the journal %1 (%2 bytes) to keep the journals within %3 bytes.")
                           .arg(oldest.info.absoluteFilePath())
                           .arg(oldest.info.size())
                           .arg(quota));
        qWarning().noquote() << removed.last();
    }
    return removed;
}

QString Journal::pruneSummary() const
{
    if (m_prunedFiles == 0)
        return QString();
    const QString size = sizeText(m_prunedBytes);
    const QString quota = sizeText(m_pruneQuota);
    return m_prunedFiles == 1
               ? tr("Removed 1 old journal, %1, to keep the journals within %2.").arg(size, quota)
               : tr("Removed %1 old journals, %2, to keep the journals within %3.")
                     .arg(m_prunedFiles)
                     .arg(size, quota);
}

// Why the folder cannot be made: QDir does not say, so the last step is tried once more here.
QString Journal::folderFailure() const
{
    if (::mkdir(QFile::encodeName(m_directory).constData(), 0777) == 0 || errno == EEXIST)
        return tr("the folder cannot be reached");
    return QString::fromLocal8Bit(std::strerror(errno));
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
