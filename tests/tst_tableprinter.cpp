#include "record/datamodel.h"
#include "record/tableprinter.h"
#include "tests/recordsamples.h"

#include <QPaintEngine>
#include <QPainter>
#include <QtTest>

namespace {

// A paint engine that notes the texts drawn on each page and draws nothing.
class RecordingEngine : public QPaintEngine
{
public:
    RecordingEngine()
        : QPaintEngine(AllFeatures)
    {
    }
    QList<QStringList> pages{QStringList()};

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &) override {}
    Type type() const override { return User; }
    void drawTextItem(const QPointF &, const QTextItem &item) override
    {
        pages.last().append(item.text().trimmed());
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawPath(const QPainterPath &) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
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
    mutable RecordingEngine m_engine;
};

} // namespace

class TestTablePrinter : public QObject
{
    Q_OBJECT
private slots:
    void rowsAreSplitIntoPages_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("pageLines");          // the page's height in lines
        QTest::addColumn<QPoint>("range");           // the pages asked for, from 0
        QTest::addColumn<int>("stopAt");             // the pages done when the rendering is stopped
        QTest::addColumn<QList<int>>("rowsPerPage"); // of the pages rendered
        QTest::addColumn<int>("pages");              // that the table fills
        const QPoint all(0, INT_MAX);
        QTest::newRow("no rows draw nothing") << 0 << 55 << all << -1 << QList<int>{} << 0;
        QTest::newRow("a full page") << 49 << 55 << all << -1 << QList<int>{49} << 1;
        QTest::newRow("one row more") << 50 << 55 << all << -1 << QList<int>{49, 1} << 2;
        QTest::newRow("every function") << 140 << 55 << all << -1 << QList<int>{49, 49, 42} << 3;
        QTest::newRow("a tiny page holds one row")
            << 3 << 3 << all << -1 << QList<int>{1, 1, 1} << 3;
        QTest::newRow("pages 2 and 3 of 4")
            << 150 << 55 << QPoint(1, 2) << -1 << QList<int>{49, 49} << 4;
        QTest::newRow("range past the end")
            << 150 << 55 << QPoint(3, 9) << -1 << QList<int>{3} << 4;
        QTest::newRow("stopped after two") << 150 << 55 << all << 2 << QList<int>{49, 49} << 4;
    }

    void rowsAreSplitIntoPages()
    {
        QFETCH(int, rows);
        QFETCH(int, pageLines);
        QFETCH(QPoint, range);
        QFETCH(int, stopAt);
        QFETCH(QList<int>, rowsPerPage);
        QFETCH(int, pages);
        recordsamples::RecordSetup setup;
        DataModel model(setup.columns);
        while (model.rowCount() < rows) {
            for (DmmData *data : recordsamples::everyRowReadings(
                     setup.defaultTable, setup.eTable, QDateTime(QDate(2024, 5, 1), QTime(12, 0))))
                model.appendRecord(data);
        }
        model.removeRows(rows, model.rowCount());
        TablePrinter printer(&model);
        printer.setTitle(QStringLiteral("Test Data"));
        printer.setColumns(setup.columns);
        QFont font; // the printer's, on a page at 96 dots per inch
        font.setFamily(QStringLiteral("SimSun"));
        RecordingDevice device(QSize(800, 1000));
        const int line = QFontMetrics(font, &device).height() * 3 / 2;
        const QSize page(700, pageLines * line + (pageLines > 3 ? line / 2 : 0));
        QPainter painter(&device);
        const bool whole = printer.render(
            painter, page, [&device] { device.m_engine.pages.append(QStringList()); },
            {range.x(), range.y()}, [stopAt](int done) { return done != stopAt; });
        painter.end();
        QCOMPARE(whole, stopAt < 0);
        const QList<QStringList> &rendered = device.m_engine.pages;
        // No page turned for an empty table.
        QCOMPARE(rendered.size(), qMax(rowsPerPage.size(), 1));
        for (int at = 0; at < rowsPerPage.size(); ++at) {
            // Title, print time and page number, the six column titles, the rows' cells.
            const QStringList &texts = rendered.at(at);
            const int number = range.x() + at; // from 0
            QCOMPARE(texts.mid(0, 1) + texts.mid(2, 7),
                     QStringList({"Test Data", QStringLiteral("%1/%2").arg(number + 1).arg(pages),
                                  "No.", "Date/Time", "Function", "Range", "Value", "Unit"}));
            // Blanks left out: a text may be drawn in pieces (a fallback font for the ohm sign).
            QString shown;
            const int first = number * qMax(1, pageLines - 6); // all pages but the last are full
            for (int row = first; row < first + rowsPerPage.at(at); ++row)
                for (int column = 0; column < 6; ++column)
                    shown += model.cellText(row, column);
            const QRegularExpression blank("\\s");
            QCOMPARE(texts.mid(9).join(QString()).remove(blank), shown.remove(blank));
        }
        QCOMPARE(rendered.last().isEmpty(), rows == 0);
    }
};

QTEST_MAIN(TestTablePrinter)
#include "tst_tableprinter.moc"
