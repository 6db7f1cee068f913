// The reading panel of the main window: an on-screen copy of the meter's LCD, rewritten from
// every reading the driver delivers before the reading goes on to the recording step.

#include "app/widget.h"
#include "display/panelcontent.h"
#include "display/startupclock.h"
#include "meter/dmmdata.h"
#include "session/recordingsession.h"
#include "ui_widget.h"

#include <QPixmap>

namespace {

const QString kBatteryIcon = QStringLiteral(":/image/xudianchi.png");
constexpr QSize kIconSize(16, 16);

// A panel icon at its shown size, without smoothing; a missing picture gives a null pixmap,
// which shows nothing.
QPixmap panelIcon(const QString &path)
{
    if (path.isEmpty())
        return QPixmap();
    return QPixmap(path).scaled(kIconSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

void Widget::setUpPanel()
{
    ui->lcdFlagTop1->setPixmap(panelIcon(kBatteryIcon));
    ui->lcdFlagTop1->hide();
    // Filled with the window's colour, the value repaints alone rather than with its dock.
    ui->lcdPrimary->setAutoFillBackground(true);
}

void Widget::slotDmmDisplay(const DmmData *data)
{
    if (!data)
        return;
    updateLcd(data);
    // The driver hands every reading over to the window, which passes it on to the recording
    // session: it checks the limits, which colour the panel, and records it or deletes it.
    session->take(data);
    startupclock::noteFirstReading(ui->lcdPrimary);
}

void Widget::updateLcd(const DmmData *data)
{
    showPanel(PanelContent::of(*data));
}

void Widget::showPanel(const PanelContent &panel)
{
    ui->lcdPrimary->setText(panel.valueText);
    ui->lcdUnit2->setText(panel.unitText);
    ui->lcdLeftFlag1->setText(panel.functionName);
    ui->lcdLeftFlag2->setText(panel.holdText);
    ui->lcdFlagBottom5->setText(panel.extremeText);
    ui->lcdFlagBottom4->setText(panel.relativeText);
    // A label given a picture lays its dock out again, even the same picture: only a change
    // of icon is shown.
    if (panel.icon != shownIcon) {
        shownIcon = panel.icon;
        ui->lcdFlagTop2->setPixmap(panelIcon(PanelContent::iconPath(panel.icon)));
    }
    ui->lcdFlagBottom1->setText(panel.autoRangeText);
    ui->lcdFlagTop1->setVisible(panel.lowBattery);
    ui->lcdLeftFlag3->setText(panel.couplingText);
}
