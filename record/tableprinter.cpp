#include "record/tableprinter.h"

#include "record/columnspec.h"
#include "record/printgeometry.h"
#include "record/timestampformatter.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QLine>
#include <QPaintEngine>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QVector>

#include <memory>

namespace {

// Pages rendered without a progress dialog: some 50 ms of work.
constexpr int kQuickPages = 50;

// Numbers print as whole numbers, time stamps in the table's format, anything else as text.
QString printedText(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Char:
        return QString::number(value.toInt());
    case QMetaType::QDateTime:
        return value.toDateTime().toString(kTimestampLayout);
    default:
        return value.toString();
    }
}

// Paints the pages of one print run.
class PagePainter
{
public:
    PagePainter(QPainter &painter, const QAbstractItemModel &model, const PrintGeometry &geometry)
        : m_painter(painter)
        , m_model(model)
        , m_geometry(geometry)
        , m_widths(geometry.columnWidths())
    {
    }

    void paintPage(int page, int pages, const QString &title);

private:
    void drawCentred(const QRect &box, const QString &text);
    void drawCaptions(int page, int pages, const QString &title);
    void drawHeader(int bottom);
    void drawRows(int first, int count);

    QPainter &m_painter;
    const QAbstractItemModel &m_model;
    const PrintGeometry &m_geometry;
    const QVector<int> m_widths;
};

void PagePainter::paintPage(int page, int pages, const QString &title)
{
    const int first = m_geometry.firstRowOf(page);
    const int count = std::min(m_geometry.rowsPerPage(), m_model.rowCount() - first);
    drawCaptions(page, pages, title);
    drawHeader(m_geometry.rowTop(count));
    drawRows(first, count);
}

void PagePainter::drawCentred(const QRect &box, const QString &text)
{
    m_painter.drawText(box, Qt::AlignCenter, text);
}

// Title, print time and page number, each in a box as wide as its text.
void PagePainter::drawCaptions(int page, int pages, const QString &title)
{
    const QFontMetrics metrics = m_painter.fontMetrics();
    drawCentred(m_geometry.titleRect(metrics.horizontalAdvance(title)), title);
    const QString now = QDateTime::currentDateTime().toString(kTimestampLayout);
    drawCentred(m_geometry.printTimeRect(metrics.horizontalAdvance(now)), now);
    const QString number = QStringLiteral("%1/%2").arg(page + 1).arg(pages);
    drawCentred(m_geometry.pageNumberRect(metrics.horizontalAdvance(number)), number);
}

// The header texts between two rules, and the vertical rules from the header down to bottom.
void PagePainter::drawHeader(int bottom)
{
    const int top = m_geometry.headerTop();
    const int left = m_geometry.left();
    const int right = m_geometry.right();
    QVector<QLine> columnRules;
    int x = left;
    for (int column = 0; column < m_widths.size(); ++column) {
        columnRules.append(QLine(x, top, x, bottom));
        drawCentred(QRect(x, top, m_widths.at(column), m_geometry.lineHeight()),
                    m_model.headerData(column, Qt::Horizontal).toString());
        x += m_widths.at(column);
    }
    // The right border closes the table at the margin even when the truncated widths fall short.
    columnRules.append(QLine(right, top, right, bottom));
    m_painter.drawLines(
        QVector<QLine>{QLine(left, top, right, top),
                       QLine(left, m_geometry.rowTop(0), right, m_geometry.rowTop(0))});
    m_painter.drawLines(columnRules);
}

void PagePainter::drawRows(int first, int count)
{
    const int line = m_geometry.lineHeight();
    QVector<QLine> rowRules;
    for (int slot = 0; slot < count; ++slot) {
        const int top = m_geometry.rowTop(slot);
        int x = m_geometry.left();
        for (int column = 0; column < m_widths.size(); ++column) {
            m_painter.drawText(QRect(x, top, m_widths.at(column), line),
                               Qt::AlignHCenter | Qt::AlignBottom,
                               printedText(m_model.data(m_model.index(first + slot, column))));
            x += m_widths.at(column);
        }
        rowRules.append(QLine(m_geometry.left(), top + line, m_geometry.right(), top + line));
    }
    m_painter.drawLines(rowRules);
}

} // namespace

TablePrinter::TablePrinter(QAbstractItemModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
}

void TablePrinter::print()
{
    QPrinter printer(QPrinter::ScreenResolution);
    QPrintPreviewDialog preview(&printer);
    preview.setWindowFlags(preview.windowFlags() | Qt::WindowMinMaxButtonsHint);
    preview.setWindowState(Qt::WindowMaximized);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            &TablePrinter::slotPaintRequested);
    m_preview = &preview;
    preview.exec();
    m_preview = nullptr;
}

void TablePrinter::slotPaintRequested(QPrinter *printer)
{
    const QSize page = printer->pageLayout().paintRectPixels(printer->resolution()).size();
    // The preview draws into pictures it keeps; a printer gets the range chosen in its dialog.
    const bool previewing = printer->paintEngine()->type() == QPaintEngine::Picture;
    PageRange pages;
    if (printer->fromPage() > 0)
        pages = {printer->fromPage() - 1, printer->toPage() - 1};
    else if (previewing)
        pages.last = kPreviewPages - 1;
    QPainter painter(printer);
    const int count = qMin(pages.last, geometry(painter, page).pageCount(m_model->rowCount()) - 1) -
                      pages.first + 1;
    // Modal to the whole program, so that the pages are not asked for again while they are made.
    std::unique_ptr<QProgressDialog> progress;
    if (count > kQuickPages) {
        progress = std::make_unique<QProgressDialog>(tr("Preparing the pages …"), tr("Cancel"), 0,
                                                     count, m_preview);
        progress->setWindowModality(Qt::ApplicationModal);
        progress->setMinimumDuration(0);
    }
    const auto goOn = [&progress](int done) {
        if (progress)
            progress->setValue(done); // turns the event loop
        return !progress || !progress->wasCanceled();
    };
    if (render(
            painter, page, [printer] { printer->newPage(); }, pages, goOn))
        return;
    // Cancelled: a print run is abandoned, a preview closed.
    if (!previewing)
        printer->abort();
    else if (m_preview)
        QMetaObject::invokeMethod(m_preview, &QDialog::reject, Qt::QueuedConnection);
}

PrintGeometry TablePrinter::geometry(QPainter &painter, const QSize &page) const
{
    QFont font = painter.font();
    font.setFamily(QStringLiteral("SimSun"));
    painter.setFont(font);
    QList<int> weights;
    for (int column = 0; column < m_model->columnCount(); ++column)
        weights.append(column < m_columns.size() ? m_columns.at(column)->weight() : 1);
    return PrintGeometry(page, painter.fontMetrics().height(), weights);
}

bool TablePrinter::render(QPainter &painter, const QSize &page,
                          const std::function<void()> &newPage, PageRange pages,
                          const std::function<bool(int)> &goOn)
{
    const PrintGeometry layout = geometry(painter, page);
    PagePainter pagePainter(painter, *m_model, layout);
    const int total = layout.pageCount(m_model->rowCount());
    const int last = qMin(pages.last, total - 1);
    for (int pageIndex = pages.first; pageIndex <= last; ++pageIndex) {
        if (pageIndex > pages.first) {
            if (goOn && !goOn(pageIndex - pages.first))
                return false;
            newPage();
        }
        pagePainter.paintPage(pageIndex, total, m_title);
    }
    return true;
}
