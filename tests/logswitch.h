#pragma once

// Switches logging categories on for a test whatever the environment's rules say (the test run
// silences klm704.* through them): the tests of what is logged need them.

#include <QLoggingCategory>
#include <QSet>

namespace logswitch {

inline QSet<QByteArray> categoriesOn;
// The filter that applies the environment's rules.
inline QLoggingCategory::CategoryFilter environmentFilter = nullptr;

inline void filter(QLoggingCategory *category)
{
    if (environmentFilter)
        environmentFilter(category);
    if (categoriesOn.contains(category->categoryName())) {
        category->setEnabled(QtDebugMsg, true);
        category->setEnabled(QtWarningMsg, true);
    }
}

// Turns on debug messages and warnings of this category and those named before; installing
// the filter again applies it to every category.
inline void logOn(const QByteArray &category)
{
    categoriesOn.insert(category);
    const QLoggingCategory::CategoryFilter previous = QLoggingCategory::installFilter(filter);
    if (previous != filter)
        environmentFilter = previous;
}

// Back to the environment's rules.
inline void logOff()
{
    categoriesOn.clear();
    QLoggingCategory::installFilter(filter);
}

} // namespace logswitch
