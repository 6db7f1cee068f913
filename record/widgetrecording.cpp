// The main window's side of the recording: the table view and the charts that show what the
// recording session records, the panel's alarm colour, Pause, and the Start, Stop and Delete
// actions.

#include "app/widget.h"
#include "display/windowstatus.h"
#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "record/chartpoint.h"
#include "record/columnfit.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/statisticsline.h"
#include "session/journalkeeper.h"
#include "session/recordingsession.h"
#include "ui_widget.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QIcon>
#include <QMessageBox>
#include <QTableView>
#include <QToolBar>

#include <iterator>

namespace {

constexpr int kColumnWidths[] = {50, 130, 60, 50, 60, 50};

constexpr int kChartLeftMargin = 88;
constexpr int kChartBottomMargin = 66;
constexpr int kChartFrameStyle = QFrame::StyledPanel | QFrame::Plain;
constexpr int kChartDecimals = 2;

const QString kPanelAlarmStyle = QStringLiteral("color: red");

} // namespace

void Widget::setUpRecordTable()
{
    QTableView *tv = ui->tv;
    QHeaderView *header = tv->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setSectionsClickable(false);
    tv->setSelectionBehavior(QAbstractItemView::SelectRows);
    tv->setModel(dataModel);
    for (int column = 0; column < int(std::size(kColumnWidths)); ++column)
        tv->setColumnWidth(column, kColumnWidths[column]);
    // The widths above suit a smaller font than the desktop's usual one: widened once to what
    // the columns can hold, the time stamp and the long function names are not cut.
    QList<const FunctionEntry *> entries;
    for (const FunctionTable *table : {&dmm->defaultTable(), &dmm->eTable()})
        entries.append(QList<const FunctionEntry *>(table->begin(), table->end()));
    widenColumnsToFit(tv, recordColumnTexts(entries));
    // The widened columns no longer fit in the specified minimum width: the record dock is made
    // as wide as they are, beside the narrower panel above it.
    tv->setMinimumWidth(qMax(tv->minimumWidth(), tv->sizeHint().width()));
}

void Widget::setUpCharts()
{
    for (DMMChart *chart : {ui->chart, ui->chart2}) {
        chart->setLeftMargin(kChartLeftMargin);
        chart->setBottomMargin(kChartBottomMargin);
        chart->setYTitle(tr("Value"));
        chart->setXTitle(tr("Date/Time"));
        chart->setFrameStyle(kChartFrameStyle);
        chart->setDecimals(kChartDecimals);
    }
    currentChart = ui->chart;
    chartTableReadings(false);
    ui->chart2->hide();
    setUpStatistics();
}

void Widget::setUpSession()
{
    connect(session, &RecordingSession::recordingStarted, this, &Widget::startCharts);
    connect(session, &RecordingSession::recorded, this, &Widget::showRecorded);
    connect(session, &RecordingSession::alarmChanged, this, [this](bool outside) {
        ui->lcdPrimary->setStyleSheet(outside ? kPanelAlarmStyle : QString());
    });
    connect(session, &RecordingSession::excursionStarted, this, &QApplication::beep);
    // Asked once the reading that brings the question has gone its way.
    connect(session, &RecordingSession::replacementAsked, this, &Widget::askReplacement,
            Qt::QueuedConnection);
    connect(session, &RecordingSession::journalsRemoved, status, &WindowStatus::showMessage);
    connect(session, &RecordingSession::limitsChanged, this, &Widget::markChartAlarms);
    // The chart of a one-display recording draws the table's marks, and the figures count them.
    connect(dataModel, &DataModel::alarmsMarked, ui->chart, &DMMChart::readingsMarked);
    connect(dataModel, &DataModel::alarmsMarked, this, &Widget::refreshStatistics);
    connect(session, &RecordingSession::journalFailed, this, &Widget::reportJournalFailure,
            Qt::QueuedConnection);
}

void Widget::startCharts(bool dual)
{
    resetZooms();
    ui->chart2->setVisible(dual);
    currentChart->clearChart();
    if (dual)
        ui->chart2->clearChart();
    chartTableReadings(dual);
}

void Widget::showRecorded(const DmmData &reading, int row)
{
    const bool dual = RecordingAdmission::isDualDisplay(reading);
    DMMChart *chart = RecordingAdmission::belongsOnSecondChart(reading) ? ui->chart2 : currentChart;
    if (chart == currentChart)
        lblStatistics->setUnit(RecordingUnit::of(reading));
    ui->tv->scrollToBottom();
    currentChart->setAutoPrefix(reading.entry() && isScaledFunction(functionCode(reading.entry())));
    if (dual) {
        // The two charts of AC+DC keep their halves as points of their own.
        const QDateTime time = reading.timestamp();
        auto *point =
            new ChartPoint(time, reading.value(), reading.valueText(),
                           ChartPoint::makeLabel(time, reading.functionName(), reading.valueText(),
                                                 reading.unitText()));
        point->setOverload(reading.overload() != 0);
        point->setAlarm(dataModel->readings().isAlarm(row));
        point->setResolution(readingResolution(reading));
        ui->chart2->setAutoPrefix(false);
        chart->addPoint(point, 0);
    } else {
        chart->readingsAdded();
    }
    refreshStatistics();
}

// A one-display recording's chart draws the table's readings in place; the two charts of AC+DC
// keep their halves as points of their own.
void Widget::chartTableReadings(bool dual)
{
    currentChart->showReadings(dual ? nullptr : &dataModel->readings());
}

void Widget::useJournal(const QString &directory)
{
    session->useJournal(directory);
    session->journal()->setNotesRunningRecording(true);
}

JournalKeeper *Widget::recordingJournal() const
{
    return session->journal();
}

void Widget::setUpPause()
{
    actionPause = new QAction(this);
    actionPause->setObjectName(QStringLiteral("actionPause"));
    actionPause->setCheckable(true);
    ui->tbRecord->addAction(actionPause);
    const auto showPause = [this](bool paused) {
        actionPause->setChecked(paused);
        actionPause->setText(paused ? tr("Resume") : tr("Pause"));
        actionPause->setIcon(QIcon(paused ? QStringLiteral(":/image/play.png")
                                          : QStringLiteral(":/image/stop.png")));
    };
    connect(actionPause, &QAction::toggled, session, &RecordingSession::setPaused);
    connect(session, &RecordingSession::pausedChanged, this, showPause);
    showPause(false);
}

void Widget::on_actionStart_triggered()
{
    recording = true;
    ui->actionStart->setEnabled(false);
    ui->actionStop->setEnabled(true);
}

void Widget::on_actionStop_triggered()
{
    recording = false;
    ui->actionStart->setEnabled(dmm->isOpen());
    ui->actionStop->setEnabled(recording);
}

void Widget::on_actionDelete_triggered()
{
    const auto answer =
        QMessageBox::question(this, QString(), tr("Are you sure you want to delete this data?"),
                              QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    session->clear();
    resetZooms();
    ui->chart->clearChart();
    ui->chart2->clearChart();
    status->showRecording();
    refreshStatistics();
}

void Widget::markChartAlarms()
{
    ui->chart->markAlarms(session->limits());
    ui->chart2->markAlarms(session->limits());
}

void Widget::resetZooms()
{
    ui->chart->resetZoom();
    ui->chart2->resetZoom();
}

void Widget::reportJournalFailure(const QString &message)
{
    status->showMessage(tr("%1; the recording goes on without a journal").arg(message));
    status->showRecording();
    QMessageBox box(QMessageBox::Warning, QString(), tr("The recording goes on without a journal."),
                    QMessageBox::Ok, this);
    box.setInformativeText(message);
    box.exec();
}

void Widget::askReplacement()
{
    const auto answer =
        QMessageBox::question(this, QString(), tr("Are you sure you want to delete this data?"),
                              QMessageBox::Yes | QMessageBox::No);
    session->answerReplacement(answer == QMessageBox::Yes);
}
