// Shared pieces of the history engine's benchmarks: timing, figures, a
// scratch folder, and records shaped like real visits.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "WYSCHelper/CUrlRecordList.h"
#include "common/StringConvert.h"

namespace wys::bench {

inline double MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Wall-clock and process CPU time of one measured stretch. On a machine
// shared with other work the CPU time is the steadier of the two.
class Stopwatch {
public:
    Stopwatch() : m_wall(std::chrono::steady_clock::now()), m_cpu(CpuMilliseconds()) {}
    double WallMs() const { return MillisecondsSince(m_wall); }
    double CpuMs() const { return CpuMilliseconds() - m_cpu; }

private:
    static double CpuMilliseconds()
    {
        timespec t{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
    std::chrono::steady_clock::time_point m_wall;
    double m_cpu;
};

struct Figures {
    double median = 0;
    double mean = 0;
    double worst = 0;
};

inline Figures Summarise(std::vector<double> samples)
{
    Figures f;
    if (samples.empty())
        return f;
    std::sort(samples.begin(), samples.end());
    f.median = samples[samples.size() / 2];
    for (double s : samples)
        f.mean += s;
    f.mean /= static_cast<double>(samples.size());
    f.worst = samples.back();
    return f;
}

inline void Print(const char* what, const Figures& f, const char* unit = "ms")
{
    std::printf("%-44s median %9.3f %s   mean %9.3f %s   worst %9.3f %s\n", what, f.median, unit, f.mean,
                unit, f.worst, unit);
}

// A visit as capture records it: a URL, a dated page path and a title.
inline CUrlRecord VisitRecord(std::int64_t time, int n)
{
    CUrlRecord record;
    record.Time = time;
    std::string id = std::to_string(n);
    record.AttachUrl(
        NarrowToBstr("http://www.example.com/articles/2003/11/some-article-name-" + id + ".html"));
    record.AttachPath(NarrowToBstr("2003/November/27/Some article title number " + id + ".htm"));
    record.AttachTitle(NarrowToBstr("Some article title number " + id + " - Example News"));
    return record;
}

// A fresh folder under the temporary folder, removed at the end.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "wys-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a scratch folder");
        m_path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace wys::bench
