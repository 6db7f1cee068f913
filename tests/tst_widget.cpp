#include "app/commandline.h"
#include "app/resourcebundle.h"
#include "display/statusmessagelabel.h"
#include "tests/scratchsettings.h"
#include "tests/windowrig.h"

#include <QtTest>
#include <QtWidgets>

// What the program reads as it starts and the main window as a first run builds it.
class TestWidget : public QObject
{
    Q_OBJECT
    ScratchSettings m_settings; // no settings file: a first run

private slots:
    void initTestCase() { registerResources(); }

    void commandLineIsParsed_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("result"); // for a usage error, what its message names
        const auto row = [](const char *arguments, const char *result) {
            QTest::newRow(arguments) << arguments << result;
        };
        row("", "run auto journal:");
        row("--device sim --connect", "run sim connect journal:");
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

    void statusMessageIsCutAtAWord_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("width"); // in characters, "…" being one
        QTest::addColumn<QString>("shown");
        const QString removed = "Removed 7 old journals, 412 MB, to keep the journals within 1 GB.";
        QTest::newRow("fits") << removed << 66 << removed;
        QTest::newRow("after a word, its comma dropped")
            << removed << 25 << "Removed 7 old journals…";
        QTest::newRow("one long word") << "/home/user/.local/share/KLM-704" << 10 << "/home/use…";
        QTest::newRow("no room") << removed << 0 << "";
    }

    // The status bar's message field: the rule it cuts a long message by.
    void statusMessageIsCutAtAWord()
    {
        QFETCH(QString, message);
        QFETCH(int, width);
        const auto characters = [](const QString &text) { return int(text.size()); };
        QTEST(StatusMessageLabel::elideAtWord(message, width, characters), "shown");
    }

    void fullRowIsNotCutAtStart_data()
    {
        QTest::addColumn<bool>("chinese");
        QTest::newRow("English") << false;
        QTest::newRow("Chinese") << true;
    }

    // Every function's texts in turn: in the window of a first run, all six cells are in sight
    // and each has room for its whole text inside the rectangle the style draws it in, less a
    // margin each side.
    void fullRowIsNotCutAtStart()
    {
        QFETCH(bool, chinese);
        QTranslator translator;
        QVERIFY(!chinese || translator.load(KLM704_CATALOGUE));
        QCoreApplication::installTranslator(&translator);
        WindowRig rig;
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(rig.child<QDockWidget>("dwRecord")->windowTitle() == "Record", !chinese);
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        const auto *tv = rig.child<QTableView>("tv");
        const int margin = tv->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
        const QDateTime late(QDate(2026, 12, 28), QTime(23, 58, 58));
        int cells = 0;
        for (const FunctionTable *table : {&rig.dmm()->defaultTable(), &rig.dmm()->eTable()}) {
            for (const FunctionEntry *entry : *table) {
                const bool dual = entry->functionCode() == functions::kAcPlusDc;
                rig.deliver(recordsamples::makeReading(entry, {"-12.345", -12.345, 0}, 0, late,
                                                       dual ? "DC" : ""));
                QStyleOptionViewItem option;
                option.initFrom(tv);
                option.font = tv->font();
                option.features = QStyleOptionViewItem::HasDisplay;
                option.displayAlignment = Qt::AlignCenter;
                for (int column = 0; column < 6; ++column) {
                    const QModelIndex index =
                        tv->model()->index(tv->model()->rowCount() - 1, column);
                    option.rect = tv->visualRect(index); // the cell less its grid line
                    option.text = index.data().toString();
                    QVERIFY2(tv->viewport()->rect().contains(option.rect), qPrintable(option.text));
                    ++cells;
                    const QRect text =
                        tv->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, tv);
                    QVERIFY2(option.fontMetrics.horizontalAdvance(option.text) <=
                                 text.width() - 2 * margin,
                             qPrintable(option.text));
                }
            }
        }
        QVERIFY(cells > 6 * 40); // some 40 functions and ranges
    }
};

QTEST_MAIN(TestWidget)
#include "tst_widget.moc"
