#include "hosts/capture/CaptureCommand.h"

#include <cstdio>

#include "hosts/capture/CCaptureSession.h"
#include "hosts/capture/CaptureCommandLine.h"
#include "platform/rpc/Apartment.h"

namespace wys::capture {

int RunCaptureCommand(int argc, const char* const* argv, std::function<bool()> abandoned,
                      std::function<void(int)> finished)
{
    CaptureCommandLine line = ParseCaptureCommandLine(argc, argv);
    if (std::optional<int> answered = AnswerUsage(line))
        return *answered;
    std::vector<std::optional<std::string>> targets;
    std::vector<std::string> refusals;
    for (const std::string& argument : line.urls) {
        std::string reason;
        targets.push_back(PageTarget(argument, reason));
        refusals.push_back(reason);
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fputs("wayscribe-capture: cannot start the component runtime\n", stderr);
        return 1;
    }
    int status = 0;
    {
        CCaptureSession session(line.timeout, std::move(abandoned));
        HRESULT hr = session.Connect();
        if (FAILED(hr)) {
            std::fprintf(stderr, "wayscribe-capture: cannot reach the history (URL base): %s\n",
                         HResultText(hr).c_str());
            status = 1;
        } else {
            for (const PageResult& result : session.Run(line.urls, targets, refusals)) {
                std::printf("%s\n", CCaptureSession::Describe(result).c_str());
                if (result.state != PageState::Recorded)
                    status = 1;
            }
            std::fflush(stdout);
        }
        if (finished)
            finished(status);
    }
    CoUninitialize();
    return status;
}

}  // namespace wys::capture
