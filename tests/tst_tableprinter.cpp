#include "meter/functionentry.h"
#include "record/datamodel.h"
#include "record/tableprinter.h"
#include "tests/recordsamples.h"

#include <QApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QtTest>

#include <memory>

namespace {

// What was painted on one page: its texts, and how many other shapes.
struct Page
{
    QStringList texts;
    int shapes = 0;
};

// A paint engine that notes texts and counts other shapes, page by page, instead of drawing them.
class RecordingEngine : public QPaintEngine
{
public:
    RecordingEngine()
        : QPaintEngine(AllFeatures)
    {
    }
    QList<Page> pages{Page()};

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &) override {}
    Type type() const override { return User; }
    void drawTextItem(const QPointF &, const QTextItem &item) override
    {
        pages.last().texts.append(item.text().trimmed());
    }
    // Every other shape ends up in one of these.
    void drawLines(const QLineF *, int count) override { pages.last().shapes += count; }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { other(); }
    void drawPath(const QPainterPath &) override { other(); }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { other(); }

private:
    void other() { ++pages.last().shapes; }
};

// A page-sized image at 96 dots per inch whose painting goes to the recording engine.
class RecordingDevice : public QImage
{
public:
    explicit RecordingDevice(const QSize &size)
        : QImage(size, Format_RGB32)
    {
        setDotsPerMeterX(3780);
        setDotsPerMeterY(3780);
    }
    QPaintEngine *paintEngine() const override { return &m_engine; }
    void newPage() { m_engine.pages.append(Page()); }
    const QList<Page> &pages() const { return m_engine.pages; }

private:
    mutable RecordingEngine m_engine;
};

} // namespace

class TestTablePrinter : public QObject
{
    Q_OBJECT
    recordsamples::RecordSetup m_setup;
    std::unique_ptr<DataModel> m_model;
    std::unique_ptr<TablePrinter> m_printer;
    int m_line = 0;
    QSize m_page; // 700 pixels wide, 49 rows per page

    // Readings of every function, as often as needed for the number of rows.
    void fillTable(int rows)
    {
        const QDateTime start(QDate(2024, 5, 1), QTime(12, 0));
        while (m_model->rowCount() < rows) {
            for (DmmData *data :
                 recordsamples::everyRowReadings(m_setup.defaultTable, m_setup.eTable, start))
                m_model->appendRecord(data);
        }
        m_model->removeRows(rows, m_model->rowCount());
    }

    QList<Page> renderOn(const QSize &page)
    {
        RecordingDevice device(page);
        QPainter painter(&device);
        m_printer->render(painter, page, [&device] { device.newPage(); });
        painter.end();
        return device.pages();
    }

private slots:
    void initTestCase()
    {
        QFont font; // the printer's, on a page at 96 dots per inch
        font.setFamily(QStringLiteral("SimSun"));
        RecordingDevice probe(QSize(800, 1000));
        m_line = QFontMetrics(font, &probe).height() * 3 / 2;
        QVERIFY(m_line > 0);
        m_page = QSize(700, 55 * m_line + m_line / 2);
    }

    void init()
    {
        m_printer.reset(); // before the table it prints
        m_model.reset(new DataModel(m_setup.columns));
        m_printer.reset(new TablePrinter(m_model.get()));
        m_printer->setTitle(QStringLiteral("Test Data"));
        m_printer->setColumns(m_setup.columns);
    }

    void rowsAreSplitIntoPages_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("pageLines"); // the page's height in lines; 0 for one of 49 rows
        QTest::addColumn<QList<int>>("rowsPerPage");
        QTest::newRow("no rows draw nothing") << 0 << 0 << QList<int>{};
        QTest::newRow("a full page") << 49 << 0 << QList<int>{49};
        QTest::newRow("one row more") << 50 << 0 << QList<int>{49, 1};
        QTest::newRow("every function") << 140 << 0 << QList<int>{49, 49, 42};
        QTest::newRow("a tiny page holds one row") << 3 << 3 << QList<int>{1, 1, 1};
    }

    void rowsAreSplitIntoPages()
    {
        QFETCH(int, rows);
        QFETCH(int, pageLines);
        QFETCH(QList<int>, rowsPerPage);
        fillTable(rows);
        const QList<Page> pages = renderOn(pageLines ? QSize(700, pageLines * m_line) : m_page);
        QCOMPARE(pages.size(), qMax(rowsPerPage.size(), 1)); // no page turned for an empty table
        int first = 0;
        for (int page = 0; page < rowsPerPage.size(); ++page) {
            // Title, print time and page number, the six column titles, the rows' cells.
            const QStringList texts = pages.at(page).texts;
            QCOMPARE(texts.at(0), QStringLiteral("Test Data"));
            QCOMPARE(texts.at(2), QStringLiteral("%1/%2").arg(page + 1).arg(pages.size()));
            QCOMPARE(texts.mid(3, 6),
                     QStringList({"No.", "Date/Time", "Function", "Range", "Value", "Unit"}));
            // Blanks left out: a text may be drawn in pieces (a fallback font for the ohm sign).
            QString shown;
            for (int row = first; row < first + rowsPerPage.at(page); ++row)
                for (int column = 0; column < 6; ++column)
                    shown += m_model->cellText(row, column);
            const QRegularExpression blank("\\s");
            QCOMPARE(texts.mid(9).join(QString()).remove(blank), shown.remove(blank));
            // A rule above the header and under it and each row, one left of each column and at
            // the right end.
            QCOMPARE(pages.at(page).shapes, rowsPerPage.at(page) + 2 + 7);
            first += rowsPerPage.at(page);
        }
        if (rows == 0)
            QCOMPARE(pages.last().texts.size() + pages.last().shapes, 0);
    }
};

QTEST_MAIN(TestTablePrinter)
#include "tst_tableprinter.moc"
