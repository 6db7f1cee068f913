#include "app/resourcebundle.h"
#include "app/settingsfile.h"
#include "app/widget.h"
#include "meter/deviceselector.h"
#include "meter/mydmm.h"
#include "tests/fakelink.h"
#include "tests/modalboxes.h"
#include "tests/scratchsettings.h"
#include "tests/testfiles.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>

namespace {

const QByteArray kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// Whether the process has a handler of its own for the signal.
bool catchesSignal(qint64 pid, int signalNumber)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (!line.startsWith("SigCgt:"))
            continue;
        const quint64 mask = line.mid(7).trimmed().toULongLong(nullptr, 16);
        return mask & (quint64(1) << (signalNumber - 1));
    }
    return false;
}

QAction *windowAction(const Widget &window, const char *name)
{
    return window.findChild<QAction *>(QLatin1String(name));
}

const QStringList kLanguageKeys = {"FixedLanguage", "Language"};

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void firstRunWritesEveryKeyInOrder();
    void allKeysSurviveARoundTrip();
    void readerGivesTheTextOfEachKey_data();
    void readerGivesTheTextOfEachKey();
    void readingAppliesFileValues_data();
    void readingAppliesFileValues();
    void modelAndVersionAreNotRead();
    void unreadableFileKeepsBuiltInValues();

    void unwritableLocationWarnsAndStillCloses();
    void failedWriteLeavesPreviousFileWhole();
    void driverIsClosedBeforeSettingsAreWritten();
    void layoutIsAppliedOnFirstShowOnly();

    void terminationSignalClosesLikeCloseAction_data();
    void terminationSignalClosesLikeCloseAction();

private:
    void writeFile(const QByteArray &content);
    // A window whose layout differs from the built-in one, closed so that it writes the file;
    // returns the window's geometry.
    QRect saveRearrangedWindow();

    std::unique_ptr<ScratchSettings> m_settings;
};

void TestSettings::initTestCase()
{
    registerResources();
}

void TestSettings::init()
{
    m_settings = std::make_unique<ScratchSettings>();
    QVERIFY(m_settings->isValid());
}

void TestSettings::writeFile(const QByteArray &content)
{
    QVERIFY(m_settings->write(content));
}

QRect TestSettings::saveRearrangedWindow()
{
    Widget window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return {};
    // Taller than the least height of either dock layout, and inside the 800x600 screen.
    window.resize(700, 578);
    window.move(40, 18);
    window.addDockWidget(Qt::LeftDockWidgetArea, window.findChild<QDockWidget *>("dwChart"));
    window.close();
    return window.geometry();
}

void TestSettings::firstRunWritesEveryKeyInOrder()
{
    QVERIFY(!QFile::exists(m_settings->path()));
    Widget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.close());

    QFile file(m_settings->path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    const QList<QByteArray> expected = {
        kDeclaration,
        "<options>",
        "    <Geometry>" + window.saveGeometry().toHex() + "</Geometry>",
        "    <State>" + window.saveState(0).toHex() + "</State>",
        "    <FixedLanguage>0</FixedLanguage>",
        "    <Language></Language>",
        "    <Model>VX310A</Model>",
        "    <Version>2.02</Version>",
        "    <SamplePoints>1000</SamplePoints>",
        "    <Infinite>1</Infinite>",
        "    <SampleRate>1000</SampleRate>",
        "    <SkipRepeat>0</SkipRepeat>",
        "</options>",
    };
    QCOMPARE(lines, expected);
    QVERIFY(lines.at(2).size() > 40);
}

void TestSettings::allKeysSurviveARoundTrip()
{
    writeFile("<options><FixedLanguage>1</FixedLanguage><Language>OTHER</Language>"
              "<SamplePoints>250</SamplePoints><Infinite>0</Infinite>"
              "<SampleRate>40</SampleRate><SkipRepeat>1</SkipRepeat></options>");
    const QRect saved = saveRearrangedWindow();
    QVERIFY(saved.isValid());

    Widget window;
    QCOMPARE(driverValues(*window.driver()), QStringLiteral("250 0 40 1"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.geometry(), saved);
    QCOMPARE(window.pos(), QPoint(40, 18));
    QCOMPARE(window.dockWidgetArea(window.findChild<QDockWidget *>("dwChart")),
             Qt::LeftDockWidgetArea);
    QVERIFY(window.close());

    QCOMPARE(m_settings->valuesOf({"FixedLanguage", "Language", "SamplePoints", "Infinite",
                                   "SampleRate", "SkipRepeat"}),
             QStringLiteral("FixedLanguage=1 Language=OTHER SamplePoints=250 Infinite=0 "
                            "SampleRate=40 SkipRepeat=1"));
}

void TestSettings::readerGivesTheTextOfEachKey_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("visits"); // "key=text" in the order the reader gives them
    const auto row = [](const char *name, const char *content, const char *visits) {
        QTest::newRow(name) << QByteArray(content) << QString::fromUtf8(visits);
    };
    row("in file order", "<options><SkipRepeat>1</SkipRepeat><Language>OTHER</Language></options>",
        "SkipRepeat=1;Language=OTHER");
    row("blanks around a text are kept", "<options><Language> OTHER </Language></options>",
        "Language= OTHER ");
    row("a later element is given too", "<options><A>5</A><A>7</A></options>", "A=5;A=7");
    row("whitespace-only texts are not given", "<options><A>  \n </A><B>\t</B><A>1</A></options>",
        "A=1");
    row("empty elements are not given", "<options><A/><B></B></options>", "");
    row("an element inside another has the text", "<options><A><B>12</B></A></options>", "B=12");
    row("text after a value belongs to no key", "<options><A>5</A>6</options>", "A=5");
    row("an inner options element keeps the key", "<options><A><options/>OTHER</A></options>",
        "A=OTHER");
    row("the root's name is not compared", "<settings><A>0</A></settings>", "A=0");
    row("an attribute is not a text", "<options><A value=\"OTHER\"/></options>", "");
    row("malformed: what came before counts", "<options><A>5</A><Broken a=><B>9</B></options>",
        "A=5");
    row("malformed before the element", "<options><Broken a=><A>OTHER</A></options>", "");
    row("a mismatched tag stops the reading", "<options><A>EN</A></wrong><A>OTHER</A>", "A=EN");
    row("cut off in the middle", "<options><A>5</A><B>1</B><Sam", "A=5;B=1");
    row("empty file", "", "");
    row("not XML", "Language=OTHER\n", "");
}

void TestSettings::readerGivesTheTextOfEachKey()
{
    QFETCH(QByteArray, content);
    writeFile(content);
    QStringList visits;
    QVERIFY(
        readSettingsFile(m_settings->path(), [&visits](const QString &key, const QString &text) {
            visits << key + QLatin1Char('=') + text;
        }));
    QTEST(visits.join(QLatin1Char(';')), "visits");
}

void TestSettings::readingAppliesFileValues_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("driver");   // sample points, infinite, sample rate, skip repeat
    QTest::addColumn<QString>("language"); // the language keys written back at close
    QTest::newRow("every key")
        << QByteArray("<options><SkipRepeat>1</SkipRepeat><SampleRate>50</SampleRate>"
                      "<Infinite>0</Infinite><SamplePoints>20</SamplePoints>"
                      "<Language>OTHER</Language><FixedLanguage>1</FixedLanguage></options>")
        << "20 0 50 1"
        << "FixedLanguage=1 Language=OTHER";
    QTest::newRow("not a number reads as 0")
        << QByteArray("<options><SamplePoints>abc</SamplePoints><SampleRate>12ms</SampleRate>"
                      "<Infinite>yes</Infinite><FixedLanguage>true</FixedLanguage></options>")
        << "0 0 0 0"
        << "FixedLanguage=0 Language=";
    QTest::newRow("any non-zero number is true")
        << QByteArray("<options><Infinite>2</Infinite><SkipRepeat>-1</SkipRepeat>"
                      "<FixedLanguage>7</FixedLanguage></options>")
        << "1000 1 1000 1"
        << "FixedLanguage=1 Language=";
    QTest::newRow("the last value counts, unchecked; blanks change nothing")
        << QByteArray("<options><SamplePoints>5</SamplePoints><SamplePoints>-5</SamplePoints>"
                      "<Language>EN</Language>"
                      "<Language> </Language><SampleRate/></options>")
        << "-5 1 1000 0"
        << "FixedLanguage=0 Language=EN";
    QTest::newRow("empty file") << QByteArray() << "1000 1 1000 0"
                                << "FixedLanguage=0 Language=";
}

void TestSettings::readingAppliesFileValues()
{
    QFETCH(QByteArray, content);
    writeFile(content);
    Widget window;
    QTEST(driverValues(*window.driver()), "driver");
    // The window's own values are seen where they go: into the file written at close.
    QVERIFY(window.close());
    QTEST(m_settings->valuesOf(kLanguageKeys), "language");
}

void TestSettings::modelAndVersionAreNotRead()
{
    writeFile("<options><Model>VX310E</Model><Version>9.99</Version></options>");
    Widget window;
    // An "E" model would choose the driver's other function table.
    QCOMPARE(window.driver()->meterModel(), QStringLiteral("VX310A"));
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("KLM-704 v2.02 "));
    QVERIFY(window.close());
    QCOMPARE(m_settings->valuesOf({"Model", "Version"}),
             QStringLiteral("Model=VX310A Version=2.02"));
}

void TestSettings::unreadableFileKeepsBuiltInValues()
{
    // A folder in place of the file cannot be read as one.
    QVERIFY(QDir().mkpath(m_settings->path()));
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);
    Widget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(driverValues(*window.driver()), QStringLiteral("1000 1 1000 0"));
    QCOMPARE(window.size(), QSize(1000, 600));
    QTest::qWait(50);
    QCOMPARE(seen.count, 0);
}

void TestSettings::unwritableLocationWarnsAndStillCloses()
{
    // The file's folder is a plain file, so nothing can be created there.
    QFile plain(m_settings->filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    m_settings->pointAt(m_settings->filePath(QStringLiteral("plain/options.xml")));

    Widget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);
    windowAction(window, "actionClose")->trigger();
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.text, QStringLiteral("Can not open file."));
    QCOMPARE(seen.title, QString());
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!window.isVisible());
}

void TestSettings::failedWriteLeavesPreviousFileWhole()
{
    const QByteArray previous = kDeclaration + "\n<options>\n    <SamplePoints>42</SamplePoints>\n"
                                               "    <SampleRate>40</SampleRate>\n</options>\n";
    writeFile(previous);
    Widget window;
    QCOMPARE(window.driver()->samplePoints(), 42);
    window.driver()->setSamplePoints(7);
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen);
    {
        // The new file is longer than this, so its write breaks off part-way.
        const testfiles::FileSizeLimit diskFull(rlim_t(previous.size()));
        QVERIFY(window.close());
    }
    QCOMPARE(seen.count, 1);
    QCOMPARE(seen.text, QStringLiteral("Can not open file."));

    QFile file(m_settings->path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), previous);
    // No half-written copy is left beside it.
    QCOMPARE(QDir(m_settings->folder()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("options.xml")});
}

void TestSettings::driverIsClosedBeforeSettingsAreWritten()
{
    Widget window;
    window.deviceLink()->setLinkFactory(
        [](const QString &, const LinkSettings &, QString *) { return new FakeLink({}); });
    QVERIFY(window.driver()->open());
    bool fileExistedAtClose = true;
    connect(window.deviceLink(), &DeviceSelector::closed, this,
            [&] { fileExistedAtClose = QFile::exists(m_settings->path()); });
    QSignalSpy closed(window.deviceLink(), &DeviceSelector::closed);
    QVERIFY(window.close());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!fileExistedAtClose);
    QVERIFY(QFile::exists(m_settings->path()));
    QVERIFY(!window.driver()->isOpen());
}

void TestSettings::layoutIsAppliedOnFirstShowOnly()
{
    const QRect saved = saveRearrangedWindow();
    QVERIFY(saved.isValid());
    Widget window;
    auto *chartDock = window.findChild<QDockWidget *>("dwChart");
    QCOMPARE(window.dockWidgetArea(chartDock), Qt::RightDockWidgetArea);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.geometry(), saved);
    QCOMPARE(window.dockWidgetArea(chartDock), Qt::LeftDockWidgetArea);

    // The user arranges the window, minimises it and brings it back.
    window.resize(900, 580);
    window.move(0, 0);
    const QRect arranged = window.geometry();
    QVERIFY(arranged != saved);
    window.addDockWidget(Qt::BottomDockWidgetArea, chartDock);
    window.setWindowTitle(QStringLiteral("changed"));
    window.hide();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.geometry(), arranged);
    QCOMPARE(window.dockWidgetArea(chartDock), Qt::BottomDockWidgetArea);
    QCOMPARE(window.windowTitle(), QStringLiteral("KLM-704 v2.02 "));
}

void TestSettings::terminationSignalClosesLikeCloseAction_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestSettings::terminationSignalClosesLikeCloseAction()
{
    QFETCH(int, signalNumber);
    writeFile("<options><Language>EN</Language><SamplePoints>77</SamplePoints>"
              "<SampleRate>40</SampleRate></options>");
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("KLM704_SETTINGS_FILE"), m_settings->path());
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
    QCOMPARE(m_settings->valuesOf({"Model", "Language", "SamplePoints", "SampleRate"}),
             QStringLiteral("Model=VX310A Language=EN SamplePoints=77 SampleRate=40"));
    QVERIFY(m_settings->values().contains("Geometry"));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
