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
    struct Text
    {
        QString text;
        QPointF baseline;
    };
    QList<Text> texts;
    QVector<QLineF> lines;
    int otherShapes = 0;

    QStringList textList() const
    {
        QStringList list;
        for (const Text &text : texts)
            list.append(text.text);
        return list;
    }
    const Text *find(const QString &text) const
    {
        for (const Text &item : texts) {
            if (item.text == text)
                return &item;
        }
        return nullptr;
    }
};

// A paint engine that notes texts and lines instead of drawing them.
class RecordingEngine : public QPaintEngine
{
public:
    RecordingEngine()
        : QPaintEngine(QPaintEngine::AllFeatures)
    {
    }
    QList<Page> pages{Page()};

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &) override {}
    Type type() const override { return QPaintEngine::User; }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        pages.last().texts.append({item.text().trimmed(), p});
    }
    void drawLines(const QLineF *lines, int count) override
    {
        for (int i = 0; i < count; ++i)
            pages.last().lines.append(lines[i]);
    }
    void drawLines(const QLine *lines, int count) override
    {
        for (int i = 0; i < count; ++i)
            pages.last().lines.append(QLineF(lines[i]));
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { other(); }
    void drawRects(const QRectF *, int) override { other(); }
    void drawPath(const QPainterPath &) override { other(); }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { other(); }
    void drawPoints(const QPointF *, int) override { other(); }

private:
    void other() { ++pages.last().otherShapes; }
};

// A page-sized device at screen resolution that keeps what is painted on it, page by page.
class RecordingDevice : public QPaintDevice
{
public:
    explicit RecordingDevice(const QSize &size)
        : m_size(size)
    {
    }
    QPaintEngine *paintEngine() const override { return &m_engine; }
    void newPage() { m_engine.pages.append(Page()); }
    const QList<Page> &pages() const { return m_engine.pages; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return qRound(m_size.width() * 25.4 / kDpi);
        case PdmHeightMM:
            return qRound(m_size.height() * 25.4 / kDpi);
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return kDpi;
        }
    }

private:
    static constexpr int kDpi = 96;
    QSize m_size;
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
    void pageCount_data();
    void pageCount();
    void columnWidthsFollowWeights();
    void captionsSitAtTheEdges();

    void rowsAreSplitIntoPages_data();
    void rowsAreSplitIntoPages();
    void nextRowStartsSecondPage();
    void gridIsRuledAfterTheColumns();
    void cellsPrintByValueType();
    void printerReceivesEveryPage();
    void previewOpensMaximised();

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
    m_page = QSize(800, 55 * m_line + m_line / 2);
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
    QTest::newRow("exactly seven lines") << 12 << 126 << 18 << 1;
    QTest::newRow("six lines") << 12 << 108 << 18 << 1;
    QTest::newRow("tiny page") << 12 << 20 << 18 << 1;
    QTest::newRow("no height") << 12 << 0 << 18 << 1;
}

void TestTablePrinter::rowsPerPage()
{
    QFETCH(int, fontHeight);
    QFETCH(int, pageHeight);
    QFETCH(int, lineHeight);
    QFETCH(int, rows);
    const PrintGeometry geometry(QSize(700, pageHeight), fontHeight, kWeights);
    QCOMPARE(geometry.lineHeight(), lineHeight);
    QCOMPARE(geometry.rowsPerPage(), rows);
}

void TestTablePrinter::pageCount_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("full page") << 49 << 1;
    QTest::newRow("one more") << 50 << 2;
    QTest::newRow("two full pages") << 98 << 2;
    QTest::newRow("one more again") << 99 << 3;
}

void TestTablePrinter::pageCount()
{
    QFETCH(int, rows);
    QFETCH(int, pages);
    const PrintGeometry geometry(QSize(700, 1000), 12, kWeights);
    QCOMPARE(geometry.pageCount(rows), pages);
    if (pages > 1)
        QCOMPARE(geometry.firstRowOf(1), 49);
}

void TestTablePrinter::columnWidthsFollowWeights()
{
    const PrintGeometry geometry(QSize(700, 1000), 12, kWeights);
    QCOMPARE(geometry.columnWidths(), QVector<int>({49, 147, 147, 98, 98, 98}));
    QCOMPARE(geometry.left(), 30);
    // The right border stays at the margin, 3 pixels right of the last column's box.
    QCOMPARE(geometry.right(), 670);
    QCOMPARE(PrintGeometry(QSize(700, 1000), 12, {0, 0}).columnWidths(), QVector<int>({0, 0}));
}

void TestTablePrinter::captionsSitAtTheEdges()
{
    const PrintGeometry geometry(QSize(700, 1000), 12, kWeights);
    QCOMPARE(geometry.titleRect(101), QRect(299, 0, 101, 54));
    QCOMPARE(geometry.printTimeRect(120), QRect(550, 54, 120, 15));
    QCOMPARE(geometry.pageNumberRect(20), QRect(650, 982, 20, 18));
    QCOMPARE(geometry.headerTop(), 72);
    QCOMPARE(geometry.rowTop(0), 90);
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
    const QRegularExpression time("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$");
    int first = 1;
    for (int page = 0; page < pages.size(); ++page) {
        const QStringList texts = pages.at(page).textList();
        // Title, print time and page number, the six column titles, six cells in each row.
        const int count = rowsPerPage.at(page);
        QCOMPARE(texts.size(), 3 + 6 + 6 * count);
        QVERIFY(texts.contains("Test Data"));
        QVERIFY(texts.contains(QStringLiteral("%1/%2").arg(page + 1).arg(pages.size())));
        for (const char *header : {"No.", "Date/Time", "Function", "Range", "Value", "Unit"})
            QVERIFY2(texts.contains(QString::fromLatin1(header)), header);
        QCOMPARE(texts.filter(time).size(), 1 + count);
        QVERIFY(texts.contains(QString::number(first)));
        QVERIFY(texts.contains(QString::number(first + count - 1)));
        QVERIFY(!texts.contains(QString::number(first + count)));
        first += count;
    }
}

void TestTablePrinter::nextRowStartsSecondPage()
{
    fillTable(50);
    const Page second = renderOn(m_page).at(1);
    // Row 50 sits in the first row's box of page 2, centred in column 0, on the bottom line.
    const Page::Text *number = second.find("50");
    QVERIFY(number);
    QVERIFY(number->baseline.y() > 5 * m_line && number->baseline.y() <= 6 * m_line);
    const int columnWidth = int(kWeights.at(0) * (m_page.width() - 60) / 13.0);
    QVERIFY(number->baseline.x() > 30 && number->baseline.x() < 30 + columnWidth / 2);
    QVERIFY(second.find("2024-05-01 12:00:49"));
}

void TestTablePrinter::gridIsRuledAfterTheColumns()
{
    fillTable(3);
    const QSize page(700, m_page.height());
    const QList<Page> pages = renderOn(page);
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
    printer.setColumns(m_setup.columns);
    RecordingDevice device(m_page);
    QPainter painter(&device);
    printer.render(painter, m_page, [] {});
    painter.end();
    // Numbers as whole numbers, time stamps in the table's format, the rest as text.
    const QStringList texts = device.pages().at(0).textList();
    for (const char *text : {"13", "2024-05-01 12:00:07", "O.L", "42", "true"})
        QVERIFY2(texts.contains(QString::fromLatin1(text)), text);
}

void TestTablePrinter::printerReceivesEveryPage()
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
    const QByteArray bytes = pdf.readAll();
    const QString contents = QString::fromLatin1(bytes.constData(), bytes.size());
    QCOMPARE(contents.count(QRegularExpression("/Type\\s*/Page\\b")), 3);
}

void TestTablePrinter::previewOpensMaximised()
{
    fillTable(60);
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
        expectedPages = PrintGeometry(page, printFontHeight(printer), kWeights).pageCount(60);
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
