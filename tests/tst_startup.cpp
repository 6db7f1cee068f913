#include "app/commandline.h"
#include "app/startuplanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <memory>

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void languageIsReadFromSettings_data();
    void languageIsReadFromSettings();
    void missingOrUnreadableFileGivesEnglish();

    void catalogueComesFromWorkingDirectory();
    void catalogueElsewhereLeavesEnglishButTranslatorInstalled();
    void onlyExactOtherInstallsTranslator_data();
    void onlyExactOtherInstallsTranslator();

    void commandLineIsParsed_data();
    void commandLineIsParsed();
    void versionAndHelpTexts();
    void usageErrorsExplainThemselves_data();
    void usageErrorsExplainThemselves();
    void errorIsForgottenOnNextParse();

private:
    QString writeSettings(const QByteArray &content);
    static QString connectText();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCurrent;
};

void TestStartup::init()
{
    // A fresh folder for every case, so that no catalogue or settings file lingers.
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldCurrent = QDir::currentPath();
}

void TestStartup::cleanup()
{
    QDir::setCurrent(m_oldCurrent);
}

QString TestStartup::writeSettings(const QByteArray &content)
{
    const QString path = m_dir->filePath(QStringLiteral("options.xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size())
        return {};
    return path;
}

QString TestStartup::connectText()
{
    return QCoreApplication::translate("Widget", "Connect");
}

void TestStartup::languageIsReadFromSettings_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("language");

    const QByteArray prolog = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    QTest::newRow("English") << prolog + "<options><Language>EN</Language></options>"
                             << "EN";
    QTest::newRow("Chinese") << prolog + "<options>\n  <Language>OTHER</Language>\n</options>"
                             << "OTHER";
    QTest::newRow("lower case is kept as written")
        << QByteArray("<options><Language>other</Language></options>") << "other";
    QTest::newRow("blanks around the text are kept")
        << QByteArray("<options><Language> OTHER </Language></options>") << " OTHER ";
    QTest::newRow("among other keys")
        << QByteArray("<options><FixedLanguage>1</FixedLanguage><Language>OTHER</Language>"
                      "<SampleRate>100</SampleRate><ModelName>VX310A</ModelName></options>")
        << "OTHER";
    QTest::newRow("later non-blank element wins")
        << QByteArray("<options><Language>EN</Language><Language>OTHER</Language></options>")
        << "OTHER";
    QTest::newRow("later whitespace element is absent")
        << QByteArray("<options><Language>OTHER</Language><Language> \n\t </Language></options>")
        << "OTHER";
    QTest::newRow("later empty element is absent")
        << QByteArray("<options><Language>OTHER</Language><Language/></options>") << "OTHER";
    QTest::newRow("only a blank element")
        << QByteArray("<options><Language>   </Language></options>") << "";
    QTest::newRow("foreign root element")
        << QByteArray("<settings><Language>OTHER</Language></settings>") << "OTHER";
    QTest::newRow("nested options element keeps the key")
        << QByteArray("<options><Language><options/>OTHER</Language></options>") << "OTHER";
    QTest::newRow("malformed after the element")
        << QByteArray("<options><Language>OTHER</Language><Broken a=></options>") << "OTHER";
    QTest::newRow("truncated after the element")
        << QByteArray("<options><Language>OTHER</Language><Sam") << "OTHER";
    QTest::newRow("malformed before the element")
        << QByteArray("<options><Broken a=><Language>OTHER</Language></options>") << "";
    QTest::newRow("mismatched tag stops the reading")
        << QByteArray("<options><Language>EN</Language></wrong><Language>OTHER</Language>") << "EN";
    QTest::newRow("attribute is not a text")
        << QByteArray("<options><Language value=\"OTHER\"/></options>") << "";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("not XML") << QByteArray("Language=OTHER\n") << "";
}

void TestStartup::languageIsReadFromSettings()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, language);
    const QString path = writeSettings(content);
    QVERIFY(!path.isEmpty());
    QCOMPARE(readStartupLanguage(path), language);
}

void TestStartup::missingOrUnreadableFileGivesEnglish()
{
    QCOMPARE(readStartupLanguage(m_dir->filePath(QStringLiteral("absent.xml"))), QString());
    // A folder in place of the file cannot be read as one.
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("folder.xml")));
    QCOMPARE(readStartupLanguage(m_dir->filePath(QStringLiteral("folder.xml"))), QString());
}

void TestStartup::catalogueComesFromWorkingDirectory()
{
    QVERIFY(QFile::copy(QStringLiteral(KLM704_TEST_CATALOGUE),
                        m_dir->filePath(QStringLiteral("OTHER.qm"))));
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QTranslator translator;
    QVERIFY(installStartupTranslator(translator, QStringLiteral("OTHER")));
    QCOMPARE(connectText(), QString::fromUtf8("连接"));
    QVERIFY(QCoreApplication::removeTranslator(&translator));
    QCOMPARE(connectText(), QStringLiteral("Connect"));
}

void TestStartup::catalogueElsewhereLeavesEnglishButTranslatorInstalled()
{
    // The catalogue lies beside a settings file, but the program runs from another folder.
    QVERIFY(QFile::copy(QStringLiteral(KLM704_TEST_CATALOGUE),
                        m_dir->filePath(QStringLiteral("OTHER.qm"))));
    QTemporaryDir elsewhere;
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    QTranslator translator;
    QVERIFY(!installStartupTranslator(translator, QStringLiteral("OTHER")));
    QCOMPARE(connectText(), QStringLiteral("Connect"));
    QVERIFY(QCoreApplication::removeTranslator(&translator));
}

void TestStartup::onlyExactOtherInstallsTranslator_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("lower case") << "other";
    QTest::newRow("English") << "EN";
    QTest::newRow("empty") << "";
    QTest::newRow("padded") << " OTHER";
}

void TestStartup::onlyExactOtherInstallsTranslator()
{
    QFETCH(QString, language);
    QVERIFY(QFile::copy(QStringLiteral(KLM704_TEST_CATALOGUE),
                        m_dir->filePath(QStringLiteral("OTHER.qm"))));
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QTranslator translator;
    QVERIFY(!installStartupTranslator(translator, language));
    QCOMPARE(connectText(), QStringLiteral("Connect"));
    QVERIFY(!QCoreApplication::removeTranslator(&translator));
}

void TestStartup::commandLineIsParsed_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("device");

    const int run = int(CommandLine::Outcome::Run);
    QTest::newRow("no options") << QStringList{"klm704"} << run << "auto";
    QTest::newRow("virtual meter") << QStringList{"klm704", "--device", "sim"} << run << "sim";
    QTest::newRow("serial with equals")
        << QStringList{"klm704", "--device=serial:/dev/ttyUSB0"} << run << "serial:/dev/ttyUSB0";
    QTest::newRow("last device wins")
        << QStringList{"klm704", "--device", "cp2110", "--device", "ch9329"} << run << "ch9329";
    QTest::newRow("version") << QStringList{"klm704", "--version"}
                             << int(CommandLine::Outcome::ShowVersion) << "auto";
    QTest::newRow("short version")
        << QStringList{"klm704", "-v"} << int(CommandLine::Outcome::ShowVersion) << "auto";
    QTest::newRow("help") << QStringList{"klm704", "--help"} << int(CommandLine::Outcome::ShowHelp)
                          << "auto";
    QTest::newRow("help wins over version") << QStringList{"klm704", "--version", "-h"}
                                            << int(CommandLine::Outcome::ShowHelp) << "auto";
}

void TestStartup::commandLineIsParsed()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, outcome);
    QFETCH(QString, device);
    CommandLine commandLine;
    QCOMPARE(int(commandLine.parse(arguments)), outcome);
    QCOMPARE(commandLine.device(), device);
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

void TestStartup::usageErrorsExplainThemselves_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("unknown option") << QStringList{"klm704", "--bogus"} << "bogus";
    QTest::newRow("missing device") << QStringList{"klm704", "--device"} << "device";
    QTest::newRow("stray argument") << QStringList{"klm704", "sim"} << "sim";
    QTest::newRow("unknown after a good one")
        << QStringList{"klm704", "--device", "sim", "--conect"} << "conect";
}

void TestStartup::usageErrorsExplainThemselves()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, mentions);
    CommandLine commandLine;
    QCOMPARE(commandLine.parse(arguments), CommandLine::Outcome::UsageError);
    QVERIFY2(commandLine.errorText().contains(mentions), qPrintable(commandLine.errorText()));
    QVERIFY(commandLine.errorText().contains(QStringLiteral("klm704 --help")));
}

void TestStartup::errorIsForgottenOnNextParse()
{
    CommandLine commandLine;
    QCOMPARE(commandLine.parse({"klm704", "--bogus"}), CommandLine::Outcome::UsageError);
    QCOMPARE(commandLine.parse({"klm704", "--device", "sim"}), CommandLine::Outcome::Run);
    QVERIFY(commandLine.errorText().isEmpty());
    QCOMPARE(commandLine.device(), QStringLiteral("sim"));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
