#include "record/datamodel.h"
#include "record/recordrowheader.h"
#include "record/recordtableview.h"
#include "tests/recordsamples.h"

#include <QApplication>
#include <QScreen>
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

QImage render(QWidget &view, const QRegion &region = QRegion())
{
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta);
    view.render(&image, QPoint(), region);
    return image;
}
} // namespace

// The record table view paints its rows by arithmetic instead of asking its row header; what
// it paints must be what the plain table view paints.
class TestRecordTableView : public QObject
{
    Q_OBJECT
private slots:
    void paintsAsThePlainView_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("state"); // scrolled to row 151 unless the state scrolls
        QTest::newRow("no rows") << 0 << "at the end";
        QTest::newRow("halfway, between rows") << 300 << "halfway";
        QTest::newRow("rows selected") << 300 << "selected";
        QTest::newRow("without grid") << 300 << "no grid";
        // Rows no longer alike: painted the plain way.
        QTest::newRow("one row taller") << 300 << "resized";
        // Rows appended one by one, each scrolled into sight: what the window shows is what a
        // full paint gives.
        QTest::newRow("appended") << 2 << "appended";
    }

    void paintsAsThePlainView()
    {
        QFETCH(int, rows);
        QFETCH(QString, state);
        recordsamples::RecordSetup setup;
        DataModel model(setup.columns);
        QWidget window; // both views in one window, so that both are equally active
        window.resize(840, 230);
        const QList<QTableView *> views = {new RecordTableView(&window),
                                           new PlainTableView(&window)};
        for (QTableView *view : views) {
            view->setModel(&model);
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
        QList<QImage> images;
        for (QTableView *view : views) {
            QScrollBar *bar = view->verticalScrollBar();
            if (state == "halfway")
                bar->setValue(bar->maximum() / 2 + 3);
            else if (state == "at the end")
                view->scrollToBottom();
            else
                view->scrollTo(model.index(151, 2));
            if (state == "selected")
                view->selectionModel()->select(
                    QItemSelection(model.index(150, 0), model.index(152, 5)),
                    QItemSelectionModel::Select);
            else if (state == "resized")
                view->verticalHeader()->resizeSection(150, 40);
            else if (state == "no grid")
                view->setShowGrid(false);
            images << render(*view) << render(*view, areas);
        }
        for (int i = 0; state == "appended" && i < 12; ++i) {
            recordsamples::generateRecording(
                setup.defaultTable, 1, QDateTime::currentDateTime(),
                [&model](DmmData *reading) { model.appendRecord(reading); });
            views[0]->scrollToBottom();
            QApplication::processEvents();
            const QRect place = views[0]->geometry();
            const QImage shown = window.screen()->grabWindow(window.winId()).toImage().copy(place);
            QImage painted = shown.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            views[0]->render(&painted);
            QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied), painted);
        }
        QVERIFY(images[0] == images[2]);
        QVERIFY(images[1] == images[3]);
    }
};

QTEST_MAIN(TestRecordTableView)
#include "tst_recordtableview.moc"
