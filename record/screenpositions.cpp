#include "record/screenpositions.h"

#include <QtGlobal>
#include <cstdlib>

ScreenPositions::ScreenPositions(double xStep, int count)
    : m_xStep(xStep)
    , m_count(qMax(count, 0))
{
}

int ScreenPositions::firstAtOrRightOf(int x) const
{
    int low = 0;
    int high = m_count;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (at(middle) < x)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

int ScreenPositions::nearest(int x) const
{
    const int next = firstAtOrRightOf(x);
    if (next == m_count)
        return m_count - 1;
    if (at(next) == x)
        return next;
    const int previous = next > 0 ? next - 1 : 0;
    return std::abs(at(next) - x) < std::abs(at(previous) - x) ? next : previous;
}

ScreenPositions::Span ScreenPositions::dragSpan(int startX, int endX) const
{
    const int lastIndex = m_count - 1;
    int first = firstAtOrRightOf(startX);
    if (first == m_count)
        first = 0;
    const int end = firstAtOrRightOf(endX);
    int last = end == m_count ? lastIndex : qMax(end - 1, 1);
    if (last > lastIndex)
        last = lastIndex;
    return {first, last};
}
