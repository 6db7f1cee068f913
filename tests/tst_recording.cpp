#include "app/resourcebundle.h"
#include "record/chartline.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "record/dmmchart.h"
#include "record/journal.h"
#include "tests/modalboxes.h"
#include "tests/testfiles.h"
#include "tests/windowrig.h"

#include <QtTest>
#include <QtWidgets>

namespace {

int journalWarnings = 0;
QtMessageHandler previousHandler = nullptr;

void countJournalWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    journalWarnings += type == QtWarningMsg && text.contains(QLatin1String("journal"));
    previousHandler(type, context, text);
}

} // namespace

// The recording step: which readings join the table, the charts and the journal on disk.
class TestRecording : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_journals;
    std::unique_ptr<WindowRig> m_rig;

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
        SeenBox seen;
        const auto dismisser = dismissMessageBoxes(&seen, answer);
        m_rig->action("actionDelete")->trigger();
        QCOMPARE(seen.texts, QStringList{"Are you sure you want to delete this data?"});
        QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
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
    }
    void cleanup() { m_rig.reset(); }

    void admissionRules_data()
    {
        QTest::addColumn<QString>("limits"); // sample points, infinite, skip repeat
        // DCV value texts, "function:value" for others; "yes" and "no" answer Delete, "inf"
        // turns Infinite on, "maxN" turns it off with N sample points.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("recorded");
        QTest::addColumn<int>("journals");
        const auto row = [](const char *name, const char *limits, const char *steps,
                            const char *recorded, int journals) {
            QTest::newRow(name) << limits << steps << recorded << journals;
        };
        row("full until Delete", "3 0 0", "1 2 3 4 yes 6 7 8 9", "1:6 2:7 3:8 | 3", 2);
        row("Delete refused", "3 0 0", "1 2 no 3", "1:1 2:2 3:3 | 3", 1);
        row("grows with Infinite, kept when lowered", "3 0 0", "1 2 3 4 inf 5 max2 6",
            "1:1 2:2 3:3 4:5 | 4", 1);
        row("no room at all", "0 0 0", "1 6:2", " | 0", 0);
        row("infinite ignores zero", "0 1 0", "1 2", "1:1 2:2 | 2", 1);
        row("repeats: the exact text, kept across Delete", "1000 1 1",
            "1.234 1.234 1.235 1.234 1.2340 yes 1.2340 1.235", "1:1.235 | 1", 2);
        row("a refused value is not remembered", "1 0 1", "1 2 yes 2", "1:2 | 1", 2);
        row("a function change empties a full table", "2 0 0", "1 2 3 0:4 0:5 6:7", "1:7 | 1", 3);
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
        // The panel shows every reading, recorded or not; the table deletes what it refuses.
        QCOMPARE(m_rig->child<QLineEdit>("lcdPrimary")->text(),
                 steps.section(' ', -1).section(':', -1));
        for (const QPointer<DmmData> &reading : fed)
            QVERIFY(reading.isNull());
        // Each recording has a journal holding exactly what the export writes.
        QTEST(int(QDir(m_journals->path()).entryList({"*.csv"}).size()), "journals");
        if (table()->rowCount() > 0) {
            const QString exported = m_journals->filePath("export.out");
            QVERIFY(writeCsv(m_rig->window->recordModel(), exported));
            QCOMPARE(testfiles::readAll(m_rig->window->recordingJournal()->fileName()),
                     testfiles::readAll(exported));
        }
    }

    void unwritableJournalFolderLetsRecordingGoOn()
    {
        const QString blocked = m_journals->filePath("blocked"); // a file, not a folder
        QVERIFY(testfiles::writeAll(blocked, "not a folder"));
        m_rig->window->useJournal(blocked);
        journalWarnings = 0;
        previousHandler = qInstallMessageHandler(countJournalWarnings);
        for (const char *value : {"1", "2", "3"})
            m_rig->deliver(2, value);
        const int first = journalWarnings;
        // The next recording tries again, and says so once more.
        deleteRecords(QMessageBox::Yes);
        m_rig->deliver(2, "7");
        m_rig->deliver(2, "8");
        qInstallMessageHandler(previousHandler);
        QCOMPARE(first, 1);
        QCOMPARE(journalWarnings, 2);
        QCOMPARE(recorded(), QStringLiteral("1:7 2:8 | 2"));
    }

    void acPlusDcSharesTheTableAndSplitsTheCharts()
    {
        m_rig->deliver(6, "4700");
        chart()->grab();
        QCOMPARE(chart()->scale().prefix, QStringLiteral("k")); // a resistance is in kilo-ohms
        QVERIFY(!chart("chart2")->isVisible());
        int number = 0;
        for (const char *coupling : {"AC", "DC", "AC", "DC", "DC"})
            m_rig->deliver(25, QString::number(4700 + ++number), QLatin1String(coupling));
        QVERIFY(chart("chart2")->isVisible());
        QCOMPARE(recorded(), QStringLiteral("1:4701 2:4702 3:4703 4:4704 5:4705 | 2"));
        QCOMPARE(chart()->line(0)->point(1).valueText(), QStringLiteral("4703"));
        QCOMPARE(points("chart2"), 3);
        QVERIFY(
            chart("chart2")->line(0)->point(0).label().toString().endsWith(": AC+DC: DC 4702V"));
        // Neither chart scales AC+DC.
        for (const char *name : {"chart", "chart2"}) {
            chart(name)->grab();
            QCOMPARE(chart(name)->scale().prefix, QStringLiteral(" "));
        }
        m_rig->deliver(2, "6");
        QVERIFY(!chart("chart2")->isVisible());
        QCOMPARE(recorded(), QStringLiteral("1:6 | 1"));
        // Coming back to AC+DC clears the second chart as well.
        m_rig->deliver(25, "7", "DC");
        QCOMPARE(points(), 0);
        QCOMPARE(points("chart2"), 1);
    }

    void viewFollowsTheLastOfManyRowsWithoutMeasuringThem()
    {
        auto *tv = m_rig->child<QTableView>("tv");
        for (int i = 0; i < 300; ++i)
            m_rig->deliver(2, QString::number(i));
        QCOMPARE(tv->rowAt(tv->viewport()->height() - 1), 299);
        // Sizes measured from the rows' contents would cost a pass over every row.
        QCOMPARE(tv->verticalHeader()->sectionResizeMode(150), QHeaderView::Fixed);
        for (int column = 0; column < 6; ++column)
            QVERIFY(tv->horizontalHeader()->sectionResizeMode(column) !=
                    QHeaderView::ResizeToContents);
    }
};

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
