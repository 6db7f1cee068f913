#include "app/resourcebundle.h"
#include "record/chartline.h"
#include "record/dmmchart.h"
#include "record/recordingadmission.h"
#include "tests/modalboxes.h"
#include "tests/windowrig.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

Q_DECLARE_METATYPE(RecordingAdmission::Verdict)

class TestRecording : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void capacityBoundsTheTable_data();
    void capacityBoundsTheTable();
    void repeatsAreJudgedOnTheExactText();
    void refusedValueIsNotRemembered();
    void functionChangesAreNoticedOnce();
    void acPlusDcCountsAsOneFunction();

    void tableViewIsReadyForManyRows();
    void chartsAreConfigured();
    void fullTableRecordsNoMoreUntilDelete();
    void deleteAsksFirst();
    void loweredSamplePointsKeepTheRows();
    void samplePointsZeroRecordsNothing();
    void skipRepeatKeepsLastValueAcrossDelete();
    void functionChangeEmptiesTableAndChart();
    void acPlusDcReadingsShareTheTableAndSplitTheCharts();
    void chartPointCarriesTheReading();
    void chartScalesOnlyScaledFunctions();
    void viewFollowsTheLastRow();
    void everyReadingEndsUpOwned();

private:
    QAbstractItemModel *table() const { return m_rig->child<QTableView>("tv")->model(); }
    DMMChart *chart(const char *name = "chart") const { return m_rig->child<DMMChart>(name); }
    int points(const char *name = "chart") const { return chart(name)->line(0)->pointCount(); }
    QStringList column(int index) const;
    void limit(int samplePoints, bool skipRepeat = false) const;
    void deleteRecords(QMessageBox::StandardButton answer, SeenBox *seen = nullptr);

    std::unique_ptr<WindowRig> m_rig;
};

void TestRecording::initTestCase()
{
    registerResources();
}

void TestRecording::init()
{
    m_rig = std::make_unique<WindowRig>();
}

void TestRecording::cleanup()
{
    m_rig.reset();
}

QStringList TestRecording::column(int index) const
{
    QStringList cells;
    for (int row = 0; row < table()->rowCount(); ++row)
        cells << table()->index(row, index).data().toString();
    return cells;
}

// Infinite off with the given capacity.
void TestRecording::limit(int samplePoints, bool skipRepeat) const
{
    m_rig->dmm()->setInfinite(false);
    m_rig->dmm()->setSamplePoints(samplePoints);
    m_rig->dmm()->setSkipRepeat(skipRepeat);
}

void TestRecording::deleteRecords(QMessageBox::StandardButton answer, SeenBox *seen)
{
    SeenBox ignored;
    const auto dismisser = dismissMessageBoxes(seen ? seen : &ignored, answer);
    m_rig->action("actionDelete")->trigger();
}

void TestRecording::capacityBoundsTheTable_data()
{
    using Verdict = RecordingAdmission::Verdict;
    QTest::addColumn<bool>("infinite");
    QTest::addColumn<int>("samplePoints");
    QTest::addColumn<int>("rows");
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("room left") << false << 3 << 2 << Verdict::Record;
    QTest::newRow("full") << false << 3 << 3 << Verdict::TableFull;
    QTest::newRow("over the limit") << false << 3 << 7 << Verdict::TableFull;
    QTest::newRow("no room at all") << false << 0 << 0 << Verdict::TableFull;
    QTest::newRow("infinite ignores the limit") << true << 3 << 7 << Verdict::Record;
    QTest::newRow("infinite with zero") << true << 0 << 0 << Verdict::Record;
}

void TestRecording::capacityBoundsTheTable()
{
    QFETCH(bool, infinite);
    QFETCH(int, samplePoints);
    QFETCH(int, rows);
    QFETCH(RecordingAdmission::Verdict, verdict);
    RecordingAdmission admission;
    QCOMPARE(admission.admit(QStringLiteral("1.000"), rows, {samplePoints, infinite, false}),
             verdict);
}

void TestRecording::repeatsAreJudgedOnTheExactText()
{
    using Verdict = RecordingAdmission::Verdict;
    RecordingAdmission skipping;
    const RecordingAdmission::Limits skip{1000, true, true};
    QList<Verdict> verdicts;
    for (const char *text : {"1.234", "1.234", "1.235", "1.234", " 1.234", "1.234 "})
        verdicts << skipping.admit(QLatin1String(text), 0, skip);
    QCOMPARE(verdicts, (QList<Verdict>{Verdict::Record, Verdict::Repeated, Verdict::Record,
                                       Verdict::Record, Verdict::Record, Verdict::Record}));

    RecordingAdmission keeping;
    const RecordingAdmission::Limits keep{1000, true, false};
    QCOMPARE(keeping.admit(QStringLiteral("1.234"), 0, keep), Verdict::Record);
    QCOMPARE(keeping.admit(QStringLiteral("1.234"), 1, keep), Verdict::Record);
}

void TestRecording::refusedValueIsNotRemembered()
{
    using Verdict = RecordingAdmission::Verdict;
    RecordingAdmission admission;
    QCOMPARE(admission.admit(QStringLiteral("1"), 0, {3, false, true}), Verdict::Record);
    QCOMPARE(admission.admit(QStringLiteral("2"), 3, {3, false, true}), Verdict::TableFull);
    QCOMPARE(admission.lastValue(), QStringLiteral("1"));
    QCOMPARE(admission.admit(QStringLiteral("2"), 0, {3, false, true}), Verdict::Record);
    QCOMPARE(admission.admit(QStringLiteral("2"), 1, {3, false, true}), Verdict::Repeated);
}

void TestRecording::functionChangesAreNoticedOnce()
{
    RecordingAdmission admission;
    // Nothing was remembered yet, and a reading without name is no change from that.
    QVERIFY(!admission.switchFunction(QString()));
    QVERIFY(admission.switchFunction(QStringLiteral("DCV")));
    QVERIFY(!admission.switchFunction(QStringLiteral("DCV")));
    QVERIFY(admission.switchFunction(QStringLiteral("ACV")));
    QCOMPARE(admission.lastFunction(), QStringLiteral("ACV"));
}

void TestRecording::acPlusDcCountsAsOneFunction()
{
    std::unique_ptr<DmmData> ac(m_rig->reading(25, QStringLiteral("1.0"), QStringLiteral("AC")));
    std::unique_ptr<DmmData> dc(m_rig->reading(25, QStringLiteral("1.0"), QStringLiteral("DC")));
    std::unique_ptr<DmmData> dcv(m_rig->reading(2));
    QCOMPARE(ac->functionName(), QStringLiteral("AC+DC: AC"));
    QCOMPARE(RecordingAdmission::functionKey(*ac), QStringLiteral("AC+DC"));
    QCOMPARE(RecordingAdmission::functionKey(*dc), QStringLiteral("AC+DC"));
    QCOMPARE(RecordingAdmission::functionKey(*dcv), QStringLiteral("DCV"));
    QVERIFY(RecordingAdmission::isDualDisplay(*ac));
    QVERIFY(!RecordingAdmission::isDualDisplay(*dcv));
    QVERIFY(!RecordingAdmission::belongsOnSecondChart(*ac));
    QVERIFY(RecordingAdmission::belongsOnSecondChart(*dc));
    QVERIFY(!RecordingAdmission::belongsOnSecondChart(*dcv));

    DmmData unknown;
    unknown.setFunctionName(QStringLiteral("?"));
    QCOMPARE(RecordingAdmission::functionKey(unknown), QStringLiteral("?"));
    QVERIFY(!RecordingAdmission::belongsOnSecondChart(unknown));
}

void TestRecording::tableViewIsReadyForManyRows()
{
    auto *tv = m_rig->child<QTableView>("tv");
    QCOMPARE(tv->model()->columnCount(), 6);
    QList<int> widths;
    for (int column = 0; column < 6; ++column)
        widths << tv->columnWidth(column);
    QCOMPARE(widths, (QList<int>{50, 130, 60, 50, 60, 50}));
    QHeaderView *header = tv->horizontalHeader();
    QCOMPARE(header->defaultAlignment(), Qt::AlignCenter);
    QVERIFY(!header->sectionsClickable());
    QCOMPARE(tv->selectionBehavior(), QAbstractItemView::SelectRows);

    QHeaderView *rows = tv->verticalHeader();
    const QSize emptyHint = rows->sizeHint();
    for (int i = 0; i < 300; ++i)
        m_rig->deliver(2, QString::number(i));
    QCOMPARE(tv->model()->rowCount(), 300);
    for (int column = 0; column < 6; ++column)
        QVERIFY(header->sectionResizeMode(column) != QHeaderView::ResizeToContents);
    for (int row : {0, 150, 299}) {
        QCOMPARE(rows->sectionResizeMode(row), QHeaderView::Fixed);
        QCOMPARE(rows->sectionSize(row), rows->defaultSectionSize());
    }
    QVERIFY(rows->defaultSectionSize() >= tv->fontMetrics().height());
    // The header's width does not depend on the rows; its length covers them all.
    QCOMPARE(rows->sizeHint().width(), emptyHint.width());
    QVERIFY(emptyHint.width() > 0);
    QCOMPARE(rows->sizeHint().height(), 300 * rows->defaultSectionSize());
}

void TestRecording::chartsAreConfigured()
{
    for (const char *name : {"chart", "chart2"}) {
        DMMChart *c = chart(name);
        QCOMPARE(c->frameStyle(), int(QFrame::StyledPanel | QFrame::Plain));
        c->grab();
        // Left margin 88 and bottom margin 66 beside the chart's own top 40 and right 20.
        QVERIFY(c->width() > 200);
        QCOMPARE(c->plotArea(), QRect(88, 40, c->width() - 20 - 88, c->height() - 66 - 40));
    }
    QVERIFY(!chart("chart2")->isVisibleTo(m_rig->window.get()));
}

void TestRecording::fullTableRecordsNoMoreUntilDelete()
{
    limit(3);
    for (const char *value : {"1", "2", "3", "4", "5"})
        m_rig->deliver(2, QLatin1String(value));
    QCOMPARE(column(4), (QStringList{"1", "2", "3"}));
    QCOMPARE(points(), 3);
    // The panel goes on showing what is not recorded.
    QCOMPARE(m_rig->child<QLineEdit>("lcdPrimary")->text(), QStringLiteral("5"));

    deleteRecords(QMessageBox::Yes);
    QCOMPARE(table()->rowCount(), 0);
    QCOMPARE(points(), 0);
    m_rig->deliver(2, QStringLiteral("6"));
    QCOMPARE(column(0), QStringList{"1"});
    QCOMPARE(column(4), QStringList{"6"});

    // Switching Infinite on lets a full table grow again.
    m_rig->deliver(2, QStringLiteral("7"));
    m_rig->deliver(2, QStringLiteral("8"));
    m_rig->deliver(2, QStringLiteral("9"));
    QCOMPARE(table()->rowCount(), 3);
    m_rig->dmm()->setInfinite(true);
    m_rig->deliver(2, QStringLiteral("10"));
    QCOMPARE(column(0), (QStringList{"1", "2", "3", "4"}));
}

void TestRecording::deleteAsksFirst()
{
    m_rig->deliver(2, QStringLiteral("1"));
    m_rig->deliver(2, QStringLiteral("2"));
    SeenBox seen;
    deleteRecords(QMessageBox::No, &seen);
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.text, QStringLiteral("Are you sure you want to delete this data?"));
    QVERIFY(seen.title.isEmpty());
    QCOMPARE(seen.icon, QMessageBox::Question);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(table()->rowCount(), 2);
    QCOMPARE(points(), 2);

    deleteRecords(QMessageBox::Yes, &seen);
    QCOMPARE(seen.count, 2);
    QCOMPARE(table()->rowCount(), 0);
    // An empty table is asked about all the same.
    deleteRecords(QMessageBox::Yes, &seen);
    QCOMPARE(seen.count, 3);
}

void TestRecording::loweredSamplePointsKeepTheRows()
{
    limit(10);
    for (int i = 0; i < 5; ++i)
        m_rig->deliver(2, QString::number(i));
    m_rig->dmm()->setSamplePoints(2);
    m_rig->deliver(2, QStringLiteral("9"));
    QCOMPARE(column(4), (QStringList{"0", "1", "2", "3", "4"}));
    QCOMPARE(points(), 5);
}

void TestRecording::samplePointsZeroRecordsNothing()
{
    limit(0);
    for (quint8 function : {2, 2, 0, 6})
        m_rig->deliver(function);
    QCOMPARE(table()->rowCount(), 0);
    QCOMPARE(points(), 0);
    QCOMPARE(m_rig->child<QLineEdit>("lcdPrimary")->text(), QStringLiteral(" 1.234 "));
}

void TestRecording::skipRepeatKeepsLastValueAcrossDelete()
{
    m_rig->dmm()->setSkipRepeat(true);
    for (const char *value : {"1.234", "1.234", "1.235", "1.234"})
        m_rig->deliver(2, QLatin1String(value));
    QCOMPARE(column(4), (QStringList{"1.234", "1.235", "1.234"}));
    QCOMPARE(points(), 3);

    deleteRecords(QMessageBox::Yes);
    m_rig->deliver(2, QStringLiteral("1.234"));
    QCOMPARE(table()->rowCount(), 0);
    m_rig->deliver(2, QStringLiteral("1.235"));
    QCOMPARE(column(4), QStringList{"1.235"});
}

void TestRecording::functionChangeEmptiesTableAndChart()
{
    for (const char *value : {"1", "2", "3"})
        m_rig->deliver(2, QLatin1String(value));
    QCOMPARE(points(), 3);
    m_rig->deliver(0, QStringLiteral("4"));
    QCOMPARE(column(0), QStringList{"1"});
    QCOMPARE(column(2), QStringList{"ACV"});
    QCOMPARE(column(4), QStringList{"4"});
    QCOMPARE(points(), 1);
    m_rig->deliver(0, QStringLiteral("5"));
    QCOMPARE(column(0), (QStringList{"1", "2"}));

    // A change of function on a full table makes room for the new function.
    limit(2);
    m_rig->deliver(0, QStringLiteral("6"));
    QCOMPARE(table()->rowCount(), 2);
    m_rig->deliver(6, QStringLiteral("7"));
    QCOMPARE(column(4), QStringList{"7"});
}

void TestRecording::acPlusDcReadingsShareTheTableAndSplitTheCharts()
{
    m_rig->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_rig->window.get()));
    m_rig->deliver(2, QStringLiteral("0.5"));
    QVERIFY(!chart("chart2")->isVisible());

    const QString ac = QStringLiteral("AC");
    const QString dc = QStringLiteral("DC");
    m_rig->deliver(25, QStringLiteral("1"), ac);
    QVERIFY(chart("chart2")->isVisible());
    m_rig->deliver(25, QStringLiteral("2"), dc);
    m_rig->deliver(25, QStringLiteral("3"), ac);
    m_rig->deliver(25, QStringLiteral("4"), dc);
    m_rig->deliver(25, QStringLiteral("5"), dc);
    QCOMPARE(column(4), (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(column(2),
             (QStringList{"AC+DC: AC", "AC+DC: DC", "AC+DC: AC", "AC+DC: DC", "AC+DC: DC"}));
    QCOMPARE(points("chart"), 2);
    QCOMPARE(chart("chart")->line(0)->point(1).valueText(), QStringLiteral("3"));
    QCOMPARE(points("chart2"), 3);
    QCOMPARE(chart("chart2")->line(0)->point(0).valueText(), QStringLiteral("2"));

    m_rig->deliver(2, QStringLiteral("6"));
    QVERIFY(!chart("chart2")->isVisible());
    QCOMPARE(column(4), QStringList{"6"});
    QCOMPARE(points("chart"), 1);

    // Coming back to AC+DC clears the second chart as well.
    m_rig->deliver(25, QStringLiteral("7"), dc);
    QCOMPARE(points("chart"), 0);
    QCOMPARE(points("chart2"), 1);
}

void TestRecording::chartPointCarriesTheReading()
{
    DmmData *data = m_rig->reading(2, QStringLiteral("-0.012"));
    const QDateTime time = data->timestamp();
    m_rig->deliver(data);
    const ChartPoint point = chart()->line(0)->point(0);
    QCOMPARE(point.time(), time);
    QCOMPARE(point.value(), -0.012);
    QCOMPARE(point.valueText(), QStringLiteral("-0.012"));
    QCOMPARE(point.label().toString(), time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) +
                                           QStringLiteral(": DCV -0.012V"));
}

void TestRecording::chartScalesOnlyScaledFunctions()
{
    m_rig->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_rig->window.get()));
    // A resistance of a few thousand ohms is drawn in kilo-ohms, a voltage as it is.
    m_rig->deliver(6, QStringLiteral("4700"));
    chart()->grab();
    QCOMPARE(chart()->scale().prefix, QStringLiteral("k"));
    m_rig->deliver(2, QStringLiteral("4700"));
    chart()->grab();
    QCOMPARE(chart()->scale().prefix, QStringLiteral(" "));
    m_rig->deliver(6, QStringLiteral("4700"));
    chart()->grab();
    QCOMPARE(chart()->scale().prefix, QStringLiteral("k"));

    // The second chart never scales; the first follows the function's rule (AC+DC is not scaled).
    m_rig->deliver(25, QStringLiteral("4700"), QStringLiteral("DC"));
    chart("chart2")->grab();
    QCOMPARE(chart("chart2")->scale().prefix, QStringLiteral(" "));
}

void TestRecording::viewFollowsTheLastRow()
{
    m_rig->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_rig->window.get()));
    auto *tv = m_rig->child<QTableView>("tv");
    for (int i = 0; i < 200; ++i)
        m_rig->deliver(2, QString::number(i));
    QScrollBar *bar = tv->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(tv->rowAt(tv->viewport()->height() - 1), 199);
}

void TestRecording::everyReadingEndsUpOwned()
{
    // A recorded reading is taken over by the table, a refused one deleted: none survives.
    limit(1, true);
    QList<QPointer<DmmData>> readings;
    for (const char *value : {"1", "1", "2"}) {
        DmmData *data = m_rig->reading(2, QLatin1String(value));
        readings << data;
        m_rig->deliver(data);
    }
    QCOMPARE(table()->rowCount(), 1);
    for (const QPointer<DmmData> &reading : readings)
        QVERIFY(reading.isNull());
}

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
