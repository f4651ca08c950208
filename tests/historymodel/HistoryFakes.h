// Stand-ins for what the history model meets outside itself in a band: the
// band's service provider and an in-process URL base holding a list of
// records.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "Wayscribe/historymodel/CQXServiceProvider.h"
#include "common/IWYSCURLBase.h"
#include "platform/com/ComObject.h"
#include "tests/support/UrlBaseFake.h"

namespace wys::test {

class CFakeProvider : public CQXServiceProvider {
public:
    struct Export {
        std::int64_t start;
        std::int64_t span;
        std::string urlFilter;
        std::set<std::string> paths;
    };

    void ExportSelection(std::int64_t start, std::int64_t span, const std::string& urlFilter,
                         const std::set<std::string>& paths) override
    {
        exports.push_back({start, span, urlFilter, paths});
    }
    std::string GetBaseDirectory() override { return baseDirectory; }
    void Navigate(const std::string& target) override { navigations.push_back(target); }
    int IsTitleView() override { return titleView; }

    std::string baseDirectory = "/home/u/Collected IE History";
    int titleView = 0;
    std::vector<std::string> navigations;
    std::vector<Export> exports;
};

struct FakeRecord {
    std::int64_t time;
    std::string url;
    std::string path;
    std::string title;
    bool unreadable = false;  // GetData fails for it
};

// Answers DataCount and GetData from a list; everything else is E_NOTIMPL.
class CFakeUrlBase : public CComObjectRoot<CFakeUrlBase, UrlBaseFake> {
public:
    explicit CFakeUrlBase(std::vector<FakeRecord> records) : m_records(std::move(records)) {}

    HRESULT countResult = S_OK;
    int reads = 0;

    HRESULT GetData(_URL_DATE_* data, ULONG index) override;
    HRESULT get_DataCount(ULONG* count) override;

private:
    std::vector<FakeRecord> m_records;
};

}  // namespace wys::test
