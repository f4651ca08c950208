// The four settings of the history in the current user's registry.
#include <cstdlib>
#include <cstring>

#include "WYSCHelper/CWYSCURLBase.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"
#include "platform/shell/ShellFolders.h"
#include "platform/shell/ShellPath.h"

namespace {

constexpr const char* kBasePath = "BasePath";
constexpr const char* kCollectHistory = "CollectHistory";
constexpr const char* kTitledFileNames = "TitledFileNames";
constexpr const char* kHistoryRange = "HistoryRange";
constexpr const char* kHistoryFolderName = "/Collected IE History";

// A flag stored as one byte; true unless exactly one byte of REG_BINARY says 0.
bool ReadFlag(HKEY key, const char* name)
{
    DWORD type = REG_NONE;
    BYTE value = 1;
    DWORD size = sizeof value;
    if (RegQueryValueEx(key, name, nullptr, &type, &value, &size) != ERROR_SUCCESS || type != REG_BINARY ||
        size != sizeof value)
        return true;
    return value != 0;
}

void WriteFlag(HKEY key, const char* name, bool flag)
{
    BYTE value = flag ? 1 : 0;
    (void)RegSetValueEx(key, name, 0, REG_BINARY, &value,
                        sizeof value);  // A lost value falls back to its default.
}

}  // namespace

std::string CWYSCURLBase::DefaultBaseDirectory()
{
    char documents[MAX_PATH] = {};
    if (FAILED(SHGetFolderPath(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                               documents))) {
        // Where the folder would be, even if it cannot be made now.
        if (FAILED(SHGetFolderPath(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)) ||
            documents[0] == '\0') {
            const char* home = std::getenv("HOME");
            std::strncpy(documents, home && home[0] == '/' ? home : "/tmp", MAX_PATH - 1);
        }
    }
    return std::string(documents) + kHistoryFolderName;
}

void CWYSCURLBase::LoadSettings()
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey, KEY_READ) != ERROR_SUCCESS)
        return;

    char folder[MAX_PATH] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof folder;
    if (RegQueryValueEx(key.Get(), kBasePath, nullptr, &type, reinterpret_cast<BYTE*>(folder), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && folder[size - 1] == '\0' &&
        folder[0] == '/') {
        // Only an absolute folder: record Paths are joined to it for every
        // file operation.
        m_baseDirectory = folder;
    }

    m_collectHistory = ReadFlag(key.Get(), kCollectHistory);
    m_titledFileNames = ReadFlag(key.Get(), kTitledFileNames);

    BYTE range[8];
    type = REG_NONE;
    size = sizeof range;
    if (RegQueryValueEx(key.Get(), kHistoryRange, nullptr, &type, range, &size) == ERROR_SUCCESS &&
        type == REG_BINARY && size == sizeof range) {
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = bits << 8 | range[i];
        m_historyRange = static_cast<std::int64_t>(bits);
    }
}

void CWYSCURLBase::SaveSettings()
{
    {
        CRegKey key;
        if (key.Create(HKEY_CURRENT_USER, kSettingsKey, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
            return;
        // Single failures are let go: each value falls back to its default
        // when read, and the next change writes all four again.
        (void)RegSetValueEx(key.Get(), kBasePath, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(m_baseDirectory.c_str()),
                            static_cast<DWORD>(m_baseDirectory.size() + 1));
        WriteFlag(key.Get(), kCollectHistory, m_collectHistory);
        WriteFlag(key.Get(), kTitledFileNames, m_titledFileNames);
        BYTE range[8];
        auto bits = static_cast<std::uint64_t>(m_historyRange);
        for (int i = 0; i < 8; ++i)
            range[i] = static_cast<BYTE>(bits >> (8 * i));
        (void)RegSetValueEx(key.Get(), kHistoryRange, 0, REG_BINARY, range, sizeof range);
    }
    OnSettingsChanged();
}
