#pragma once

#include <QString>

#include <functional>

class QWidget;

// Asks the user for the name of a file to write: the parent window, the dialog's caption and its
// file-type filter. The answer is empty when the user cancels. The window asks through one of
// these so that tests can answer in the user's place.
using SaveNameAsker =
    std::function<QString(QWidget *parent, const QString &caption, const QString &filter)>;

// Asks with the toolkit's save-file dialog, starting in its default directory.
QString askWithFileDialog(QWidget *parent, const QString &caption, const QString &filter);

// Asks with the toolkit's open-file dialog for an existing file to read.
QString askOpenWithFileDialog(QWidget *parent, const QString &caption, const QString &filter);
