#pragma once

// Switches the program's logging categories on for a test, whatever the environment's rules say
// (the test run silences klm704.* through them): the tests that check what is logged need them.

#include <QLoggingCategory>
#include <QSet>

namespace logswitch {

inline QSet<QByteArray> &categoriesOn()
{
    static QSet<QByteArray> on;
    return on;
}

inline QLoggingCategory::CategoryFilter &environmentFilter()
{
    static QLoggingCategory::CategoryFilter filter = nullptr;
    return filter;
}

inline void filter(QLoggingCategory *category)
{
    if (environmentFilter())
        environmentFilter()(category);
    if (categoriesOn().contains(category->categoryName())) {
        category->setEnabled(QtDebugMsg, true);
        category->setEnabled(QtWarningMsg, true);
    }
}

// Turns on the debug messages and warnings of the categories named so far and of this one;
// installing the filter again applies it to every category.
inline void logOn(const QByteArray &category)
{
    categoriesOn().insert(category);
    const QLoggingCategory::CategoryFilter previous = QLoggingCategory::installFilter(filter);
    if (previous != filter)
        environmentFilter() = previous;
}

// Back to the environment's rules.
inline void logOff()
{
    categoriesOn().clear();
    QLoggingCategory::installFilter(filter);
}

} // namespace logswitch
