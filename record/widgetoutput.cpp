// The window's output actions: the record table as a CSV file and on paper, the charts as images.

#include "app/widget.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/imagenames.h"
#include "record/tableprinter.h"
#include "ui_widget.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

void Widget::on_actionExport_triggered()
{
    const QString fileName =
        askSaveName(this, tr("Export the data to a CSV file."), QStringLiteral("CSV(*.csv)"));
    if (fileName.isEmpty())
        return;
    if (!writeCsv(dataModel, fileName)) {
        QMessageBox::information(this, QString(), tr("The datas is exported failed."),
                                 QMessageBox::Ok);
        return;
    }
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, QString(),
        tr("The datas is exported successfully.\r\nDo you want to open this file?"),
        QMessageBox::Yes | QMessageBox::No);
    // Whether a viewer opens is the desktop's business; the export itself has succeeded.
    if (answer == QMessageBox::Yes)
        QDesktopServices::openUrl(QUrl::fromLocalFile(fileName));
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
    const QString fileName = askSaveName(this, tr("Export the chart to a JPEG file."),
                                         QStringLiteral("JPEG File(*.jpg)"));
    if (fileName.isEmpty())
        return;
    // The second chart is shown only for the meter's dual display; then both are saved. The
    // file suffix names the image format, and a save that fails is not reported.
    if (ui->chart2->isHidden()) {
        ui->chart->savePixmap(fileName);
        return;
    }
    const ChartImageNames names = chartImageNames(fileName);
    ui->chart->savePixmap(names.first);
    ui->chart2->savePixmap(names.second);
}
