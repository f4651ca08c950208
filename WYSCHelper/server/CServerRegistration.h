// The history server's entries in HKEY_CLASSES_ROOT: its application
// identifier, the class CWYSCURLBase with its local server and ProgIDs, and
// its type library with the two interfaces it describes.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/WinError.h"

namespace wys::server {

class CServerRegistration {
public:
    static constexpr const char* kFriendlyName = "CWYSCURLBase Object";
    static constexpr const char* kProgId = "WYSCHelper.WYSCURLBase.1";
    static constexpr const char* kVersionIndependentProgId = "WYSCHelper.WYSCURLBase";

    // `modulePath`: the full path of the server program, as LocalServer32
    // names it (quoted there when it holds blanks, so that the command line
    // still splits into the program and its arguments).
    explicit CServerRegistration(std::string modulePath);

    // Writes the application-identifier entries, then the class and the type
    // library entries. The first failing write ends it with its HRESULT
    // (entries written before stay).
    HRESULT Register() const;
    // Removes the class, type library and application-identifier entries.
    // Entries that are already missing are no failure.
    HRESULT Unregister() const;

    // The LocalServer32 value for `modulePath`.
    static std::string LocalServerCommand(std::string_view modulePath);
    // The full path of the running program; empty when it cannot be read.
    static std::string RunningProgramPath();

private:
    std::string m_modulePath;
};

}  // namespace wys::server
