// Files visits into the calendar tree and takes them out again, timing both.
//
// historymodel_bench [days [pages-per-day [visits-per-page]]]
// Default: 100 days spread over the 12 months of 2024, 1000 distinct pages a
// day, one visit each: 100,000 visits. Each run is made twice, with the
// records in time order (as the history delivers them) and shuffled.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/historymodel/CTreeDataView.h"
#include "common/LocalTime.h"

namespace {

// Wall time and the process's CPU time: on a shared machine the second
// tells what the model costs, the first what a user would wait.
struct Stamp {
    std::chrono::steady_clock::time_point wall;
    double cpu;
};

double CpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

Stamp Now()
{
    return {std::chrono::steady_clock::now(), CpuSeconds()};
}

struct Span {
    double wall;
    double cpu;
};

Span Since(const Stamp& start)
{
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start.wall).count(),
            CpuSeconds() - start.cpu};
}

std::vector<CDataItem> MakeVisits(int days, int pagesPerDay, int visitsPerPage)
{
    const std::int64_t yearStart = wys::ComposeLocalTime(2024, 1, 1);
    std::vector<CDataItem> visits;
    visits.reserve(static_cast<std::size_t>(days) * pagesPerDay * visitsPerPage);
    for (int d = 0; d < days; ++d) {
        const std::int64_t dayStart = yearStart + static_cast<std::int64_t>(d) * 366 / days * 86400;
        for (int v = 0; v < visitsPerPage; ++v) {
            for (int p = 0; p < pagesPerDay; ++p) {
                CDataItem data;
                data.Time = dayStart + 3600 + static_cast<std::int64_t>(v) * pagesPerDay + p;
                data.Url = "http://www.example.com/section/" + std::to_string(p % 37) + "/page" +
                           std::to_string(p) + ".html";
                data.Path = "2024/day" + std::to_string(d) + "/page" + std::to_string(p) + "-" +
                            std::to_string(v) + ".htm";
                data.Title = "Page number " + std::to_string(p);
                visits.push_back(std::move(data));
            }
        }
    }
    return visits;
}

struct Figures {
    Span add;
    Span remove;
    std::size_t months;
    std::size_t left;
};

Figures Run(const std::vector<CDataItem>& visits)
{
    AdvancedTree::CSortedTreeItem root;
    root.Expand();
    CTreeDataView view;
    view.SetRoot(&root);

    Stamp start = Now();
    for (const CDataItem& visit : visits)
        view.AddItem(visit);
    Figures figures{};
    figures.add = Since(start);
    figures.months = view.GetMonths().size();

    start = Now();
    for (const CDataItem& visit : visits)
        view.RemoveItem(visit);
    figures.remove = Since(start);
    figures.left = root.GetChildCount();
    view.SetRoot(nullptr);
    return figures;
}

void Report(const char* order, std::size_t count, const Figures& f)
{
    const double n = static_cast<double>(count);
    std::printf(
        "%-9s %zu visits: add %.3f s cpu (%.3f s wall, %.2f us/visit), "
        "remove %.3f s cpu (%.3f s wall, %.2f us/visit); months %zu, nodes left %zu\n",
        order, count, f.add.cpu, f.add.wall, f.add.cpu * 1e6 / n, f.remove.cpu, f.remove.wall,
        f.remove.cpu * 1e6 / n, f.months, f.left);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("TZ")) {
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
    }
    const int days = argc > 1 ? std::atoi(argv[1]) : 100;
    const int pages = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int visitsPerPage = argc > 3 ? std::atoi(argv[3]) : 1;
    if (days <= 0 || pages <= 0 || visitsPerPage <= 0) {
        std::fprintf(stderr, "usage: %s [days [pages-per-day [visits-per-page]]]\n", argv[0]);
        return 2;
    }
    std::vector<CDataItem> visits = MakeVisits(days, pages, visitsPerPage);
    std::printf("%d days over 12 months, %d pages a day, %d visit(s) a page\n", days, pages, visitsPerPage);
    Report("in order", visits.size(), Run(visits));
    std::shuffle(visits.begin(), visits.end(), std::mt19937(2024));
    Report("shuffled", visits.size(), Run(visits));
    return 0;
}
