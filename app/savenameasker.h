#pragma once

#include <QString>

#include <functional>

class QWidget;

// Asks the user for the name of a file to write: the parent window, the dialog's caption, its
// file-type filter and the file it suggests (folder and name). The answer is empty when the user
// cancels. The window asks through one of these so that tests can answer in the user's place.
using SaveNameAsker = std::function<QString(QWidget *parent, const QString &caption,
                                            const QString &filter, const QString &suggested)>;
// Asks the user for a file to read, the same way, starting in folder.
using OpenNameAsker = std::function<QString(QWidget *parent, const QString &caption,
                                            const QString &filter, const QString &folder)>;

// Asks with the toolkit's save-file dialog, which adds the filter's suffix to a bare name.
QString askWithFileDialog(QWidget *parent, const QString &caption, const QString &filter,
                          const QString &suggested);

// The suffix of the first file type a filter names: "csv" for "CSV(*.csv)"; empty if none.
QString filterSuffix(const QString &filter);

// The name with the filter's suffix added when its file name has none ("run" and "run." give
// "run.csv"); a name with a suffix of its own is kept.
QString withFilterSuffix(const QString &name, const QString &filter);

// Asks with the toolkit's open-file dialog for an existing file to read.
QString askOpenWithFileDialog(QWidget *parent, const QString &caption, const QString &filter,
                              const QString &folder);
