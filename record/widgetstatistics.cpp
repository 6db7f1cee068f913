// The figures of the recording under the record table, the limit alarms on the readings, and
// the chart's Fit values toggle.

#include "app/widget.h"
#include "meter/dmmdata.h"
#include "record/chartline.h"
#include "record/dmmchart.h"
#include "record/statisticsline.h"
#include "ui_widget.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QIcon>
#include <QLineEdit>
#include <QToolBar>
#include <QTransform>

namespace {
const QString kPanelAlarmStyle = QStringLiteral("color: red");
const QString kFigureSeparator = QStringLiteral("   ");
} // namespace

void Widget::setUpStatistics()
{
    lblStatistics = new StatisticsLine(ui->dwRecord);
    lblStatistics->setObjectName(QStringLiteral("lblStatistics"));
    // The line changes with every reading; its width must not lay the window out anew.
    lblStatistics->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto *copy = new QAction(tr("Copy the figures"), lblStatistics);
    connect(copy, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(lblStatistics->text()); });
    lblStatistics->addAction(copy);
    lblStatistics->setContextMenuPolicy(Qt::ActionsContextMenu);
    ui->verticalLayout->addWidget(lblStatistics);

    // The double arrow stood upright: the value axis stretched over the readings.
    const QPixmap arrow(QStringLiteral(":/image/arrow-2.png"));
    actionFitValues =
        new QAction(QIcon(arrow.transformed(QTransform().rotate(90))), tr("Fit values"), this);
    actionFitValues->setObjectName(QStringLiteral("actionFitValues"));
    actionFitValues->setCheckable(true);
    actionFitValues->setToolTip(tr("Fit the value axis to the visible readings"));
    ui->tbChart->addAction(actionFitValues);
    connect(actionFitValues, &QAction::toggled, this, [this](bool on) {
        ui->chart->setFitValues(on);
        ui->chart2->setFitValues(on);
    });
    connect(ui->chart, &DMMChart::viewChanged, this, &Widget::refreshStatistics);
    refreshStatistics();
}

bool Widget::checkLimits(const DmmData &reading)
{
    bool excursionStarts = false;
    const bool outside = limitAlarm.update(reading.value(), reading.overload(), &excursionStarts) !=
                         LimitAlarm::Side::Inside;
    if (excursionStarts)
        QApplication::beep();
    if (outside != panelAlarm) {
        panelAlarm = outside;
        ui->lcdPrimary->setStyleSheet(outside ? kPanelAlarmStyle : QString());
    }
    return outside;
}

QString Widget::statisticsText() const
{
    const DMMChart *chart = ui->chart;
    const ReadingSummary summary = chart->statistics();
    QStringList parts;
    parts << tr("n %1").arg(summary.numeric());
    if (summary.numeric() > 0) {
        const FigureFormat figure(statisticsUnit, summary.resolution(),
                                  qMax(qAbs(summary.min()), qAbs(summary.max())));
        parts << tr("min %1").arg(figure(summary.min())) << tr("max %1").arg(figure(summary.max()))
              << tr("mean %1").arg(figure(summary.mean()))
              << tr("sd %1").arg(figure(summary.standardDeviation()));
    }
    const int first = chart->statisticsFirst();
    const int last = chart->statisticsLast();
    if (last >= first) {
        const ChartLine *line = chart->line(0);
        parts << tr("span %1").arg(formatDuration(line->time(first).msecsTo(line->time(last))));
    }
    if (summary.overloads() > 0)
        parts << tr("overloads %1").arg(summary.overloads());
    if (summary.alarms() > 0)
        parts << tr("alarms %1").arg(summary.alarms());
    const QString text = parts.join(kFigureSeparator);
    return chart->isZoomed() ? tr("Zoomed: %1").arg(text) : text;
}

void Widget::refreshStatistics()
{
    lblStatistics->setText(statisticsText());
}
