// The recording step of the main window: which readings join the record table and the charts,
// the table view that shows them, and the Start, Stop and Delete actions.

#include "app/widget.h"
#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "record/chartpoint.h"
#include "record/columnfit.h"
#include "record/csvformat.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/journal.h"
#include "ui_widget.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QTableView>

#include <iterator>

namespace {

constexpr int kColumnWidths[] = {50, 130, 60, 50, 60, 50};

constexpr int kChartLeftMargin = 88;
constexpr int kChartBottomMargin = 66;
constexpr int kChartFrameStyle = QFrame::StyledPanel | QFrame::Plain;
constexpr int kChartDecimals = 2;

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

void Widget::runRecordingStep(DmmData *reading)
{
    // While paused the panel goes on and the table stays as it is.
    if (paused) {
        delete reading;
        return;
    }
    const bool dual = RecordingAdmission::isDualDisplay(*reading);
    ui->chart2->setVisible(dual);
    const bool hadFunction = !admission.lastFunction().isEmpty();
    const QString function = RecordingAdmission::functionKey(*reading);
    if (admission.switchFunction(function)) {
        if (hadFunction)
            reportFunctionChange(function);
        dataModel->clearRecords();
        currentChart->clearChart();
        if (dual)
            ui->chart2->clearChart();
        chartTableReadings(dual);
        tableFull = false;
    }
    const RecordingAdmission::Limits limits{dmm->samplePoints(), dmm->isInfinite(),
                                            dmm->isSkipRepeat()};
    const RecordingAdmission::Verdict verdict =
        admission.admit(reading->valueText(), dataModel->rowCount(), limits);
    if (verdict == RecordingAdmission::Verdict::Record) {
        tableFull = false;
        recordReading(reading);
        scheduleRecordingState();
    } else {
        if (verdict == RecordingAdmission::Verdict::TableFull)
            reportTableFull();
        delete reading;
    }
    refreshStatistics();
}

void Widget::reportFunctionChange(const QString &function)
{
    const QString place = recordingPlace();
    ui->statusBar->showMessage(
        !place.isEmpty() ? tr("Function changed to %1; the previous recording is kept in %2")
                               .arg(function, place)
        : dataModel->rowCount() > 0
            ? tr("Function changed to %1; the previous recording was cleared").arg(function)
            : tr("Function changed to %1").arg(function));
}

void Widget::recordReading(DmmData *reading)
{
    const quint8 function = reading->entry() ? functionCode(reading->entry()) : 0;
    const bool dual = RecordingAdmission::isDualDisplay(*reading);
    const QDateTime time = reading->timestamp();
    DMMChart *chart =
        RecordingAdmission::belongsOnSecondChart(*reading) ? ui->chart2 : currentChart;
    // The model keeps a compact copy and deletes the reading at once, so the point for a chart
    // of its own is made first.
    ChartPoint *point = nullptr;
    if (dual) {
        point = new ChartPoint(time, reading->value(), reading->valueText(),
                               ChartPoint::makeLabel(time, reading->functionName(),
                                                     reading->valueText(), reading->unitText()));
        point->setOverload(reading->overload() != 0);
        point->setAlarm(readingOutside);
        point->setResolution(readingResolution(*reading));
    }
    if (chart == currentChart)
        statisticsUnit = RecordingUnit::of(*reading);

    publishReading(*reading);
    const int row = dataModel->appendRecord(reading, readingOutside) - 1;
    journalRow(row);
    ui->tv->scrollToBottom();
    noteRowTime(row, time);

    currentChart->setAutoPrefix(isScaledFunction(function));
    if (dual) {
        ui->chart2->setAutoPrefix(false);
        chart->addPoint(point, 0);
    } else {
        chart->readingsAdded();
    }
}

// A one-display recording's chart draws the table's readings in place; the two charts of AC+DC
// keep their halves as points of their own.
void Widget::chartTableReadings(bool dual)
{
    currentChart->showReadings(dual ? nullptr : &dataModel->readings());
}

void Widget::useJournal(const QString &directory)
{
    delete journal;
    journal = new Journal(directory, this);
    pruneJournals();
}

void Widget::journalRow(int row)
{
    if (!journal)
        return;
    // Row 1 is the first reading after start-up, a Delete or a change of function: a new
    // recording, so a new file. A journal that failed tries again there.
    if (row == 0 && journal->start(csvHeaderFields(dataModel))) {
        noteRunningJournal(journal->fileName());
        pruneJournals();
    }
    if (journal->isActive())
        journal->append(csvRowFields(dataModel, row));
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
    dataModel->clearRecords();
    ui->chart->clearChart();
    ui->chart2->clearChart();
    tableFull = false;
    showRecordingState();
    refreshStatistics();
}
