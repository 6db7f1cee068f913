#pragma once

#include <QString>
#include <QTextStream>
#include <algorithm>
#include <chrono>
#include <vector>

// Prints benchmark figures, one "name value unit" line each, and times pieces of work.
class Bench
{
public:
    explicit Bench(QTextStream &out);

    void report(const QString &name, double value, const QString &unit);

    // Median wall-clock time of runs calls of work, in milliseconds.
    template<class Work> static double medianMilliseconds(int runs, Work work);

    // Resident memory of this process, in bytes.
    static qint64 residentBytes();

private:
    QTextStream &m_out;
};

template<class Work> double Bench::medianMilliseconds(int runs, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        times.push_back(elapsed.count());
    }
    std::sort(times.begin(), times.end());
    return times.empty() ? 0 : times[times.size() / 2];
}
