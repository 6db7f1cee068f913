// The main window's status bar and what it reports: the link (open, closed by the user, lost,
// a meter that does not answer), the recording (going on, paused, stopped by a full table or a
// closed link), the rows and the span of the recording. A lost link dims the panel and, with
// the Reconnect option, is opened again every 2 s; Pause keeps readings out of the table.

#include "app/widget.h"
#include "meter/deviceselector.h"
#include "meter/mydmm.h"
#include "record/datamodel.h"
#include "record/journal.h"
#include "record/readingsummary.h"
#include "ui_widget.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {

// How often at most the recording's fields follow the readings.
constexpr int kStatusRefreshMs = 250;

QLabel *statusLabel(const char *name)
{
    auto *label = new QLabel();
    label->setObjectName(QLatin1String(name));
    // Apart enough to be read as four fields.
    label->setContentsMargins(6, 0, 6, 0);
    return label;
}

} // namespace

void Widget::setUpStatusBar()
{
    linkLabel = statusLabel("lblLink");
    recordingLabel = statusLabel("lblRecording");
    rowsLabel = statusLabel("lblRows");
    elapsedLabel = statusLabel("lblElapsed");
    // Permanent, so that the messages on the left never hide the state.
    for (QLabel *label : {linkLabel, recordingLabel, rowsLabel, elapsedLabel})
        ui->statusBar->addPermanentWidget(label);

    actionPause = new QAction(this);
    actionPause->setObjectName(QStringLiteral("actionPause"));
    actionPause->setCheckable(true);
    ui->tbRecord->addAction(actionPause);
    connect(actionPause, &QAction::toggled, this, &Widget::setPaused);
    setPaused(false);

    statusTimer = new QTimer(this);
    statusTimer->setSingleShot(true);
    statusTimer->setInterval(kStatusRefreshMs);
    connect(statusTimer, &QTimer::timeout, this, &Widget::showRecordingState);

    reconnectTimer = new QTimer(this);
    reconnectTimer->setInterval(kReconnectIntervalMs);
    connect(reconnectTimer, &QTimer::timeout, this, &Widget::tryReconnect);
    connect(dmm, &MyDmm::meterSilent, this, &Widget::slotMeterSilent);
    connect(dmm, &MyDmm::meterAnswering, this, &Widget::slotMeterAnswering);
    showLinkState();
    showRecordingState();
}

void Widget::showLinkState()
{
    const QString device = deviceSelector->device();
    QString text;
    if (dmm->isOpen())
        text = dmm->isMeterSilent() ? tr("%1: meter not answering").arg(device)
                                    : tr("%1: open").arg(device);
    else if (lostAt.isEmpty())
        text = tr("%1: closed").arg(device);
    else if (reconnects())
        text = tr("%1: lost at %2, trying again every 2 s").arg(device, lostAt);
    else
        text = tr("%1: lost at %2").arg(device, lostAt);
    linkLabel->setText(text);
}

void Widget::scheduleRecordingState()
{
    if (!statusTimer->isActive())
        statusTimer->start();
}

void Widget::showRecordingState()
{
    const int rows = dataModel->rowCount();
    QString state;
    if (paused)
        state = tr("paused");
    else if (tableFull)
        state = tr("stopped: table full at %1 readings").arg(rows);
    else if (!dmm->isOpen())
        state = tr("stopped: link closed");
    else
        state = tr("recording");
    recordingLabel->setText(state);
    rowsLabel->setText(dmm->isInfinite() ? tr("rows: %1").arg(rows)
                                         : tr("rows: %1 of %2").arg(rows).arg(dmm->samplePoints()));
    elapsedLabel->setText(
        rows == 0 ? QString()
                  : tr("elapsed %1").arg(formatDuration(firstRowTime.msecsTo(lastRowTime))));
}

void Widget::noteRowTime(int row, const QDateTime &time)
{
    if (row == 0)
        firstRowTime = time;
    lastRowTime = time;
}

void Widget::slotMessage(QString msg)
{
    ui->statusBar->showMessage(msg);
}

void Widget::slotMeterSilent()
{
    ui->statusBar->showMessage(
        tr("The meter does not answer: is it switched on, in the right mode, on this port?"));
    showLinkState();
}

void Widget::slotMeterAnswering()
{
    ui->statusBar->clearMessage();
    showLinkState();
}

void Widget::setReconnectOption(bool on)
{
    reconnect = on;
    if (!reconnects())
        reconnectTimer->stop();
    else if (!lostAt.isEmpty())
        reconnectTimer->start();
    showLinkState();
}

void Widget::reconnectForThisRun()
{
    reconnectThisRun = true;
    setReconnectOption(reconnect);
}

void Widget::tryReconnect()
{
    if (dmm->isOpen() || !reconnects()) {
        reconnectTimer->stop();
        return;
    }
    // A failure is silent: the next try comes in 2 s, and the status bar already says so.
    dmm->open();
}

void Widget::setPaused(bool on)
{
    paused = on;
    actionPause->setText(on ? tr("Resume") : tr("Pause"));
    actionPause->setIcon(
        QIcon(on ? QStringLiteral(":/image/play.png") : QStringLiteral(":/image/stop.png")));
    showRecordingState();
}

void Widget::reportTableFull()
{
    if (tableFull)
        return;
    tableFull = true;
    showRecordingState();
    const int rows = dataModel->rowCount();
    const QString place = recordingPlace();
    ui->statusBar->showMessage(
        place.isEmpty()
            ? tr("Table full at %1 readings; raise Sample points or press Delete to "
                 "record more")
                  .arg(rows)
            : tr("Table full at %1 readings; the recording is kept in %2").arg(rows).arg(place));
}

QString Widget::recordingPlace() const
{
    if (!journal || !journal->isActive() || dataModel->rowCount() == 0)
        return QString();
    return journal->fileName();
}
