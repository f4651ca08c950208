// The command line of wayscribe-history: what to do, parsed and checked
// before the history server is asked anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wys::history {

enum class HistoryVerb {
    Help,
    List,
    Count,
    Find,
    Remove,
    RemoveRange,
    Export,
    ExportRange,
    ExportPaths,
    Import,
    Settings,
    Set,
    Watch,
    Search,
};

enum class HistorySetting { BaseDirectory, CollectHistory, TitledFileNames, HistoryRange };

struct HistoryCommand {
    HistoryVerb verb = HistoryVerb::Help;
    // find, remove: the visit's second. list, remove-range, export-range:
    // from <= Time < to (list: each end optional).
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> to;
    // find, remove: the visit's URL; remove-range, export-range: only this URL.
    std::optional<std::string> url;
    // export*, import: the export file as given.
    std::string file;
    // export-paths: the saved copies' Paths.
    std::vector<std::string> paths;
    // set: which setting, and its new value (text for the folder, flag, or seconds).
    HistorySetting setting = HistorySetting::BaseDirectory;
    std::string folder;
    bool flag = false;
    std::int64_t seconds = 0;
    // search: the fields to test (all three when none was named) and the
    // expression.
    bool searchUrl = false;
    bool searchTitle = false;
    bool searchContent = false;
    std::string expression;
};

// Either a command or the message that tells what is wrong with the arguments.
struct ParsedHistoryCommand {
    std::optional<HistoryCommand> command;
    std::string error;
};

// `args`: the arguments after the program's name.
ParsedHistoryCommand ParseHistoryCommand(const std::vector<std::string>& args);

// The --help text.
const char* HistoryUsage();

}  // namespace wys::history
