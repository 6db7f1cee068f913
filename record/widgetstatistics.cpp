// The figures of the recording under the record table, and the chart's Fit values toggle.

#include "app/widget.h"
#include "record/dmmchart.h"
#include "record/statisticsline.h"
#include "ui_widget.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QIcon>
#include <QToolBar>
#include <QTransform>

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

QString Widget::statisticsText() const
{
    return lblStatistics->text();
}

void Widget::refreshStatistics()
{
    lblStatistics->showFigures(*ui->chart);
}
