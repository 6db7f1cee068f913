// The main window's side of connecting to the meter: it asks the driver to open or close the
// link and changes its actions only when the driver reports the link opened or closed.

#include "app/widget.h"
#include "meter/deviceselector.h"
#include "meter/mydmm.h"
#include "ui_widget.h"

#include <QMessageBox>
#include <QTime>
#include <QTimer>
#include <utility>

void Widget::pressConnect()
{
    ui->actionConnect->trigger();
}

void Widget::connectMeter()
{
    if (dmm->open())
        return;
    // The link's own reason, with what to do about it, goes under the box's text.
    QMessageBox box(QMessageBox::Critical, QString(), tr("Failed to open device."), QMessageBox::Ok,
                    this);
    box.setInformativeText(deviceSelector->errorString());
    box.exec();
}

void Widget::disconnectMeter()
{
    closeByUser();
}

void Widget::closeByUser()
{
    closingByUser = dmm->isOpen();
    dmm->close();
}

void Widget::slotDmmOpened()
{
    ui->actionConnect->setEnabled(false);
    ui->actionDisconnect->setEnabled(!ui->actionConnect->isEnabled());
    ui->actionStart->setEnabled(true);
    ui->actionStop->setEnabled(false);

    reconnectTimer->stop();
    ui->dockWidgetContents_3->setEnabled(true);
    if (!std::exchange(lostAt, QString()).isEmpty())
        ui->statusBar->showMessage(
            tr("Reconnected at %1").arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))));
    showLinkState();
    showRecordingState();
}

void Widget::slotDmmClosed()
{
    ui->actionConnect->setEnabled(true);
    ui->actionDisconnect->setEnabled(!ui->actionConnect->isEnabled());
    on_actionStop_triggered();
    // Nothing can be recorded without a link, whatever the link reported while closing.
    ui->actionStart->setEnabled(false);

    if (!std::exchange(closingByUser, false)) {
        // Lost: the last reading stays on the panel, dimmed so as not to pass for a live one.
        lostAt = QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
        ui->dockWidgetContents_3->setEnabled(false);
        if (reconnects())
            reconnectTimer->start();
    }
    showLinkState();
    showRecordingState();
}
