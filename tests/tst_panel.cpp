#include "app/resourcebundle.h"
#include "display/panelcontent.h"
#include "tests/windowrig.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTableView>
#include <QtTest>

namespace {

// The picture a label shows; a null image when it shows none.
QImage shownImage(const QLabel *label)
{
    return label->pixmap(Qt::ReturnByValue).toImage();
}

// A bundle icon as the panel shows it: 16×16, unsmoothed.
QImage panelImage(const QString &path)
{
    return QPixmap(path).scaled(16, 16, Qt::IgnoreAspectRatio, Qt::FastTransformation).toImage();
}

} // namespace

class TestPanel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void contentFollowsTheReading_data();
    void contentFollowsTheReading();
    void maxMinTextIsShownUntrimmed();
    void readingWithoutTableRowIsOrdinary();

    void batteryIconIsSetUpHidden();
    void writesTextsOfTheReading();
    void iconsOfContinuityAndDiodeComeAndGo();
    void autoRangeFollowsFunctionAndManualRange();
    void annunciatorsAreSetThenCleared();
    void batteryIconFollowsTheReading();
    void couplingIsShownForAcPlusDcOnly();
    void nullReadingChangesNothing();

private:
    QLabel *label(const char *name) const { return m_rig->child<QLabel>(name); }
    QString text(const char *name) const { return label(name)->text(); }

    std::unique_ptr<WindowRig> m_rig;
};

void TestPanel::initTestCase()
{
    registerResources();
}

void TestPanel::init()
{
    m_rig = std::make_unique<WindowRig>();
}

void TestPanel::cleanup()
{
    m_rig.reset();
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
    const QString autoText = QStringLiteral("AUTO");
    QTest::newRow("DCV auto range") << 2 << false << ""
                                    << "" << int(Icon::None) << autoText << "";
    QTest::newRow("DCV manual range") << 2 << true << ""
                                      << "" << int(Icon::None) << ""
                                      << "";
    QTest::newRow("continuity") << 7 << false << ""
                                << "" << int(Icon::ShortCircuit) << ""
                                << "";
    QTest::newRow("diode") << 8 << false << ""
                           << "" << int(Icon::Diode) << ""
                           << "";
    QTest::newRow("NCV") << 20 << false << ""
                         << "" << int(Icon::None) << ""
                         << "";
    QTest::newRow("AC+DC") << 25 << false << ""
                           << "" << int(Icon::None) << autoText << "";
    QTest::newRow("resistance") << 6 << false << ""
                                << "" << int(Icon::None) << autoText << "";
    QTest::newRow("max over peak") << 2 << false << "MAX"
                                   << "P-MAX" << int(Icon::None) << autoText << "MAX";
    QTest::newRow("blank max/min gives peak") << 2 << false << "   "
                                              << "P-MIN" << int(Icon::None) << autoText << "P-MIN";
    QTest::newRow("peak alone") << 2 << false << ""
                                << "P-MAX" << int(Icon::None) << autoText << "P-MAX";
    QTest::newRow("min alone") << 2 << false << "MIN"
                               << "" << int(Icon::None) << autoText << "MIN";
}

void TestPanel::contentFollowsTheReading()
{
    QFETCH(int, function);
    QFETCH(bool, manualRange);
    QFETCH(QString, maxMin);
    QFETCH(QString, peak);
    QFETCH(int, icon);
    QFETCH(QString, autoRange);
    QFETCH(QString, extreme);

    std::unique_ptr<DmmData> data(m_rig->reading(quint8(function)));
    data->setManualRange(manualRange);
    data->setMaxMinText(maxMin);
    data->setPeakText(peak);
    const PanelContent panel = PanelContent::of(*data);
    QCOMPARE(int(panel.icon), icon);
    QCOMPARE(panel.autoRangeText, autoRange);
    QCOMPARE(panel.extremeText, extreme);
}

void TestPanel::maxMinTextIsShownUntrimmed()
{
    std::unique_ptr<DmmData> data(m_rig->reading(2));
    data->setMaxMinText(QStringLiteral(" MAX "));
    data->setPeakText(QStringLiteral("P-MIN"));
    QCOMPARE(PanelContent::of(*data).extremeText, QStringLiteral(" MAX "));
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

void TestPanel::batteryIconIsSetUpHidden()
{
    QLabel *battery = label("lcdFlagTop1");
    QVERIFY(!battery->isVisibleTo(m_rig->window.get()));
    const QImage expected = panelImage(QStringLiteral(":/image/xudianchi.png"));
    QVERIFY(!expected.isNull());
    QCOMPARE(shownImage(battery), expected);
    QVERIFY(shownImage(label("lcdFlagTop2")).isNull());
}

void TestPanel::writesTextsOfTheReading()
{
    DmmData *data = m_rig->reading(0, QStringLiteral(" -O.L  "));
    data->setMaxMinText(QStringLiteral("MIN"));
    m_rig->deliver(data);
    // The display text appears exactly as sent, blanks and overload included.
    QCOMPARE(m_rig->child<QLineEdit>("lcdPrimary")->text(), QStringLiteral(" -O.L  "));
    QCOMPARE(text("lcdUnit2"), QStringLiteral("V"));
    QCOMPARE(text("lcdLeftFlag1"), QStringLiteral("ACV"));
    QCOMPARE(text("lcdFlagBottom5"), QStringLiteral("MIN"));
    QCOMPARE(text("lcdFlagBottom1"), QStringLiteral("AUTO"));

    m_rig->deliver(3, QStringLiteral("-12.345"));
    QCOMPARE(m_rig->child<QLineEdit>("lcdPrimary")->text(), QStringLiteral("-12.345"));
    QCOMPARE(text("lcdUnit2"), QStringLiteral("mV"));
    QCOMPARE(text("lcdLeftFlag1"), QStringLiteral("DCmV"));
    QCOMPARE(text("lcdFlagBottom5"), QString());
    // The widgets no reading writes stay empty.
    for (const char *name : {"lcdFlagTop3", "lcdLeftFlag4", "lcdFlagBottom2", "lcdFlagBottom3",
                             "lcdUnit1", "lblUnit", "label"})
        QVERIFY2(text(name).isEmpty(), name);
}

void TestPanel::iconsOfContinuityAndDiodeComeAndGo()
{
    const QImage shortCircuit = panelImage(QStringLiteral(":/image/sc.png"));
    const QImage diode = panelImage(QStringLiteral(":/image/diode2.png"));
    QVERIFY(!shortCircuit.isNull());
    QVERIFY(shortCircuit != diode);
    QLabel *icon = label("lcdFlagTop2");

    m_rig->deliver(7);
    QCOMPARE(shownImage(icon), shortCircuit);
    m_rig->deliver(8);
    QCOMPARE(shownImage(icon), diode);
    m_rig->deliver(7);
    m_rig->deliver(6);
    QVERIFY(shownImage(icon).isNull());
    m_rig->deliver(8);
    m_rig->deliver(20);
    QVERIFY(shownImage(icon).isNull());
}

void TestPanel::autoRangeFollowsFunctionAndManualRange()
{
    DmmData *manual = m_rig->reading(2);
    manual->setManualRange(true);
    m_rig->deliver(manual);
    QCOMPARE(text("lcdFlagBottom1"), QString());
    m_rig->deliver(2);
    QCOMPARE(text("lcdFlagBottom1"), QStringLiteral("AUTO"));
    for (quint8 function : {7, 8, 20}) {
        m_rig->deliver(function);
        QVERIFY2(text("lcdFlagBottom1").isEmpty(), qPrintable(QString::number(function)));
        m_rig->deliver(2);
        QCOMPARE(text("lcdFlagBottom1"), QStringLiteral("AUTO"));
    }
}

void TestPanel::annunciatorsAreSetThenCleared()
{
    DmmData *flagged = m_rig->reading(2);
    flagged->setHold(true);
    flagged->setRelative(true);
    flagged->setPeakText(QStringLiteral("P-MAX"));
    m_rig->deliver(flagged);
    QCOMPARE(text("lcdLeftFlag2"), QStringLiteral("H"));
    QCOMPARE(text("lcdFlagBottom4"), QStringLiteral("Rel"));
    QCOMPARE(text("lcdFlagBottom5"), QStringLiteral("P-MAX"));

    m_rig->deliver(2);
    QCOMPARE(text("lcdLeftFlag2"), QString());
    QCOMPARE(text("lcdFlagBottom4"), QString());
    QCOMPARE(text("lcdFlagBottom5"), QString());
}

void TestPanel::batteryIconFollowsTheReading()
{
    m_rig->window->show();
    QLabel *battery = label("lcdFlagTop1");
    DmmData *low = m_rig->reading(2);
    low->setLowBattery(true);
    m_rig->deliver(low);
    QVERIFY(battery->isVisible());
    m_rig->deliver(2);
    QVERIFY(!battery->isVisible());
    // Its picture stays what the set-up gave it.
    QCOMPARE(shownImage(battery), panelImage(QStringLiteral(":/image/xudianchi.png")));
}

void TestPanel::couplingIsShownForAcPlusDcOnly()
{
    m_rig->deliver(25, QStringLiteral(" 1.234 "), QStringLiteral("DC"));
    QCOMPARE(text("lcdLeftFlag3"), QStringLiteral("DC"));
    QCOMPARE(text("lcdLeftFlag1"), QStringLiteral("AC+DC: DC"));
    m_rig->deliver(25, QStringLiteral(" 1.234 "), QStringLiteral("AC"));
    QCOMPARE(text("lcdLeftFlag3"), QStringLiteral("AC"));
    m_rig->deliver(2);
    QCOMPARE(text("lcdLeftFlag3"), QString());
    QCOMPARE(text("lcdLeftFlag1"), QStringLiteral("DCV"));
}

void TestPanel::nullReadingChangesNothing()
{
    DmmData *data = m_rig->reading(7, QStringLiteral("  O.L  "));
    data->setHold(true);
    m_rig->deliver(data);
    auto *table = m_rig->child<QTableView>("tv");
    QCOMPARE(table->model()->rowCount(), 1);

    m_rig->deliver(nullptr);
    QCOMPARE(m_rig->child<QLineEdit>("lcdPrimary")->text(), QStringLiteral("  O.L  "));
    QCOMPARE(text("lcdLeftFlag1"), QStringLiteral("Short-Circuit"));
    QCOMPARE(text("lcdLeftFlag2"), QStringLiteral("H"));
    QCOMPARE(shownImage(label("lcdFlagTop2")), panelImage(QStringLiteral(":/image/sc.png")));
    QCOMPARE(table->model()->rowCount(), 1);
}

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
