// The URL base's part in storing identical saved files once: it tells its
// keeper of shared files (CFileSharer) of every visit that comes and goes,
// and answers what the saved copies take on disk.
#include "WYSCHelper/CFileSharer.h"
#include "WYSCHelper/CWYSCURLBase.h"
#include "common/StringConvert.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"

namespace {

// On unless the value is exactly one byte of REG_BINARY saying 0, as for
// the other flags of the key.
bool ShareIdenticalFiles()
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, CWYSCURLBase::kSettingsKey, KEY_READ) != ERROR_SUCCESS)
        return true;
    DWORD type = REG_NONE;
    BYTE value = 1;
    DWORD size = sizeof value;
    const bool read = RegQueryValueEx(key, CWYSCURLBase::kShareIdenticalFilesValue, nullptr, &type, &value,
                                      &size) == ERROR_SUCCESS;
    return !read || type != REG_BINARY || size != sizeof value || value != 0;
}

}  // namespace

void CWYSCURLBase::StartFileSharing()
{
    if (!m_options.KeepSharedFiles)
        return;
    m_fileSharer = std::make_unique<CFileSharer>(ShareIdenticalFiles() ? CFileSharer::Mode::Share
                                                                       : CFileSharer::Mode::CountOnly);
    OpenFileSharing();
}

void CWYSCURLBase::OpenFileSharing()
{
    if (!m_fileSharer)
        return;
    std::vector<std::string> paths;
    paths.reserve(m_list.Count());
    for (ULONG i = 0; i < m_list.Count(); ++i)
        paths.push_back(wys::BstrToNarrowZ(m_list[i].Path));
    m_fileSharer->Open(m_baseDirectory, std::move(paths));
}

void CWYSCURLBase::SharingAdded(BSTR path)
{
    if (m_fileSharer)
        m_fileSharer->Add(wys::BstrToNarrowZ(path));
}

std::unique_lock<std::mutex> CWYSCURLBase::SharingRemoved(BSTR path)
{
    if (!m_fileSharer)
        return {};
    std::unique_lock<std::mutex> lock(m_fileSharer->DeletionLock());
    m_fileSharer->Remove(wys::BstrToNarrowZ(path));
    return lock;
}

HRESULT CWYSCURLBase::GetDiskUsage(ULONGLONG* bytesOnDisk, ULONGLONG* bytesWithoutSharing)
{
    if (!bytesOnDisk || !bytesWithoutSharing)
        return E_POINTER;
    *bytesOnDisk = 0;
    *bytesWithoutSharing = 0;
    if (!m_fileSharer)
        return E_NOTIMPL;
    const CFileSharer::Usage usage = m_fileSharer->GetUsage();
    *bytesOnDisk = usage.BytesOnDisk;
    *bytesWithoutSharing = usage.BytesWithoutSharing;
    return usage.UpToDate ? S_OK : S_FALSE;
}
