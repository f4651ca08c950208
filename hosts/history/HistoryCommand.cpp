#include "hosts/history/HistoryCommand.h"

#include <map>

#include "hosts/history/HistoryText.h"

namespace wys::history {

namespace {

struct VerbInfo {
    HistoryVerb verb;
    std::size_t least;  // arguments after the verb
    std::size_t most;   // SIZE_MAX: no limit
};

const std::map<std::string, VerbInfo>& Verbs()
{
    static const std::map<std::string, VerbInfo> verbs = {
        {"list", {HistoryVerb::List, 0, 2}},
        {"count", {HistoryVerb::Count, 0, 0}},
        {"find", {HistoryVerb::Find, 2, 2}},
        {"remove", {HistoryVerb::Remove, 2, 2}},
        {"remove-range", {HistoryVerb::RemoveRange, 2, 3}},
        {"export", {HistoryVerb::Export, 1, 1}},
        {"export-range", {HistoryVerb::ExportRange, 3, 4}},
        {"export-paths", {HistoryVerb::ExportPaths, 2, SIZE_MAX}},
        {"import", {HistoryVerb::Import, 1, 1}},
        {"settings", {HistoryVerb::Settings, 0, 0}},
        {"set", {HistoryVerb::Set, 2, 2}},
        {"watch", {HistoryVerb::Watch, 0, 0}},
        {"search", {HistoryVerb::Search, 1, SIZE_MAX}},
    };
    return verbs;
}

ParsedHistoryCommand Error(std::string message)
{
    return {std::nullopt, std::move(message)};
}

// Reads a time argument into *out; false with *error set when it is none.
bool TimeArgument(const std::string& text, const char* what, std::optional<std::int64_t>* out,
                  std::string* error)
{
    *out = ParseTime(text);
    if (!*out)
        *error = std::string("bad ") + what + " \"" + text +
                 "\": give seconds since 1970 or YYYY-MM-DD[ HH:MM[:SS]]";
    return out->has_value();
}

bool Range(const std::vector<std::string>& a, std::size_t at, HistoryCommand* c, std::string* error)
{
    if (!TimeArgument(a[at], "FROM", &c->from, error) || !TimeArgument(a[at + 1], "TO", &c->to, error))
        return false;
    if (*c->to < *c->from) {
        *error = "TO comes before FROM";
        return false;
    }
    return true;
}

bool Setting(const std::string& name, const std::string& value, HistoryCommand* c, std::string* error)
{
    if (name == "base-directory") {
        c->setting = HistorySetting::BaseDirectory;
        c->folder = value;
        if (value.empty())
            *error = "base-directory needs a folder";
        return !value.empty();
    }
    if (name == "collect-history" || name == "titled-file-names") {
        c->setting =
            name == "collect-history" ? HistorySetting::CollectHistory : HistorySetting::TitledFileNames;
        auto flag = ParseSwitch(value);
        if (!flag)
            *error = name + " is on or off, not \"" + value + "\"";
        c->flag = flag.value_or(false);
        return flag.has_value();
    }
    if (name == "history-range") {
        c->setting = HistorySetting::HistoryRange;
        auto seconds = ParseSpan(value);
        if (!seconds)
            *error =
                "history-range is a number of seconds (or Nm, Nh, Nd) of at least 0, not \"" + value + "\"";
        c->seconds = seconds.value_or(0);
        return seconds.has_value();
    }
    *error = "unknown setting \"" + name +
             "\": base-directory, collect-history, titled-file-names or history-range";
    return false;
}

// [--url] [--title] [--content] [--] EXPRESSION
bool SearchArguments(const std::vector<std::string>& a, HistoryCommand* c, std::string* error)
{
    std::size_t at = 0;
    for (; at < a.size(); ++at) {
        if (a[at] == "--url")
            c->searchUrl = true;
        else if (a[at] == "--title")
            c->searchTitle = true;
        else if (a[at] == "--content")
            c->searchContent = true;
        else if (a[at] == "--") {
            ++at;
            break;
        } else if (a[at].size() > 1 && a[at][0] == '-' && a[at][1] == '-') {
            *error = "unknown option \"" + a[at] + "\" for search: --url, --title or --content";
            return false;
        } else
            break;
    }
    if (at + 1 != a.size()) {
        *error = at == a.size() ? "search needs an expression" : "search takes one expression (quote it)";
        return false;
    }
    c->expression = a[at];
    if (!c->searchUrl && !c->searchTitle && !c->searchContent)
        c->searchUrl = c->searchTitle = c->searchContent = true;
    return true;
}

}  // namespace

ParsedHistoryCommand ParseHistoryCommand(const std::vector<std::string>& args)
{
    if (args.empty())
        return Error("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help")
        return {HistoryCommand{}, ""};
    auto found = Verbs().find(args[0]);
    if (found == Verbs().end())
        return Error("unknown command \"" + args[0] + "\"");
    const VerbInfo& info = found->second;
    std::vector<std::string> a(args.begin() + 1, args.end());
    for (const auto& arg : a) {
        if (arg == "--")
            break;  // what follows is an expression, whatever it looks like
        if (arg == "--help" || arg == "-h")
            return {HistoryCommand{}, ""};
    }
    if (a.size() < info.least || a.size() > info.most)
        return Error("wrong number of arguments for " + args[0]);

    HistoryCommand c;
    c.verb = info.verb;
    std::string error;
    bool ok = true;
    switch (info.verb) {
        case HistoryVerb::List:
            if (a.size() >= 1)
                ok = TimeArgument(a[0], "FROM", &c.from, &error);
            if (ok && a.size() == 2)
                ok = Range(a, 0, &c, &error);
            break;
        case HistoryVerb::Find:
        case HistoryVerb::Remove:
            ok = TimeArgument(a[0], "TIME", &c.from, &error);
            c.url = a[1];
            break;
        case HistoryVerb::RemoveRange:
            ok = Range(a, 0, &c, &error);
            if (a.size() == 3)
                c.url = a[2];
            break;
        case HistoryVerb::Export:
        case HistoryVerb::Import:
            c.file = a[0];
            break;
        case HistoryVerb::ExportRange:
            c.file = a[0];
            ok = Range(a, 1, &c, &error);
            if (a.size() == 4)
                c.url = a[3];
            break;
        case HistoryVerb::ExportPaths:
            c.file = a[0];
            c.paths.assign(a.begin() + 1, a.end());
            break;
        case HistoryVerb::Set:
            ok = Setting(a[0], a[1], &c, &error);
            break;
        case HistoryVerb::Search:
            ok = SearchArguments(a, &c, &error);
            break;
        default:
            break;
    }
    if (ok &&
        (info.verb == HistoryVerb::Export || info.verb == HistoryVerb::ExportRange ||
         info.verb == HistoryVerb::ExportPaths || info.verb == HistoryVerb::Import) &&
        c.file.empty()) {
        ok = false;
        error = "the file name is empty";
    }
    if (!ok)
        return Error(error);
    return {c, ""};
}

const char* HistoryUsage()
{
    return R"(Usage: wayscribe-history COMMAND [ARGUMENTS]
       wayscribe-history --help

Reads and changes the browsing history kept by the history server WYSCHelper,
which starts on the first request and ends a few seconds after the last.

Commands:
  list [FROM [TO]]               the visits, one a line: time, URL, title, Path
                                 (tab-separated); with FROM and TO only those
                                 with FROM <= time < TO
  count                          the number of visits
  find TIME URL                  the visit of that second and URL
  remove TIME URL                remove that visit and its saved page
  remove-range FROM TO [URL]     remove the visits with FROM <= time < TO (of
                                 URL only, when given) and their saved pages
  export FILE                    export every visit to FILE; the pages go to the
                                 folder FILE's name without extension + "_files"
  export-range FILE FROM TO [URL]  export the visits with FROM <= time < TO
  export-paths FILE PATH...      export the visits saved under these Paths
  import FILE                    import the visits of an export file
  settings                       show the four settings, the number of
                                 visits and what their saved copies take
                                 on disk, with and without sharing
  set base-directory FOLDER      where the history lives
  set collect-history on|off     whether browser windows record visits
  set titled-file-names on|off   whether saved pages are named by their title
  set history-range SPAN         how long visits are kept: seconds, or Nm, Nh,
                                 Nd; 0 keeps them for ever
  watch                          print each change as it happens, with the
                                 visit it names, until interrupted
  search [--url] [--title] [--content] EXPRESSION
                                 the visits whose URL, title or saved page
                                 (the text it shows) the search expression
                                 matches, letter case ignored (all three
                                 fields when none is named), newest first,
                                 as list prints them; a visit found by its
                                 page has the text around the match last

Times are seconds since 1970-01-01 UTC or a local date and time
YYYY-MM-DD[ HH:MM[:SS]] (a T may stand for the blank).

Exit status: 0 done; 1 the history refused the request or found nothing;
2 bad arguments (an expression that does not parse among them); 3 the
history server cannot be reached.
)";
}

}  // namespace wys::history
