#pragma once

// Where the visible samples of a line sit across the plot: sample k at (int)(k * xStep + 0.5)
// pixels from the plot's left edge. The positions never decrease, so the hover and zoom
// look-ups are binary searches instead of walks over every sample.
class ScreenPositions
{
public:
    // Stretch of visible samples picked by a drag, as indices into the positions.
    struct Span
    {
        int first;
        int last;
    };

    ScreenPositions() = default;
    ScreenPositions(double xStep, int count);

    int count() const { return m_count; }
    double xStep() const { return m_xStep; }
    int at(int k) const { return int(k * m_xStep + 0.5); }

    // First index whose position is at or right of x; count() when there is none.
    int firstAtOrRightOf(int x) const;

    // The sample nearest to x: an exact hit wins, a tie goes to the left sample, and x right of
    // every sample gives the last one. -1 when there are no samples.
    int nearest(int x) const;

    // The samples a drag from startX to endX (startX < endX) selects: from the first sample at or
    // right of startX to the sample before the first one at or right of endX (at least index 1).
    Span dragSpan(int startX, int endX) const;

private:
    double m_xStep = 0;
    int m_count = 0;
};
