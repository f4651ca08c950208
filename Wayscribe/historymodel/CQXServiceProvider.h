// What the history nodes need from the band that shows them: the history
// folder, navigation, the view mode and the export dialog. The band
// implements it; the nodes hold a plain pointer to it.
#pragma once

#include <cstdint>
#include <set>
#include <string>

// Called on the band's window thread only. The band outlives every node that
// points to it.
class CQXServiceProvider {
public:
    // Opens the export dialog preset with a range (start and span in seconds),
    // a URL filter ("" for none) and the saved paths of the selected visits.
    virtual void ExportSelection(std::int64_t start, std::int64_t span, const std::string& urlFilter,
                                 const std::set<std::string>& paths) = 0;
    // The history folder.
    virtual std::string GetBaseDirectory() = 0;
    // Shows a file path or URL in the browser window that hosts the band.
    virtual void Navigate(const std::string& target) = 0;
    // Non-zero when page nodes show page titles, zero when they show URLs.
    virtual int IsTitleView() = 0;

protected:
    CQXServiceProvider() = default;
    ~CQXServiceProvider() = default;
    CQXServiceProvider(const CQXServiceProvider&) = default;
    CQXServiceProvider& operator=(const CQXServiceProvider&) = default;
};
