#include "app/resourcebundle.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "record/journal.h"
#include "tests/modalboxes.h"
#include "tests/testfiles.h"
#include "tests/windowrig.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using testfiles::readAll;
using testfiles::writeAll;

namespace {

// Counts the warnings written while it lives (the journal reports its failures as warnings).
class WarningCounter
{
public:
    WarningCounter() { s_count = 0, s_previous = qInstallMessageHandler(count); }
    ~WarningCounter() { qInstallMessageHandler(s_previous); }
    int count() const { return s_count; }

private:
    static void count(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (type == QtWarningMsg && text.contains(QLatin1String("journal")))
            ++s_count;
        s_previous(type, context, text);
    }
    static inline int s_count = 0;
    static inline QtMessageHandler s_previous = nullptr;
};

QStringList journalFiles(const QString &directory)
{
    return QDir(directory).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
}

} // namespace

// The window keeps every recorded reading in a journal on disk, one file per recording.
class TestWindowJournal : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void journalHoldsWhatTheExportWrites();
    void deleteAndFunctionChangeStartNewFiles();
    void refusedReadingsAreNotJournaled();
    void unwritableFolderLetsRecordingGoOn();

private:
    QString onlyJournal() const;
    void deleteRecords();

    std::unique_ptr<WindowRig> m_rig;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestWindowJournal::initTestCase()
{
    registerResources();
}

void TestWindowJournal::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_rig = std::make_unique<WindowRig>();
    m_rig->window->useJournal(m_dir->path());
}

void TestWindowJournal::cleanup()
{
    m_rig.reset();
    m_dir.reset();
}

QString TestWindowJournal::onlyJournal() const
{
    const QStringList files = journalFiles(m_dir->path());
    return files.size() == 1 ? m_dir->filePath(files.first()) : QString();
}

void TestWindowJournal::deleteRecords()
{
    SeenBox seen;
    const auto dismisser = dismissMessageBoxes(&seen, QMessageBox::Yes);
    m_rig->action("actionDelete")->trigger();
    QCOMPARE(seen.count, 1);
}

void TestWindowJournal::journalHoldsWhatTheExportWrites()
{
    QVERIFY(journalFiles(m_dir->path()).isEmpty()); // nothing before the first reading
    const QStringList values = {" 1.234 ", "-0.0123", "  O.L  ", "1,5", "12.34  "};
    for (const QString &value : values)
        m_rig->deliver(2, value);
    const QString journal = onlyJournal();
    QVERIFY(!journal.isEmpty());
    QVERIFY(QFileInfo(journal).fileName().contains(
        QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d"))));

    const QString exported = m_dir->filePath(QStringLiteral("export.csv.out"));
    QVERIFY(writeCsv(m_rig->window->recordModel(), exported));
    QCOMPARE(readAll(journal), readAll(exported));
    QCOMPARE(readAll(journal).count('\n'), values.size() + 1);
}

void TestWindowJournal::deleteAndFunctionChangeStartNewFiles()
{
    m_rig->deliver(2, " 1.000 ");
    m_rig->deliver(2, " 2.000 ");
    const QString first = onlyJournal();
    QVERIFY(!first.isEmpty());

    deleteRecords();
    QCOMPARE(journalFiles(m_dir->path()).size(), 1); // a new file only with the next reading
    m_rig->deliver(2, " 3.000 ");
    QCOMPARE(journalFiles(m_dir->path()).size(), 2);

    m_rig->deliver(0, " 4.000 "); // another function: the table starts again at row 1
    m_rig->deliver(0, " 5.000 ");
    const QStringList files = journalFiles(m_dir->path());
    QCOMPARE(files.size(), 3);

    // The first file kept its two rows; the newest holds the new function's rows from 1.
    QCOMPARE(readAll(first).count('\n'), 3);
    const QString newest = m_rig->window->recordingJournal()->fileName();
    const QList<QByteArray> lines = readAll(newest).split('\n');
    QCOMPARE(lines.size(), 4); // header, two rows, and the empty rest after the last line end
    QVERIFY(lines.at(1).startsWith("1,"));
    QVERIFY(lines.at(2).startsWith("2,"));
    QVERIFY(lines.at(2).contains(" 5.000 "));
}

void TestWindowJournal::refusedReadingsAreNotJournaled()
{
    MyDmm *dmm = m_rig->dmm();
    dmm->setSkipRepeat(true);
    dmm->setInfinite(false);
    dmm->setSamplePoints(3);
    for (const char *value : {" 1.234 ", " 1.234 ", " 1.235 ", " 1.234 ", " 9.999 "})
        m_rig->deliver(2, value);
    QCOMPARE(m_rig->window->recordModel()->rowCount(), 3);
    const QByteArray journal = readAll(onlyJournal());
    QCOMPARE(journal.count('\n'), 4);
    QCOMPARE(journal.count(" 1.234 "), 2);
    QVERIFY(!journal.contains(" 9.999 "));
}

void TestWindowJournal::unwritableFolderLetsRecordingGoOn()
{
    // A plain file where the journal folder should be: no journal can be made there.
    const QString blocked = m_dir->filePath(QStringLiteral("blocked"));
    QVERIFY(writeAll(blocked, "not a folder"));
    m_rig->window->useJournal(blocked);

    WarningCounter warnings;
    for (int i = 0; i < 4; ++i)
        m_rig->deliver(2, QStringLiteral(" %1.000 ").arg(i));
    QCOMPARE(m_rig->window->recordModel()->rowCount(), 4);
    QCOMPARE(warnings.count(), 1);

    // The next recording tries again, and says so once more when it fails again.
    deleteRecords();
    m_rig->deliver(2, " 7.000 ");
    m_rig->deliver(2, " 8.000 ");
    QCOMPARE(m_rig->window->recordModel()->rowCount(), 2);
    QCOMPARE(warnings.count(), 2);
}

QTEST_MAIN(TestWindowJournal)
#include "tst_windowjournal.moc"
