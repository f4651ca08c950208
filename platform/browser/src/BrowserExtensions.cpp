#include "platform/browser/BrowserExtensions.h"

#include <algorithm>

#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace {

// The browser's category of vertical explorer bars.
constexpr CATID kInfoBandCategory = MakeGuid("{00021493-0000-0000-C000-000000000046}");

LONG CreateKey(HKEY root, const std::string& path, CRegKey& key)
{
    return key.Create(root, path.c_str(), KEY_READ | KEY_WRITE);
}

LONG SetDefaultValue(HKEY key, const std::string& text)
{
    return RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>(text.size() + 1));
}

std::string DefaultValue(HKEY key)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueEx(key, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return {};
    std::string text(size, '\0');
    if (RegQueryValueEx(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    text.resize(std::min<std::size_t>(size, text.find('\0')));
    return text;
}

std::vector<std::string> SubkeyNames(HKEY root, const char* path)
{
    std::vector<std::string> names;
    CRegKey key;
    if (key.Open(root, path, KEY_READ) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyEx(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    return names;
}

bool KeyExists(HKEY root, const std::string& path)
{
    CRegKey key;
    return key.Open(root, path.c_str(), KEY_READ) == ERROR_SUCCESS;
}

std::string BarMarkPath(REFCLSID clsid)
{
    return "CLSID\\" + GuidToString(clsid) + "\\Implemented Categories\\" + GuidToString(kInfoBandCategory);
}

}  // namespace

LONG AddBrowserHelperObject(REFCLSID clsid, const std::string& name)
{
    CRegKey key;
    LONG result =
        CreateKey(HKEY_CURRENT_USER, std::string(kBrowserHelperObjectsKey) + "\\" + GuidToString(clsid), key);
    if (result != ERROR_SUCCESS || name.empty())
        return result;
    return SetDefaultValue(key.Get(), name);
}

LONG RemoveBrowserHelperObject(REFCLSID clsid)
{
    return RegDeleteTree(HKEY_CURRENT_USER,
                         (std::string(kBrowserHelperObjectsKey) + "\\" + GuidToString(clsid)).c_str());
}

std::vector<CLSID> BrowserHelperObjects()
{
    std::vector<CLSID> classes;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (const std::string& name : SubkeyNames(root, kBrowserHelperObjectsKey)) {
            std::optional<GUID> clsid = GuidFromString(name);
            if (clsid && std::find(classes.begin(), classes.end(), *clsid) == classes.end())
                classes.push_back(*clsid);
        }
    }
    return classes;
}

LONG AddExplorerBar(REFCLSID clsid)
{
    CRegKey category;
    LONG result =
        CreateKey(HKEY_CLASSES_ROOT, "Component Categories\\" + GuidToString(kInfoBandCategory), category);
    if (result != ERROR_SUCCESS)
        return result;
    CRegKey mark;
    return CreateKey(HKEY_CLASSES_ROOT, BarMarkPath(clsid), mark);
}

LONG RemoveExplorerBar(REFCLSID clsid)
{
    return RegDeleteTree(HKEY_CLASSES_ROOT, BarMarkPath(clsid).c_str());
}

std::vector<ExplorerBar> ExplorerBars()
{
    std::vector<ExplorerBar> bars;
    for (const std::string& name : SubkeyNames(HKEY_CLASSES_ROOT, "CLSID")) {
        std::optional<GUID> clsid = GuidFromString(name);
        if (!clsid || !KeyExists(HKEY_CLASSES_ROOT, BarMarkPath(*clsid)))
            continue;
        CRegKey key;
        std::string barName;
        if (key.Open(HKEY_CLASSES_ROOT, ("CLSID\\" + name).c_str(), KEY_READ) == ERROR_SUCCESS)
            barName = DefaultValue(key.Get());
        bars.push_back({*clsid, barName});
    }
    std::sort(bars.begin(), bars.end(),
              [](const ExplorerBar& a, const ExplorerBar& b) { return a.clsid < b.clsid; });
    return bars;
}
