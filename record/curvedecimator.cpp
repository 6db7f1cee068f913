#include "record/curvedecimator.h"

void CurveDecimator::appendColumn(int x, const Zigzag &zigzag)
{
    m_out.append(QPoint(x, zigzag.first));
    if (zigzag.lastDirection == Zigzag::kNone)
        return;
    if (zigzag.turns == 1) {
        m_out.append(QPoint(x, zigzag.lowTurn));
    } else if (zigzag.turns >= 2) {
        // Sweep the turning points' span in the first direction, and come back once more when
        // the column's last stroke runs the other way.
        const bool down = zigzag.firstDirection == 1;
        const int near = down ? zigzag.highTurn : zigzag.lowTurn;
        const int far = down ? zigzag.lowTurn : zigzag.highTurn;
        m_out.append(QPoint(x, near));
        m_out.append(QPoint(x, far));
        if (zigzag.lastDirection != zigzag.firstDirection)
            m_out.append(QPoint(x, near));
    }
    m_out.append(QPoint(x, zigzag.current));
}

void CurveDecimator::appendChunks(Zigzag &zigzag, int first, int end) const
{
    // Chunks up to the first run's edge, the whole runs, then the chunks after them.
    int chunk = first;
    for (; chunk < end && chunk % kRunChunks != 0; ++chunk)
        zigzag.append(m_chunks[size_t(chunk)]);
    for (; chunk + kRunChunks <= end; chunk += kRunChunks)
        zigzag.append(m_runs[size_t(chunk / kRunChunks)]);
    for (; chunk < end; ++chunk)
        zigzag.append(m_chunks[size_t(chunk)]);
}

void CurveDecimator::summarizeRuns()
{
    while (m_runs.size() < m_chunks.size() / kRunChunks) {
        const size_t first = m_runs.size() * kRunChunks;
        Zigzag run = m_chunks[first];
        for (size_t chunk = first + 1; chunk < first + kRunChunks; ++chunk)
            run.append(m_chunks[chunk]);
        m_runs.push_back(run);
    }
}
