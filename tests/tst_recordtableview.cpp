#include "record/datamodel.h"
#include "record/recordrowheader.h"
#include "record/recordtableview.h"
#include "tests/recordsamples.h"

#include <QApplication>
#include <QHoverEvent>
#include <QIdentityProxyModel>
#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QtTest>

#include <memory>

// The record table view paints its rows by arithmetic instead of asking its row header; what
// it paints must be what the plain table view paints, in every state the table can be in.
class TestRecordTableView : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void paintsAsThePlainView_data();
    void paintsAsThePlainView();

private:
    // Appends rows readings to the table; both views show it.
    void fill(int rows);

    recordsamples::RecordSetup m_setup;
    std::unique_ptr<DataModel> m_model;
    std::unique_ptr<QAbstractProxyModel> m_shown;
    std::unique_ptr<QStyle> m_style;
    std::unique_ptr<QWidget> m_window;
    // The view under test, then the same view painted the plain way.
    QList<QTableView *> m_views;
};

namespace {

// The same header and view, painted the plain way.
class PlainRowHeader : public RecordRowHeader
{
public:
    using RecordRowHeader::RecordRowHeader;

protected:
    void paintEvent(QPaintEvent *event) override { QHeaderView::paintEvent(event); }
};

class PlainTableView : public RecordTableView
{
public:
    explicit PlainTableView(QWidget *parent)
        : RecordTableView(parent)
    {
        setVerticalHeader(new PlainRowHeader(this));
    }

protected:
    void paintEvent(QPaintEvent *event) override { QTableView::paintEvent(event); }
};

// Some cells of the table are disabled.
class DisablingModel : public QIdentityProxyModel
{
public:
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        const Qt::ItemFlags flags = QIdentityProxyModel::flags(index);
        return index.row() % 7 == 3 ? flags & ~Qt::ItemIsEnabled : flags;
    }
};

// Marks the hovered and the disabled cells, which the default style draws like any other.
class MarkingStyle : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (element != PE_PanelItemViewRow)
            return;
        if (option->state & State_MouseOver)
            painter->fillRect(option->rect.adjusted(2, 2, -2, -2), Qt::red);
        if (!(option->state & State_Enabled))
            painter->fillRect(option->rect.adjusted(4, 4, -4, -4), Qt::blue);
    }

    // Header sections show where they stand, whether their neighbours are selected and whether
    // the window is active.
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        QProxyStyle::drawControl(element, option, painter, widget);
        const auto *header = qstyleoption_cast<const QStyleOptionHeader *>(option);
        if (element != CE_Header || !header)
            return;
        // The header leaves an empty clip behind; mark the section over it.
        painter->save();
        painter->setClipRect(option->rect);
        painter->fillRect(QRect(option->rect.topLeft(), QSize(3, 3)),
                          QColor::fromHsv(40 * header->position,
                                          option->state & State_Active ? 255 : 128,
                                          100 + 40 * header->selectedPosition));
        painter->restore();
    }
};

const QSize kViewSize(420, 230);

// Renders the whole view, or only the given part of it, into an image.
QImage render(QWidget &view, const QRegion &region = QRegion())
{
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta);
    view.render(&image, QPoint(), region);
    return image;
}

} // namespace

void TestRecordTableView::fill(int rows)
{
    recordsamples::generateRecording(m_setup.defaultTable, rows,
                                     QDateTime(QDate(2026, 12, 6), QTime(8, 0)),
                                     [this](DmmData *reading) { m_model->appendRecord(reading); });
    QApplication::processEvents();
}

void TestRecordTableView::init()
{
    m_model = std::make_unique<DataModel>(m_setup.columns);
    m_shown = std::make_unique<DisablingModel>();
    m_shown->setSourceModel(m_model.get());
    m_style = std::make_unique<MarkingStyle>();
    // Both views in one window, so that both are equally active.
    m_window = std::make_unique<QWidget>();
    m_views = {new RecordTableView(m_window.get()), new PlainTableView(m_window.get())};
    for (QTableView *view : m_views) {
        view->setStyle(m_style.get());
        view->verticalHeader()->setStyle(m_style.get());
        view->setModel(m_shown.get());
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setGeometry(QRect(QPoint(m_views.indexOf(view) * kViewSize.width(), 0), kViewSize));
    }
    m_window->resize(2 * kViewSize.width(), kViewSize.height());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestRecordTableView::cleanup()
{
    m_window.reset();
    m_views.clear();
    m_shown.reset();
    m_model.reset();
    m_style.reset();
}

void TestRecordTableView::paintsAsThePlainView_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("state");
    QTest::newRow("no rows") << 0 << "at the end";
    QTest::newRow("3 rows") << 3 << "at the top";
    QTest::newRow("at the end") << 300 << "at the end";
    QTest::newRow("halfway, between rows") << 300 << "halfway";
    QTest::newRow("rows selected") << 300 << "selected";
    QTest::newRow("hovered") << 300 << "hovered";
    QTest::newRow("hovered, then left") << 300 << "left";
    QTest::newRow("disabled") << 300 << "disabled";
    QTest::newRow("focused current cell") << 300 << "focused";
    QTest::newRow("without grid") << 300 << "no grid";
    // Rows no longer alike are painted the plain way.
    QTest::newRow("one row taller") << 300 << "resized";
    QTest::newRow("one row hidden") << 300 << "hidden";
    QTest::newRow("one row moved") << 300 << "moved";
    QTest::newRow("alternating colours") << 300 << "alternating";
}

void TestRecordTableView::paintsAsThePlainView()
{
    QFETCH(int, rows);
    QFETCH(QString, state);
    fill(rows);
    // After a scroll a view repaints several areas at once; a cell reaching into two of them
    // is painted once.
    QRegion areas(QRect(0, 40, 420, 25));
    areas += QRect(30, 52, 200, 60);
    areas += QRect(300, 200, 120, 30);
    QList<QList<QImage>> images;
    for (QTableView *view : m_views) {
        QScrollBar *bar = view->verticalScrollBar();
        QHeaderView *header = view->verticalHeader();
        const QModelIndex hovered = m_shown->index(151, 2);
        if (state == "halfway")
            bar->setValue(bar->maximum() / 2 + 3);
        else if (state == "selected")
            view->selectionModel()->select(
                QItemSelection(m_shown->index(150, 0), m_shown->index(152, 5)),
                QItemSelectionModel::Select);
        else if (state == "disabled")
            view->setEnabled(false);
        else if (state == "resized")
            header->resizeSection(1, 40);
        else if (state == "hidden")
            header->hideSection(3);
        else if (state == "moved")
            header->moveSection(2, 5);
        else if (state == "alternating")
            view->setAlternatingRowColors(true);
        else if (state == "no grid")
            view->setShowGrid(false);
        if (state == "at the end" || state == "focused")
            view->scrollToBottom();
        else if (state != "at the top" && state != "halfway")
            view->scrollTo(hovered);
        if (state == "hovered" || state == "left") {
            QHoverEvent move(QEvent::HoverMove, view->visualRect(hovered).center(), QPoint(-1, -1));
            QApplication::sendEvent(view->viewport(), &move);
        }
        if (state == "left") {
            QHoverEvent leave(QEvent::HoverLeave, QPoint(-1, -1), QPoint(-1, -1));
            QApplication::sendEvent(view->viewport(), &leave);
        }
        if (state == "focused") {
            view->setCurrentIndex(m_shown->index(298, 1));
            QApplication::setActiveWindow(m_window.get());
            view->setFocus();
            QTRY_VERIFY(view->hasFocus());
        }
        images.append({render(*view), render(*view, areas)});
    }
    QCOMPARE(m_views[0]->verticalScrollBar()->value(), m_views[1]->verticalScrollBar()->value());
    QVERIFY(images[0][0] == images[1][0]);
    QVERIFY(images[0][1] == images[1][1]);
}

QTEST_MAIN(TestRecordTableView)
#include "tst_recordtableview.moc"
