#include "session/journalkeeper.h"

#include "format/csvformatter.h"
#include "meter/dmmdata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// The name of the note in the journal folder while a recording runs.
const QString kRunningNote = QStringLiteral("running");
} // namespace

JournalKeeper::JournalKeeper(const QString &directory, qint64 quota, QObject *parent)
    : QObject(parent)
    , m_journal(directory)
    , m_quota(quota)
{
    connect(&m_journal, &Journal::failed, this, &JournalKeeper::failed);
}

void JournalKeeper::begin(const QDateTime &start)
{
    // A journal that failed tries again here, with the next recording.
    if (!m_journal.start(CsvFormatter::headerFields(), start))
        return;
    note(m_journal.fileName());
    prune();
}

void JournalKeeper::append(qint64 number, const DmmData &reading)
{
    if (m_journal.isActive())
        m_journal.append(CsvFormatter::rowFields(number, reading, m_time));
}

bool JournalKeeper::resume(const QString &fileName)
{
    if (!m_journal.resume(fileName))
        return false;
    note(m_journal.fileName());
    return true;
}

void JournalKeeper::stop()
{
    m_journal.stop();
    note(QString());
}

void JournalKeeper::prune()
{
    if (!m_journal.prune(m_quota).isEmpty())
        emit removed(m_journal.pruneSummary());
}

QString JournalKeeper::notePath() const
{
    return QDir(m_journal.directory()).filePath(kRunningNote);
}

QString JournalKeeper::unclosedJournal() const
{
    QFile file(notePath());
    if (!m_notesRunning || !file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}

void JournalKeeper::forgetUnclosed()
{
    note(QString());
}

void JournalKeeper::note(const QString &fileName)
{
    if (!m_notesRunning)
        return;
    if (fileName.isEmpty()) {
        QFile::remove(notePath());
        return;
    }
    QSaveFile note(notePath());
    if (note.open(QIODevice::WriteOnly)) {
        note.write(QFileInfo(fileName).absoluteFilePath().toUtf8());
        note.commit();
    }
}
