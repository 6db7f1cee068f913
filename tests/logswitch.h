#pragma once

// Switches logging categories on for the tests of what is logged, whatever the rules say.

#include <QLoggingCategory>
#include <QSet>

namespace logswitch {

inline QSet<QByteArray> categoriesOn;
inline QLoggingCategory::CategoryFilter environmentFilter = nullptr; // applies the rules

inline void filter(QLoggingCategory *category)
{
    if (environmentFilter)
        environmentFilter(category);
    if (categoriesOn.contains(category->categoryName()))
        for (const QtMsgType type : {QtDebugMsg, QtWarningMsg})
            category->setEnabled(type, true);
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

} // namespace logswitch
