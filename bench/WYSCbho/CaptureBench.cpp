// Captures a loopback page with 50 resources (images, scripts and style
// sheets of mixed sizes, 5,000 KiB in all) the way the helper object's thread
// does, and saves the same page with `wget -p -k`, alternating, each run in a
// fresh process; prints wall times and the largest peak resident size.
//
//   capture_bench [ROUNDS]
//
// The capture process (capture_bench_child) fetches the page, builds its
// document (as the browser would have) and runs the whole capture: the HTML
// route for the ".php" page (resources downloaded, links rewritten, like
// wget -k), and the single-file route for the same page under ".html". Its
// own time from fetching the page to the record is reported too: inside a
// browser the capture starts in a running process.
//
// The server (a minimal keep-alive server, so that the clients and not the
// server set the pace) runs in a process of its own, so that its memory is
// not counted against the programs measured.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fstream>
#include <map>
#include <thread>

#include "bench/WYSCbho/StaticHttpServer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct ResourceKind {
    int count;
    std::size_t size;
    const char* folder;
    const char* extension;
};

// 50 resources, 5,000 KiB in all.
constexpr ResourceKind kResources[] = {
    {8, 400 * 1024, "img/large", ".jpg"},
    {12, 100 * 1024, "img/medium", ".png"},
    {15, 30 * 1024, "css", ".css"},
    {15, 10 * 1024, "js", ".js"},
};

std::string PageHtml()
{
    std::string html = "<html><head><title>Bench page</title>\n";
    std::string body = "<body>\n";
    for (const ResourceKind& kind : kResources) {
        for (int i = 0; i < kind.count; ++i) {
            std::string path = std::string(kind.folder) + "/r" + std::to_string(i) + kind.extension;
            if (std::string(kind.extension) == ".css")
                html += "<link rel=\"stylesheet\" href=\"" + path + "\">\n";
            else if (std::string(kind.extension) == ".js")
                html += "<script src=\"" + path + "\"></script>\n";
            else
                body += "<img src=\"" + path + "\">\n";
        }
    }
    return html + "</head>\n" + body + "<p>" + std::string(4000, 'x') + "</p></body></html>\n";
}

std::map<std::string, std::string> SiteBodies()
{
    std::map<std::string, std::string> bodies;
    const std::string html = PageHtml();
    bodies["/bench/page.php"] = html;
    bodies["/bench/page.html"] = html;
    for (const ResourceKind& kind : kResources) {
        for (int i = 0; i < kind.count; ++i)
            bodies["/bench/" + std::string(kind.folder) + "/r" + std::to_string(i) + kind.extension] =
                std::string(kind.size, static_cast<char>('a' + i % 26));
    }
    return bodies;
}

struct Run {
    double wallMs = 0;
    double captureMs = 0;  // the capture's own time, for capture runs
    long peakKiB = 0;
    int status = -1;
};

Run Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> envStrings(extraEnv);
    for (char** e = environ; *e; ++e)
        envStrings.emplace_back(*e);
    std::vector<char*> env;
    for (std::string& e : envStrings)
        env.push_back(e.data());
    env.push_back(nullptr);
    std::vector<std::string> argStrings(args);
    std::vector<char*> argv;
    for (std::string& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    Run run;
    auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), env.data()) != 0)
        return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::uintmax_t FolderBytes(const std::filesystem::path& folder)
{
    std::uintmax_t bytes = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file(error))
            bytes += it->file_size(error);
    }
    return bytes;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Report(const char* name, const std::vector<Run>& runs, std::uintmax_t savedBytes)
{
    std::vector<double> walls, captures;
    long peak = 0;
    int failures = 0;
    for (const Run& run : runs) {
        walls.push_back(run.wallMs);
        captures.push_back(run.captureMs);
        peak = std::max(peak, run.peakKiB);
        failures += run.status != 0;
    }
    std::printf("%-30s process wall median %7.1f ms (min %7.1f, max %7.1f)", name, Median(walls),
                *std::min_element(walls.begin(), walls.end()), *std::max_element(walls.begin(), walls.end()));
    if (Median(captures) > 0)
        std::printf("  capture itself median %7.1f ms", Median(captures));
    std::printf("  peak RSS %6ld KiB  saved %8.1f KiB%s\n", peak, static_cast<double>(savedBytes) / 1024.0,
                failures ? "  (some runs failed)" : "");
}

// Serves the site in a child process until `control` is closed; returns the
// port, or 0.
int StartServerProcess(int& control, pid_t& pid)
{
    int portPipe[2], controlPipe[2];
    if (::pipe(portPipe) != 0 || ::pipe(controlPipe) != 0)
        return 0;
    pid = ::fork();
    if (pid == 0) {
        ::close(portPipe[0]);
        ::close(controlPipe[1]);
        wys::bench::StaticHttpServer server(SiteBodies());
        int port = server.Port();
        if (::write(portPipe[1], &port, sizeof(port)) != sizeof(port))
            ::_exit(1);
        // Ends when the benchmark closes its end of the control pipe.
        std::thread([fd = controlPipe[0]] {
            char byte;
            while (::read(fd, &byte, 1) > 0) {
            }
            ::_exit(0);
        }).detach();
        server.Run();
        ::_exit(0);
    }
    ::close(portPipe[1]);
    ::close(controlPipe[0]);
    control = controlPipe[1];
    int port = 0;
    if (::read(portPipe[0], &port, sizeof(port)) != sizeof(port))
        port = 0;
    ::close(portPipe[0]);
    return port;
}

double ReadCaptureMs(const std::filesystem::path& home)
{
    std::ifstream in(home / "capture-ms");
    double ms = 0;
    in >> ms;
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    char pattern[] = "/tmp/capture-bench-XXXXXX";
    const std::filesystem::path scratch = ::mkdtemp(pattern);
    const std::string child =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "capture_bench_child").string();

    int control = -1;
    pid_t serverPid = 0;
    const int port = StartServerProcess(control, serverPid);
    if (port == 0) {
        std::fprintf(stderr, "capture_bench: the server did not start\n");
        return 1;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    std::printf(
        "page: %s/bench/page.php with 50 resources, 5000 KiB; %d rounds, each run in a fresh process\n",
        base.c_str(), rounds);

    std::vector<Run> html, archive, wget;
    std::uintmax_t htmlBytes = 0, archiveBytes = 0, wgetBytes = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const char* route : {"php", "html"}) {
            const std::filesystem::path home =
                scratch / ("capture-" + std::string(route) + std::to_string(round));
            std::filesystem::create_directories(home / "Documents");
            std::vector<std::string> env = {"HOME=" + home.string(),
                                            "XDG_CONFIG_HOME=" + (home / ".config").string(),
                                            "XDG_RUNTIME_DIR=" + (home / "run").string()};
            Run run = Spawn({child, base + "/bench/page." + std::string(route)}, env);
            run.captureMs = ReadCaptureMs(home);
            if (std::string(route) == "php") {
                html.push_back(run);
                htmlBytes = FolderBytes(home / "Documents");
            } else {
                archive.push_back(run);
                archiveBytes = FolderBytes(home / "Documents");
            }
        }
        const std::filesystem::path target = scratch / ("wget" + std::to_string(round));
        wget.push_back(Spawn(
            {"wget", "-q", "-p", "-k", "-e", "robots=off", "-P", target.string(), base + "/bench/page.php"},
            {}));
        wgetBytes = FolderBytes(target);
    }
    Report("capture, HTML route (.php)", html, htmlBytes);
    Report("capture, single file (.html)", archive, archiveBytes);
    Report("wget -p -k", wget, wgetBytes);

    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    std::printf(
        "(peak RSS figures include this program's own %ld KiB, which a spawned process starts from)\n",
        self.ru_maxrss);

    ::close(control);
    int status = 0;
    ::waitpid(serverPid, &status, 0);
    std::error_code error;
    std::filesystem::remove_all(scratch, error);
    return 0;
}
