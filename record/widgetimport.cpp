// The window's way back to a recording: Import of an exported file or a journal, the offer to
// open the journal of a recording that was cut short, and the journal folder's housekeeping.

#include "app/widget.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "record/columnspec.h"
#include "record/csvformat.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/journal.h"
#include "record/readingstore.h"
#include "record/recordingreader.h"
#include "ui_widget.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSaveFile>

#include <memory>

namespace {

// The name of the note in the journal folder while a recording runs.
const QString kRunningNote = QStringLiteral("running");
// The progress dialog appears for an import that takes longer than this.
constexpr int kProgressDelayMs = 500;
constexpr int kProgressSteps = 1000;

// The header lines a recording may carry: in the language of this run and in English.
QList<QStringList> recordingHeaders(const DataModel *model)
{
    QList<QStringList> headers{csvHeaderFields(model)};
    const QStringList english = englishRecordColumnTitles();
    if (english != headers.first())
        headers.append(english);
    return headers;
}

// How many readings a journal holds (its complete lines after the header) and the time text
// of the last of them.
struct JournalSummary
{
    qint64 readings = 0;
    QString lastTime;
};

JournalSummary summarize(const QString &fileName)
{
    JournalSummary summary;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return summary;
    QByteArray lastLine;
    QByteArray line;
    qint64 lines = 0;
    while (!file.atEnd()) {
        line = file.readLine();
        if (!line.endsWith('\n'))
            break; // a line cut short is not a reading
        ++lines;
        lastLine = line;
    }
    summary.readings = qMax<qint64>(0, lines - 1);
    // The number and the time stamp never hold a comma; the time of day follows the date.
    const QList<QByteArray> fields = lastLine.split(',');
    if (summary.readings > 0 && fields.size() > 1)
        summary.lastTime = QString::fromLocal8Bit(fields.at(1)).mid(11);
    return summary;
}

} // namespace

void Widget::on_actionImport_triggered()
{
    if (dmm->isOpen()) {
        const auto answer = QMessageBox::question(
            this, QString(),
            tr("A recording can be opened only while the meter is disconnected. "
               "Disconnect now?"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        disconnectMeter();
    }
    if (dataModel->rowCount() > 0) {
        const auto answer =
            QMessageBox::question(this, QString(), tr("Are you sure you want to delete this data?"),
                                  QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    const QString fileName = askOpenName(this, tr("Open a recording from a CSV file."),
                                         QStringLiteral("CSV(*.csv)"), dialogFolder());
    if (fileName.isEmpty())
        return;
    outputFolder = QFileInfo(fileName).absolutePath();
    importRecording(fileName);
}

bool Widget::importRecording(const QString &fileName)
{
    RecordingReader reader({&dmm->activeTable(), &dmm->defaultTable(), &dmm->eTable()},
                           recordingHeaders(dataModel));
    QProgressDialog progress(tr("Opening %1 …").arg(QFileInfo(fileName).fileName()), tr("Cancel"),
                             0, kProgressSteps, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kProgressDelayMs);
    progress.setAutoReset(false);
    reader.setProgress([&](qint64 done, qint64 total) {
        progress.setValue(total > 0 ? int(done * kProgressSteps / total) : 0);
        if (progress.wasCanceled())
            reader.cancel();
    });

    // Read into stores of its own; the window's table and charts change only when all is read.
    DataModel table(columns);
    ReadingStore first;
    ReadingStore second;
    const RecordingReader::Result result = reader.read(fileName, {&table, &first, &second});
    progress.reset();
    if (result.outcome == RecordingReader::Outcome::Cancelled)
        return false;
    if (result.outcome == RecordingReader::Outcome::Refused) {
        const QString name = QDir::toNativeSeparators(fileName);
        QMessageBox::warning(
            this, QString(),
            result.line > 0
                ? tr("The recording %1 cannot be opened.\nLine %2: %3.")
                      .arg(name)
                      .arg(result.line)
                      .arg(result.reason)
                : tr("The recording %1 cannot be opened.\n%2.").arg(name, result.reason));
        return false;
    }

    const FunctionEntry *entry = reader.entry();
    const bool dual = entry && entry->functionCode() == functions::kAcPlusDc;
    dataModel->takeRecords(table);
    ui->chart->replacePoints(first);
    ui->chart2->replacePoints(second);
    chartTableReadings(dual);
    ui->chart2->setVisible(dual);
    ui->chart->setAutoPrefix(entry && isScaledFunction(entry->functionCode()));
    if (dual)
        ui->chart2->setAutoPrefix(false);
    ui->tv->scrollToBottom();
    tableFull = false;
    // The figures follow the readings read, in the unit of their first row.
    if (entry && isScaledFunction(entry->functionCode()))
        statisticsUnit = {entry->unit(), true};
    else
        statisticsUnit = {dataModel->cellText(0, DataModel::UnitColumn), false};
    refreshStatistics();
    const int rows = dataModel->rowCount();
    for (const int row : {0, rows - 1}) {
        const QString time = dataModel->cellText(row, DataModel::TimeColumn);
        if (!time.isEmpty())
            noteRowTime(row, QDateTime::fromString(time, QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    }
    showRecordingState();
    // The recording read is closed: the next reading from the meter starts a new one.
    admission.forgetFunction();
    if (journal)
        journal->stop();
    noteRunningJournal(QString());
    if (result.skippedLine > 0)
        QMessageBox::information(this, QString(),
                                 tr("The last line (line %1) of %2 is incomplete and was left out.")
                                     .arg(result.skippedLine)
                                     .arg(QDir::toNativeSeparators(fileName)));
    return true;
}

bool Widget::hasUnclosedRecording() const
{
    return journal && QFile::exists(runningNotePath());
}

void Widget::offerUnclosedRecording()
{
    if (!hasUnclosedRecording())
        return;
    QFile note(runningNotePath());
    const QString fileName =
        note.open(QIODevice::ReadOnly) ? QString::fromUtf8(note.readAll()).trimmed() : QString();
    note.close();
    // Asked once: whatever the answer, the next start does not ask again.
    noteRunningJournal(QString());
    const JournalSummary summary = summarize(fileName);
    if (summary.readings == 0)
        return;
    const auto answer = QMessageBox::question(
        this, QString(),
        tr("The last recording (%1 readings, until %2) was not closed. Open it?")
            .arg(summary.readings)
            .arg(summary.lastTime),
        QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        importRecording(fileName);
}

void Widget::pruneJournals()
{
    if (!journal)
        return;
    for (const QString &removal : journal->prune(journalQuota))
        slotMessage(removal);
}

QString Widget::runningNotePath() const
{
    return journal ? QDir(journal->directory()).filePath(kRunningNote) : QString();
}

void Widget::noteRunningJournal(const QString &fileName)
{
    if (!journal)
        return;
    if (fileName.isEmpty()) {
        QFile::remove(runningNotePath());
        return;
    }
    QSaveFile note(runningNotePath());
    if (note.open(QIODevice::WriteOnly)) {
        note.write(QFileInfo(fileName).absoluteFilePath().toUtf8());
        note.commit();
    }
}
