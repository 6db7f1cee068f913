// The main window's side of connecting to the meter: it asks the link's supervisor to open or
// close the link and changes its actions only when the driver reports the link opened or closed.

#include "app/widget.h"
#include "meter/linksupervisor.h"
#include "meter/mydmm.h"
#include "ui_widget.h"

#include <QMessageBox>

void Widget::pressConnect()
{
    ui->actionConnect->trigger();
}

void Widget::connectMeter()
{
    if (!link->open())
        reportOpenFailure();
}

void Widget::reportOpenFailure()
{
    // The link's own reason, with what to do about it, goes under the box's text.
    QMessageBox box(QMessageBox::Critical, QString(), LinkSupervisor::openFailedText(),
                    QMessageBox::Ok, this);
    box.setInformativeText(link->failure());
    box.exec();
}

void Widget::slotDmmOpened()
{
    ui->actionConnect->setEnabled(false);
    ui->actionDisconnect->setEnabled(!ui->actionConnect->isEnabled());
    ui->actionStart->setEnabled(true);
    ui->actionStop->setEnabled(false);
    followLinkState();
}

void Widget::slotDmmClosed()
{
    ui->actionConnect->setEnabled(true);
    ui->actionDisconnect->setEnabled(!ui->actionConnect->isEnabled());
    on_actionStop_triggered();
    // Nothing can be recorded without a link, whatever the link reported while closing.
    ui->actionStart->setEnabled(false);
    followLinkState();
}

void Widget::followLinkState()
{
    // The last reading stays on the panel, dimmed so as not to pass for a live one.
    ui->dockWidgetContents_3->setEnabled(link->isOpen());
    // Disconnect also stops the retries of a lost link.
    ui->actionDisconnect->setEnabled(link->isOpen() ||
                                     link->state() == LinkSupervisor::State::Retrying);
}

void Widget::setReconnectOption(bool on)
{
    reconnectOption = on;
    link->setReconnect(reconnectOption || reconnectThisRun);
}

void Widget::reconnectForThisRun()
{
    reconnectThisRun = true;
    setReconnectOption(reconnectOption);
}
