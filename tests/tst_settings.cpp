#include "app/optiondialog.h"
#include "app/resourcebundle.h"
#include "app/settingsfile.h"
#include "app/widget.h"
#include "meter/deviceselector.h"
#include "meter/mydmm.h"
#include "tests/fakelink.h"
#include "tests/modalboxes.h"
#include "tests/scratchsettings.h"
#include "tests/testfiles.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>
#include <csignal>
#include <limits>

namespace {

const QString kRestartText =
    QStringLiteral("Please restart application for translation to take effect.");

QComboBox *languageBox(const QDialog *dialog)
{
    return dialog->findChild<QComboBox *>(QStringLiteral("cbbLanguage"));
}

// Whether the process has a handler of its own for the signal.
bool catchesSignal(qint64 pid, int signalNumber)
{
    const QByteArray status = testfiles::readAll(QStringLiteral("/proc/%1/status").arg(pid));
    const int at = status.indexOf("SigCgt:");
    return at >= 0 &&
           (status.mid(at + 7, 17).trimmed().toULongLong(nullptr, 16) >> (signalNumber - 1)) & 1;
}

void useFakeLinks(Widget &window)
{
    window.deviceLink()->setLinkFactory(
        [](const QString &, const LinkSettings &, QString *) { return new FakeLink({}); });
}

} // namespace

// The settings file and the Options dialog: what the window reads, edits and writes, and when.
class TestSettings : public QObject
{
    Q_OBJECT
    std::unique_ptr<ScratchSettings> m_settings;
    SeenBox m_seen;
    std::unique_ptr<QTimer> m_dismisser;

    // Opens the options through the window's action, lets edit work, then presses the button.
    void runOptions(Widget &window, const std::function<void(OptionDialog *)> &edit,
                    const char *button = "btnOk")
    {
        bool handled = false;
        const auto handler = handleModalDialog<OptionDialog>([&](OptionDialog *dialog) {
            handled = true;
            edit(dialog);
            dialog->findChild<QPushButton *>(QLatin1String(button))->click();
        });
        window.findChild<QAction *>(QStringLiteral("actionOption"))->trigger();
        QVERIFY(handled);
    }

private slots:
    void initTestCase() { registerResources(); }
    void init()
    {
        m_settings = std::make_unique<ScratchSettings>();
        QVERIFY(m_settings->isValid());
        m_seen = SeenBox();
        m_dismisser = dismissMessageBoxes(&m_seen);
    }
    void cleanup() { m_dismisser.reset(); }

    void firstRunWritesEveryKeyInOrder()
    {
        Widget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.close());
        const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<options>\n"
                                    "    <Geometry>" +
                                    window.saveGeometry().toHex() +
                                    "</Geometry>\n"
                                    "    <State>" +
                                    window.saveState(0).toHex() +
                                    "</State>\n"
                                    "    <FixedLanguage>0</FixedLanguage>\n"
                                    "    <Language></Language>\n"
                                    "    <Model>VX310A</Model>\n"
                                    "    <Version>2.02</Version>\n"
                                    "    <SamplePoints>1000</SamplePoints>\n"
                                    "    <Infinite>1</Infinite>\n"
                                    "    <SampleRate>1000</SampleRate>\n"
                                    "    <SkipRepeat>0</SkipRepeat>\n</options>";
        QCOMPARE(testfiles::readAll(m_settings->path()).trimmed(), expected);
    }

    void allKeysSurviveARoundTripAndTheLayoutIsAppliedOnFirstShowOnly()
    {
        QVERIFY(
            m_settings->write("<options><FixedLanguage>1</FixedLanguage><Language>OTHER</Language>"
                              "<SamplePoints>250</SamplePoints><Infinite>0</Infinite>"
                              "<SampleRate>40</SampleRate><SkipRepeat>1</SkipRepeat></options>"));
        QRect saved;
        {
            Widget window; // rearranged, and closed so that it writes the file
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.resize(700, 578); // inside the 800x600 screen, tall enough for the docks
            window.move(40, 18);
            window.addDockWidget(Qt::LeftDockWidgetArea,
                                 window.findChild<QDockWidget *>("dwChart"));
            window.close();
            saved = window.geometry();
        }
        Widget window;
        QCOMPARE(driverValues(*window.driver()), QStringLiteral("250 0 40 1"));
        auto *chartDock = window.findChild<QDockWidget *>("dwChart");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.geometry(), saved);
        QCOMPARE(window.dockWidgetArea(chartDock), Qt::LeftDockWidgetArea);
        // The user rearranges the window, minimises it and brings it back: the layout stays.
        window.resize(900, 580);
        window.move(0, 0);
        const QRect arranged = window.geometry();
        window.addDockWidget(Qt::BottomDockWidgetArea, chartDock);
        window.setWindowTitle(QStringLiteral("changed"));
        window.hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.geometry(), arranged);
        QCOMPARE(window.dockWidgetArea(chartDock), Qt::BottomDockWidgetArea);
        QCOMPARE(window.windowTitle(), QStringLiteral("KLM-704 v2.02 "));
        QVERIFY(window.close());
        QCOMPARE(m_settings->valuesOf({"FixedLanguage", "Language", "SamplePoints", "Infinite",
                                       "SampleRate", "SkipRepeat"}),
                 QStringLiteral("FixedLanguage=1 Language=OTHER SamplePoints=250 Infinite=0 "
                                "SampleRate=40 SkipRepeat=1"));
    }

    void readerGivesTheTextOfEachKey_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("visits"); // "key=text" in the order the reader gives them
        const auto row = [](const char *name, const char *content, const char *visits) {
            QTest::newRow(name) << QByteArray(content) << QString(visits);
        };
        row("in file order, blanks kept", "<options><B>1</B><A> X </A><B>2</B></options>",
            "B=1;A= X ;B=2");
        row("blank texts are not given", "<options><A>  \n </A><B/><A>1</A></options>", "A=1");
        row("the inner element has the text", "<options><A><B>12</B></A></options>", "B=12");
        row("text after a value has no key", "<options><A>5</A>6</options>", "A=5");
        row("any root", "<settings><A>0</A></settings>", "A=0");
        row("malformed: what came before counts", "<options><A>5</A><Bad a=><B>9</B></options>",
            "A=5");
        row("cut off", "<options><A>5</A><B>1</B><Sam", "A=5;B=1");
        row("not XML", "Language=OTHER\n", "");
    }

    void readerGivesTheTextOfEachKey()
    {
        QFETCH(QByteArray, content);
        QVERIFY(m_settings->write(content));
        QStringList visits;
        QVERIFY(readSettingsFile(
            m_settings->path(),
            [&visits](const QString &key, const QString &text) { visits << key + '=' + text; }));
        QTEST(visits.join(';'), "visits");
    }

    void readingAppliesFileValues_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("driver");  // sample points, infinite, sample rate, skip repeat
        QTest::addColumn<QString>("written"); // fixed language, language, model, version at close
        QTest::newRow("any order; Model and Version are not read")
            << QByteArray("<options><SkipRepeat>1</SkipRepeat><SampleRate>50</"
                          "SampleRate><Unknown>3</Unknown>"
                          "<Infinite>0</Infinite><Model>VX310E</Model><Version>9.99</Version>"
                          "<SamplePoints>20</SamplePoints><Language>OTHER</Language>"
                          "<FixedLanguage>1</FixedLanguage></options>")
            << "20 0 50 1"
            << "1 OTHER VX310A 2.02";
        QTest::newRow("not a number reads as 0")
            << QByteArray("<options><SamplePoints>abc</SamplePoints><SampleRate>12ms</SampleRate>"
                          "<Infinite>yes</Infinite><FixedLanguage>true</FixedLanguage></options>")
            << "0 0 0 0"
            << "0  VX310A 2.02";
        QTest::newRow("any non-zero number is true")
            << QByteArray("<options><Infinite>2</Infinite><SkipRepeat>-1</SkipRepeat></options>")
            << "1000 1 1000 1"
            << "0  VX310A 2.02";
        QTest::newRow("the last value counts, unchecked; blanks change nothing")
            << QByteArray("<options><SamplePoints>5</SamplePoints><SamplePoints>-5</SamplePoints>"
                          "<Language>EN</Language><Language> </Language><SampleRate/></options>")
            << "-5 1 1000 0"
            << "0 EN VX310A 2.02";
    }

    void readingAppliesFileValues()
    {
        QFETCH(QByteArray, content);
        QVERIFY(m_settings->write(content));
        Widget window;
        QTEST(driverValues(*window.driver()), "driver");
        QCOMPARE(window.driver()->meterModel(), QStringLiteral("VX310A")); // not the "E" table
        QVERIFY(window.close());
        const auto values = m_settings->values();
        QTEST(QStringList(
                  {values["FixedLanguage"], values["Language"], values["Model"], values["Version"]})
                  .join(' '),
              "written");
    }

    void unwritableLocationWarnsAndStillCloses()
    {
        QVERIFY(testfiles::writeAll(m_settings->filePath("plain"), "")); // a file, not a folder
        m_settings->pointAt(m_settings->filePath("plain/options.xml"));
        Widget window;
        useFakeLinks(window);
        QVERIFY(window.driver()->open());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<QAction *>("actionClose")->trigger();
        QCOMPARE(m_seen.texts, QStringList{"Can not open file."});
        QCOMPARE(m_seen.icon, QMessageBox::Warning);
        QVERIFY(!window.isVisible() && !window.driver()->isOpen());
    }

    void failedWriteLeavesPreviousFileWhole()
    {
        const QByteArray previous = "<options>\n    <SamplePoints>42</SamplePoints>\n</options>\n";
        QVERIFY(m_settings->write(previous));
        Widget window;
        QCOMPARE(window.driver()->samplePoints(), 42);
        {
            // The new file is longer than this, so its write breaks off part-way.
            const testfiles::FileSizeLimit diskFull(rlim_t(previous.size()));
            QVERIFY(window.close());
        }
        QCOMPARE(m_seen.texts, QStringList{"Can not open file."});
        QCOMPARE(testfiles::readAll(m_settings->path()), previous);
        // No half-written copy is left beside it.
        QCOMPARE(QDir(m_settings->folder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"options.xml"});
    }

    void terminationSignalClosesLikeCloseAction_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void terminationSignalClosesLikeCloseAction()
    {
        QFETCH(int, signalNumber);
        QVERIFY(m_settings->write("<options><SamplePoints>77</SamplePoints></options>"));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("KLM704_SETTINGS_FILE", m_settings->path());
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(m_settings->folder());
        program.start(QStringLiteral(KLM704_PROGRAM), QStringList());
        QVERIFY(program.waitForStarted());
        // The program handles the signal once its window is up.
        QTRY_VERIFY_WITH_TIMEOUT(catchesSignal(program.processId(), signalNumber), 30000);
        QCOMPARE(::kill(pid_t(program.processId()), signalNumber), 0);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // It read the file it was given and wrote it back whole.
        QCOMPARE(m_settings->valuesOf({"Model", "SamplePoints"}),
                 QStringLiteral("Model=VX310A SamplePoints=77"));
        QVERIFY(m_settings->values().contains("Geometry"));
    }

    void restartMessageOnlyForAChangedLanguage()
    {
        OptionDialog dialog(false);
        dialog.setLanguageIndex(1); // the index it opens on is no choice
        QCOMPARE(m_seen.count, 0);
        languageBox(&dialog)->setCurrentIndex(0);
        QCOMPARE(m_seen.texts, QStringList{kRestartText});
        QCOMPARE(m_seen.icon, QMessageBox::Information);
        QCOMPARE(dialog.languageIndex(), 0);
        // Back to where it opened is no change; away again is.
        languageBox(&dialog)->setCurrentIndex(1);
        QCOMPARE(m_seen.count, 1);
        languageBox(&dialog)->setCurrentIndex(0);
        QCOMPARE(m_seen.count, 2);
    }

    void cancelDiscardsWhatTheDialogShowed()
    {
        QVERIFY(
            m_settings->write("<options><Language>EN</Language><SamplePoints>321</SamplePoints>"
                              "<SampleRate>0</SampleRate><SkipRepeat>1</SkipRepeat></options>"));
        Widget window;
        const auto edit = [](OptionDialog *dialog) {
            QCOMPARE(dialog->sbSamplePoints->value(), 321);
            QCOMPARE(dialog->sbSampleRate->text(), QStringLiteral("0mS"));
            QVERIFY(dialog->chkSkipRepeat->isChecked());
            // Infinite locks the points box.
            QVERIFY(dialog->chkInfinite->isChecked() && !dialog->sbSamplePoints->isEnabled());
            dialog->chkInfinite->setChecked(false);
            QVERIFY(dialog->sbSamplePoints->isEnabled());
            dialog->sbSamplePoints->setValue(5);
            languageBox(dialog)->setCurrentIndex(1);
        };
        runOptions(window, edit, "btnCancel");
        QCOMPARE(m_seen.texts, QStringList{kRestartText});
        QCOMPARE(driverValues(*window.driver()), QStringLiteral("321 1 0 1"));
        QVERIFY(window.close());
        QCOMPARE(m_settings->values().value("Language"), QStringLiteral("EN"));
    }

    void acceptedValuesReachTheOpenDriver_data()
    {
        QTest::addColumn<int>("sampleRate");
        QTest::newRow("new period") << 250;
        QTest::newRow("every reply") << 0;
    }

    void acceptedValuesReachTheOpenDriver()
    {
        QFETCH(int, sampleRate);
        Widget window;
        useFakeLinks(window);
        MyDmm *dmm = window.driver();
        QVERIFY(dmm->open());
        dmm->setSamplePoints(0); // what a file's "abc" gives; the dialog shows at least 1
        runOptions(window, [sampleRate](OptionDialog *dialog) {
            dialog->chkInfinite->setChecked(false);
            dialog->sbSampleRate->setValue(sampleRate);
            dialog->chkSkipRepeat->setChecked(true);
        });
        QCOMPARE(driverValues(*dmm), QStringLiteral("1 0 %1 1").arg(sampleRate));
        // The sample timer runs at once with the new period, or not at all for 0.
        const auto timers = QAbstractEventDispatcher::instance()->registeredTimers(dmm);
        QCOMPARE(timers.size(), sampleRate == 0 ? 0 : 1);
        QCOMPARE(dmm->sampleTimerId(), timers.isEmpty() ? 0 : timers.first().timerId);
        QCOMPARE(timers.isEmpty() ? 0 : timers.first().interval, sampleRate);
        dmm->close();
    }

    void acceptedLanguageIsMappedToItsCode_data()
    {
        QTest::addColumn<bool>("fixedLanguage");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("openedOn");
        QTest::addColumn<int>("choice"); // -1 leaves the box alone
        QTest::addColumn<QString>("saved");
        QTest::newRow("English kept") << false << "EN" << 0 << -1 << "EN";
        QTest::newRow("empty becomes English") << false << "" << 0 << -1 << "EN";
        QTest::newRow("Chinese chosen") << false << "" << 0 << 1 << "OTHER";
        QTest::newRow("English chosen") << false << "OTHER" << 1 << 0 << "EN";
        QTest::newRow("lower-case other is English") << false << "other" << 0 << -1 << "EN";
        QTest::newRow("fixed Chinese stays") << true << "OTHER" << 1 << -1 << "OTHER";
        QTest::newRow("fixed other code is English") << true << "xyz" << 0 << -1 << "EN";
    }

    void acceptedLanguageIsMappedToItsCode()
    {
        QFETCH(bool, fixedLanguage);
        QFETCH(QString, language);
        QFETCH(int, openedOn);
        QFETCH(int, choice);
        QVERIFY(m_settings->write(
            QStringLiteral("<o><FixedLanguage>%1</FixedLanguage><Language>%2</Language></o>")
                .arg(int(fixedLanguage))
                .arg(language)
                .toUtf8()));
        Widget window;
        window.show();
        runOptions(window, [&](OptionDialog *dialog) {
            QCOMPARE(languageBox(dialog)->isVisible(), !fixedLanguage);
            QCOMPARE(languageBox(dialog)->currentIndex(), openedOn);
            if (choice >= 0)
                languageBox(dialog)->setCurrentIndex(choice);
        });
        QVERIFY(window.close());
        QTEST(m_settings->values().value("Language"), "saved");
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
