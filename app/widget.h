#pragma once

#include "app/savenameasker.h"
#include "display/panelcontent.h"
#include "record/journal.h"
#include "record/limitalarm.h"
#include "record/readingsummary.h"
#include "record/recordingadmission.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>

class ColumnSpec;
class DataModel;
class DMMChart;
class DeviceSelector;
class DmmData;
class MqttPublisher;
class MyDmm;
class QAction;
class QLabel;
class QTimer;
class StatisticsLine;
class Ui_Widget;

// The program's main window: the live reading panel, the record table and the charts in three
// docks, the connection and meter-key toolbars. It owns the device link to the meter.
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
    // Replaces the save-file dialog of Export and Save (tests answer in the user's place).
    void setSaveNameAsker(SaveNameAsker asker) { askSaveName = std::move(asker); }
    // Replaces the open-file dialog of Import.
    void setOpenNameAsker(OpenNameAsker asker) { askOpenName = std::move(asker); }

    // Connects as a press of Connect does; main calls it for --connect once the window is shown.
    void pressConnect();
    // Keeps every recorded reading on disk in a journal in directory as well, one file per
    // recording; the oldest journals beyond the limits are removed now. Without this call the
    // window keeps no journal.
    void useJournal(const QString &directory);
    // The journal in use, or null.
    Journal *recordingJournal() const { return journal; }
    // When the journal folder notes a recording that was never closed (the program was killed
    // or crashed), offers to open its journal. main calls it once the window is shown.
    void offerUnclosedRecording();
    // Whether offerUnclosedRecording() has a recording to ask about.
    bool hasUnclosedRecording() const;

    // The Reconnect option: after the link is lost (closed without Disconnect) the same device
    // is tried again every 2 s, and recording goes on into the same table and journal.
    void setReconnectOption(bool on);
    // --reconnect: reconnects in this run whatever the saved option says.
    void reconnectForThisRun();
    bool reconnects() const { return reconnect || reconnectThisRun; }
    static constexpr int kReconnectIntervalMs = 2000;

    // The broker that recorded readings are published to (mqtt://host[:port]/prefix, empty:
    // none) and the meter's name in its topics (empty: the host name and the device).
    void setMqttBroker(const QString &url, const QString &name);
    // The line of figures under the record table, as shown.
    QString statisticsText() const;

public slots:
    // Shows the figures of the recording, or of the chart's zoomed stretch, anew; also the entry
    // point for readings that reach the chart by another road than the recording step.
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
    // Checks a reading against the limits: the panel's value turns red while outside, and
    // each excursion beeps once. True when the reading is outside.
    bool checkLimits(const DmmData &reading);
    void connectMeter();
    void disconnectMeter();
    // Closes the link on the user's behalf (Disconnect, closing the window): no loss to report.
    void closeByUser();
    void updateLcd(const DmmData *data);
    // The recording step for a reading the window owns: it is recorded or deleted.
    void runRecordingStep(DmmData *reading);
    // Appends an admitted reading to the table, which takes it over, and plots it.
    void recordReading(DmmData *reading);
    void chartTableReadings(bool dual);
    // Writes a row just appended to the table to the journal; the first row starts a new file.
    void journalRow(int row);
    // Removes the oldest journals beyond the quota, naming each in the status bar as well.
    void pruneJournals();
    // Notes in the journal folder which journal the running recording writes; empty: none.
    void noteRunningJournal(const QString &fileName);
    QString runningNotePath() const;
    // Replaces the table and the charts with the readings of a recording's CSV file; a refused
    // or cancelled file leaves them as they were.
    bool importRecording(const QString &fileName);

    // The status bar: the link, the recording, the rows and the recording's span, and on its
    // left what has just happened.
    void setUpStatusBar();
    void showLinkState();
    void showRecordingState();
    // Notes the time of a row just recorded, for the recording's span.
    void noteRowTime(int row, const QDateTime &time);
    // Shows the recording's state, rows and span soon: at most a few times a second, so that a
    // fast meter does not lay out the status bar for every reading.
    void scheduleRecordingState();
    // Says which function the table now records and where the previous recording is kept.
    void reportFunctionChange(const QString &function);
    void slotMeterSilent();
    void slotMeterAnswering();
    void tryReconnect();
    void setPaused(bool paused);
    // Says that a full table keeps out the reading, once until it has room again.
    void reportTableFull();
    // Where the recording in the table is kept once the table is cleared: its journal file.
    QString recordingPlace() const;
    // (Re)connects to the broker of the settings, or ends publishing when none is named.
    void startPublishing();
    // What the broker has not yet taken gets a moment; then the status says offline.
    void stopPublishing();
    void publishReading(const DmmData &reading);

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
    // The saved geometry and dock layout are applied on the first show only.
    bool layoutRestored = false;
    SaveNameAsker askSaveName = askWithFileDialog;
    OpenNameAsker askOpenName = askOpenWithFileDialog;
    // Where the next file dialog starts; empty until the first one. Set by saving and opening.
    QString outputFolder;
    RecordingAdmission admission;
    Journal *journal = nullptr;

    bool reconnect = false;
    bool reconnectThisRun = false;
    // Set while Disconnect or closing the window closes the link: a close without it is a loss.
    bool closingByUser = false;
    // When the link was lost, "hh:mm:ss"; empty while the link is open or was closed by the user.
    QString lostAt;
    bool paused = false;
    bool tableFull = false;
    QDateTime firstRowTime;
    QDateTime lastRowTime;
    QTimer *statusTimer = nullptr;
    QAction *actionPause = nullptr;
    QLabel *linkLabel = nullptr;
    QLabel *recordingLabel = nullptr;
    QLabel *rowsLabel = nullptr;
    QLabel *elapsedLabel = nullptr;
    QTimer *reconnectTimer = nullptr;
    QString mqttUrl;
    QString mqttName;
    MqttPublisher *publisher = nullptr;
    QString publishedName; // the name in the topics of the publisher in use
    qint64 journalQuota = Journal::kDefaultQuota;
    LimitAlarm limitAlarm;
    // The reading being recorded is outside the limits; the panel shows it in red.
    bool readingOutside = false;
    bool panelAlarm = false;
    PanelContent::Icon shownIcon = PanelContent::Icon::None;
    RecordingUnit statisticsUnit;
    StatisticsLine *lblStatistics = nullptr;
    QAction *actionFitValues = nullptr;
};
