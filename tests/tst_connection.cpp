#include "app/resourcebundle.h"
#include "display/statusmessagelabel.h"
#include "meter/linksupervisor.h"
#include "meter/simlink.h"
#include "meter/virtualmeter.h"
#include "record/chartline.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/journal.h"
#include "session/journalkeeper.h"
#include "session/recordingsession.h"
#include "tests/modalboxes.h"
#include "tests/replyframe.h"
#include "tests/testfiles.h"
#include "tests/windowrig.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <numeric>

// The window on a meter link: connecting, the meter keys, the reading panel, and which readings
// join the record table, the charts and the journal on disk.
class TestConnection : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_journals;
    std::unique_ptr<WindowRig> m_rig;
    SeenBox m_seen;
    std::unique_ptr<QTimer> m_dismisser;

    QString text(const char *name) const { return m_rig->child<QLabel>(name)->text(); }
    // value|unit|function|hold|coupling|auto|rel|extreme, then the battery icon if it is up.
    QString shown() const
    {
        QStringList texts{m_rig->child<QLineEdit>("lcdPrimary")->text()};
        for (const char *name : {"lcdUnit2", "lcdLeftFlag1", "lcdLeftFlag2", "lcdLeftFlag3",
                                 "lcdFlagBottom1", "lcdFlagBottom4", "lcdFlagBottom5"})
            texts << text(name);
        if (m_rig->child<QLabel>("lcdFlagTop1")->isVisible())
            texts << "battery icon";
        return texts.join(QLatin1Char('|'));
    }

    // What just happened | link | recording | rows | span, and whether the panel is dimmed.
    QString statusText() const
    {
        QStringList parts{m_rig->child<StatusMessageLabel>("lblMessage")->message()};
        for (const char *name : {"lblLink", "lblRecording", "lblRows", "lblElapsed"})
            parts << text(name);
        if (!m_rig->child<QWidget>("dockWidgetContents_3")->isEnabled())
            parts << "dimmed";
        QString status = parts.join(" | ");
        status.replace(QRegularExpression("\\d\\d:\\d\\d:\\d\\d"), "hh:mm:ss");
        status.replace(
            QRegularExpression(QRegularExpression::escape(m_journals->path()) + "/\\S+\\.csv"),
            "J");
        return status;
    }

    QAbstractItemModel *table() const { return m_rig->window->recordModel(); }
    DMMChart *chart(const char *name = "chart") const { return m_rig->child<DMMChart>(name); }
    int points(const char *name = "chart") const { return chart(name)->line(0)->pointCount(); }
    // The rows as "number:value", then the first chart's point count.
    QString recorded() const
    {
        QStringList rows;
        for (int row = 0; row < table()->rowCount(); ++row)
            rows << table()->index(row, 0).data().toString() + ':' +
                        table()->index(row, 4).data().toString();
        return rows.join(' ') + QStringLiteral(" | %1").arg(points());
    }
    void deleteRecords(QMessageBox::StandardButton answer)
    {
        m_seen = SeenBox();
        m_dismisser = dismissMessageBoxes(&m_seen, answer);
        m_rig->action("actionDelete")->trigger();
        m_dismisser = dismissMessageBoxes(&m_seen);
        QCOMPARE(m_seen.texts, QStringList{"Are you sure you want to delete this data?"});
        QCOMPARE(m_seen.buttons, QMessageBox::Yes | QMessageBox::No);
    }

    void reopenedAfterTheInterval(const QElapsedTimer &sinceDrop)
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->dmm()->isOpen(), 10000);
        QVERIFY2(sinceDrop.elapsed() >= 1900 && sinceDrop.elapsed() < 3000,
                 qPrintable(QString::number(sinceDrop.elapsed())));
    }
    void notPolling()
    {
        QVERIFY(!m_rig->dmm()->commandThread());
        QTest::qWait(50);
        QVERIFY(!m_rig->dmm()->currentCommand());
    }

private slots:
    void initTestCase() { registerResources(); }
    void init()
    {
        m_journals = std::make_unique<QTemporaryDir>();
        m_rig = std::make_unique<WindowRig>();
        m_rig->window->useJournal(m_journals->path());
        m_rig->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_rig->window.get()));
        m_seen = SeenBox();
        m_dismisser = dismissMessageBoxes(&m_seen);
    }
    void cleanup()
    {
        m_dismisser.reset();
        m_rig.reset();
    }

    void statusBarSaysWhatHappens_data()
    {
        // Actions by name, readings as in admissionRules; "drop" loses the link, "silent" and
        // "reopened" wait for the meter's silence and the reconnection, "reply" is the meter's
        // answer, "reconnect" and "noreconnect" turn the option on and off, "quick" shortens the
        // reconnect interval to 50 ms and "wait" waits for several, "stopped" checks that the
        // driver no longer polls, "full2" limits the table to 2 rows, "nojournal" keeps the
        // journal where none can be made.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("status");
        const auto row = [](const char *name, const char *steps, const char *status) {
            QTest::newRow(name) << steps << status;
        };
        row("opened", "Connect", " | auto: open | recording | rows: 0 | ");
        row("lost", "Connect 1 2 drop stopped",
            " | auto: lost at hh:mm:ss | stopped: link closed | rows: 2 | elapsed 0:00:01 | "
            "dimmed");
        row("reconnected", "reconnect Connect 1 drop reopened 2",
            "Reconnected at hh:mm:ss | auto: open | recording | rows: 2 | elapsed 0:00:01");
        row("lost again", "reconnect Connect 1 drop reopened 2 drop",
            " | auto: lost at hh:mm:ss, trying again every 2 s | stopped: link closed | rows: 2 | "
            "elapsed 0:00:01 | dimmed");
        row("silent", "Connect silent",
            "The meter does not answer: is it switched on, in the right mode, on this port? | "
            "auto: meter not answering | waiting for the meter | rows: 0 | ");
        row("silent, then Disconnect", "Connect silent Disconnect",
            " | auto: closed | stopped: link closed | rows: 0 |  | dimmed");
        row("Disconnect dims as a loss does", "Connect 1 Disconnect",
            " | auto: closed | stopped: link closed | rows: 1 | elapsed 0:00:00 | dimmed");
        row("Disconnect stops the retries", "reconnect quick Connect 1 drop Disconnect wait",
            " | auto: closed | stopped: link closed | rows: 1 | elapsed 0:00:00 | dimmed");
        row("Reconnect unticked stops them", "reconnect quick Connect 1 drop noreconnect wait",
            " | auto: lost at hh:mm:ss | stopped: link closed | rows: 1 | elapsed 0:00:00 | "
            "dimmed");
        row("answering again", "Connect silent reply",
            " | auto: open | recording | rows: 1 | elapsed 0:00:00");
        row("table full", "full2 Connect 1 2 3 4",
            "Table full at 2 readings; the recording is kept in J | auto: open | stopped: table "
            "full at 2 readings | rows: 2 of 2 | elapsed 0:00:01");
        row("function change", "Connect 1 2 6:3",
            "Function changed to RES; the previous recording is kept in J | auto: open | "
            "recording | rows: 1 | elapsed 0:00:00");
        row("paused", "Connect 1 Pause 2 3", " | auto: open | paused | rows: 1 | elapsed 0:00:00");
        row("no journal", "nojournal Connect 1 2",
            "Cannot create the journal folder /sys/klm704: Operation not permitted; the recording "
            "goes on without a journal | auto: open | recording without a journal | rows: 2 | "
            "elapsed 0:00:01");
    }

    void statusBarSaysWhatHappens()
    {
        QFETCH(QString, steps);
        m_rig->pollQuickly();
        m_rig->useFakeLinks({}); // a meter that never answers
        MyDmm *dmm = m_rig->dmm();
        if (steps.contains("silent"))
            dmm->setSilenceTimeout(100);
        LinkSupervisor *link = m_rig->window->linkSupervisor();
        QElapsedTimer sinceDrop;
        for (const QString &step : steps.split(' ')) {
            if (step == "drop")
                m_rig->latestLink->dropBySelf(), sinceDrop.start();
            else if (step == "silent")
                QTRY_VERIFY(dmm->isMeterSilent());
            else if (step == "reopened") // after the interval: not at once, and not much later
                reopenedAfterTheInterval(sinceDrop);
            else if (step == "stopped") // no command thread goes on polling the dead link
                notPolling();
            else if (step == "quick")
                link->setReconnectInterval(50);
            else if (step == "wait")
                QTest::qWait(300);
            else if (step == "nojournal")
                m_rig->window->useJournal("/sys/klm704");
            else if (step == "noreconnect")
                m_rig->window->setReconnectOption(false);
            else if (step == "reply") // and no silence again while the status is read
                dmm->setSilenceTimeout(5000),
                    m_rig->latestLink->inject(replyFrame(2, 0x31, " 1.234 "));
            else if (step == "reconnect")
                m_rig->window->setReconnectOption(true);
            else if (step == "full2")
                dmm->setSamplePoints(2), dmm->setInfinite(false);
            else if (step[0].isUpper())
                m_rig->action(qPrintable("action" + step))->trigger();
            else
                m_rig->deliver(quint8(step.contains(':') ? step.section(':', 0, 0).toInt() : 2),
                               step.section(':', -1));
        }
        QFETCH(QString, status);
        QTRY_COMPARE(statusText(), status); // the rows and span follow within a moment
        // A journal that fails is told in a box too, once for the recording.
        QCOMPARE(m_seen.texts, steps.contains("nojournal")
                                   ? QStringList{"The recording goes on without a journal."}
                                   : QStringList());
    }

    // Unplugged and plugged in again with Reconnect on: one table and one journal hold the
    // readings before and after, each once, and the panel is dimmed in between.
    void recordingSurvivesAnUnplug()
    {
        auto *meter = new VirtualMeter(7, m_rig->window.get());
        m_rig->window->deviceLink()->setLinkFactory(
            [meter](const QString &, const LinkSettings &, QString *) -> LinkBackend * {
                return new SimLink(meter);
            });
        m_rig->window->setReconnectOption(true);
        m_rig->pollQuickly();
        m_rig->action("actionConnect")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(table()->rowCount() >= 3, 10000);
        meter->unplug();
        const auto *panel = m_rig->child<QWidget>("dockWidgetContents_3");
        QVERIFY(!panel->isEnabled());
        const int before = table()->rowCount();
        meter->plugIn();
        QTRY_VERIFY_WITH_TIMEOUT(table()->rowCount() >= before + 3 && panel->isEnabled(), 10000);
        m_rig->action("actionDisconnect")->trigger();

        // Every reply once, in order; only those on the wire at the unplug and at Disconnect may
        // be missing.
        const QList<VirtualMeter::SentReply> sent = meter->sentReplies();
        const int rows = table()->rowCount();
        QVERIFY(rows <= sent.size() && rows >= sent.size() - 2);
        for (int row = 0, next = 0; row < rows; ++next) {
            QVERIFY(next < sent.size());
            row += QString::fromLatin1(sent[next].text) == table()->index(row, 4).data().toString();
        }
        QCOMPARE(QDir(m_journals->path()).entryList({"*.csv"}).size(), 1);
        const QString journal = m_rig->window->recordingJournal()->fileName();
        QCOMPARE(testfiles::readAll(journal).count('\n'), rows + 1);
    }

    // A reconnection that falls due while a recording is being opened records nothing: the table
    // holds the file's readings whole, and the link stays closed behind them. The import ends
    // the zoom, clears the panel and marks the readings against the limits.
    void reconnectDuringAnImportRecordsNothing()
    {
        m_rig->pollQuickly();
        m_rig->useFakeLinks({true, replyFrame(2, 0x31, " 1.234 ")});
        m_rig->window->setReconnectOption(true);
        m_rig->window->linkSupervisor()->setReconnectInterval(50);
        m_rig->action("actionConnect")->trigger();
        QTRY_VERIFY(table()->rowCount() > 1);
        m_rig->latestLink->dropBySelf();
        m_rig->zoomChart();
        QVERIFY(chart()->isZoomed());
        const QString file = m_journals->filePath("opened.csv");
        QByteArray rows = "No.,Date/Time,Function,Range,Value,Unit\n";
        for (int row = 1; row <= 30; ++row)
            rows += QByteArray::number(row) + ",2026-12-08 10:00:00,DCV,6,  5.000,V\n";
        QVERIFY(testfiles::writeAll(file, rows));
        // Retries fall due while the file dialog is open, and the table is to be replaced.
        bool reopened = false;
        m_rig->window->setOpenNameAsker(
            [this, &file, &reopened](QWidget *, const QString &, const QString &, const QString &) {
                QTest::qWait(300);
                reopened = m_rig->dmm()->isOpen();
                return file;
            });
        LimitAlarm limits; // which the readings read are held against
        limits.setLimits(std::nullopt, 4.9);
        m_rig->window->recordingSession()->setLimits(limits);
        m_dismisser = dismissMessageBoxes(&m_seen, QMessageBox::Yes);
        m_rig->action("actionImport")->trigger();
        QTest::qWait(300);
        QVERIFY(!reopened);
        QVERIFY(recorded().startsWith("1:  5.000 2:") && recorded().endsWith(" 30:  5.000 | 30"));
        QCOMPARE(text("lblLink"), QStringLiteral("auto: closed"));
        // Nothing live stays: no zoom on rows that are gone, no reading on the panel.
        QVERIFY(!chart()->isZoomed());
        QCOMPARE(shown(), QStringLiteral("|||||||"));
        QTRY_COMPARE(chart()->statistics().alarms(), qint64(30));
    }

    void panelShowsTheReadingAndTheNextClearsIt_data()
    {
        QTest::addColumn<int>("function");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("flagged");     // hold, relative, manual range, low battery
        QTest::addColumn<QString>("extremes"); // max/min text, then peak text, after a bar
        QTest::addColumn<QString>("shown");
        const auto row = [](int function, const char *value, bool flagged, const char *extremes,
                            const char *shown) {
            QTest::newRow(shown) << function << value << flagged << extremes
                                 << QString::fromUtf8(shown);
        };
        // The display text appears exactly as sent, blanks and overload included.
        row(3, " -O.L  ", true, "MIN|", " -O.L  |mV|DCmV|H|||Rel|MIN|battery icon");
        row(2, " 1.234 ", false, "MAX|P-MAX", " 1.234 |V|DCV|||AUTO||MAX");
    }

    void panelShowsTheReadingAndTheNextClearsIt()
    {
        QFETCH(int, function);
        QFETCH(QString, value);
        QFETCH(bool, flagged);
        QFETCH(QString, extremes);
        QCOMPARE(shown(), QStringLiteral("|||||||"));
        DmmData *data = m_rig->reading(quint8(function), value, function == 25 ? "DC" : "");
        data->setHold(flagged);
        data->setRelative(flagged);
        data->setManualRange(flagged);
        data->setLowBattery(flagged);
        data->setMaxMinText(extremes.section('|', 0, 0));
        data->setPeakText(extremes.section('|', 1));
        m_rig->deliver(data);
        QTEST(shown(), "shown");
        m_rig->deliver(2);
        QCOMPARE(shown(), QStringLiteral(" 1.234 |V|DCV|||AUTO||"));
    }

    void admissionRules_data()
    {
        QTest::addColumn<QString>("limits"); // sample points, infinite, skip repeat
        // DCV value texts, "function:value" for others; "yes" and "no" answer Delete, "inf"
        // turns Infinite on, "maxN" turns it off with N sample points, "zoom" zooms the chart
        // (which Delete and a change of function end), "highN" sets a high limit of N (which
        // marks the readings recorded before it too).
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("recorded");
        QTest::addColumn<int>("journals");
        const auto row = [](const char *name, const char *limits, const char *steps,
                            const char *recorded, int journals) {
            QTest::newRow(name) << limits << steps << recorded << journals;
        };
        row("full until Delete", "3 0 0", "1 2 3 4 zoom yes 6 7 8 9", "1:6 2:7 3:8 | 3", 2);
        row("grows with Infinite, kept when lowered", "3 0 0", "1 2 3 4 inf 5 max2 6",
            "1:1 2:2 3:3 4:5 | 4", 1);
        row("repeats: the exact text, kept across Delete", "1000 1 1",
            "1.234 1.234 1.235 yes 1.235 1.2350", "1:1.2350 | 1", 2);
        row("new limits mark the recorded readings", "1000 1 0", "1 6 7 high5 8 4",
            "1:1 2:6 3:7 4:8 5:4 | 5", 1);
        row("a function change empties a full table", "2 0 0", "1 2 3 zoom 0:4 0:5 6:7", "1:7 | 1",
            3);
    }

    void admissionRules()
    {
        QFETCH(QString, limits);
        QFETCH(QString, steps);
        MyDmm *dmm = m_rig->dmm();
        dmm->setSamplePoints(limits.section(' ', 0, 0).toInt());
        dmm->setInfinite(limits.section(' ', 1, 1) == "1");
        dmm->setSkipRepeat(limits.section(' ', 2, 2) == "1");
        QList<QPointer<DmmData>> fed;
        for (const QString &step : steps.split(' ')) {
            if (step == "yes" || step == "no") {
                deleteRecords(step == "yes" ? QMessageBox::Yes : QMessageBox::No);
            } else if (step == "inf") {
                dmm->setInfinite(true);
            } else if (step.startsWith("high")) {
                LimitAlarm limits;
                limits.setLimits(std::nullopt, step.mid(4).toDouble());
                m_rig->window->recordingSession()->setLimits(limits);
            } else if (step == "zoom") {
                m_rig->zoomChart();
                QVERIFY(chart()->isZoomed());
            } else if (step.startsWith("max")) {
                dmm->setInfinite(false);
                dmm->setSamplePoints(step.mid(3).toInt());
            } else {
                const int function = step.contains(':') ? step.section(':', 0, 0).toInt() : 2;
                fed << m_rig->reading(quint8(function), step.section(':', -1));
                m_rig->deliver(fed.last());
            }
        }
        QTEST(recorded(), "recorded");
        QVERIFY(!chart()->isZoomed());
        // The figures are those of the readings left after a Delete or a change of function,
        // worked out again here from the recorded samples.
        QVector<double> values;
        for (int i = 0; i < points(); ++i)
            values << chart()->line(0)->point(i).value();
        const LimitAlarm &limitsNow = m_rig->window->recordingSession()->limits();
        const qint64 outside =
            std::count_if(values.begin(), values.end(), [&limitsNow](double value) {
                return limitsNow.check(value, 0) != LimitAlarm::Side::Inside;
            });
        QTRY_COMPARE(chart()->statistics().alarms(), outside); // the marking runs in slices
        const ReadingSummary figures = chart()->statistics();
        QCOMPARE(figures.numeric(), qint64(values.size()));
        QVERIFY(m_rig->window->statisticsText().startsWith(QString("n %1").arg(values.size())));
        if (!values.isEmpty()) {
            QCOMPARE(figures.min(), *std::min_element(values.begin(), values.end()));
            QCOMPARE(figures.max(), *std::max_element(values.begin(), values.end()));
            QCOMPARE(figures.mean(),
                     std::accumulate(values.begin(), values.end(), 0.0) / values.size());
        }
        // The panel shows every reading, recorded or not; the table deletes what it refuses.
        QCOMPARE(m_rig->child<QLineEdit>("lcdPrimary")->text(),
                 steps.section(' ', -1).section(':', -1));
        for (const QPointer<DmmData> &reading : fed)
            QVERIFY(reading.isNull());
        // Each recording has a journal holding exactly what the export writes.
        QTEST(int(QDir(m_journals->path()).entryList({"*.csv"}).size()), "journals");
        if (table()->rowCount() > 0) {
            const QString exported = m_journals->filePath("export.out");
            QVERIFY(writeCsv(table(), exported));
            QCOMPARE(testfiles::readAll(m_rig->window->recordingJournal()->fileName()),
                     testfiles::readAll(exported));
        }
    }

    void acPlusDcSharesTheTableAndSplitsTheCharts()
    {
        m_rig->deliver(6, "4700");
        QVERIFY(!chart("chart2")->isVisible());
        int number = 0;
        for (const char *coupling : {"AC", "DC", "AC", "DC", "DC"})
            m_rig->deliver(25, QString::number(4700 + ++number), QLatin1String(coupling));
        QVERIFY(chart("chart2")->isVisible());
        QCOMPARE(recorded(), QStringLiteral("1:4701 2:4702 3:4703 4:4704 5:4705 | 2"));
        QCOMPARE(chart()->line(0)->point(1).valueText(), QStringLiteral("4703"));
        QCOMPARE(points("chart2"), 3);
        QVERIFY(chart("chart2")->line(0)->point(0).label().toString().endsWith("AC+DC: DC 4702V"));
        m_rig->deliver(2, "6");
        QVERIFY(!chart("chart2")->isVisible());
        QCOMPARE(recorded(), QStringLiteral("1:6 | 1"));
    }
};

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
