// The window's output actions: the record table as a CSV file and on paper, the charts as images.

#include "app/widget.h"
#include "record/csvexport.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/imagenames.h"
#include "record/tableprinter.h"
#include "record/workprogress.h"
#include "ui_widget.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStandardPaths>

namespace {

// Suggested file names carry the time the recording started, in a form every file system takes.
const QString kSuggestedNameFormat = QStringLiteral("yyyy-MM-dd_hh-mm-ss");

// A file's name as a box shows it: whole, whatever the folder the program was started from.
QString shownName(const QString &fileName)
{
    return QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
}

} // namespace

QString Widget::dialogFolder()
{
    if (outputFolder.isEmpty())
        outputFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return outputFolder;
}

QString Widget::askOutputName(const QString &caption, const QString &filter)
{
    // The table shows the first reading's time; an empty table has not started yet.
    QDateTime start =
        QDateTime::fromString(dataModel->cellText(0, DataModel::TimeColumn), kTimestampLayout);
    if (!start.isValid())
        start = QDateTime::currentDateTime();
    const QString suggested = withFilterSuffix(
        QDir(dialogFolder()).filePath(start.toString(kSuggestedNameFormat)), filter);
    const QString fileName =
        withFilterSuffix(askSaveName(this, caption, filter, suggested), filter);
    if (!fileName.isEmpty())
        outputFolder = QFileInfo(fileName).absolutePath();
    return fileName;
}

void Widget::reportFileFailure(QMessageBox::Icon icon, const QString &text,
                               const QStringList &filesAndReasons)
{
    QMessageBox box(icon, QString(), text, QMessageBox::Ok, this);
    box.setInformativeText(filesAndReasons.join(QLatin1Char('\n')));
    box.exec();
}

void Widget::on_actionExport_triggered()
{
    const QString fileName =
        askOutputName(tr("Export the data to a CSV file."), QStringLiteral("CSV(*.csv)"));
    if (fileName.isEmpty())
        return;
    // The rows are written on a thread of their own while the window goes on recording; the
    // table as it is now is what the file gets.
    auto *job = new CsvExport(this);
    QProgressDialog *progress = newWorkProgress(
        tr("Exporting to %1 …").arg(QFileInfo(fileName).fileName()), dataModel->rowCount(), this);
    connect(job, &CsvExport::progress, progress, &QProgressDialog::setValue);
    connect(progress, &QProgressDialog::canceled, job, &CsvExport::cancel);
    connect(job, &CsvExport::finished, this,
            [this, job, progress, fileName](bool written, const QString &error) {
                delete progress;
                job->deleteLater();
                if (!written) {
                    if (!error.isEmpty()) // empty: cancelled
                        reportFileFailure(QMessageBox::Information,
                                          tr("The datas is exported failed."),
                                          {shownName(fileName), error});
                    return;
                }
                const QMessageBox::StandardButton answer = QMessageBox::question(
                    this, QString(),
                    tr("The datas is exported successfully.\r\nDo you want to open this file?"),
                    QMessageBox::Yes | QMessageBox::No);
                if (answer == QMessageBox::Yes)
                    openDocument(fileName);
            });
    job->start(*dataModel, fileName);
}

void Widget::on_actionPrint_triggered()
{
    TablePrinter printer(dataModel);
    printer.setTitle(QStringLiteral("Test Data"));
    printer.setColumns(columns);
    printer.print();
}

void Widget::on_actionSaveImage_triggered()
{
    const QString fileName =
        askOutputName(tr("Export the chart to a JPEG file."), QStringLiteral("JPEG File(*.jpg)"));
    if (fileName.isEmpty())
        return;
    // The second chart is shown only for the meter's dual display; then both are saved. The
    // file suffix names the image format.
    QList<std::pair<DMMChart *, QString>> saves{{ui->chart, fileName}};
    if (!ui->chart2->isHidden()) {
        const ChartImageNames names = chartImageNames(fileName);
        saves = {{ui->chart, names.first}, {ui->chart2, names.second}};
    }
    QStringList failures;
    for (const auto &[chart, name] : saves) {
        QString error;
        if (!chart->savePixmap(name, &error))
            failures << shownName(name) << error;
    }
    if (!failures.isEmpty())
        reportFileFailure(QMessageBox::Warning, tr("The chart image could not be saved."),
                          failures);
}
