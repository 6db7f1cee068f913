#pragma once

#include <QtWidgets>
#include <functional>
#include <memory>

// The message boxes the test dismissed; texts and buttons are the latest one's.
struct SeenBox
{
    int count = 0;
    QString text;
    QString informative;
    QMessageBox::StandardButtons buttons;
    QStringList texts;
};

// Clicks the button on every message box until the timer is deleted; polling keeps the test
// from blocking on a box.
inline std::unique_ptr<QTimer>
dismissMessageBoxes(SeenBox *seen, QMessageBox::StandardButton answer = QMessageBox::Ok)
{
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [seen, answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        *seen = {seen->count + 1, box->text(), box->informativeText(), box->standardButtons(),
                 seen->texts + QStringList(box->text())};
        if (QAbstractButton *button = box->button(answer))
            button->click();
        else
            box->done(answer);
    });
    timer->start(10);
    return timer;
}

// Hands the next modal dialog of type T to handle, once; handle must end it (a box it raises needs
// a dismisser of its own).
template<typename T> std::unique_ptr<QTimer> handleModalDialog(std::function<void(T *)> handle)
{
    auto timer = std::make_unique<QTimer>();
    QTimer *raw = timer.get();
    QObject::connect(raw, &QTimer::timeout, [raw, handle] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            raw->stop();
            handle(dialog);
        }
    });
    timer->start(10);
    return timer;
}
