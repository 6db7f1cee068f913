#include "record/datamodel.h"
#include "record/recordrowheader.h"
#include "record/recordtableview.h"
#include "tests/recordsamples.h"

#include <QApplication>
#include <QHoverEvent>
#include <QIdentityProxyModel>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QtTest>

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

// Some rows of the table are disabled.
class DisablingModel : public QIdentityProxyModel
{
public:
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        const Qt::ItemFlags flags = QIdentityProxyModel::flags(index);
        return index.row() % 7 == 3 ? flags & ~Qt::ItemIsEnabled : flags;
    }
};

// Marks the hovered and the disabled cells, which the default style draws like any other, and
// in the header where each section stands, whether its neighbours are selected and whether the
// window is active.
class MarkingStyle : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (element == PE_PanelItemViewRow && (option->state & State_MouseOver))
            painter->fillRect(option->rect.adjusted(2, 2, -2, -2), Qt::red);
        if (element == PE_PanelItemViewRow && !(option->state & State_Enabled))
            painter->fillRect(option->rect.adjusted(4, 4, -4, -4), Qt::blue);
    }
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        QProxyStyle::drawControl(element, option, painter, widget);
        const auto *header = qstyleoption_cast<const QStyleOptionHeader *>(option);
        if (element != CE_Header || !header)
            return;
        painter->save();
        painter->setClipRect(option->rect); // the header leaves an empty clip behind
        painter->fillRect(QRect(option->rect.topLeft(), QSize(3, 3)),
                          QColor::fromHsv(40 * header->position,
                                          option->state & State_Active ? 255 : 128,
                                          100 + 40 * header->selectedPosition));
        painter->restore();
    }
};

QImage render(QWidget &view, const QRegion &region = QRegion())
{
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta);
    view.render(&image, QPoint(), region);
    return image;
}

void hover(QTableView *view, QEvent::Type type, const QPoint &at)
{
    QHoverEvent event(type, at, QPoint(-1, -1));
    QApplication::sendEvent(view->viewport(), &event);
}

} // namespace

// The record table view paints its rows by arithmetic instead of asking its row header; what
// it paints must be what the plain table view paints, in every state the table can be in.
class TestRecordTableView : public QObject
{
    Q_OBJECT
private slots:
    void paintsAsThePlainView_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("state"); // scrolled to row 151 unless the state scrolls
        QTest::newRow("no rows") << 0 << "at the end";
        QTest::newRow("3 rows") << 3 << "at the top";
        QTest::newRow("halfway, between rows") << 300 << "halfway";
        QTest::newRow("rows selected") << 300 << "selected";
        QTest::newRow("hovered") << 300 << "hovered";
        QTest::newRow("hovered, then left") << 300 << "left";
        QTest::newRow("disabled") << 300 << "disabled";
        QTest::newRow("focused current cell at the end") << 300 << "focused";
        QTest::newRow("without grid") << 300 << "no grid";
        // Rows no longer alike are painted the plain way.
        QTest::newRow("one row taller") << 300 << "resized";
        QTest::newRow("one row hidden") << 300 << "hidden";
        QTest::newRow("one row moved") << 300 << "moved";
        QTest::newRow("alternating colours") << 300 << "alternating";
    }

    void paintsAsThePlainView()
    {
        QFETCH(int, rows);
        QFETCH(QString, state);
        recordsamples::RecordSetup setup;
        DataModel model(setup.columns);
        DisablingModel shown;
        shown.setSourceModel(&model);
        MarkingStyle style;
        QWidget window; // both views in one window, so that both are equally active
        window.resize(840, 230);
        const QList<QTableView *> views = {new RecordTableView(&window),
                                           new PlainTableView(&window)};
        for (QTableView *view : views) {
            view->setStyle(&style);
            view->verticalHeader()->setStyle(&style);
            view->setModel(&shown);
            view->setSelectionBehavior(QAbstractItemView::SelectRows);
            view->setGeometry(views.indexOf(view) * 420, 0, 420, 230);
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Filled while shown, as the recording fills it.
        recordsamples::generateRecording(
            setup.defaultTable, rows, QDateTime::currentDateTime(),
            [&model](DmmData *reading) { model.appendRecord(reading); });
        QApplication::processEvents();
        // After a scroll a view repaints several areas at once; a cell reaching into two of them
        // is painted once.
        const QRegion areas =
            QRegion(0, 40, 420, 25) + QRect(30, 52, 200, 60) + QRect(300, 200, 120, 30);
        const QModelIndex hovered = shown.index(151, 2);
        QList<QImage> images;
        for (QTableView *view : views) {
            QScrollBar *bar = view->verticalScrollBar();
            QHeaderView *header = view->verticalHeader();
            if (state == "halfway")
                bar->setValue(bar->maximum() / 2 + 3);
            else if (state == "at the end" || state == "focused")
                view->scrollToBottom();
            else if (state != "at the top")
                view->scrollTo(hovered);
            if (state == "selected")
                view->selectionModel()->select(
                    QItemSelection(shown.index(150, 0), shown.index(152, 5)),
                    QItemSelectionModel::Select);
            else if (state == "disabled")
                view->setEnabled(false);
            else if (state == "resized")
                header->resizeSection(150, 40);
            else if (state == "hidden")
                header->hideSection(150);
            else if (state == "moved")
                header->moveSection(150, 153);
            else if (state == "alternating")
                view->setAlternatingRowColors(true);
            else if (state == "no grid")
                view->setShowGrid(false);
            if (state == "hovered" || state == "left")
                hover(view, QEvent::HoverMove, view->visualRect(hovered).center());
            if (state == "left")
                hover(view, QEvent::HoverLeave, QPoint(-1, -1));
            if (state == "focused") {
                view->setCurrentIndex(shown.index(298, 1));
                QApplication::setActiveWindow(&window);
                view->setFocus();
                QTRY_VERIFY(view->hasFocus());
            }
            images << render(*view) << render(*view, areas);
        }
        QCOMPARE(views[0]->verticalScrollBar()->value(), views[1]->verticalScrollBar()->value());
        QVERIFY(images[0] == images[2]);
        QVERIFY(images[1] == images[3]);
    }
};

QTEST_MAIN(TestRecordTableView)
#include "tst_recordtableview.moc"
