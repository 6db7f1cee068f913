// The window's way back to a recording: Import of an exported file or a journal, and the offer to
// open, and continue, the journal of a recording that was cut short.

#include "app/shippedfiles.h"
#include "app/widget.h"
#include "display/windowstatus.h"
#include "meter/functionentry.h"
#include "meter/linksupervisor.h"
#include "meter/mydmm.h"
#include "record/columnspec.h"
#include "record/csvformat.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/readingstore.h"
#include "record/recordingimport.h"
#include "record/recordingreader.h"
#include "record/statisticsline.h"
#include "record/workprogress.h"
#include "session/journalkeeper.h"
#include "session/recordingsession.h"
#include "ui_widget.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>

#include <memory>

namespace {

constexpr int kProgressSteps = 1000;

// The header lines a recording may carry: in every language the program ships, this run's first.
QList<QStringList> recordingHeaders()
{
    return recordHeadersInEveryLanguage(
        {findShippedFile(QStringLiteral("OTHER.qm"), {installedTranslationsFolder()})});
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

// Reads the file on the import's own thread while a progress dialog, whose Cancel ends the read,
// keeps the window turning; a refusal is told in a box. True when the whole file was read.
bool readWithProgress(QWidget *window, RecordingImport &import, const QString &fileName)
{
    const std::unique_ptr<QProgressDialog> progress(newWorkProgress(
        Widget::tr("Opening %1 …").arg(QFileInfo(fileName).fileName()), kProgressSteps, window));
    QProgressDialog *dialog = progress.get();
    QObject::connect(&import, &RecordingImport::progress, dialog,
                     [dialog](qint64 done, qint64 total) {
                         dialog->setValue(total > 0 ? int(done * kProgressSteps / total) : 0);
                     });
    QObject::connect(dialog, &QProgressDialog::canceled, &import, &RecordingImport::cancel);
    QEventLoop loop;
    QObject::connect(&import, &RecordingImport::finished, &loop, &QEventLoop::quit);
    import.start(fileName);
    loop.exec();
    dialog->reset();
    const RecordingReader::Result &result = import.result();
    if (result.outcome != RecordingReader::Outcome::Refused)
        return result.outcome == RecordingReader::Outcome::Read;
    const QString name = QDir::toNativeSeparators(fileName);
    QMessageBox::warning(
        window, QString(),
        result.line > 0
            ? Widget::tr("The recording %1 cannot be opened.\nLine %2: %3.")
                  .arg(name)
                  .arg(result.line)
                  .arg(result.reason)
            : Widget::tr("The recording %1 cannot be opened.\n%2.").arg(name, result.reason));
    return false;
}

// While a recording is read, no reading is recorded and a lost link is not tried again.
class ImportHold
{
public:
    ImportHold(RecordingSession *session, LinkSupervisor *link)
        : m_session(session)
        , m_link(link)
    {
        m_session->setImporting(true);
        m_link->setHeld(true);
    }
    ~ImportHold()
    {
        m_session->setImporting(false);
        m_link->setHeld(false);
    }

private:
    RecordingSession *m_session;
    LinkSupervisor *m_link;
};

} // namespace

void Widget::on_actionImport_triggered()
{
    const ImportHold hold(session, link);
    if (link->isOpen()) {
        const auto answer = QMessageBox::question(
            this, QString(),
            tr("A recording can be opened only while the meter is disconnected. "
               "Disconnect now?"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        link->close();
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
    // The table now holds a recording from a file: a lost link is not opened again behind it.
    if (importRecording(fileName))
        link->close();
}

bool Widget::importRecording(const QString &fileName, bool restore)
{
    // Read into stores of its own; the window's table and charts change only when all is read.
    RecordingImport import({&dmm->activeTable(), &dmm->defaultTable(), &dmm->eTable()},
                           recordingHeaders(), columns);
    if (!readWithProgress(this, import, fileName))
        return false;
    const RecordingReader &reader = import.reader();
    if (restore)
        session->restoreRecording(import.table(), reader.functionKey(), fileName);
    else
        session->replaceRecording(import.table());
    resetZooms();
    ui->chart->replacePoints(import.chart());
    ui->chart2->replacePoints(import.secondChart());
    showOpened(reader.entry());
    if (const int skipped = import.result().skippedLine; skipped > 0)
        QMessageBox::information(this, QString(),
                                 tr("The last line (line %1) of %2 is incomplete and was left out.")
                                     .arg(skipped)
                                     .arg(QDir::toNativeSeparators(fileName)));
    return true;
}

void Widget::showOpened(const FunctionEntry *entry)
{
    const bool dual = entry && entry->functionCode() == functions::kAcPlusDc;
    const bool scaled = entry && isScaledFunction(entry->functionCode());
    markChartAlarms();
    // Nothing on the panel is part of the recording read.
    showPanel(PanelContent());
    ui->lcdPrimary->setStyleSheet(QString());
    chartTableReadings(dual);
    ui->chart2->setVisible(dual);
    ui->chart->setAutoPrefix(scaled);
    if (dual)
        ui->chart2->setAutoPrefix(false);
    ui->tv->scrollToBottom();
    // The figures follow the readings read, in the unit of their first row.
    lblStatistics->setUnit(
        scaled ? RecordingUnit{entry->unit(), true}
               : RecordingUnit{dataModel->cellText(0, DataModel::UnitColumn), false});
    refreshStatistics();
    status->showRecording();
}

bool Widget::hasUnclosedRecording() const
{
    return session->journal() && !session->journal()->unclosedJournal().isEmpty();
}

void Widget::offerUnclosedRecording()
{
    if (!hasUnclosedRecording())
        return;
    JournalKeeper *journal = session->journal();
    const QString fileName = journal->unclosedJournal();
    // Asked once: whatever the answer, the next start does not ask again.
    journal->forgetUnclosed();
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
        importRecording(fileName, true);
}
