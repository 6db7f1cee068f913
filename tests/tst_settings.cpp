#include "app/optiondialog.h"
#include "app/resourcebundle.h"
#include "app/settingsfile.h"
#include "app/shippedfiles.h"
#include "app/startuplanguage.h"
#include "app/widget.h"
#include "meter/deviceselector.h"
#include "meter/mydmm.h"
#include "tests/modalboxes.h"
#include "tests/scratchsettings.h"
#include "tests/testfiles.h"

#include <QtTest>
#include <QtWidgets>

namespace {

QStringList placeholders(const QString &text)
{
    QStringList found;
    for (auto matches = QRegularExpression("%\\d").globalMatch(text); matches.hasNext();)
        found << matches.next().captured();
    found.sort();
    return found;
}

// A text of the main window as the installed translators give it.
QString inWidget(const char *text, const char *comment = nullptr)
{
    return QCoreApplication::translate("Widget", text, comment);
}

} // namespace

// The settings file, the Options dialog and the Chinese catalogue: what the window reads, edits
// and writes, and when.
class TestSettings : public QObject
{
    Q_OBJECT
    std::unique_ptr<ScratchSettings> m_settings;
    SeenBox m_seen;
    std::unique_ptr<QTimer> m_dismisser;

private slots:
    void initTestCase() { registerResources(); }
    void init()
    {
        m_settings = std::make_unique<ScratchSettings>();
        m_seen = SeenBox();
        m_dismisser = dismissMessageBoxes(&m_seen);
    }
    void cleanup() { m_dismisser.reset(); }

    void firstRunWritesEveryKeyAndTheLayoutIsRestored()
    {
        QRect saved;
        {
            Widget window; // rearranged, and closed so that it writes the file
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.resize(700, 580); // inside the 800x600 screen, tall enough for the docks
            window.move(40, 18);
            // Beside the record table: three docks one above the other and the menu bar would
            // not fit the screen's height.
            window.tabifyDockWidget(window.findChild<QDockWidget *>("dwRecord"),
                                    window.findChild<QDockWidget *>("dwChart"));
            QVERIFY(window.close());
            saved = window.geometry();
            const QString written =
                QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<options>\n    "
                               "<Geometry>%1</Geometry>\n    <State>%2</State>\n"
                               "    <FixedLanguage>0</FixedLanguage>\n    <Language></Language>\n  "
                               "  <Model>VX310A</Model>\n"
                               "    <Version>2.02</Version>\n    "
                               "<SamplePoints>1000</SamplePoints>\n    <Infinite>1</Infinite>\n"
                               "    <SampleRate>1000</SampleRate>\n    "
                               "<SkipRepeat>0</SkipRepeat>\n    <Reconnect>0</Reconnect>\n"
                               "    <LowLimit></LowLimit>\n    <HighLimit></HighLimit>\n    "
                               "<FitValues>0</FitValues>\n"
                               "    <JournalQuota>1073741824</JournalQuota>\n    "
                               "<MqttUrl></MqttUrl>\n    <MqttName></MqttName>\n</options>\n");
            QCOMPARE(
                testfiles::readAll(m_settings->path()),
                written.arg(window.saveGeometry().toHex(), window.saveState(0).toHex()).toUtf8());
        }
        Widget window;
        auto *chartDock = window.findChild<QDockWidget *>("dwChart");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.geometry(), saved);
        QCOMPARE(window.dockWidgetArea(chartDock), Qt::LeftDockWidgetArea);
    }

    void readValuesAreWrittenBack_data()
    {
        QTest::addColumn<QByteArray>("content");
        // FixedLanguage, Language, Model, Version, SamplePoints, Infinite, SampleRate, SkipRepeat,
        // Reconnect, LowLimit, HighLimit, FitValues, JournalQuota, MqttUrl, MqttName
        QTest::addColumn<QString>("written");
        const auto row = [](const char *name, const char *content, const char *written) {
            QTest::newRow(name) << QByteArray("<options>") + content + "</options>" << written;
        };
        row("any order; Model and Version are not read",
            "<SkipRepeat>1</SkipRepeat><SampleRate>50</SampleRate><X>3</X><Infinite>0</Infinite>"
            "<Model>VX310E</Model><Version>9.99</Version><SamplePoints>20</SamplePoints>"
            "<Language>OTHER</Language><FixedLanguage>1</FixedLanguage><Reconnect>1</Reconnect>"
            "<MqttName> bench 1 </MqttName><MqttUrl>mqtt://127.0.0.1:1/lab</MqttUrl>"
            "<JournalQuota>500M</JournalQuota><HighLimit> 5.03 </HighLimit><FitValues>1</FitValues>"
            "<LowLimit>-4.97e-1</LowLimit>",
            "1 OTHER VX310A 2.02 20 0 50 1 1 -0.497 5.03 1 524288000 mqtt://127.0.0.1:1/lab bench "
            "1");
        row("not a number reads as 0",
            "<SamplePoints>abc</SamplePoints><SampleRate>12ms</SampleRate><Infinite>yes</Infinite>"
            "<FixedLanguage>true</FixedLanguage><JournalQuota>-1</JournalQuota>"
            "<LowLimit>low</LowLimit><HighLimit>5,03</HighLimit><FitValues>on</FitValues>",
            "0  VX310A 2.02 0 0 0 0 0   0 1073741824  ");
    }

    void readValuesAreWrittenBack()
    {
        QFETCH(QByteArray, content);
        QVERIFY(m_settings->write(content));
        Widget window;
        QCOMPARE(window.driver()->meterModel(), QStringLiteral("VX310A")); // not the "E" table
        QVERIFY(window.close());
        QStringList written;
        for (const char *key : {"FixedLanguage", "Language", "Model", "Version", "SamplePoints",
                                "Infinite", "SampleRate", "SkipRepeat", "Reconnect", "LowLimit",
                                "HighLimit", "FitValues", "JournalQuota", "MqttUrl", "MqttName"})
            written << m_settings->values().value(key);
        QTEST(written.join(' '), "written");
    }

    void limitsOutOfOrderHoldBackOk_data()
    {
        QTest::addColumn<QString>("low");
        QTest::addColumn<QString>("high");
        QTest::addColumn<bool>("ok");
        QTest::newRow("low above high") << "6"
                                        << "5.02" << false;
        QTest::newRow("equal: a reading on them is inside") << "5"
                                                            << "5" << true;
        QTest::newRow("low alone") << "6"
                                   << "" << true;
    }

    // Options cannot be confirmed with a low limit above the high one, and a hint says why.
    void limitsOutOfOrderHoldBackOk()
    {
        QFETCH(QString, low);
        QFETCH(QString, high);
        QFETCH(bool, ok);
        OptionDialog dialog(false);
        dialog.leLowLimit->setText(low);
        dialog.leHighLimit->setText(high);
        QCOMPARE(dialog.findChild<QPushButton *>("btnOk")->isEnabled(), ok);
        QCOMPARE(dialog.findChild<QLabel *>("lblLimitHint")->isVisibleTo(&dialog), !ok);
    }

    void failedWriteWarnsClosesAndKeepsThePreviousFile()
    {
        const QByteArray previous = "<options>\n    <SamplePoints>42</SamplePoints>\n</options>\n";
        QVERIFY(m_settings->write(previous));
        const QString path = m_settings->path();
        Widget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        {
            // The new file is longer than the old, so its write breaks off part-way.
            testfiles::FileSizeLimit limit(rlim_t(previous.size()));
            window.findChild<QAction *>("actionClose")->trigger();
        }
        QCOMPARE(m_seen.texts, QStringList{"Can not open file."});
        QCOMPARE(m_seen.informative,
                 "The settings were not saved to " + settingsFilePath() + ": File too large.");
        QVERIFY(!window.isVisible());
        // The old file is whole, with no half-written copy beside it.
        QCOMPARE(testfiles::readAll(path), previous);
        QCOMPARE(QDir(m_settings->folder()).entryList({"options.xml*"}, QDir::Files | QDir::Hidden),
                 QStringList{"options.xml"});
    }

    // Every text the sources mark for translation, the link layer's and the import's included,
    // has a finished Chinese translation with the same placeholders. lupdate merges the sources'
    // texts into a copy of the catalogue, where a text without translation shows up unfinished;
    // lrelease would leave it out, and the window would show it in English.
    void everyTextHasAFinishedTranslation()
    {
        QVERIFY2(QFile::exists(KLM704_LUPDATE), KLM704_LUPDATE);
        QTemporaryDir scratch;
        const QString merged = scratch.filePath(QStringLiteral("merged.ts"));
        QVERIFY(QFile::copy(KLM704_TS_FILE, merged));
        const QStringList arguments = QStringList{"-I", ".", "-no-obsolete", "-locations", "none"} +
                                      QString(KLM704_TRANSLATED_FOLDERS).split(' ');
        QProcess lupdate;
        lupdate.setWorkingDirectory(KLM704_SOURCE_DIR);
        lupdate.start(KLM704_LUPDATE, arguments + QStringList{"-ts", merged});
        QVERIFY(lupdate.waitForFinished(120000) && lupdate.exitCode() == 0);
        const QString catalogue = QString::fromUtf8(testfiles::readAll(merged));
        const QRegularExpression message(
            R"(<source>(.*?)</source>.*?<translation( type="\w+")?>(.*?)</translation>)",
            QRegularExpression::DotMatchesEverythingOption);
        QStringList faults;
        int finished = 0;
        for (auto messages = message.globalMatch(catalogue); messages.hasNext();) {
            const QRegularExpressionMatch found = messages.next();
            const QString source = found.captured(1), translation = found.captured(3);
            if (!found.captured(2).isEmpty() || translation.trimmed().isEmpty())
                faults << "untranslated: " + source;
            else if (placeholders(translation) != placeholders(source))
                faults << "placeholders differ: " + source;
            else
                ++finished;
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
        QVERIFY(finished > 100);
    }

    // Shipped files are taken from the working directory, then from beside the program, then
    // from the installed folder, which the build passes relative to the program's folder.
    void shippedFileIsFoundHereThenBesideTheProgramThenInstalled_data()
    {
        QTest::addColumn<QStringList>("holders");
        QTest::addColumn<QString>("found");
        QTest::newRow("everywhere") << QStringList{"here", "program", "installed"} << "here";
        QTest::newRow("not here") << QStringList{"program", "installed"} << "program";
        QTest::newRow("installed only") << QStringList{"installed"} << "installed";
    }

    void shippedFileIsFoundHereThenBesideTheProgramThenInstalled()
    {
        QFETCH(QStringList, holders);
        QFETCH(QString, found);
        QTemporaryDir here, installed;
        const QString program = QCoreApplication::applicationDirPath();
        const QHash<QString, QString> folders{
            {"here", here.path()}, {"program", program}, {"installed", installed.path()}};
        const QString name = QStringLiteral("lookup-%1.qm").arg(QCoreApplication::applicationPid());
        const auto removeFromProgramFolder =
            qScopeGuard([&] { QFile::remove(QDir(program).filePath(name)); });
        for (const QString &holder : holders)
            QVERIFY(testfiles::writeAll(QDir(folders.value(holder)).filePath(name), "qm"));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(here.path()));
        const QString path = findShippedFile(
            name, {QStringLiteral("missing"), QDir(program).relativeFilePath(installed.path())});
        QDir::setCurrent(before);
        QCOMPARE(QDir::cleanPath(path), QDir(folders.value(found)).filePath(name));
    }

    // options.xml beside the program as before, except for an installed program or one whose
    // folder cannot be written, which use the config folder; a file beside it always wins.
    void settingsFileIsBesideTheProgramUnlessInstalled_data()
    {
        QTest::addColumn<bool>("fileBeside");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("beside");
        QTest::newRow("build tree") << false << false << true << true;
        QTest::newRow("installed") << false << true << true << false;
        QTest::newRow("portable copy") << true << true << true << true;
        QTest::newRow("folder not writable") << false << false << false << false;
    }

    void settingsFileIsBesideTheProgramUnlessInstalled()
    {
        QFETCH(bool, fileBeside);
        QFETCH(bool, installed);
        QFETCH(bool, writable);
        QFETCH(bool, beside);
        // A folder that does not exist stands for one that cannot be written (root writes any).
        const QString program = m_settings->filePath(writable ? "bin" : "missing");
        QVERIFY(QDir().mkpath(m_settings->filePath("bin")));
        if (fileBeside)
            QVERIFY(testfiles::writeAll(QDir(program).filePath("options.xml"), "<options/>"));
        const QString config = m_settings->filePath("config");
        QCOMPARE(chooseSettingsFile(program, installed, config),
                 QDir(beside ? program : config).filePath("options.xml"));
    }

    void onlyOtherWithACatalogueShowsChineseWithChineseButtons_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("chinese");
        // The later of two elements counts unless blank, also in a foreign or broken file.
        QTest::newRow("Chinese") << QByteArray(
                                        "<s><Language>EN</Language><Language>OTHER</Language>"
                                        "<Language> </Language><A>EN</A><B a=>")
                                 << true;
        QTest::newRow("lower case")
            << QByteArray("<options><Language>other</Language></options>") << false;
    }

    void onlyOtherWithACatalogueShowsChineseWithChineseButtons()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, chinese);
        QCOMPARE(readStartupLanguage(), QString()); // no file yet
        QVERIFY(m_settings->write(settings));
        QVERIFY(QFile::copy(KLM704_CATALOGUE, m_settings->filePath("OTHER.qm")));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_settings->folder()));
        QTranslator translator;
        QTranslator toolkit;
        const bool installed = installStartupTranslator(translator, readStartupLanguage());
        QCOMPARE(installed && installToolkitTranslator(toolkit), chinese);
        QDir::setCurrent(before);
        QCOMPARE(installed, chinese);
        QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text() != "&Yes", chinese);
        Widget window;
        const auto text = [&window](const char *action) {
            return window.findChild<QAction *>(QLatin1String(action))->text();
        };
        QCOMPARE(text("actionConnect") != "Connect", chinese);
        QCOMPARE(text("actionConnect"), inWidget("Connect"));
        // The two "Manual" texts are told apart by their comments.
        QCOMPARE(text("actionRangeManual"), inWidget("Manual", "meter range key"));
        QCOMPARE(text("actionRangeManual") != text("actionManual"), chinese);
        // Texts of the code, not only of the form.
        window.deviceLink()->setLinkFactory(
            [](const QString &, const LinkSettings &, QString *) { return nullptr; });
        window.findChild<QAction *>("actionConnect")->trigger();
        QCOMPARE(m_seen.text, inWidget("Failed to open device."));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
