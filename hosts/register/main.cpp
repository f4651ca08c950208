// wayscribe-register: the registration steps of installation, one per run.
//   wayscribe-register register LIBRARY      the library's DllRegisterServer
//   wayscribe-register unregister LIBRARY    its DllUnregisterServer
//   wayscribe-register add-helper CLSID [NAME] | remove-helper CLSID
//                                            the browser hosts' helper-object list
//   wayscribe-register add-bar CLSID | remove-bar CLSID
//                                            the explorer bars (CATID_InfoBand)
//   wayscribe-register help-path [FOLDER]    HelpPath of the band (none: removed)
// Exit code 0 on success, 1 on failure (with the reason on standard error),
// 2 for a wrong command line. Removing what is not there succeeds, so that
// uninstalling twice does no harm.
#include <dlfcn.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/browser/BrowserExtensions.h"
#include "platform/com/Guid.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace {

constexpr const char* kBandSettingsKey = "Software\\Quillonix\\WYSC";
constexpr const char* kHelpPathValue = "HelpPath";

int Fail(const std::string& text)
{
    std::fprintf(stderr, "wayscribe-register: %s\n", text.c_str());
    return 1;
}

int Usage()
{
    std::fputs(
        "Usage: wayscribe-register register|unregister LIBRARY\n"
        "       wayscribe-register add-helper CLSID [NAME] | remove-helper CLSID\n"
        "       wayscribe-register add-bar CLSID | remove-bar CLSID\n"
        "       wayscribe-register help-path [FOLDER]\n",
        stderr);
    return 2;
}

int CallLibrary(const std::string& path, const char* function)
{
    // Left loaded: the process ends right after.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return Fail(std::string("cannot load ") + ::dlerror());
    auto call = reinterpret_cast<HRESULT (*)()>(::dlsym(library, function));
    if (!call)
        return Fail(path + " has no " + function);
    HRESULT hr = call();
    if (FAILED(hr))
        return Fail(std::string(function) + " of " + path + " failed: " + HResultText(hr));
    return 0;
}

int Registry(LONG result, const std::string& what, bool absentIsFine)
{
    if (result == ERROR_SUCCESS || (absentIsFine && result == ERROR_FILE_NOT_FOUND))
        return 0;
    return Fail(what + " failed: registry error " + std::to_string(result));
}

int SetHelpPath(const std::optional<std::string>& folder)
{
    CRegKey key;
    LONG result = key.Create(HKEY_CURRENT_USER, kBandSettingsKey, KEY_WRITE);
    if (result != ERROR_SUCCESS)
        return Registry(result, "opening the band's settings", false);
    if (folder)
        result = RegSetValueEx(key, kHelpPathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder->c_str()),
                               static_cast<DWORD>(folder->size() + 1));
    else
        result = RegDeleteValue(key, kHelpPathValue);
    return Registry(result, "writing HelpPath", true);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage();
    const std::string& command = args[0];
    if (command == "help-path" && args.size() <= 2)
        return SetHelpPath(args.size() == 2 ? std::optional<std::string>(args[1]) : std::nullopt);
    if (args.size() < 2)
        return Usage();
    if (command == "register" && args.size() == 2)
        return CallLibrary(args[1], "DllRegisterServer");
    if (command == "unregister" && args.size() == 2)
        return CallLibrary(args[1], "DllUnregisterServer");

    std::optional<CLSID> clsid = GuidFromString(args[1]);
    if (!clsid)
        return Fail("not a class identifier: " + args[1]);
    if (command == "add-helper" && args.size() <= 3)
        return Registry(AddBrowserHelperObject(*clsid, args.size() == 3 ? args[2] : ""),
                        "adding the helper object", false);
    if (command == "remove-helper" && args.size() == 2)
        return Registry(RemoveBrowserHelperObject(*clsid), "removing the helper object", true);
    if (command == "add-bar" && args.size() == 2)
        return Registry(AddExplorerBar(*clsid), "adding the explorer bar", false);
    if (command == "remove-bar" && args.size() == 2)
        return Registry(RemoveExplorerBar(*clsid), "removing the explorer bar", true);
    return Usage();
}
