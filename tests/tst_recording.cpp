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

    void admissionFollowsCapacityAndRepeats_data();
    void admissionFollowsCapacityAndRepeats();
    void functionChangesAreNoticedOnce();

    void tableViewIsReadyForManyRows();
    void chartsAreConfigured();
    void fullTableRecordsNoMoreUntilDelete();
    void deleteAsksFirst();
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
    // The table's rows as "number:value", then the first chart's point count.
    QString recorded() const;
    // Hands the window readings of the function with the values, separated by blanks.
    void feed(const char *values, quint8 function = 2) const;
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

QString TestRecording::recorded() const
{
    QStringList rows;
    for (int row = 0; row < table()->rowCount(); ++row)
        rows << table()->index(row, 0).data().toString() + ':' +
                    table()->index(row, 4).data().toString();
    return rows.join(' ') + QStringLiteral(" | %1").arg(points());
}

void TestRecording::feed(const char *values, quint8 function) const
{
    for (const QString &value : QString::fromLatin1(values).split(' '))
        m_rig->deliver(function, value);
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

void TestRecording::admissionFollowsCapacityAndRepeats_data()
{
    QTest::addColumn<QString>("limits"); // sample points, infinite, skip repeat
    // Offers of "value text@rows in the table", with the verdict each gets: + recorded,
    // F table full, R repeated.
    QTest::addColumn<QString>("offers");
    QTest::addColumn<QString>("verdicts");
    QTest::newRow("room left, full, over the limit") << "3 0 0"
                                                     << "1@2 1@3 1@7"
                                                     << "+FF";
    QTest::newRow("no room at all") << "0 0 0"
                                    << "1@0"
                                    << "F";
    QTest::newRow("infinite ignores the limit") << "3 1 0"
                                                << "1@7 1@0"
                                                << "++";
    QTest::newRow("infinite with zero") << "0 1 0"
                                        << "1@0"
                                        << "+";
    QTest::newRow("repeats only of the exact text")
        << "1000 1 1"
        << "1.234@0 1.234@0 1.235@0 1.234@0 _1.234@0 1.234_@0"
        << "+R++++";
    QTest::newRow("repeats kept without skipping") << "1000 1 0"
                                                   << "1.234@0 1.234@1"
                                                   << "++";
    QTest::newRow("a refused value is not remembered") << "3 0 1"
                                                       << "1@0 2@3 2@0 2@1"
                                                       << "+F+R";
}

void TestRecording::admissionFollowsCapacityAndRepeats()
{
    QFETCH(QString, limits);
    QFETCH(QString, offers);
    const QStringList numbers = limits.split(' ');
    const RecordingAdmission::Limits bounds{numbers.at(0).toInt(), numbers.at(1) == "1",
                                            numbers.at(2) == "1"};
    RecordingAdmission admission;
    QString verdicts;
    for (const QString &offer : offers.split(' ')) {
        // An underscore stands for a blank.
        const QString text = offer.section('@', 0, 0).replace('_', ' ');
        switch (admission.admit(text, offer.section('@', 1).toInt(), bounds)) {
        case RecordingAdmission::Verdict::Record:
            verdicts += '+';
            break;
        case RecordingAdmission::Verdict::TableFull:
            verdicts += 'F';
            break;
        case RecordingAdmission::Verdict::Repeated:
            verdicts += 'R';
            break;
        }
    }
    QTEST(verdicts, "verdicts");
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

    // The AC+DC couplings are one function; only its DC part goes on the second chart.
    const auto describe = [](const DmmData &reading) {
        return QStringLiteral("%1 %2 %3")
            .arg(RecordingAdmission::functionKey(reading))
            .arg(RecordingAdmission::isDualDisplay(reading))
            .arg(RecordingAdmission::belongsOnSecondChart(reading));
    };
    std::unique_ptr<DmmData> ac(m_rig->reading(25, QStringLiteral("1.0"), QStringLiteral("AC")));
    std::unique_ptr<DmmData> dc(m_rig->reading(25, QStringLiteral("1.0"), QStringLiteral("DC")));
    std::unique_ptr<DmmData> dcv(m_rig->reading(2));
    DmmData unknown;
    unknown.setFunctionName(QStringLiteral("?"));
    QCOMPARE(describe(*ac), QStringLiteral("AC+DC 1 0"));
    QCOMPARE(describe(*dc), QStringLiteral("AC+DC 1 1"));
    QCOMPARE(describe(*dcv), QStringLiteral("DCV 0 0"));
    QCOMPARE(describe(unknown), QStringLiteral("? 0 0"));
}

void TestRecording::tableViewIsReadyForManyRows()
{
    auto *tv = m_rig->child<QTableView>("tv");
    QHeaderView *header = tv->horizontalHeader();
    QCOMPARE(header->defaultAlignment(), Qt::AlignCenter);
    QVERIFY(!header->sectionsClickable());
    QCOMPARE(tv->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(tv->columnWidth(1), 130);
    // No size is measured from the rows' contents, so many rows cost nothing to lay out.
    QHeaderView *rows = tv->verticalHeader();
    const int emptyWidth = rows->sizeHint().width();
    for (int i = 0; i < 300; ++i)
        m_rig->deliver(2, QString::number(i));
    for (int column = 0; column < 6; ++column)
        QVERIFY(header->sectionResizeMode(column) != QHeaderView::ResizeToContents);
    QCOMPARE(rows->sectionResizeMode(150), QHeaderView::Fixed);
    QVERIFY(rows->defaultSectionSize() >= tv->fontMetrics().height());
    QCOMPARE(rows->sizeHint(), QSize(emptyWidth, 300 * rows->defaultSectionSize()));
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
    feed("1 2 3 4 5");
    QCOMPARE(recorded(), QStringLiteral("1:1 2:2 3:3 | 3"));
    // The panel goes on showing what is not recorded.
    QCOMPARE(m_rig->child<QLineEdit>("lcdPrimary")->text(), QStringLiteral("5"));
    deleteRecords(QMessageBox::Yes);
    QCOMPARE(recorded(), QStringLiteral(" | 0"));
    feed("6 7 8 9");
    QCOMPARE(recorded(), QStringLiteral("1:6 2:7 3:8 | 3"));
    // Switching Infinite on lets a full table grow again.
    m_rig->dmm()->setInfinite(true);
    feed("10");
    QCOMPARE(recorded(), QStringLiteral("1:6 2:7 3:8 4:10 | 4"));
    // A lowered capacity keeps the rows there are.
    limit(2);
    feed("11");
    QCOMPARE(recorded(), QStringLiteral("1:6 2:7 3:8 4:10 | 4"));
    // No room at all records nothing, the panel shows all the same.
    deleteRecords(QMessageBox::Yes);
    limit(0);
    feed("12");
    feed("13", 6);
    QCOMPARE(recorded(), QStringLiteral(" | 0"));
    QCOMPARE(m_rig->child<QLineEdit>("lcdPrimary")->text(), QStringLiteral("13"));
}

void TestRecording::deleteAsksFirst()
{
    feed("1 2");
    SeenBox seen;
    deleteRecords(QMessageBox::No, &seen);
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.text, QStringLiteral("Are you sure you want to delete this data?"));
    QVERIFY(seen.title.isEmpty());
    QCOMPARE(seen.icon, QMessageBox::Question);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(recorded(), QStringLiteral("1:1 2:2 | 2"));
    deleteRecords(QMessageBox::Yes, &seen);
    QCOMPARE(recorded(), QStringLiteral(" | 0"));
    // An empty table is asked about all the same.
    deleteRecords(QMessageBox::Yes, &seen);
    QCOMPARE(seen.count, 3);
}

void TestRecording::skipRepeatKeepsLastValueAcrossDelete()
{
    m_rig->dmm()->setSkipRepeat(true);
    feed("1.234 1.234 1.235 1.234");
    QCOMPARE(recorded(), QStringLiteral("1:1.234 2:1.235 3:1.234 | 3"));
    deleteRecords(QMessageBox::Yes);
    feed("1.234 1.235");
    QCOMPARE(recorded(), QStringLiteral("1:1.235 | 1"));
}

void TestRecording::functionChangeEmptiesTableAndChart()
{
    feed("1 2 3");
    feed("4 5", 0);
    QCOMPARE(recorded(), QStringLiteral("1:4 2:5 | 2"));
    QCOMPARE(column(2), (QStringList{"ACV", "ACV"}));
    // A change of function on a full table makes room for the new function.
    limit(2);
    feed("6", 0);
    feed("7", 6);
    QCOMPARE(recorded(), QStringLiteral("1:7 | 1"));
}

void TestRecording::acPlusDcReadingsShareTheTableAndSplitTheCharts()
{
    m_rig->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_rig->window.get()));
    feed("0.5");
    QVERIFY(!chart("chart2")->isVisible());
    int number = 0;
    for (const char *coupling : {"AC", "DC", "AC", "DC", "DC"})
        m_rig->deliver(25, QString::number(++number), QLatin1String(coupling));
    QVERIFY(chart("chart2")->isVisible());
    QCOMPARE(recorded(), QStringLiteral("1:1 2:2 3:3 4:4 5:5 | 2"));
    QCOMPARE(column(2),
             (QStringList{"AC+DC: AC", "AC+DC: DC", "AC+DC: AC", "AC+DC: DC", "AC+DC: DC"}));
    QCOMPARE(chart("chart")->line(0)->point(1).valueText(), QStringLiteral("3"));
    QCOMPARE(points("chart2"), 3);
    QCOMPARE(chart("chart2")->line(0)->point(0).valueText(), QStringLiteral("2"));

    feed("6");
    QVERIFY(!chart("chart2")->isVisible());
    QCOMPARE(recorded(), QStringLiteral("1:6 | 1"));
    // Coming back to AC+DC clears the second chart as well.
    m_rig->deliver(25, QStringLiteral("7"), QStringLiteral("DC"));
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
    QString prefixes;
    for (const quint8 function : {6, 2, 6}) {
        m_rig->deliver(function, QStringLiteral("4700"));
        chart()->grab();
        prefixes += chart()->scale().prefix;
    }
    QCOMPARE(prefixes, QStringLiteral("k k"));

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
