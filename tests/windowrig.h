#pragma once

// A main window for the live-display and recording tests: its parts by object name, its meter
// driver, readings handed to it as the driver hands them, and links the tests script.

#include "app/widget.h"
#include "meter/deviceselector.h"
#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "meter/simlink.h"
#include "tests/fakelink.h"
#include "tests/recordsamples.h"

#include <QAction>
#include <QDateTime>
#include <QPointer>
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

    // The first range of a function in the driver's table, or in the "E" variants' table for
    // the functions only those meters have (AC+DC among them).
    const FunctionEntry *row(quint8 function) const
    {
        for (const FunctionTable *table : {&dmm()->activeTable(), &dmm()->eTable()})
            for (const FunctionEntry *entry : *table)
                if (entry->functionCode() == function)
                    return entry;
        return nullptr;
    }

    // A reading of the function's first range as the decoder fills it, every annunciator clear;
    // the coupling is given for the AC+DC function. The receiver owns it.
    DmmData *reading(quint8 function, const QString &valueText = QStringLiteral(" 1.234 "),
                     const QString &coupling = QString()) const
    {
        const recordsamples::Display display{"", 0, 0};
        DmmData *data = recordsamples::makeReading(row(function), display, 0, nextTime(), coupling);
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

    // Every link the window opens from now on is a fake one following script; the latest is
    // watched (the device link owns it).
    void useFakeLinks(const FakeScript &script)
    {
        window->deviceLink()->setLinkFactory(
            [this, script](const QString &, const LinkSettings &, QString *) -> LinkBackend * {
                auto *link = new FakeLink(script);
                latestLink = link;
                return link;
            });
    }

    // Every link the window opens from now on talks to meter, which must outlive the window.
    void useVirtualMeter(VirtualMeter *meter)
    {
        window->deviceLink()->setLinkFactory(
            [meter](const QString &, const LinkSettings &, QString *) -> LinkBackend * {
                return new SimLink(meter);
            });
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
    QDateTime nextTime() const
    {
        static const QDateTime start(QDate(2024, 3, 5), QTime(14, 7, 9));
        return start.addSecs(m_readings++);
    }
    mutable int m_readings = 0;
};
