// The main window's side of connecting to the meter: it asks the driver to open or close the
// link and changes its actions only when the driver reports the link opened or closed.

#include "app/widget.h"
#include "meter/mydmm.h"
#include "ui_widget.h"

#include <QMessageBox>

void Widget::pressConnect()
{
    ui->actionConnect->trigger();
}

void Widget::connectMeter()
{
    if (!dmm->open())
        QMessageBox::critical(this, QString(), tr("Failed to open device."));
}

void Widget::disconnectMeter()
{
    dmm->close();
}

void Widget::slotDmmOpened()
{
    ui->actionConnect->setEnabled(false);
    ui->actionDisconnect->setEnabled(!ui->actionConnect->isEnabled());
    ui->actionStart->setEnabled(true);
    ui->actionStop->setEnabled(false);
}

void Widget::slotDmmClosed()
{
    ui->actionConnect->setEnabled(true);
    ui->actionDisconnect->setEnabled(!ui->actionConnect->isEnabled());
    on_actionStop_triggered();
    // Nothing can be recorded without a link, whatever the link reported while closing.
    ui->actionStart->setEnabled(false);
}
