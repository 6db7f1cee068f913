#include "display/windowstatus.h"

#include "display/statusmessagelabel.h"
#include "meter/linksupervisor.h"
#include "meter/mydmm.h"
#include "record/datamodel.h"
#include "record/readingsummary.h"
#include "session/journalkeeper.h"
#include "session/recordingsession.h"

#include <QLabel>
#include <QStatusBar>
#include <QTime>

namespace {

// How often at most the recording's fields follow the readings.
constexpr int kRefreshMs = 250;

QLabel *fieldLabel(QStatusBar *bar, const char *name)
{
    auto *label = new QLabel();
    label->setObjectName(QLatin1String(name));
    // Apart enough to be read as four fields.
    label->setContentsMargins(6, 0, 6, 0);
    // Permanent, so that the messages on the left never hide the state.
    bar->addPermanentWidget(label);
    return label;
}

} // namespace

WindowStatus::WindowStatus(QStatusBar *bar, const LinkSupervisor *link,
                           const RecordingSession *session, const MyDmm *driver,
                           const DataModel *table, QObject *parent)
    : QObject(parent)
    , m_message(new StatusMessageLabel())
    , m_link(link)
    , m_session(session)
    , m_driver(driver)
    , m_table(table)
    , m_linkLabel(fieldLabel(bar, "lblLink"))
    , m_recordingLabel(fieldLabel(bar, "lblRecording"))
    , m_rowsLabel(fieldLabel(bar, "lblRows"))
    , m_elapsedLabel(fieldLabel(bar, "lblElapsed"))
{
    // In place of the bar's own message, which would hide this field and cuts mid-word.
    m_message->setObjectName(QStringLiteral("lblMessage"));
    bar->addWidget(m_message, 1);
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &WindowStatus::showRecording);
    connect(link, &LinkSupervisor::stateChanged, this, &WindowStatus::onStateChanged);
    connect(link, &LinkSupervisor::opened, this, [this](bool reconnected) {
        if (reconnected)
            showStateMessage(tr("Reconnected at %1")
                                 .arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))));
    });
    connect(session, &RecordingSession::recorded, this, &WindowStatus::scheduleRecording);
    connect(session, &RecordingSession::pausedChanged, this, &WindowStatus::showRecording);
    connect(session, &RecordingSession::functionChanged, this, &WindowStatus::onFunctionChanged);
    connect(session, &RecordingSession::tableFull, this, &WindowStatus::onTableFull);
    showLink();
    showRecording();
}

void WindowStatus::showMessage(const QString &text)
{
    m_stateMessage.clear();
    m_message->showMessage(text);
}

void WindowStatus::showStateMessage(const QString &text)
{
    m_message->showMessage(text);
    m_stateMessage = text;
}

void WindowStatus::onStateChanged()
{
    // The message about the state that has just ended goes with it.
    if (!m_stateMessage.isEmpty() && m_message->message() == m_stateMessage)
        m_message->clearMessage();
    m_stateMessage.clear();
    if (m_link->state() == LinkSupervisor::State::Silent)
        showStateMessage(LinkSupervisor::silentText());
    showLink();
    showRecording();
}

void WindowStatus::showLink()
{
    m_linkLabel->setText(m_link->stateText());
}

void WindowStatus::scheduleRecording()
{
    if (!m_refresh.isActive())
        m_refresh.start();
}

QString WindowStatus::recordingText() const
{
    if (m_session->isPaused())
        return tr("paused");
    if (m_session->isTableFull())
        return tr("stopped: table full at %1 readings").arg(m_session->rows());
    if (!m_link->isOpen())
        return tr("stopped: link closed");
    if (m_link->state() == LinkSupervisor::State::Silent)
        return tr("waiting for the meter");
    const JournalKeeper *journal = m_session->journal();
    if (journal && !journal->errorString().isEmpty())
        return tr("recording without a journal");
    return tr("recording");
}

void WindowStatus::showRecording()
{
    const int rows = m_table->rowCount();
    m_recordingLabel->setText(recordingText());
    m_rowsLabel->setText(m_driver->isInfinite()
                             ? tr("rows: %1").arg(rows)
                             : tr("rows: %1 of %2").arg(rows).arg(m_driver->samplePoints()));
    const ReadingStore &readings = m_table->readings();
    const qint64 first = rows > 0 ? readings.msecs(0) : DataModel::kNoTime;
    const qint64 last = rows > 0 ? readings.msecs(rows - 1) : DataModel::kNoTime;
    m_elapsedLabel->setText(first == DataModel::kNoTime || last == DataModel::kNoTime
                                ? QString()
                                : tr("elapsed %1").arg(formatDuration(last - first)));
}

void WindowStatus::onFunctionChanged(const QString &function, int rows, const QString &keptIn)
{
    showMessage(
        !keptIn.isEmpty() ? tr("Function changed to %1; the previous recording is kept in %2")
                                .arg(function, keptIn)
        : rows > 0 ? tr("Function changed to %1; the previous recording was cleared").arg(function)
                   : tr("Function changed to %1").arg(function));
}

void WindowStatus::onTableFull(int rows)
{
    showRecording();
    const QString keptIn = m_session->keptIn();
    showMessage(
        keptIn.isEmpty()
            ? tr("Table full at %1 readings; raise Sample points or press Delete to "
                 "record more")
                  .arg(rows)
            : tr("Table full at %1 readings; the recording is kept in %2").arg(rows).arg(keptIn));
}
