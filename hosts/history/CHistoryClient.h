// Carries out the commands of wayscribe-history on a URL base object: the
// calls, and what the user reads about them.
//
// Paths given by the user are made absolute here, since the server runs in
// a folder of its own. Changes that the server refuses while it delivers
// another change's events are tried again for a while.
//
// Threading: the object's apartment thread only; events for the counting
// and printing sinks are dispatched while calls wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "common/IWYSCURLBase.h"
#include "hosts/history/HistoryCommand.h"

namespace wys::history {

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnreachable = 3;

// Whether a call failed because the server is gone or cannot be reached
// (rather than refusing the request).
bool IsUnreachable(HRESULT hr);

class CHistoryClient {
public:
    // `history`, `out` and `err` must outlive the client; none is owned.
    CHistoryClient(IWYSCURLBase* history, std::ostream& out, std::ostream& err)
        : m_history(history), m_out(out), m_err(err)
    {
    }

    // Runs every command but Help and Watch; returns the exit status.
    int Run(const HistoryCommand& command);

    // Prints the events (saying on `err` once it listens) until `stopFd` becomes readable (kExitDone) or the
    // server stops answering the check made every `checkEvery`
    // (kExitUnreachable).
    int Watch(int stopFd, std::chrono::milliseconds checkEvery = std::chrono::milliseconds(1000));

private:
    int List(const HistoryCommand& c);
    int Count();
    int Find(const HistoryCommand& c);
    int Remove(const HistoryCommand& c);
    int RemoveRange(const HistoryCommand& c);
    // Removes the visits with from <= Time < from + seconds (of `url` only,
    // when given). A range wider than one span can say is removed in parts.
    int RemoveSeconds(std::int64_t from, std::uint64_t seconds, const std::optional<std::string>& url);
    int Export(const HistoryCommand& c);
    // The span of ExportRange for [from, to): to - from when it fits;
    // otherwise the range is narrowed to the visits in it. False (after a
    // message) when there is no span to export.
    bool ExportSpan(std::int64_t* from, std::int64_t to, std::int64_t* span, int* status);
    int Import(const HistoryCommand& c);
    int Settings();
    int Set(const HistoryCommand& c);
    int Search(const HistoryCommand& c);

    // The status for a failed call, with a message naming `what`.
    int Failed(const char* what, HRESULT hr);

    IWYSCURLBase* m_history;
    std::ostream& m_out;
    std::ostream& m_err;
};

}  // namespace wys::history
