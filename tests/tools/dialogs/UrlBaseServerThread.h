// The real URL base served from its own single-threaded apartment, as the
// server program serves it: the object is created on a thread of its own and
// its class is registered there, so that every CoCreateInstance of
// CLSID_WYSCURLBase in this process, from any apartment, reaches it through
// a proxy.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "common/IWYSCURLBase.h"
#include "platform/com/ComPtr.h"

namespace wys::test {

class CUrlBaseServerThread {
public:
    // Creates the object (settings and index from the registry and history
    // folder as they are now) with `now` as its clock, when given.
    explicit CUrlBaseServerThread(std::function<std::int64_t()> now = {});
    ~CUrlBaseServerThread();
    CUrlBaseServerThread(const CUrlBaseServerThread&) = delete;
    CUrlBaseServerThread& operator=(const CUrlBaseServerThread&) = delete;

    // Runs `f` on the server thread with the object itself (no proxy) and
    // waits for it; the caller's apartment keeps dispatching meanwhile.
    void Run(const std::function<void(IWYSCURLBase* base)>& f);

    // Shorthands on the object.
    ULONG Count();
    std::string BaseDirectory();
    VARIANT_BOOL CollectHistory();
    VARIANT_BOOL TitledFileNames();
    std::int64_t HistoricalRange();
    // Makes the page file under the history folder and adds the visit;
    // returns AddData's result.
    HRESULT AddVisit(std::int64_t time, const std::string& url, const std::string& path,
                     const std::string& title, const std::string& page = "<html></html>");
    // Adds the visit only; whatever stands at its path stays as it is.
    HRESULT AddRecord(std::int64_t time, const std::string& url, const std::string& path,
                      const std::string& title);

    // Withdraws the class: later connections fail with REGDB_E_CLASSNOTREG.
    void Revoke();

private:
    std::thread m_thread;
    DWORD m_threadId = 0;
    DWORD m_cookie = 0;
    ComPtr<IWYSCURLBase> m_base;  // used on the server thread only
};

// Writes (or with REG_NONE deletes) one value under HKEY_CURRENT_USER `key`.
void SetUserValue(const char* key, const char* name, DWORD type, const std::string& bytes);
// A value's type and bytes; type REG_NONE and no bytes when it is missing.
std::pair<DWORD, std::string> GetUserValue(const char* key, const char* name);

}  // namespace wys::test
