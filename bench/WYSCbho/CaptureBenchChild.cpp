// One capture of a page, as capture_bench measures it: fetches the page,
// builds its document as the browser would have, and runs the capture into
// the history of $HOME with the URL base object in this process. Writes the
// capture's own time in milliseconds to $HOME/capture-ms.
//
//   capture_bench_child URL
//
// Exit status 0 when the page was saved and recorded.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "WYSCHelper/CWYSCURLBase.h"
#include "WYSCbho/CPageCapture.h"
#include "platform/dom/HtmlDocumentBuilder.h"
#include "platform/inet/WinInet.h"
#include "platform/rpc/Apartment.h"

namespace {

std::string Fetch(const std::string& url)
{
    std::string body;
    HINTERNET session = InternetOpen("QXPL", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session)
        return body;
    if (HINTERNET request = InternetOpenUrl(session, url.c_str(), nullptr, 0, 0, 0)) {
        char buffer[16384];
        DWORD read = 0;
        while (InternetReadFile(request, buffer, sizeof(buffer), &read) && read > 0)
            body.append(buffer, read);
        InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    return body;
}

int Capture(const std::string& url)
{
    ComPtr<IWYSCURLBase> base;
    if (FAILED(CWYSCURLBase::Create(IID_IWYSCURLBase, base.PutVoid())))
        return 3;
    auto start = std::chrono::steady_clock::now();
    std::string html = Fetch(url);
    ComPtr<IDispatch> built;
    ComPtr<IHTMLDocument2> document;
    if (FAILED(BuildHtmlDocument(html, url, CharsetDeclarations::DeclareUtf8, {},
                                 built.ReleaseAndGetAddressOf())) ||
        FAILED(built.As(&document)))
        return 4;
    wys::capture::CaptureOutcome outcome;
    try {
        wys::capture::CPageCapture capture({url, static_cast<std::int64_t>(std::time(nullptr)), "Bench page"},
                                           base.Get(), document.Get(), nullptr);
        outcome = capture.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "capture_bench_child: %s\n", error.what());
        return 5;
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (const char* home = std::getenv("HOME"))
        std::ofstream(std::string(home) + "/capture-ms") << ms << "\n";
    bool saved =
        outcome == wys::capture::CaptureOutcome::Page || outcome == wys::capture::CaptureOutcome::Archive;
    return saved ? 0 : 6;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: capture_bench_child URL\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;
    int status = Capture(argv[1]);
    CoUninitialize();
    return status;
}
