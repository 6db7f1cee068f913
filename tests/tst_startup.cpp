#include "app/commandline.h"
#include "app/startuplanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

// What a parse gave: the outcome, then the run's choices or the error's text.
QString describe(CommandLine &commandLine, const QStringList &arguments)
{
    switch (commandLine.parse(QStringList{"klm704"} + arguments)) {
    case CommandLine::Outcome::Run:
        return QStringLiteral("run %1%2 journal %3")
            .arg(commandLine.device(), commandLine.connectAtStart() ? " connect" : "",
                 !commandLine.keepsJournal()                ? QStringLiteral("off")
                 : commandLine.journalDirectory().isEmpty() ? QStringLiteral("default")
                                                            : commandLine.journalDirectory());
    case CommandLine::Outcome::ShowHelp:
        return QStringLiteral("help");
    case CommandLine::Outcome::ShowVersion:
        return QStringLiteral("version");
    case CommandLine::Outcome::UsageError:
        return QStringLiteral("error: ") + commandLine.errorText();
    }
    return QString();
}

} // namespace

// What the program reads before its window opens: the command line and the language.
class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void commandLineIsParsed_data();
    void commandLineIsParsed();
    void errorIsForgottenOnNextParse();
    void versionAndHelpTexts();
    void languageIsReadFromSettings_data();
    void languageIsReadFromSettings();
    void onlyExactOtherInstallsTranslator_data();
    void onlyExactOtherInstallsTranslator();
};

void TestStartup::commandLineIsParsed_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("result"); // an error names its cause and points to --help
    QTest::newRow("no options") << QStringList{} << "run auto journal default";
    QTest::newRow("virtual meter") << QStringList{"--device", "sim"} << "run sim journal default";
    QTest::newRow("serial with equals")
        << QStringList{"--device=serial:/dev/ttyUSB0"} << "run serial:/dev/ttyUSB0 journal default";
    QTest::newRow("last device wins")
        << QStringList{"--device", "cp2110", "--device", "ch9329"} << "run ch9329 journal default";
    QTest::newRow("connect") << QStringList{"--connect"} << "run auto connect journal default";
    QTest::newRow("device and connect")
        << QStringList{"--device", "sim", "--connect"} << "run sim connect journal default";
    QTest::newRow("journal folder")
        << QStringList{"--journal", "/tmp/j"} << "run auto journal /tmp/j";
    QTest::newRow("no journal") << QStringList{"--no-journal"} << "run auto journal off";
    QTest::newRow("version") << QStringList{"--version"} << "version";
    QTest::newRow("short version") << QStringList{"-v"} << "version";
    QTest::newRow("help") << QStringList{"--help"} << "help";
    QTest::newRow("help wins over version") << QStringList{"--version", "-h"} << "help";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << "bogus";
    QTest::newRow("missing device") << QStringList{"--device"} << "device";
    QTest::newRow("stray argument") << QStringList{"sim"} << "sim";
    QTest::newRow("unknown after a good one")
        << QStringList{"--device", "sim", "--conect"} << "conect";
    QTest::newRow("journal and no journal")
        << QStringList{"--journal", "/tmp/j", "--no-journal"} << "--no-journal";
}

void TestStartup::commandLineIsParsed()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, result);
    CommandLine commandLine;
    const QString got = describe(commandLine, arguments);
    if (got.startsWith(QLatin1String("error: "))) {
        QVERIFY2(got.contains(result) && got.contains("klm704 --help"), qPrintable(got));
    } else {
        QCOMPARE(got, result);
        QVERIFY(commandLine.errorText().isEmpty());
    }
}

void TestStartup::errorIsForgottenOnNextParse()
{
    CommandLine commandLine;
    QVERIFY(describe(commandLine, {"--bogus"}).startsWith("error: "));
    QCOMPARE(describe(commandLine, {"--device", "sim"}), QStringLiteral("run sim journal default"));
    QVERIFY(commandLine.errorText().isEmpty());
}

void TestStartup::versionAndHelpTexts()
{
    CommandLine commandLine;
    QCOMPARE(commandLine.versionText(), QStringLiteral("KLM-704 2.02"));
    const QString help = commandLine.helpText();
    for (const char *option : {"--help", "--version", "--device <DEVICE>", "sim", "serial:PATH"})
        QVERIFY2(help.contains(QLatin1String(option)), option);
}

void TestStartup::languageIsReadFromSettings_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                           "<options><Language>EN</Language></options>")
                             << "EN";
    QTest::newRow("among other keys")
        << QByteArray("<options><FixedLanguage>1</FixedLanguage><Language>OTHER</Language>"
                      "<SampleRate>100</SampleRate></options>")
        << "OTHER";
    QTest::newRow("kept as written")
        << QByteArray("<options><Language> other </Language></options>") << " other ";
    QTest::newRow("later non-blank element wins")
        << QByteArray("<options><Language>EN</Language><Language>OTHER</Language>"
                      "<Language> </Language></options>")
        << "OTHER";
    QTest::newRow("no element") << QByteArray("<options/>") << "";
}

void TestStartup::languageIsReadFromSettings()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("options.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    QTEST(readStartupLanguage(path), "language");
    // A missing file, or a folder in its place, gives English.
    QCOMPARE(readStartupLanguage(dir.filePath(QStringLiteral("absent.xml"))), QString());
    QVERIFY(QFile::remove(path) && QDir(dir.path()).mkdir(QStringLiteral("options.xml")));
    QCOMPARE(readStartupLanguage(path), QString());
}

void TestStartup::onlyExactOtherInstallsTranslator_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("installed");
    QTest::newRow("Chinese") << "OTHER" << true;
    QTest::newRow("lower case") << "other" << false;
    QTest::newRow("English") << "EN" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("padded") << " OTHER" << false;
}

void TestStartup::onlyExactOtherInstallsTranslator()
{
    QFETCH(QString, language);
    QFETCH(bool, installed);
    QTemporaryDir dir;
    QVERIFY(QFile::copy(QStringLiteral(KLM704_TEST_CATALOGUE), dir.filePath("OTHER.qm")));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QTranslator translator;
    QCOMPARE(installStartupTranslator(translator, language), installed);
    QDir::setCurrent(before);
    const QString connect = QCoreApplication::translate("Widget", "Connect");
    QCOMPARE(connect, installed ? QString::fromUtf8("连接") : QStringLiteral("Connect"));
    QCOMPARE(QCoreApplication::removeTranslator(&translator), installed);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
