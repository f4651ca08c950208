#include "platform/rpc/detail/InprocServer.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <map>
#include <mutex>

namespace wys::rpc {

namespace {

inline constexpr HRESULT CO_E_DLLNOTFOUND = MakeHResult(0x800401F8u);
inline constexpr HRESULT CO_E_ERRORINDLL = MakeHResult(0x800401F9u);

using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT (*)();

struct Library {
    void* handle = nullptr;
    struct stat file {};  // the file as it was when opened
    GetClassObjectFunction getClassObject = nullptr;
    CanUnloadNowFunction canUnloadNow = nullptr;
};

std::mutex g_mutex;
std::map<std::string, Library>& Libraries()
{
    static auto* libraries = new std::map<std::string, Library>;
    return *libraries;
}

}  // namespace

HRESULT InprocGetClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** object)
{
    GetClassObjectFunction getClassObject;
    {
        std::lock_guard lock(g_mutex);
        auto it = Libraries().find(path);
        if (it == Libraries().end()) {
            void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle)
                return CO_E_DLLNOTFOUND;
            Library library;
            library.handle = handle;
            ::stat(path.c_str(), &library.file);
            library.getClassObject =
                reinterpret_cast<GetClassObjectFunction>(::dlsym(handle, "DllGetClassObject"));
            library.canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(::dlsym(handle, "DllCanUnloadNow"));
            if (!library.getClassObject) {
                ::dlclose(handle);
                return CO_E_ERRORINDLL;
            }
            it = Libraries().emplace(path, library).first;
        }
        getClassObject = it->second.getClassObject;
    }
    return getClassObject(clsid, iid, object);
}

void FreeUnusedInprocLibraries()
{
    std::lock_guard lock(g_mutex);
    for (auto it = Libraries().begin(); it != Libraries().end();) {
        if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
            ::dlclose(it->second.handle);
            it = Libraries().erase(it);
        } else {
            ++it;
        }
    }
}

bool InprocLibrariesReplaced()
{
    std::lock_guard lock(g_mutex);
    for (const auto& [path, library] : Libraries()) {
        struct stat now;
        if (::stat(path.c_str(), &now) != 0 || now.st_dev != library.file.st_dev ||
            now.st_ino != library.file.st_ino || now.st_size != library.file.st_size ||
            now.st_mtim.tv_sec != library.file.st_mtim.tv_sec ||
            now.st_mtim.tv_nsec != library.file.st_mtim.tv_nsec)
            return true;
    }
    return false;
}

}  // namespace wys::rpc
