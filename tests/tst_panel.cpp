#include "app/resourcebundle.h"
#include "display/panelcontent.h"
#include "tests/windowrig.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTableView>
#include <QtTest>

namespace {

// A bundle icon as the panel shows it: 16×16, unsmoothed.
QImage panelImage(const QString &path)
{
    return QPixmap(path).scaled(16, 16, Qt::IgnoreAspectRatio, Qt::FastTransformation).toImage();
}

} // namespace

// The reading panel: what it shows for a reading, and how the window's panel widgets show it.
class TestPanel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void contentFollowsTheReading_data();
    void contentFollowsTheReading();
    void readingWithoutTableRowIsOrdinary();
    void widgetsShowTheReadingAndClearAfterIt_data();
    void widgetsShowTheReadingAndClearAfterIt();
    void nullReadingChangesNothing();

private:
    QString text(const char *name) const { return m_rig->child<QLabel>(name)->text(); }
    // Everything the panel widgets show: value|unit|function|hold|coupling|auto|rel|extreme,
    // then the icon beside the value and the battery icon when they are up.
    QString shown() const;

    std::unique_ptr<WindowRig> m_rig;
};

void TestPanel::initTestCase()
{
    registerResources();
}

void TestPanel::init()
{
    m_rig = std::make_unique<WindowRig>();
    m_rig->window->show();
}

void TestPanel::cleanup()
{
    m_rig.reset();
}

QString TestPanel::shown() const
{
    QStringList texts{m_rig->child<QLineEdit>("lcdPrimary")->text()};
    for (const char *name : {"lcdUnit2", "lcdLeftFlag1", "lcdLeftFlag2", "lcdLeftFlag3",
                             "lcdFlagBottom1", "lcdFlagBottom4", "lcdFlagBottom5"})
        texts << text(name);
    const QImage icon = m_rig->child<QLabel>("lcdFlagTop2")->pixmap(Qt::ReturnByValue).toImage();
    if (!icon.isNull())
        texts << (icon == panelImage(":/image/sc.png")       ? "continuity icon"
                  : icon == panelImage(":/image/diode2.png") ? "diode icon"
                                                             : "other icon");
    const QLabel *battery = m_rig->child<QLabel>("lcdFlagTop1");
    // The battery icon keeps the picture the set-up gave it, and is shown or hidden.
    if (battery->pixmap(Qt::ReturnByValue).toImage() != panelImage(":/image/xudianchi.png"))
        texts << "battery picture lost";
    if (battery->isVisible())
        texts << "battery icon";
    return texts.join(QLatin1Char('|'));
}

void TestPanel::contentFollowsTheReading_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<bool>("manualRange");
    QTest::addColumn<QString>("maxMin");
    QTest::addColumn<QString>("peak");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("autoRange");
    QTest::addColumn<QString>("extreme");
    using Icon = PanelContent::Icon;
    const auto row = [](const char *name, int function, bool manualRange, const char *maxMin,
                        const char *peak, Icon icon, const char *autoRange, const char *extreme) {
        QTest::newRow(name) << function << manualRange << QString(maxMin) << QString(peak)
                            << int(icon) << QString(autoRange) << QString(extreme);
    };
    row("DCV auto range", 2, false, "", "", Icon::None, "AUTO", "");
    row("DCV manual range", 2, true, "", "", Icon::None, "", "");
    row("continuity", 7, false, "", "", Icon::ShortCircuit, "", "");
    row("diode", 8, false, "", "", Icon::Diode, "", "");
    row("NCV", 20, false, "", "", Icon::None, "", "");
    row("AC+DC", 25, false, "", "", Icon::None, "AUTO", "");
    row("resistance", 6, false, "", "", Icon::None, "AUTO", "");
    row("max over peak", 2, false, "MAX", "P-MAX", Icon::None, "AUTO", "MAX");
    row("max/min shown untrimmed", 2, false, " MAX ", "P-MIN", Icon::None, "AUTO", " MAX ");
    row("blank max/min gives peak", 2, false, "   ", "P-MIN", Icon::None, "AUTO", "P-MIN");
    row("peak alone", 2, false, "", "P-MAX", Icon::None, "AUTO", "P-MAX");
    row("min alone", 2, false, "MIN", "", Icon::None, "AUTO", "MIN");
}

void TestPanel::contentFollowsTheReading()
{
    QFETCH(int, function);
    QFETCH(bool, manualRange);
    QFETCH(QString, maxMin);
    QFETCH(QString, peak);
    std::unique_ptr<DmmData> data(m_rig->reading(quint8(function)));
    data->setManualRange(manualRange);
    data->setMaxMinText(maxMin);
    data->setPeakText(peak);
    const PanelContent panel = PanelContent::of(*data);
    QTEST(int(panel.icon), "icon");
    QTEST(panel.autoRangeText, "autoRange");
    QTEST(panel.extremeText, "extreme");
}

void TestPanel::readingWithoutTableRowIsOrdinary()
{
    DmmData data;
    data.setValueText(QStringLiteral(" 0.000 "));
    const PanelContent panel = PanelContent::of(data);
    QCOMPARE(panel.valueText, QStringLiteral(" 0.000 "));
    QCOMPARE(panel.icon, PanelContent::Icon::None);
    QCOMPARE(panel.autoRangeText, QStringLiteral("AUTO"));
}

void TestPanel::widgetsShowTheReadingAndClearAfterIt_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("coupling");
    QTest::addColumn<bool>("flagged"); // hold, relative, max/min, manual range, low battery
    QTest::addColumn<QString>("shown");
    // The display text appears exactly as sent, blanks and overload included.
    QTest::newRow("ACV, overload") << 0 << " -O.L  "
                                   << "" << false << " -O.L  |V|ACV|||AUTO||";
    QTest::newRow("DCmV, every annunciator")
        << 3 << "-12.345"
        << "" << true << "-12.345|mV|DCmV|H|||Rel|MIN|battery icon";
    QTest::newRow("continuity") << 7 << "  O.L  "
                                << "" << false << "  O.L  |Ω|Short-Circuit||||||continuity icon";
    QTest::newRow("diode") << 8 << " 0.500 "
                           << "" << false << " 0.500 |V|Diode||||||diode icon";
    QTest::newRow("NCV") << 20 << " ----  "
                         << "" << false << " ----  ||NCV|||||";
    QTest::newRow("AC+DC, DC part") << 25 << " 1.234 "
                                    << "DC" << false << " 1.234 |V|AC+DC: DC||DC|AUTO||";
    QTest::newRow("AC+DC, AC part") << 25 << " 1.234 "
                                    << "AC" << false << " 1.234 |V|AC+DC: AC||AC|AUTO||";
}

void TestPanel::widgetsShowTheReadingAndClearAfterIt()
{
    QFETCH(int, function);
    QFETCH(QString, value);
    QFETCH(QString, coupling);
    QFETCH(bool, flagged);
    QCOMPARE(shown(), QStringLiteral("|||||||"));
    DmmData *data = m_rig->reading(quint8(function), value, coupling);
    if (flagged) {
        data->setHold(true);
        data->setRelative(true);
        data->setMaxMinText(QStringLiteral("MIN"));
        data->setManualRange(true);
        data->setLowBattery(true);
    }
    m_rig->deliver(data);
    QTEST(shown(), "shown");
    // An ordinary DC voltage reading afterwards clears what the first set.
    m_rig->deliver(2);
    QCOMPARE(shown(), QStringLiteral(" 1.234 |V|DCV|||AUTO||"));
    // The widgets no reading writes stay empty.
    for (const char *name : {"lcdFlagTop3", "lcdLeftFlag4", "lcdFlagBottom2", "lcdFlagBottom3",
                             "lcdUnit1", "lblUnit", "label"})
        QVERIFY2(text(name).isEmpty(), name);
}

void TestPanel::nullReadingChangesNothing()
{
    DmmData *data = m_rig->reading(7, QStringLiteral("  O.L  "));
    data->setHold(true);
    m_rig->deliver(data);
    const QString before = shown();
    auto *table = m_rig->child<QTableView>("tv");
    QCOMPARE(table->model()->rowCount(), 1);
    m_rig->deliver(nullptr);
    QCOMPARE(shown(), before);
    QCOMPARE(table->model()->rowCount(), 1);
}

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
