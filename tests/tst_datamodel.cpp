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

// Every change a model announces, as "insert first-last", "remove first-last" or "reset".
class Announcements : public QStringList
{
public:
    explicit Announcements(QAbstractItemModel *model)
    {
        QObject::connect(model, &QAbstractItemModel::rowsInserted,
                         [this](auto, int first, int last) {
                             append(QStringLiteral("insert %1-%2").arg(first).arg(last));
                         });
        QObject::connect(model, &QAbstractItemModel::rowsRemoved,
                         [this](auto, int first, int last) {
                             append(QStringLiteral("remove %1-%2").arg(first).arg(last));
                         });
        QObject::connect(model, &QAbstractItemModel::modelReset,
                         [this] { append(QStringLiteral("reset")); });
    }
    QStringList take() { return std::exchange(*static_cast<QStringList *>(this), {}); }
};

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

    void rowsAreNumberedCentredAndTitled();
    void outsideTheTableGivesNothing_data();
    void outsideTheTableGivesNothing();
    void changesAreAnnouncedRowByRow();
    void readingsComeBackUnchanged_data();
    void readingsComeBackUnchanged();
    void manyRowsSpanSeveralBlocks();

    void timeTextMatchesLocalTime_data();
    void timeTextMatchesLocalTime();
    void timeTextFollowsClockChanges();

private:
    void append(int count);
    // Fresh readings of the kind a round-trip case names; the caller owns them.
    QList<DmmData *> samples(const QString &kind) const;

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

void TestDataModel::rowsAreNumberedCentredAndTitled()
{
    QCOMPARE(m_model->columnCount(), 6);
    QStringList titles;
    for (int section = 0; section < 7; ++section) {
        titles << m_model->headerData(section, Qt::Horizontal).toString();
        QVERIFY(!m_model->headerData(section, Qt::Vertical).isValid());
        QVERIFY(!m_model->headerData(section, Qt::Horizontal, Qt::ToolTipRole).isValid());
    }
    QCOMPARE(titles, (QStringList{"No.", "Date/Time", "Function", "Range", "Value", "Unit", ""}));
    append(3);
    m_model->clearRecords();
    append(2);
    for (int row = 0; row < 2; ++row) {
        const QVariant number = m_model->data(m_model->index(row, 0));
        QCOMPARE(number.userType(), int(QMetaType::Int));
        QCOMPARE(number.toInt(), row + 1);
        for (int column = 0; column < 6; ++column) {
            const QModelIndex index = m_model->index(row, column);
            QCOMPARE(m_model->data(index, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
            for (const int role : {Qt::EditRole, Qt::ToolTipRole, Qt::DecorationRole, Qt::UserRole})
                QVERIFY(!m_model->data(index, role).isValid());
        }
    }
    QCOMPARE(m_model->cellText(1, DataModel::NumberColumn), QStringLiteral("2"));
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

void TestDataModel::changesAreAnnouncedRowByRow()
{
    Announcements announced(m_model.get());
    m_model->clearRecords(); // an empty table is cleared silently
    append(2);
    int rows = 0;
    recordsamples::generateRecording(m_setup.defaultTable, 1, m_start,
                                     [&](DmmData *data) { rows = m_model->appendRecord(data); });
    QCOMPARE(rows, 3);
    QCOMPARE(m_model->appendRecord(nullptr), 3);
    QCOMPARE(announced.take(), (QStringList{"insert 0-0", "insert 1-1", "insert 2-2"}));
    append(3);
    announced.take();

    // Rows from one beyond the last cannot be removed; later rows move up; indices past the
    // end are skipped.
    const QStringList fifth = cellTexts(*m_model, 4);
    QVERIFY(!m_model->removeRows(6, 1));
    QVERIFY(!m_model->removeRows(10, 2));
    QVERIFY(m_model->removeRows(1, 3));
    QCOMPARE(cellTexts(*m_model, 1), QStringList{"2"} + fifth.mid(1));
    QVERIFY(m_model->removeRows(2, 10));
    QCOMPARE(m_model->rowCount(), 2);
    append(1);
    QCOMPARE(m_model->data(m_model->index(2, 0)).toInt(), 3);
    m_model->clearRecords();
    m_model->clearRecords();
    QCOMPARE(announced.take(),
             (QStringList{"remove 1-3", "remove 2-2", "insert 2-2", "remove 0-2"}));
    QVERIFY(!m_model->data(m_model->index(0, 0)).isValid());
}

namespace {

// Every field of a reading, flags as 0 and 1.
QString describe(const DmmData &data)
{
    const auto flag = [](bool on) { return on ? QLatin1Char('1') : QLatin1Char('0'); };
    return QStringList{data.timestamp().toString(Qt::ISODateWithMs),
                       QString::number(data.value(), 'g', 17),
                       data.valueText(),
                       QString::number(data.overload()),
                       data.unitText(),
                       data.rangeText(),
                       data.functionName(),
                       QString::number(quintptr(data.entry()), 16),
                       data.maxMinText(),
                       data.peakText(),
                       data.couplingText(),
                       QString() + flag(data.hold()) + flag(data.relative()) +
                           flag(data.statusBit3()) + flag(data.manualRange()) +
                           flag(data.lowBattery()) + flag(data.statusBit0())}
        .join(QLatin1Char('|'));
}

// The row comes back as the reading, and shows the reading's texts in its cells.
void compareRow(const DataModel &model, int row, const DmmData &expected)
{
    const std::unique_ptr<DmmData> actual(model.materialize(row));
    QVERIFY(actual);
    QCOMPARE(describe(*actual), describe(expected));
    QCOMPARE(actual->timestamp().timeSpec(), expected.timestamp().timeSpec());
    const QStringList cells = {QString::number(row + 1), expected.timestamp().toString(kTimeFormat),
                               expected.functionName(),  expected.rangeText(),
                               expected.valueText(),     expected.unitText()};
    QCOMPARE(cellTexts(model, row), cells);
    for (int column = 0; column < cells.size(); ++column)
        QCOMPARE(model.cellText(row, column), cells.at(column));
}

} // namespace

QList<DmmData *> TestDataModel::samples(const QString &kind) const
{
    QList<DmmData *> readings;
    if (kind == QLatin1String("every table row"))
        return recordsamples::everyRowReadings(m_setup.defaultTable, m_setup.eTable, m_start);
    if (kind == QLatin1String("every annunciator, overload and display")) {
        recordsamples::generateRecording(m_setup.defaultTable, 9 * 3 * 64, m_start,
                                         [&](DmmData *data) { readings.append(data); });
        return readings;
    }
    // Texts that no decoder of this meter makes: a shorter and a longer display, characters
    // outside Latin-1, a function name that differs from its row's name, a NUL byte; and a
    // reading without time.
    const FunctionEntry *row = findEntry(m_setup.defaultTable, 6, 0x32);
    for (const char *display : {"1.2", "12345.678", "1,5\xCE\xA9 ok", "", ""}) {
        const int number = readings.size();
        readings.append(
            recordsamples::makeReading(row, recordsamples::displays().at(0), number,
                                       number < 4 ? m_start.addSecs(number) : QDateTime()));
        readings.last()->setValueText(QString::fromUtf8(display));
    }
    readings.at(1)->setFunctionName(QStringLiteral("RES, 4-wire"));
    readings.at(2)->setUnitText(QStringLiteral("\"K\xCE\xA9\""));
    readings.at(3)->setValueText(QString::fromLatin1("1\0002.3 4", 7));
    readings.at(3)->setRangeText(QStringLiteral("auto"));
    return readings;
}

void TestDataModel::readingsComeBackUnchanged_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind :
         {"every table row", "every annunciator, overload and display", "unusual texts, no time"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestDataModel::readingsComeBackUnchanged()
{
    QFETCH(QString, kind);
    const QList<DmmData *> expected = samples(kind);
    for (DmmData *data : samples(kind))
        m_model->appendRecord(data);
    QCOMPARE(m_model->rowCount(), expected.size());
    for (int row = 0; row < expected.size(); ++row) {
        compareRow(*m_model, row, *expected.at(row));
        if (QTest::currentTestFailed())
            qWarning("at row %d", row);
    }
    qDeleteAll(expected);
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
