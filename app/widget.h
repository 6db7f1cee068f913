#pragma once

#include "app/savenameasker.h"
#include "display/panelcontent.h"

#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>

class BrokerPublishing;
class ColumnSpec;
class DataModel;
class DMMChart;
class DeviceSelector;
class DmmData;
class FunctionEntry;
class JournalKeeper;
class LinkSupervisor;
class MyDmm;
class QAction;
class RecordingSession;
class StatisticsLine;
class Ui_Widget;
class WindowStatus;

// The program's main window: the live reading panel, the record table and the charts in three
// docks, the connection and meter-key toolbars. It owns the device link to the meter, and shows
// what the link's supervisor and the recording session below it do.
class Widget : public QMainWindow
{
    Q_OBJECT
public:
    explicit Widget(QWidget *parent = nullptr);
    ~Widget() override;

    // The window's link to the meter; main hands it the device named on the command line.
    DeviceSelector *deviceLink() const { return deviceSelector; }
    // The meter driver, which keeps the sampling settings.
    MyDmm *driver() const { return dmm; }
    // The record table that Export and Print write out.
    DataModel *recordModel() const { return dataModel; }
    LinkSupervisor *linkSupervisor() const { return link; }
    RecordingSession *recordingSession() const { return session; }
    // The journal in use, or null.
    JournalKeeper *recordingJournal() const;
    // Replaces the save-file dialog of Export and Save (tests answer in the user's place).
    void setSaveNameAsker(SaveNameAsker asker) { askSaveName = std::move(asker); }
    // Replaces the open-file dialog of Import.
    void setOpenNameAsker(OpenNameAsker asker) { askOpenName = std::move(asker); }

    // Connects as a press of Connect does; main calls it for --connect once the window is shown.
    void pressConnect();
    // Tells the user, in a box, why the link could not be opened the last time it was tried.
    void reportOpenFailure();
    // Keeps every recorded reading on disk in a journal in directory as well, one file per
    // recording; the oldest journals beyond the quota are removed now. Without this call the
    // window keeps no journal.
    void useJournal(const QString &directory);
    // When the journal folder notes a recording that was never closed (the program was killed
    // or crashed), offers to open its journal, which new readings of its function continue.
    // main calls it once the window is shown.
    void offerUnclosedRecording();
    // Whether offerUnclosedRecording() has a recording to ask about.
    bool hasUnclosedRecording() const;

    // The Reconnect option: after the link is lost (closed without Disconnect) the same device
    // is tried again every 2 s, and recording goes on into the same table and journal.
    void setReconnectOption(bool on);
    // --reconnect: reconnects in this run whatever the saved option says.
    void reconnectForThisRun();

    // The broker that recorded readings are published to (mqtt://host[:port]/prefix, empty:
    // none) and the meter's name in its topics (empty: the host name and the device).
    void setMqttBroker(const QString &url, const QString &name);
    // The line of figures under the record table, as shown.
    QString statisticsText() const;

public slots:
    // Shows the figures of the recording, or of the chart's zoomed stretch, anew.
    void refreshStatistics();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void initObj();
    void initConnec();
    void initWidget();
    void initSelf();
    void saveSettings();
    void restoreSettings();
    void restoreUI();
    void slotAction();
    void slotDmmOpened();
    void slotDmmClosed();
    void slotUSBRefreshed(int cnt);
    void on_actionTest_triggered();
    void on_actionManual_triggered();
    void on_actionExport_triggered();
    void on_actionImport_triggered();
    void on_actionStart_triggered();
    void on_actionStop_triggered();
    void on_actionDelete_triggered();
    void on_actionPrint_triggered();
    void on_actionSaveImage_triggered();
    void slotMessage(QString msg);
    void slotDmmDisplay(const DmmData *data);
    void slotActionGroupTriggered(QAction *action);

private:
    void addDockIcons();
    // The View menu, the keyboard shortcuts and the About box.
    void setUpMenus();
    void showAbout();
    // Asks for the name of a file to write, starting in the last folder used (the documents
    // folder at first) with a name from the recording's start; the filter's suffix is added to
    // a bare name. Empty when cancelled.
    QString askOutputName(const QString &caption, const QString &filter);
    // The folder the next file dialog starts in: the last one used, at first the documents folder.
    QString dialogFolder();
    // Tells the user that a file could not be written or opened: the text, then in smaller print
    // each file's name followed by the reason.
    void reportFileFailure(QMessageBox::Icon icon, const QString &text,
                           const QStringList &filesAndReasons);
    // Opens the file in the desktop's viewer; a missing file or viewer is reported.
    void openDocument(const QString &fileName);
    void runOptionDialog();
    void setUpKeyActions();
    void setUpPanel();
    void setUpRecordTable();
    void setUpCharts();
    void setUpStatistics();
    void setUpPause();
    void setUpSession();
    void connectMeter();
    // The panel dims while no link is open; Disconnect stays available while retries run.
    void followLinkState();
    void updateLcd(const DmmData *data);
    // Writes the panel; an empty content clears it.
    void showPanel(const PanelContent &panel);
    // A new recording has begun with an empty table.
    void startCharts(bool dual);
    // A reading has joined the recording as row.
    void showRecorded(const DmmData &reading, int row);
    // The chart of a one-display recording draws the table's readings in place.
    void chartTableReadings(bool dual);
    // Reads a recording's CSV file into the table and the charts; a refused or cancelled file
    // leaves them as they were. journal: continue the recording in that journal (a restore).
    bool importRecording(const QString &fileName, bool continueInJournal = false);
    // Shows a recording just read from a file, of the function of entry, as the charts' own.
    void showOpened(const FunctionEntry *entry);
    // The question before a reading of another function replaces a restored recording.
    void askReplacement();
    // A journal that cannot be written is told in a box as well as in the status bar.
    void reportJournalFailure(const QString &message);
    // Delete, a change of function and an import end any zoom.
    void resetZooms();
    // The charts' own samples (those of AC+DC) marked against the session's limits anew.
    void markChartAlarms();

    Ui_Widget *ui = nullptr;
    // Hides the language choice in the options dialog.
    bool fixedLanguage = false;
    // The language of the next start: "EN", "OTHER" or empty.
    QString language;
    QString modelName;
    QString version;
    DMMChart *currentChart = nullptr;
    DataModel *dataModel = nullptr;
    MyDmm *dmm = nullptr;
    DeviceSelector *deviceSelector = nullptr;
    QList<ColumnSpec *> columns;
    bool recording = false;

    LinkSupervisor *link = nullptr;
    RecordingSession *session = nullptr;
    BrokerPublishing *publishing = nullptr;
    WindowStatus *status = nullptr;
    // The saved Reconnect option, and --reconnect for this run.
    bool reconnectOption = false;
    bool reconnectThisRun = false;
    // The saved geometry and dock layout are applied on the first show only.
    bool layoutRestored = false;
    SaveNameAsker askSaveName = askWithFileDialog;
    OpenNameAsker askOpenName = askOpenWithFileDialog;
    // Where the next file dialog starts; empty until the first one. Set by saving and opening.
    QString outputFolder;
    QAction *actionPause = nullptr;
    QAction *actionFitValues = nullptr;
    StatisticsLine *lblStatistics = nullptr;
    PanelContent::Icon shownIcon = PanelContent::Icon::None;
};
