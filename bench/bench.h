#pragma once

#include <QString>
#include <QTextStream>
#include <chrono>

// Prints benchmark figures, one "name value unit" line each, and times pieces of work.
class Bench
{
public:
    explicit Bench(QTextStream &out);

    void report(const QString &name, double value, const QString &unit);

    // Readings the groups work with (--scale); a million unless told otherwise.
    int scale() const { return m_scale; }
    void setScale(int readings) { m_scale = readings; }
    // A count as the figure names carry it: "10k", "1M", "10M".
    static QString countName(qint64 count);

    // Shortest wall-clock time of runs calls of work, in milliseconds: on a shared machine other
    // processes only ever add time.
    template<class Work> static double bestMilliseconds(int runs, Work work);

    // Resident memory of this process, in bytes.
    static qint64 residentBytes();
    // Heap bytes in use: exact, unlike the resident size, which follows the allocator's moods.
    static qint64 heapBytes();

private:
    QTextStream &m_out;
    int m_scale = 1000000;
};

template<class Work> double Bench::bestMilliseconds(int runs, Work work)
{
    double best = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        if (i == 0 || elapsed.count() < best)
            best = elapsed.count();
    }
    return best;
}
