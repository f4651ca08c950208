// Content search over a history of saved pages of real HTML, measured
// against `grep -ril` on the same folder in the same run.
//
// Usage: content_search_bench [--pages N] [--source DIR] [--word WORD] [--runs R]
//   --pages   visits in the history, each with its own saved page (10000)
//   --source  a folder of real HTML pages, copied round-robin into the
//             history (the C++ reference's HTML when installed, else
//             /usr/share/doc)
//   --word    the search expression, a plain word so that grep searches
//             for the same thing ("allocator")
//   --runs    timed runs of each, after one warm-up run (5)
//
// The history lives in a scratch home folder under /tmp that is removed at
// the end. The URL base runs in this process on a thread of its own, as the
// tests run it, and the search is the pane's worker, content only.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "WYSCHelper/CWYSCURLBase.h"
#include "Wayscribe/tools/CSearchWorker.h"
#include "common/StringConvert.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    int pages = 10000;
    std::string source;
    std::string word = "allocator";
    int runs = 5;
};

double Milliseconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

std::vector<fs::path> HtmlPages(const std::string& folder)
{
    std::vector<fs::path> pages;
    for (const auto& entry :
         fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied)) {
        const auto extension = entry.path().extension();
        if (entry.is_regular_file() && (extension == ".html" || extension == ".htm") && entry.file_size() > 0)
            pages.push_back(entry.path());
    }
    std::sort(pages.begin(), pages.end());
    return pages;
}

// Hands out the one URL base object, as the server program does.
class CFactory final : public CComObjectRoot<CFactory, IClassFactory> {
public:
    explicit CFactory(ComPtr<IWYSCURLBase> base) : m_base(std::move(base)) {}
    HRESULT CreateInstance(IUnknown*, REFIID iid, void** object) override
    {
        return m_base->QueryInterface(iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    ComPtr<IWYSCURLBase> m_base;
};

class CCountingSink final : public ISearchResultSink {
public:
    void OnSearchProgress(int) override {}
    void OnSearchFound(CDataItem) override { ++found; }
    std::atomic<int> found{0};
};

// Runs grep -ril and counts the files it lists.
int GrepCount(const std::string& word, const std::string& folder)
{
    const std::string command = "grep -ril -- '" + word + "' '" + folder + "' | wc -l";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    int count = -1;
    if (std::fscanf(pipe, "%d", &count) != 1)
        count = -1;
    ::pclose(pipe);
    return count;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--pages")
            options.pages = std::atoi(argv[i + 1]);
        else if (name == "--source")
            options.source = argv[i + 1];
        else if (name == "--word")
            options.word = argv[i + 1];
        else if (name == "--runs")
            options.runs = std::max(1, std::atoi(argv[i + 1]));
    }
    if (options.source.empty())
        options.source = fs::is_directory("/usr/share/cppreference/doc/html")
                             ? "/usr/share/cppreference/doc/html"
                             : "/usr/share/doc";
    const std::vector<fs::path> sources = HtmlPages(options.source);
    if (sources.empty()) {
        std::fprintf(stderr, "no HTML pages under %s\n", options.source.c_str());
        return 1;
    }

    char scratch[] = "/tmp/wys-search-bench-XXXXXX";
    if (!::mkdtemp(scratch))
        return 1;
    const std::string home = scratch;
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (home + "/run").c_str(), 1);
    fs::create_directories(home + "/run");
    const std::string history = home + "/history";

    // The history: one saved page per visit in day folders, copied from the
    // real pages round-robin.
    std::uintmax_t bytes = 0;
    std::vector<std::string> paths;
    for (int n = 0; n < options.pages; ++n) {
        const fs::path& from = sources[static_cast<std::size_t>(n) % sources.size()];
        const std::string relative = "2024/March/" + std::to_string(1 + n % 28) + "/" + std::to_string(n) +
                                     "_" + from.filename().string();
        fs::create_directories(fs::path(history + "/" + relative).parent_path());
        fs::copy_file(from, history + "/" + relative, fs::copy_options::overwrite_existing);
        bytes += fs::file_size(from);
        paths.push_back(relative);
    }
    HKEY key = nullptr;
    RegCreateKeyEx(HKEY_CURRENT_USER, CWYSCURLBase::kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                   &key, nullptr);
    RegSetValueEx(key, "BasePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(history.c_str()),
                  static_cast<DWORD>(history.size() + 1));
    RegCloseKey(key);

    // The URL base on its own apartment thread, with the visits added.
    std::promise<DWORD> started;
    std::thread server([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ComPtr<IWYSCURLBase> base;
        CWYSCURLBase::Create(IWYSCURLBase::Iid, base.PutVoid());
        base->put_HistoricalRange(0);
        for (int n = 0; n < options.pages; ++n) {
            CComBSTR url("https://en.cppreference.com/page/" + std::to_string(n));
            CComBSTR path(paths[static_cast<std::size_t>(n)]);
            CComBSTR title("Page " + std::to_string(n));
            base->AddData(_URL_DATE_{1709251200 + n * 60, url, path, title});
        }
        ComPtr<CFactory> factory;
        factory.Attach(CreateComObject<CFactory>(base));
        DWORD cookie = 0;
        CoRegisterClassObject(CLSID_WYSCURLBase, factory->GetUnknown(), CLSCTX_INPROC_SERVER,
                              REGCLS_MULTIPLEUSE, &cookie);
        started.set_value(GetCurrentThreadId());
        RunMessageLoop();
        CoRevokeClassObject(cookie);
        factory = nullptr;
        base = nullptr;
        CoUninitialize();
    });
    const DWORD serverThread = started.get_future().get();

    std::atomic<bool> stop{false};
    const auto search = [&] {
        CCountingSink sink;
        auto request = std::make_unique<SearchRequest>();
        request->Expression = options.word;
        request->Content = true;
        request->ResultSink = &sink;
        request->StopEvent = &stop;
        CSearchWorker worker(std::move(request));
        worker.Wait();
        return sink.found.load();
    };

    std::printf("pages: %d saved pages, %.1f MiB of HTML from %zu distinct files under %s\n", options.pages,
                static_cast<double>(bytes) / (1 << 20), sources.size(), options.source.c_str());
    std::printf("expression: \"%s\" (content only, letter case ignored)\n", options.word.c_str());
    // One warm-up of each, so that both read from the page cache.
    int found = search();
    int grepFound = GrepCount(options.word, history);
    std::vector<double> ours, greps;
    for (int run = 0; run < options.runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        found = search();
        ours.push_back(Milliseconds(start));
        start = std::chrono::steady_clock::now();
        grepFound = GrepCount(options.word, history);
        greps.push_back(Milliseconds(start));
    }
    const double oursMs = Median(ours);
    const double grepMs = Median(greps);
    std::printf("content search: %d visits found, median %.1f ms over %d runs (best %.1f ms)\n", found,
                oursMs, options.runs, *std::min_element(ours.begin(), ours.end()));
    std::printf("grep -ril:      %d files found, median %.1f ms over %d runs (best %.1f ms)\n", grepFound,
                grepMs, options.runs, *std::min_element(greps.begin(), greps.end()));
    std::printf("ratio: %.2f times grep (target: at most 2)\n", oursMs / grepMs);

    PostThreadMessage(serverThread, WM_QUIT, 0, 0);
    server.join();
    fs::remove_all(home);
    return found == grepFound ? 0 : 2;
}
