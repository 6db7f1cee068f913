#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "record/columnspec.h"
#include "record/datamodel.h"
#include "record/timestampformatter.h"
#include "recordsamples.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include <time.h>

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

QStringList cellTexts(const DataModel &model, int row)
{
    QStringList texts;
    for (int column = 0; column < model.columnCount(); ++column)
        texts.append(model.data(model.index(row, column)).toString());
    return texts;
}

// Makes model indexes for any cell, as a stale index or one of another model could point anywhere.
class IndexMaker : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex &) const override { return 0; }
    int columnCount(const QModelIndex &) const override { return 0; }
    QVariant data(const QModelIndex &, int) const override { return QVariant(); }
    QModelIndex make(int row, int column) const { return createIndex(row, column); }
};

} // namespace

class TestDataModel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void numberingRestartsAfterClear();
    void everyCellIsCentred();
    void otherRolesGiveNothing();
    void headerCarriesTitlesOnlyHorizontally();
    void outsideTheTableGivesNothing_data();
    void outsideTheTableGivesNothing();
    void appendAnnouncesOneRow();
    void nullRecordIsIgnored();
    void clearOfEmptyTableIsSilent();
    void clearAnnouncesAllRows();
    void removeRowsBeyondLastFails();
    void removeRowsShiftsLaterRows();
    void removeRowsSkipsIndicesOutsideTable();
    void everyTableRowComesBackUnchanged();
    void repeatedReadingsComeBackUnchanged();
    void unusualTextsComeBackUnchanged();
    void readingWithoutTimeHasEmptyTimeCell();
    void manyRowsSpanSeveralBlocks();

    void timeTextMatchesLocalTime_data();
    void timeTextMatchesLocalTime();
    void timeTextFollowsClockChanges();

private:
    void append(int count);

    recordsamples::RecordSetup m_setup;
    std::unique_ptr<DataModel> m_model;
    QDateTime m_start;
    QByteArray m_savedTz;
};

void TestDataModel::initTestCase()
{
    // A zone with clock changes, so that the time texts meet them.
    m_savedTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    m_start = QDateTime(QDate(2024, 5, 1), QTime(23, 58, 0));
}

void TestDataModel::cleanupTestCase()
{
    qputenv("TZ", m_savedTz);
    tzset();
}

void TestDataModel::init()
{
    m_model.reset(new DataModel(m_setup.columns));
}

void TestDataModel::cleanup()
{
    m_model.reset();
}

void TestDataModel::append(int count)
{
    recordsamples::generateRecording(m_setup.defaultTable, count, m_start,
                                     [this](DmmData *data) { m_model->appendRecord(data); });
}

void TestDataModel::numberingRestartsAfterClear()
{
    append(3);
    QCOMPARE(m_model->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const QVariant number = m_model->data(m_model->index(row, 0));
        QCOMPARE(number.userType(), int(QMetaType::Int));
        QCOMPARE(number.toInt(), row + 1);
    }
    m_model->clearRecords();
    QCOMPARE(m_model->rowCount(), 0);
    append(2);
    QCOMPARE(m_model->data(m_model->index(0, 0)).toInt(), 1);
    QCOMPARE(m_model->data(m_model->index(1, 0)).toInt(), 2);
    QCOMPARE(m_model->cellText(1, DataModel::NumberColumn), QStringLiteral("2"));
}

void TestDataModel::everyCellIsCentred()
{
    append(4);
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 6; ++column) {
            const QVariant alignment =
                m_model->data(m_model->index(row, column), Qt::TextAlignmentRole);
            QCOMPARE(alignment.toInt(), int(Qt::AlignCenter));
        }
    }
}

void TestDataModel::otherRolesGiveNothing()
{
    append(1);
    for (const int role :
         {int(Qt::EditRole), int(Qt::ToolTipRole), int(Qt::DecorationRole), int(Qt::UserRole)}) {
        QVERIFY2(!m_model->data(m_model->index(0, 2), role).isValid(),
                 qPrintable(QString::number(role)));
    }
}

void TestDataModel::headerCarriesTitlesOnlyHorizontally()
{
    const QStringList titles = {"No.", "Date/Time", "Function", "Range", "Value", "Unit"};
    QCOMPARE(m_model->columnCount(), titles.size());
    for (int section = 0; section < titles.size(); ++section) {
        QCOMPARE(m_model->headerData(section, Qt::Horizontal).toString(), titles.at(section));
        QVERIFY(!m_model->headerData(section, Qt::Vertical).isValid());
        QVERIFY(!m_model->headerData(section, Qt::Horizontal, Qt::ToolTipRole).isValid());
    }
    QVERIFY(!m_model->headerData(6, Qt::Horizontal).isValid());
    QVERIFY(!m_model->headerData(-1, Qt::Horizontal).isValid());
    append(2);
    QVERIFY(!m_model->headerData(0, Qt::Vertical).isValid());
}

void TestDataModel::outsideTheTableGivesNothing_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("row after last") << 2 << 1;
    QTest::newRow("column after last") << 0 << 6;
    QTest::newRow("far row") << 100000 << 0;
}

void TestDataModel::outsideTheTableGivesNothing()
{
    QFETCH(int, row);
    QFETCH(int, column);
    append(2);
    const QModelIndex outside = IndexMaker().make(row, column);
    QVERIFY(outside.isValid());
    QVERIFY(!m_model->data(outside).isValid());
    QVERIFY(!m_model->data(outside, Qt::TextAlignmentRole).isValid());
    QVERIFY(!m_model->data(QModelIndex()).isValid());
    QVERIFY(m_model->cellText(row, column).isEmpty());
    QVERIFY(!m_model->materialize(row < 2 ? -1 : row));
}

void TestDataModel::appendAnnouncesOneRow()
{
    append(2);
    QSignalSpy before(m_model.get(), &QAbstractItemModel::rowsAboutToBeInserted);
    QSignalSpy after(m_model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    int count = 0;
    recordsamples::generateRecording(m_setup.defaultTable, 1, m_start,
                                     [&](DmmData *data) { count = m_model->appendRecord(data); });
    QCOMPARE(count, 3);
    QCOMPARE(before.count(), 1);
    QCOMPARE(after.count(), 1);
    QCOMPARE(after.at(0).at(0).value<QModelIndex>(), QModelIndex());
    QCOMPARE(after.at(0).at(1).toInt(), 2);
    QCOMPARE(after.at(0).at(2).toInt(), 2);
    QCOMPARE(reset.count(), 0);
}

void TestDataModel::nullRecordIsIgnored()
{
    append(1);
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    QCOMPARE(m_model->appendRecord(nullptr), 1);
    QCOMPARE(inserted.count(), 0);
}

void TestDataModel::clearOfEmptyTableIsSilent()
{
    QSignalSpy before(m_model.get(), &QAbstractItemModel::rowsAboutToBeRemoved);
    QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    m_model->clearRecords();
    append(2);
    m_model->clearRecords();
    before.clear();
    removed.clear();
    m_model->clearRecords();
    QCOMPARE(before.count(), 0);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(reset.count(), 0);
}

void TestDataModel::clearAnnouncesAllRows()
{
    append(5);
    QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
    m_model->clearRecords();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 0);
    QCOMPARE(removed.at(0).at(2).toInt(), 4);
    QCOMPARE(m_model->rowCount(), 0);
    QVERIFY(!m_model->data(m_model->index(0, 0)).isValid());
}

void TestDataModel::removeRowsBeyondLastFails()
{
    append(3);
    QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
    QVERIFY(!m_model->removeRows(3, 1));
    QVERIFY(!m_model->removeRows(10, 2));
    QCOMPARE(removed.count(), 0);
    QCOMPARE(m_model->rowCount(), 3);
}

void TestDataModel::removeRowsShiftsLaterRows()
{
    append(6);
    const QStringList fifth = cellTexts(*m_model, 4);
    QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
    QVERIFY(m_model->removeRows(1, 3));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 1);
    QCOMPARE(removed.at(0).at(2).toInt(), 3);
    QCOMPARE(m_model->rowCount(), 3);
    QStringList moved = cellTexts(*m_model, 1);
    QCOMPARE(moved.takeFirst(), QStringLiteral("2"));
    QCOMPARE(moved, fifth.mid(1));
}

void TestDataModel::removeRowsSkipsIndicesOutsideTable()
{
    append(4);
    QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
    QVERIFY(m_model->removeRows(2, 10));
    QCOMPARE(removed.at(0).at(1).toInt(), 2);
    QCOMPARE(removed.at(0).at(2).toInt(), 3);
    QCOMPARE(m_model->rowCount(), 2);
    append(1);
    QCOMPARE(m_model->rowCount(), 3);
    QCOMPARE(m_model->data(m_model->index(2, 0)).toInt(), 3);
}

namespace {

void compareReadings(const DmmData &actual, const DmmData &expected)
{
    QCOMPARE(actual.timestamp(), expected.timestamp());
    QCOMPARE(actual.value(), expected.value());
    QCOMPARE(actual.valueText(), expected.valueText());
    QCOMPARE(actual.overload(), expected.overload());
    QCOMPARE(actual.unitText(), expected.unitText());
    QCOMPARE(actual.rangeText(), expected.rangeText());
    QCOMPARE(actual.functionName(), expected.functionName());
    QCOMPARE(actual.entry(), expected.entry());
    QCOMPARE(actual.maxMinText(), expected.maxMinText());
    QCOMPARE(actual.hold(), expected.hold());
    QCOMPARE(actual.relative(), expected.relative());
    QCOMPARE(actual.statusBit3(), expected.statusBit3());
    QCOMPARE(actual.manualRange(), expected.manualRange());
    QCOMPARE(actual.lowBattery(), expected.lowBattery());
    QCOMPARE(actual.statusBit0(), expected.statusBit0());
    QCOMPARE(actual.peakText(), expected.peakText());
    QCOMPARE(actual.couplingText(), expected.couplingText());
}

void compareCells(const DataModel &model, int row, const DmmData &expected)
{
    const QStringList expectedCells = {
        QString::number(row + 1), expected.timestamp().toString(kTimeFormat),
        expected.functionName(),  expected.rangeText(),
        expected.valueText(),     expected.unitText()};
    QCOMPARE(cellTexts(model, row), expectedCells);
    for (int column = 0; column < expectedCells.size(); ++column)
        QCOMPARE(model.cellText(row, column), expectedCells.at(column));
}

} // namespace

void TestDataModel::everyTableRowComesBackUnchanged()
{
    const QList<DmmData *> expected =
        recordsamples::everyRowReadings(m_setup.defaultTable, m_setup.eTable, m_start);
    for (DmmData *data :
         recordsamples::everyRowReadings(m_setup.defaultTable, m_setup.eTable, m_start))
        m_model->appendRecord(data);
    QCOMPARE(m_model->rowCount(), 63 + 73 + 4);
    for (int row = 0; row < expected.size(); ++row) {
        const std::unique_ptr<DmmData> actual(m_model->materialize(row));
        QVERIFY(actual);
        compareReadings(*actual, *expected.at(row));
        compareCells(*m_model, row, *expected.at(row));
        if (QTest::currentTestFailed())
            qWarning("at row %d", row);
    }
    qDeleteAll(expected);
}

void TestDataModel::repeatedReadingsComeBackUnchanged()
{
    // One row, with the annunciators, overloads and display texts in every combination.
    const int count = 9 * 3 * 64;
    QList<DmmData *> expected;
    recordsamples::generateRecording(m_setup.defaultTable, count, m_start,
                                     [&](DmmData *data) { expected.append(data); });
    append(count);
    for (int row = 0; row < count; ++row) {
        const std::unique_ptr<DmmData> actual(m_model->materialize(row));
        compareReadings(*actual, *expected.at(row));
        if (QTest::currentTestFailed())
            qWarning("at row %d", row);
    }
    qDeleteAll(expected);
}

void TestDataModel::unusualTextsComeBackUnchanged()
{
    // Texts that no decoder of this meter makes: a shorter and a longer display, characters
    // outside Latin-1, a function name that differs from its row's name, a NUL byte.
    const FunctionEntry *row = findEntry(m_setup.defaultTable, 6, 0x32);
    auto make = [&](const char *display, int number) {
        DmmData *data = recordsamples::makeReading(row, recordsamples::displays().at(0), number,
                                                   m_start.addSecs(number));
        data->setValueText(QString::fromUtf8(display));
        return data;
    };
    QList<DmmData *> expected;
    for (int pass = 0; pass < 2; ++pass) {
        QList<DmmData *> readings = {make("1.2", 1), make("12345.678", 2),
                                     make("1,5\xCE\xA9 ok", 3), make("", 4)};
        readings.at(1)->setFunctionName(QStringLiteral("RES, 4-wire"));
        readings.at(2)->setUnitText(QStringLiteral("\"K\xCE\xA9\""));
        readings.at(3)->setValueText(QString::fromLatin1("1\0002.3 4", 7));
        readings.at(3)->setRangeText(QStringLiteral("auto"));
        if (pass == 0)
            expected = readings;
        else
            for (DmmData *data : readings)
                m_model->appendRecord(data);
    }
    for (int i = 0; i < expected.size(); ++i) {
        const std::unique_ptr<DmmData> actual(m_model->materialize(i));
        compareReadings(*actual, *expected.at(i));
        compareCells(*m_model, i, *expected.at(i));
    }
    qDeleteAll(expected);
}

void TestDataModel::readingWithoutTimeHasEmptyTimeCell()
{
    auto *data = recordsamples::makeReading(m_setup.defaultTable.first(),
                                            recordsamples::displays().at(0), 0, QDateTime());
    m_model->appendRecord(data);
    QCOMPARE(m_model->data(m_model->index(0, 1)).toString(), QString());
    const std::unique_ptr<DmmData> back(m_model->materialize(0));
    QVERIFY(!back->timestamp().isValid());
}

void TestDataModel::manyRowsSpanSeveralBlocks()
{
    const int count = 3 * 4096 + 17;
    append(count);
    QCOMPARE(m_model->rowCount(), count);
    for (const int row : {0, 4095, 4096, 8191, 8192, count - 1}) {
        QCOMPARE(m_model->data(m_model->index(row, 0)).toInt(), row + 1);
        QCOMPARE(m_model->cellText(row, DataModel::TimeColumn),
                 m_start.addSecs(row).toString(kTimeFormat));
        const auto &display = recordsamples::displays().at(row % recordsamples::displays().size());
        QCOMPARE(m_model->cellText(row, DataModel::ValueColumn), QString::fromLatin1(display.text));
    }
    QVERIFY(m_model->removeRows(4090, 4096 * 2));
    QCOMPARE(m_model->rowCount(), count - 4096 * 2);
    QCOMPARE(m_model->cellText(4090, DataModel::TimeColumn),
             m_start.addSecs(4090 + 4096 * 2).toString(kTimeFormat));
}

void TestDataModel::timeTextMatchesLocalTime_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::newRow("before midnight") << QDateTime(QDate(2024, 5, 1), QTime(23, 59, 59, 999));
    QTest::newRow("midnight") << QDateTime(QDate(2024, 5, 2), QTime(0, 0));
    QTest::newRow("year end") << QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59));
    QTest::newRow("leap day") << QDateTime(QDate(2024, 2, 29), QTime(12, 0, 1));
    QTest::newRow("winter") << QDateTime(QDate(2024, 1, 15), QTime(7, 5, 9));
    QTest::newRow("before 1970") << QDateTime(QDate(1969, 12, 31), QTime(22, 30, 0, 500));
    QTest::newRow("summer day change") << QDateTime(QDate(2024, 3, 31), QTime(3, 0), Qt::LocalTime);
    QTest::newRow("winter day change")
        << QDateTime(QDate(2024, 10, 27), QTime(23, 59, 59), Qt::LocalTime);
}

void TestDataModel::timeTextMatchesLocalTime()
{
    QFETCH(QDateTime, time);
    TimestampFormatter formatter;
    // Warm the cache with another day first, then the day itself, then a step back.
    formatter.text(QDateTime(QDate(2024, 6, 1), QTime(12, 0)).toMSecsSinceEpoch());
    for (const qint64 offset : {0, 1000, -1000, 3600000, -86400000}) {
        const qint64 msecs = time.toMSecsSinceEpoch() + offset;
        QCOMPARE(formatter.text(msecs),
                 QDateTime::fromMSecsSinceEpoch(msecs).toString(kTimeFormat));
    }
}

void TestDataModel::timeTextFollowsClockChanges()
{
    // Every ten minutes through the two days of the year on which the clock moves.
    const auto dayLength = [](const QDate &day) {
        return QDateTime(day, QTime(0, 0)).secsTo(QDateTime(day.addDays(1), QTime(0, 0)));
    };
    QCOMPARE(dayLength(QDate(2024, 3, 31)), 23 * 3600);
    QCOMPARE(dayLength(QDate(2024, 10, 27)), 25 * 3600);
    TimestampFormatter formatter;
    for (const QDate &day : {QDate(2024, 3, 30), QDate(2024, 10, 26)}) {
        const qint64 begin = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
        for (qint64 msecs = begin; msecs < begin + 3 * 86400000LL; msecs += 600000 + 7) {
            const QString expected = QDateTime::fromMSecsSinceEpoch(msecs).toString(kTimeFormat);
            QCOMPARE(formatter.text(msecs), expected);
        }
    }
}

QTEST_GUILESS_MAIN(TestDataModel)
#include "tst_datamodel.moc"
