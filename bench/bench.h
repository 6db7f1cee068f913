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

    // Shortest wall-clock time of runs calls of work, in milliseconds: on a shared machine other
    // processes only ever add time.
    template<class Work> static double bestMilliseconds(int runs, Work work);

    // Resident memory of this process, in bytes.
    static qint64 residentBytes();

private:
    QTextStream &m_out;
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
