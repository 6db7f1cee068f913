#include "app/commandline.h"
#include "app/resourcebundle.h"
#include "app/widget.h"
#include "tests/scratchsettings.h"
#include "tests/testfiles.h"

#include <QtTest>
#include <QtWidgets>

// What the program reads as it starts, the main window as a first run builds it, and its manual.
class TestWidget : public QObject
{
    Q_OBJECT
    ScratchSettings m_settings; // no settings file: a first run
    std::unique_ptr<Widget> m_window;

private slots:
    void initTestCase() { registerResources(); }
    void init() { m_window = std::make_unique<Widget>(); }
    void cleanup() { m_window.reset(); }

    void commandLineIsParsed_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("result"); // for a usage error, what its message names
        const auto row = [](const char *arguments, const char *result) {
            QTest::newRow(arguments) << arguments << result;
        };
        row("", "run auto journal:");
        row("--device sim --connect", "run sim connect journal:");
        row("--journal /tmp/j", "run auto journal:/tmp/j");
        row("--no-journal", "run auto journal:off");
        row("--version -h", "help");
        row("--device", "device");
        row("--journal /tmp/j --no-journal", "--no-journal");
    }

    void commandLineIsParsed()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, result);
        CommandLine line;
        // The error of an earlier parse is forgotten.
        QCOMPARE(line.parse({"klm704", "--bogus"}), CommandLine::Outcome::UsageError);
        const auto outcome =
            line.parse(QStringList{"klm704"} + arguments.split(' ', Qt::SkipEmptyParts));
        const QString journal =
            line.keepsJournal() ? line.journalDirectory() : QStringLiteral("off");
        const QString got =
            outcome == CommandLine::Outcome::Run
                ? QStringLiteral("run %1%2 journal:%3")
                      .arg(line.device(), line.connectAtStart() ? " connect" : "", journal)
            : outcome == CommandLine::Outcome::ShowHelp ? QStringLiteral("help")
                                                        : line.errorText();
        QCOMPARE(line.errorText().isEmpty(), outcome != CommandLine::Outcome::UsageError);
        QVERIFY2(got == result || (got.contains(result) && got.contains("klm704 --help")),
                 qPrintable(got));
    }

    void firstRunWindowIsCentredWithPeakKeys()
    {
        const QWidget *desktop = QApplication::desktop();
        QCOMPARE(m_window->geometry().center(), desktop->rect().center());
        // Only the B variants lack them.
        for (const char *name : {"actionPeak", "actionExitPeak"})
            QVERIFY(m_window->findChild<QAction *>(name)->isVisible());
    }

    void manualPdfHasAPageForEveryFewSections()
    {
        const QByteArray pdf = testfiles::readAll(KLM704_MANUAL_PDF);
        QVERIFY(pdf.startsWith("%PDF-"));
        const int pages = QString::fromLatin1(pdf.constData(), pdf.size())
                              .count(QRegularExpression("/Type\\s*/Page(?!s)"));
        const int sections =
            QString::fromUtf8(testfiles::readAll(KLM704_MANUAL_SOURCE))
                .count(QRegularExpression("^## ", QRegularExpression::MultilineOption));
        // A cut-off or empty conversion has far fewer pages than the source has sections.
        QVERIFY(sections >= 6);
        QVERIFY2(pages >= 3 && pages * 3 >= sections, qPrintable(QString::number(pages)));
    }
};

QTEST_MAIN(TestWidget)
#include "tst_widget.moc"
