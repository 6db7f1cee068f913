#include "meter/functionentry.h"
#include "record/columnspec.h"
#include "record/datamodel.h"
#include "record/printgeometry.h"
#include "record/tableprinter.h"
#include "recordsamples.h"

#include <QApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QList<int> kWeights = {1, 3, 3, 2, 2, 2};

// What was painted on one page.
struct Page
{
    QStringList texts;
    QList<QPointF> baselines;
    QVector<QLineF> lines;
    int otherShapes = 0;
};

// A paint engine that notes texts and lines, page by page, instead of drawing them.
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
    void drawTextItem(const QPointF &baseline, const QTextItem &item) override
    {
        pages.last().texts.append(item.text().trimmed());
        pages.last().baselines.append(baseline);
    }
    void drawLines(const QLineF *lines, int count) override
    {
        pages.last().lines += QVector<QLineF>(lines, lines + count);
    }
    // Every other shape ends up in one of these.
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { other(); }
    void drawPath(const QPainterPath &) override { other(); }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { other(); }

private:
    void other() { ++pages.last().otherShapes; }
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

// Height of the font the printer draws with, on the given device.
int printFontHeight(QPaintDevice *device)
{
    QFont font;
    font.setFamily(QStringLiteral("SimSun"));
    return QFontMetrics(font, device).height();
}

} // namespace

class TestTablePrinter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rowsPerPage_data();
    void rowsPerPage();
    void geometryOfThe700PixelPage();
    void rowsAreSplitIntoPages_data();
    void rowsAreSplitIntoPages();
    void printedCellsAreTheTableCells();
    void gridIsRuledAfterTheColumns();
    void cellsPrintByValueType();
    void printerReceivesEveryPageAndPreviewIsMaximised();

private:
    void fillTable(int rows);
    QList<Page> renderOn(const QSize &page);

    recordsamples::RecordSetup m_setup;
    std::unique_ptr<DataModel> m_model;
    std::unique_ptr<TablePrinter> m_printer;
    int m_line = 0;
    QSize m_page; // 49 rows per page
};

void TestTablePrinter::initTestCase()
{
    RecordingDevice probe(QSize(800, 1000));
    const int fontHeight = printFontHeight(&probe);
    QVERIFY(fontHeight > 0);
    m_line = fontHeight + fontHeight / 2;
    m_page = QSize(700, 55 * m_line + m_line / 2);
}

void TestTablePrinter::init()
{
    m_model.reset(new DataModel(m_setup.columns));
    m_printer.reset(new TablePrinter(m_model.get()));
    m_printer->setTitle(QStringLiteral("Test Data"));
    m_printer->setColumns(m_setup.columns);
}

void TestTablePrinter::cleanup()
{
    m_printer.reset();
    m_model.reset();
}

void TestTablePrinter::fillTable(int rows)
{
    recordsamples::generateRecording(m_setup.defaultTable, rows,
                                     QDateTime(QDate(2024, 5, 1), QTime(12, 0)),
                                     [this](DmmData *data) { m_model->appendRecord(data); });
}

QList<Page> TestTablePrinter::renderOn(const QSize &page)
{
    RecordingDevice device(page);
    QPainter painter(&device);
    m_printer->render(painter, page, [&device] { device.newPage(); });
    painter.end();
    return device.pages();
}

void TestTablePrinter::rowsPerPage_data()
{
    QTest::addColumn<int>("fontHeight");
    QTest::addColumn<int>("pageHeight");
    QTest::addColumn<int>("lineHeight");
    QTest::addColumn<int>("rows");
    QTest::newRow("12 on 1000") << 12 << 1000 << 18 << 49;
    QTest::newRow("odd font height") << 13 << 1000 << 19 << 46;
    QTest::newRow("six lines hold no row: one all the same") << 12 << 108 << 18 << 1;
    QTest::newRow("no height") << 12 << 0 << 18 << 1;
}

void TestTablePrinter::rowsPerPage()
{
    QFETCH(int, fontHeight);
    QFETCH(int, pageHeight);
    const PrintGeometry geometry(QSize(700, pageHeight), fontHeight, kWeights);
    QTEST(geometry.lineHeight(), "lineHeight");
    QTEST(geometry.rowsPerPage(), "rows");
}

void TestTablePrinter::geometryOfThe700PixelPage()
{
    const PrintGeometry geometry(QSize(700, 1000), 12, kWeights);
    QCOMPARE(geometry.columnWidths(), QVector<int>({49, 147, 147, 98, 98, 98}));
    // The right border stays at the margin, 3 pixels right of the last column's box.
    QCOMPARE(geometry.left(), 30);
    QCOMPARE(geometry.right(), 670);
    QList<int> pages;
    for (int rows : {0, 1, 49, 50, 98, 99})
        pages << geometry.pageCount(rows);
    QCOMPARE(pages, QList<int>({0, 1, 1, 2, 2, 3}));
    QCOMPARE(geometry.firstRowOf(1), 49);
    QCOMPARE(geometry.titleRect(101), QRect(299, 0, 101, 54));
    QCOMPARE(geometry.printTimeRect(120), QRect(550, 54, 120, 15));
    QCOMPARE(geometry.pageNumberRect(20), QRect(650, 982, 20, 18));
    QCOMPARE(geometry.rowTop(48), 90 + 48 * 18);
}

void TestTablePrinter::rowsAreSplitIntoPages_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pageLines"); // the page's height in lines; 0 for one of 49 rows
    QTest::addColumn<QList<int>>("rowsPerPage");
    QTest::newRow("no rows draw nothing") << 0 << 0 << QList<int>{};
    QTest::newRow("a full page") << 49 << 0 << QList<int>{49};
    QTest::newRow("one row more") << 50 << 0 << QList<int>{49, 1};
    QTest::newRow("a tiny page holds one row") << 3 << 3 << QList<int>{1, 1, 1};
}

void TestTablePrinter::rowsAreSplitIntoPages()
{
    QFETCH(int, rows);
    QFETCH(int, pageLines);
    QFETCH(QList<int>, rowsPerPage);
    fillTable(rows);
    const QList<Page> pages = renderOn(pageLines ? QSize(700, pageLines * m_line) : m_page);
    if (rowsPerPage.isEmpty()) { // not a page turned, not a thing drawn
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages.at(0).texts.isEmpty() && pages.at(0).lines.isEmpty());
        QCOMPARE(pages.at(0).otherShapes, 0);
        return;
    }
    QCOMPARE(pages.size(), rowsPerPage.size());
    int first = 1;
    for (int page = 0; page < pages.size(); ++page) {
        // Title, print time and page number, the six column titles, six cells in each row.
        const QStringList texts = pages.at(page).texts;
        const int count = rowsPerPage.at(page);
        QCOMPARE(texts.size(), 3 + 6 + 6 * count);
        QCOMPARE(texts.at(0), QStringLiteral("Test Data"));
        QCOMPARE(texts.at(2), QStringLiteral("%1/%2").arg(page + 1).arg(pages.size()));
        QCOMPARE(texts.mid(3, 6),
                 QStringList({"No.", "Date/Time", "Function", "Range", "Value", "Unit"}));
        QCOMPARE(texts.at(9), QString::number(first));
        QCOMPARE(texts.at(texts.size() - 6), QString::number(first + count - 1));
        first += count;
    }
    if (rows == 50) {
        // Row 50 sits in the first row's box of page 2, in column 0, on the box's bottom line.
        const QPointF baseline = pages.at(1).baselines.at(9);
        QVERIFY(baseline.y() > 5 * m_line && baseline.y() <= 6 * m_line);
        QVERIFY(baseline.x() > 30 && baseline.x() < 30 + 49 / 2);
    }
}

// The cells of a recording of every function print as the table shows them.
void TestTablePrinter::printedCellsAreTheTableCells()
{
    for (DmmData *data : recordsamples::everyRowReadings(
             m_setup.defaultTable, m_setup.eTable, QDateTime(QDate(2024, 5, 1), QTime(12, 0))))
        m_model->appendRecord(data);
    const QList<Page> pages = renderOn(m_page);
    QCOMPARE(pages.size(), (m_model->rowCount() + 48) / 49);
    // A text may be drawn in several pieces (a fallback font for the ohm sign), so compare the
    // pages' row texts without the blanks between them.
    const auto squeezed = [](QString text) { return text.remove(QRegularExpression("\\s")); };
    QString printed;
    for (const Page &page : pages)
        printed += squeezed(page.texts.mid(9).join(QString()));
    QString shown;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        for (int column = 0; column < 6; ++column)
            shown += squeezed(m_model->cellText(row, column));
    }
    QCOMPARE(printed, shown);
}

void TestTablePrinter::gridIsRuledAfterTheColumns()
{
    fillTable(3);
    const QList<Page> pages = renderOn(m_page);
    QCOMPARE(pages.size(), 1);
    QList<qreal> verticalX;
    QList<qreal> horizontalY;
    for (const QLineF &line : pages.at(0).lines) {
        if (line.x1() == line.x2()) {
            QCOMPARE(line.y1(), qreal(4 * m_line));
            QCOMPARE(line.y2(), qreal(8 * m_line)); // header and three rows
            verticalX.append(line.x1());
        } else {
            QCOMPARE(line.y1(), line.y2());
            QCOMPARE(line.x1(), qreal(30));
            QCOMPARE(line.x2(), qreal(670));
            horizontalY.append(line.y1());
        }
    }
    QCOMPARE(verticalX, QList<qreal>({30, 79, 226, 373, 471, 569, 670}));
    QCOMPARE(horizontalY,
             QList<qreal>({4.0 * m_line, 5.0 * m_line, 6.0 * m_line, 7.0 * m_line, 8.0 * m_line}));
    QCOMPARE(pages.at(0).otherShapes, 0);
}

void TestTablePrinter::cellsPrintByValueType()
{
    QStandardItemModel table(1, 5);
    const QList<QVariant> values = {12.7, QDateTime(QDate(2024, 5, 1), QTime(12, 0, 7)),
                                    QStringLiteral("  O.L  "), qlonglong(42), true};
    for (int column = 0; column < values.size(); ++column)
        table.setData(table.index(0, column), values.at(column));
    TablePrinter printer(&table);
    RecordingDevice device(m_page);
    QPainter painter(&device);
    printer.render(painter, m_page, [] {});
    painter.end();
    // Numbers as whole numbers, time stamps in the table's format, the rest as text.
    QCOMPARE(device.pages().at(0).texts.mid(2 + 5), // the print time and page number, the header
             QStringList({"13", "2024-05-01 12:00:07", "O.L", "42", "true"}));
}

void TestTablePrinter::printerReceivesEveryPageAndPreviewIsMaximised()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath("table.pdf");
    {
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(fileName);
        const QSize page = printer.pageLayout().paintRectPixels(printer.resolution()).size();
        const int perPage = PrintGeometry(page, printFontHeight(&printer), kWeights).rowsPerPage();
        fillTable(2 * perPage + 1);
        m_printer->slotPaintRequested(&printer);
    }
    QFile pdf(fileName);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll(); // with NUL bytes in it
    const QString contents = QString::fromLatin1(bytes.constData(), bytes.size());
    QCOMPARE(contents.count(QRegularExpression("/Type\\s*/Page\\b")), 3);

    Qt::WindowStates state;
    Qt::WindowFlags flags;
    int previewPages = -1;
    int expectedPages = -2;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        auto *preview = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
        if (!preview)
            return;
        state = preview->windowState();
        flags = preview->windowFlags();
        QPrinter *printer = preview->printer();
        const QSize page = printer->pageLayout().paintRectPixels(printer->resolution()).size();
        const PrintGeometry geometry(page, printFontHeight(printer), kWeights);
        expectedPages = geometry.pageCount(m_model->rowCount());
        previewPages = preview->findChild<QPrintPreviewWidget *>()->pageCount();
        preview->reject();
    });
    closer.start(20);
    m_printer->print();
    QVERIFY(state & Qt::WindowMaximized);
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);
    QCOMPARE(previewPages, expectedPages);
}

QTEST_MAIN(TestTablePrinter)
#include "tst_tableprinter.moc"
