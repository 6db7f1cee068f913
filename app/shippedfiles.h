#pragma once

#include <QString>
#include <QStringList>

// The files the program ships beside its executable (the manual, the catalogues) are looked up
// in the working directory first, then in the folder of the executable, then in the folders
// they are installed in. The first of these that holds the file wins.

// Where fileName is found: the working directory, the executable's folder, then each of
// installedFolders in turn (a relative one is taken from the executable's folder). When none
// holds the file, its path in the working directory.
QString findShippedFile(const QString &fileName, const QStringList &installedFolders);

// The manual, "Software User Manual.pdf", as found by findShippedFile.
QString manualFilePath();

// Logs where the manual and the settings file are found, under the category klm704.files
// (off unless QT_LOGGING_RULES="klm704.files=true").
void reportFileLocations();

// The folders an install puts the catalogues and the manual into.
QString installedTranslationsFolder();
QString installedManualFolder();

// True when the executable lies where an install puts it, its data folder beside it.
bool runsInstalled();
