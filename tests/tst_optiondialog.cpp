#include "app/optiondialog.h"
#include "app/resourcebundle.h"
#include "app/settingsfile.h"
#include "app/widget.h"
#include "meter/deviceselector.h"
#include "meter/mydmm.h"
#include "tests/fakelink.h"
#include "tests/modalboxes.h"
#include "tests/scratchsettings.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>
#include <memory>

namespace {

const QString kRestartText =
    QStringLiteral("Please restart application for translation to take effect.");

template<typename T> T *part(const QObject *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1String(name));
}

QComboBox *languageBox(const OptionDialog *dialog)
{
    return part<QComboBox>(dialog, "cbbLanguage");
}

void press(OptionDialog *dialog, const char *button)
{
    part<QPushButton>(dialog, button)->click();
}

// What the dialog shows: sample points (locked while infinite), infinite, sample rate text and
// skip repeat.
QString shown(const OptionDialog *dialog)
{
    return QStringLiteral("%1%2 %3 %4 %5")
        .arg(dialog->sbSamplePoints->value())
        .arg(dialog->sbSamplePoints->isEnabled() ? "" : " locked")
        .arg(dialog->chkInfinite->isChecked())
        .arg(dialog->sbSampleRate->text())
        .arg(dialog->chkSkipRepeat->isChecked());
}

void edit(OptionDialog *dialog, int samplePoints, int sampleRate)
{
    dialog->sbSamplePoints->setValue(samplePoints);
    dialog->chkInfinite->setChecked(false);
    dialog->sbSampleRate->setValue(sampleRate);
    dialog->chkSkipRepeat->setChecked(true);
}

// What sits in each row of the dialog's grid, column by column: a label's text, a widget's
// object name, or "-" for an empty cell.
QStringList gridRow(const QGridLayout *grid, int row)
{
    QStringList cells;
    for (int column = 0; column < 3; ++column) {
        QLayoutItem *item = grid->itemAtPosition(row, column);
        const QWidget *widget = item ? item->widget() : nullptr;
        if (!widget)
            cells << QStringLiteral("-");
        else if (auto *label = qobject_cast<const QLabel *>(widget))
            cells << QStringLiteral("'%1'").arg(label->text());
        else
            cells << widget->objectName();
    }
    return cells;
}

} // namespace

class TestOptionDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void gridHoldsItsRows_data();
    void gridHoldsItsRows();
    void restartMessageOnlyForAChangedLanguage();

    void dialogOpensWithDriverValues();
    void outOfRangeValuesAreClampedAndStored();
    void rejectingDiscardsEveryChange_data();
    void rejectingDiscardsEveryChange();
    void acceptedValuesReachTheDriver_data();
    void acceptedValuesReachTheDriver();
    void acceptedLanguageIsMappedToItsCode_data();
    void acceptedLanguageIsMappedToItsCode();

private:
    // Opens the options through the window's action, lets edit change the dialog, then ends
    // it through end.
    void runOptions(Widget &window, const std::function<void(OptionDialog *)> &edit,
                    const std::function<void(OptionDialog *)> &end);

    std::unique_ptr<ScratchSettings> m_settings;
    SeenBox m_seen;
    std::unique_ptr<QTimer> m_dismisser;
};

void TestOptionDialog::initTestCase()
{
    registerResources();
}

void TestOptionDialog::init()
{
    m_settings = std::make_unique<ScratchSettings>();
    QVERIFY(m_settings->isValid());
    m_seen = SeenBox();
    m_dismisser = dismissMessageBoxes(&m_seen);
}

void TestOptionDialog::cleanup()
{
    m_dismisser.reset();
}

void TestOptionDialog::runOptions(Widget &window, const std::function<void(OptionDialog *)> &edit,
                                  const std::function<void(OptionDialog *)> &end)
{
    bool handled = false;
    const auto handler = handleModalDialog<OptionDialog>([&](OptionDialog *dialog) {
        handled = true;
        edit(dialog);
        end(dialog);
    });
    window.findChild<QAction *>(QStringLiteral("actionOption"))->trigger();
    QVERIFY(handled);
    // The dialog lives only while it runs.
    QVERIFY(!window.findChild<OptionDialog *>());
}

void TestOptionDialog::gridHoldsItsRows_data()
{
    QTest::addColumn<bool>("fixedLanguage");
    QTest::addColumn<QList<QStringList>>("rows");
    const QList<QStringList> sampling = {
        {"'Sample points'", "sbSamplePoints", "chkInfinite"},
        {"'Sample rate'", "sbSampleRate", "-"},
        {"'Skip repeat reading'", "chkSkipRepeat", "-"},
    };
    QTest::newRow("language can change")
        << false
        << (QList<QStringList>{{"'Language'", "cbbLanguage", "-"}, {"-", "''", "-"}} + sampling);
    QTest::newRow("language fixed") << true << sampling;
}

void TestOptionDialog::gridHoldsItsRows()
{
    QFETCH(bool, fixedLanguage);
    QFETCH(QList<QStringList>, rows);
    OptionDialog dialog(fixedLanguage);
    auto *grid = dialog.findChild<QGridLayout *>();
    QVERIFY(grid);
    QCOMPARE(grid->rowCount(), rows.size());
    for (int row = 0; row < rows.size(); ++row)
        QCOMPARE(gridRow(grid, row), rows.at(row));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Options"));
    QCOMPARE(dialog.chkInfinite->text(), QStringLiteral("Infinite"));
    // The hidden language box still belongs to the dialog.
    QCOMPARE(languageBox(&dialog)->parent(), &dialog);
    QCOMPARE(languageBox(&dialog)->isVisible(), !fixedLanguage);
    const auto *ok = part<QPushButton>(&dialog, "btnOk");
    const auto *cancel = part<QPushButton>(&dialog, "btnCancel");
    QCOMPARE(ok->text() + cancel->text(), QStringLiteral("OkCancel"));
    QVERIFY(ok->geometry().right() < cancel->geometry().left());
    QVERIFY2(ok->geometry().left() > dialog.width() / 3, "the buttons sit at the right");
}

void TestOptionDialog::restartMessageOnlyForAChangedLanguage()
{
    OptionDialog dialog(false);
    QCOMPARE(languageBox(&dialog)->itemText(0), QStringLiteral("English"));
    QCOMPARE(languageBox(&dialog)->itemText(1), QStringLiteral("Chinese"));
    // Setting the index the dialog opens on raises no message.
    dialog.setLanguageIndex(1);
    QCOMPARE(dialog.languageIndex(), 1);
    QCOMPARE(m_seen.count, 0);

    languageBox(&dialog)->setCurrentIndex(0);
    QCOMPARE(m_seen.count, 1);
    QCOMPARE(m_seen.text, kRestartText);
    QVERIFY(m_seen.title.isEmpty());
    QCOMPARE(m_seen.icon, QMessageBox::Information);
    QCOMPARE(m_seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(dialog.languageIndex(), 0);
    // Back to where it opened is no change; away again is.
    languageBox(&dialog)->setCurrentIndex(1);
    QCOMPARE(m_seen.count, 1);
    languageBox(&dialog)->setCurrentIndex(0);
    QCOMPARE(m_seen.count, 2);
}

void TestOptionDialog::dialogOpensWithDriverValues()
{
    Widget window;
    MyDmm *dmm = window.driver();
    dmm->setSamplePoints(321);
    dmm->setInfinite(false);
    dmm->setSampleRate(0);
    dmm->setSkipRepeat(true);
    const auto cancel = [](OptionDialog *dialog) { press(dialog, "btnCancel"); };
    runOptions(
        window,
        [](OptionDialog *dialog) { QCOMPARE(shown(dialog), QStringLiteral("321 0 0mS 1")); },
        cancel);
    dmm->setInfinite(true);
    runOptions(
        window,
        [](OptionDialog *dialog) {
            QCOMPARE(shown(dialog), QStringLiteral("321 locked 1 0mS 1"));
            dialog->chkInfinite->setChecked(false);
            QCOMPARE(shown(dialog), QStringLiteral("321 0 0mS 1"));
        },
        cancel);
    QVERIFY(dmm->isInfinite());
}

void TestOptionDialog::outOfRangeValuesAreClampedAndStored()
{
    Widget window;
    // A settings file may hold 0 points (any text that is not a number reads so).
    window.driver()->setSamplePoints(0);
    window.driver()->setSampleRate(std::numeric_limits<int>::max());
    runOptions(
        window, [](OptionDialog *) {}, [](OptionDialog *dialog) { press(dialog, "btnOk"); });
    QCOMPARE(driverValues(*window.driver()), QStringLiteral("1 1 2147483647 0"));
}

void TestOptionDialog::rejectingDiscardsEveryChange_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("Cancel") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close button") << 2;
}

void TestOptionDialog::rejectingDiscardsEveryChange()
{
    QFETCH(int, way);
    QVERIFY(m_settings->write("<options><Language>EN</Language></options>"));
    Widget window;
    runOptions(
        window,
        [](OptionDialog *dialog) {
            edit(dialog, 5, 70);
            languageBox(dialog)->setCurrentIndex(1);
        },
        [way](OptionDialog *dialog) {
            if (way == 0)
                press(dialog, "btnCancel");
            else if (way == 1)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                dialog->close();
        });
    // The restart message was shown, yet the choice is gone.
    QCOMPARE(m_seen.texts, QStringList{kRestartText});
    QCOMPARE(driverValues(*window.driver()), QStringLiteral("1000 1 1000 0"));
    QVERIFY(window.close());
    QCOMPARE(m_settings->valuesOf({"Language"}), QStringLiteral("Language=EN"));
}

void TestOptionDialog::acceptedValuesReachTheDriver_data()
{
    QTest::addColumn<int>("sampleRate");
    QTest::newRow("new period") << 250;
    QTest::newRow("every reply") << 0;
}

void TestOptionDialog::acceptedValuesReachTheDriver()
{
    QFETCH(int, sampleRate);
    Widget window;
    window.deviceLink()->setLinkFactory(
        [](const QString &, const LinkSettings &, QString *) { return new FakeLink({}); });
    MyDmm *dmm = window.driver();
    QVERIFY(dmm->open());
    QVERIFY(dmm->sampleTimerId() != 0);
    runOptions(
        window, [sampleRate](OptionDialog *dialog) { edit(dialog, 321, sampleRate); },
        [](OptionDialog *dialog) { press(dialog, "btnOk"); });
    QCOMPARE(driverValues(*dmm), QStringLiteral("321 0 %1 1").arg(sampleRate));
    // The open link's sample timer runs at once with the new period, or not at all for 0.
    const QList<QAbstractEventDispatcher::TimerInfo> timers =
        QAbstractEventDispatcher::instance()->registeredTimers(dmm);
    QCOMPARE(timers.size(), sampleRate == 0 ? 0 : 1);
    QCOMPARE(dmm->sampleTimerId(), timers.isEmpty() ? 0 : timers.first().timerId);
    if (!timers.isEmpty())
        QCOMPARE(timers.first().interval, sampleRate);
    dmm->close();
}

void TestOptionDialog::acceptedLanguageIsMappedToItsCode_data()
{
    QTest::addColumn<bool>("fixedLanguage");
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("openedOn");
    QTest::addColumn<int>("choice");
    QTest::addColumn<QString>("saved");

    // A choice of -1 leaves the box alone.
    QTest::newRow("English kept") << false << "EN" << 0 << -1 << "EN";
    QTest::newRow("empty becomes English") << false << "" << 0 << -1 << "EN";
    QTest::newRow("Chinese kept") << false << "OTHER" << 1 << -1 << "OTHER";
    QTest::newRow("Chinese chosen") << false << "" << 0 << 1 << "OTHER";
    QTest::newRow("English chosen") << false << "OTHER" << 1 << 0 << "EN";
    QTest::newRow("lower-case other opens as English") << false << "other" << 0 << -1 << "EN";
    QTest::newRow("fixed Chinese stays") << true << "OTHER" << 1 << -1 << "OTHER";
    QTest::newRow("fixed other code becomes English") << true << "xyz" << 0 << -1 << "EN";
    QTest::newRow("fixed empty becomes English") << true << "" << 0 << -1 << "EN";
}

void TestOptionDialog::acceptedLanguageIsMappedToItsCode()
{
    QFETCH(bool, fixedLanguage);
    QFETCH(QString, language);
    QFETCH(int, openedOn);
    QFETCH(int, choice);
    QVERIFY(m_settings->write(QStringLiteral("<options><FixedLanguage>%1</FixedLanguage>"
                                             "<Language>%2</Language></options>")
                                  .arg(int(fixedLanguage))
                                  .arg(language)
                                  .toUtf8()));
    Widget window;
    window.show();
    runOptions(
        window,
        [&](OptionDialog *dialog) {
            QCOMPARE(languageBox(dialog)->isVisible(), !fixedLanguage);
            QCOMPARE(languageBox(dialog)->currentIndex(), openedOn);
            if (choice >= 0)
                languageBox(dialog)->setCurrentIndex(choice);
        },
        [](OptionDialog *dialog) { press(dialog, "btnOk"); });
    QCOMPARE(m_seen.count, choice >= 0 ? 1 : 0); // every choice below is a change
    QVERIFY(window.close());
    QTEST(m_settings->values().value("Language"), "saved");
}

QTEST_MAIN(TestOptionDialog)
#include "tst_optiondialog.moc"
