#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class DataModel;
class LinkSupervisor;
class MyDmm;
class QLabel;
class QStatusBar;
class RecordingSession;
class StatusMessageLabel;

// The window's status bar: on the left what has just happened, on the right four fields, the
// link, the recording, its rows and its span. A message about the link's state (reconnected, a
// meter that does not answer) goes when that state ends; the recording's fields follow the
// readings at most a few times a second, so that a fast meter does not lay the bar out for each.
class WindowStatus : public QObject
{
    Q_OBJECT
public:
    WindowStatus(QStatusBar *bar, const LinkSupervisor *link, const RecordingSession *session,
                 const MyDmm *driver, const DataModel *table, QObject *parent = nullptr);

    void showMessage(const QString &text);
    // Shows the recording's fields soon.
    void scheduleRecording();

public slots:
    void showLink();
    void showRecording();

private:
    QString recordingText() const;
    void showStateMessage(const QString &text);
    void onStateChanged();
    void onFunctionChanged(const QString &function, int rows, const QString &keptIn);
    void onTableFull(int rows);

    StatusMessageLabel *m_message;
    const LinkSupervisor *m_link;
    const RecordingSession *m_session;
    const MyDmm *m_driver;
    const DataModel *m_table;
    QLabel *m_linkLabel;
    QLabel *m_recordingLabel;
    QLabel *m_rowsLabel;
    QLabel *m_elapsedLabel;
    QTimer m_refresh;
    // The message shown about the link's state, which goes with that state.
    QString m_stateMessage;
};
