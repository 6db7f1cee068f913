#pragma once

// A main window for the tests: its parts by name, its driver, readings handed to it as the
// driver hands them, and scripted links.

#include "app/widget.h"
#include "meter/deviceselector.h"
#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "record/dmmchart.h"
#include "tests/fakelink.h"
#include "tests/recordsamples.h"

#include <QtWidgets>
#include <memory>

class WindowRig
{
public:
    WindowRig()
        : window(std::make_unique<Widget>())
    {
    }

    template<typename T> T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QAction *action(const char *name) const { return child<QAction>(name); }
    MyDmm *dmm() const { return window->driver(); }

    // The first range of a function, looked up in the "E" variants' table too (AC+DC).
    const FunctionEntry *row(quint8 function) const
    {
        for (const FunctionTable *table : {&dmm()->activeTable(), &dmm()->eTable()})
            for (const FunctionEntry *entry : *table)
                if (entry->functionCode() == function)
                    return entry;
        return nullptr;
    }

    // A reading of the function's first range, every annunciator clear; the receiver owns it.
    DmmData *reading(quint8 function, const QString &valueText = QStringLiteral(" 1.234 "),
                     const QString &coupling = QString()) const
    {
        static const QDateTime start(QDate(2024, 3, 5), QTime(14, 7, 9));
        const recordsamples::Display display{"", 0, 0};
        DmmData *data = recordsamples::makeReading(row(function), display, 0,
                                                   start.addSecs(m_readings++), coupling);
        data->setValueText(valueText);
        data->setValue(valueText.trimmed().toDouble());
        return data;
    }

    // Hands a reading to the window as the driver does.
    void deliver(DmmData *data) const { emit dmm()->display(data); }
    void deliver(quint8 function, const QString &valueText = QStringLiteral(" 1.234 "),
                 const QString &coupling = QString()) const
    {
        deliver(reading(function, valueText, coupling));
    }

    // The links the window opens from now on are fakes following script; the latest is kept.
    void useFakeLinks(const FakeScript &script)
    {
        window->deviceLink()->setLinkFactory(
            [this, script](const QString &, const LinkSettings &, QString *) -> LinkBackend * {
                return latestLink = new FakeLink(script);
            });
    }

    // Drags a rectangle over the whole plot of the first chart: with two samples or more on it,
    // the chart zooms on them all.
    void zoomChart() const
    {
        auto *chart = child<DMMChart>("chart");
        chart->repaint(); // the samples' places on the plot are those of its last drawing
        const QRect plot = chart->plotArea();
        const QPoint from = plot.topLeft() + QPoint(0, 1);
        const QPoint to = plot.bottomRight() - QPoint(1, 1);
        for (const auto &[type, at] : {std::pair(QEvent::MouseButtonPress, from),
                                       {QEvent::MouseMove, to},
                                       {QEvent::MouseButtonRelease, to}}) {
            const Qt::MouseButton button =
                type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, at, button,
                              type == QEvent::MouseButtonPress ? button : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(chart, &event);
        }
    }

    // Quick pacing for tests that let the driver poll.
    void pollQuickly() const
    {
        CommandPoolThread::Timing timing;
        timing.replyWaitMs = 200;
        timing.restMs = 5;
        dmm()->setThreadTiming(timing);
        dmm()->setSampleRate(0);
    }

    std::unique_ptr<Widget> window;
    QPointer<FakeLink> latestLink;

private:
    mutable int m_readings = 0;
};
