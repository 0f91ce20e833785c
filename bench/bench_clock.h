// Side-by-side timing for the benchmark programs: each case runs the same
// number of iterations in one process, and the report gives the time per
// iteration and the ratio against the case named as its baseline.
#pragma once
#include <windows.h>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class BenchTable {
public:
    explicit BenchTable(const char* title) : m_title(title) {}

    // Runs body `iterations` times (after one warm-up call) and records the
    // time per iteration; the row is the baseline of the rows compared after it.
    void Baseline(const std::string& name, long iterations, const std::function<void()>& body) {
        m_rows.push_back({name, Time(iterations, body), -1});
        m_baseline = static_cast<long>(m_rows.size() - 1);
    }
    // Like Baseline, but the row is reported as a ratio to the last baseline.
    void Compare(const std::string& name, long iterations, const std::function<void()>& body) {
        m_rows.push_back({name, Time(iterations, body), m_baseline});
    }

    // Markdown table: case, time per iteration, ratio to its baseline.
    void Print() const {
        std::printf("\n### %s\n\n| case | time per iteration | ratio |\n|---|---:|---:|\n", m_title.c_str());
        for (const Row& row : m_rows) {
            std::printf("| %s | %s | ", row.name.c_str(), Format(row.ns).c_str());
            if (row.baseline >= 0 && m_rows[static_cast<size_t>(row.baseline)].ns > 0)
                std::printf("%.2f× %s |\n", row.ns / m_rows[static_cast<size_t>(row.baseline)].ns,
                            m_rows[static_cast<size_t>(row.baseline)].name.c_str());
            else
                std::printf("1.00 (baseline) |\n");
        }
        std::fflush(stdout);
    }

private:
    static double Time(long iterations, const std::function<void()>& body) {
        body();
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        for (long i = 0; i < iterations; ++i) body();
        QueryPerformanceCounter(&end);
        return static_cast<double>(end.QuadPart - start.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart) /
               static_cast<double>(iterations);
    }

    struct Row {
        std::string name;
        double ns;
        long baseline;
    };
    static std::string Format(double ns) {
        char text[64];
        if (ns >= 1e6)
            std::snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
        else if (ns >= 1e3)
            std::snprintf(text, sizeof text, "%.2f µs", ns / 1e3);
        else
            std::snprintf(text, sizeof text, "%.0f ns", ns);
        return text;
    }

    std::string m_title;
    std::vector<Row> m_rows;
    long m_baseline = -1;
};
