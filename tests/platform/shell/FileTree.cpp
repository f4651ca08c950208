#include "tests/platform/shell/FileTree.h"

#include <unistd.h>

#include <filesystem>

#include "platform/shell/FileOperation.h"
#include "tests/support/TempHome.h"

namespace wys::test {

std::string FileList(std::initializer_list<std::string> entries)
{
    std::string list;
    for (const std::string& entry : entries) {
        list += entry;
        list += '\0';
    }
    list += '\0';
    return list;
}

std::map<std::string, std::string> Snapshot(const std::string& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    if (!fs::exists(fs::symlink_status(root)))
        return entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = it->path().lexically_relative(root).string();
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status))
            entries[relative] = "-> " + fs::read_symlink(it->path()).string();
        else if (fs::is_directory(status))
            entries[relative] = "<dir>";
        else
            entries[relative] = ReadFile(it->path().string());
    }
    return entries;
}

void MakeTree(const std::string& root, const std::map<std::string, std::string>& files)
{
    for (const auto& [path, content] : files) {
        if (!path.empty() && path.back() == '/')
            std::filesystem::create_directories(root + "/" + path);
        else
            WriteFile(root + "/" + path, content);
    }
}

HRESULT CRecordingProgress::StartOperations(const FileOperationStart& start)
{
    ++starts;
    operation = start.operation;
    flags = start.flags;
    title = std::string(start.title);
    owner = start.owner;
    totalItems = start.totalItems;
    totalBytes = start.totalBytes;
    return S_OK;
}

HRESULT CRecordingProgress::PreItem(UINT action, std::string_view source, std::string_view target)
{
    if (cancelBeforeItem && cancelBeforeItem(source, target))
        return E_ABORT;
    if (action == FO_DELETE)
        items.push_back("delete " + std::string(source));
    else
        items.push_back("copy " + std::string(source) + " -> " + std::string(target));
    return S_OK;
}

HRESULT CRecordingProgress::PostItem(UINT, std::string_view, std::string_view, HRESULT result)
{
    postResults.push_back(result);
    return S_OK;
}

HRESULT CRecordingProgress::UpdateProgress(UINT itemsDone, ULONGLONG bytesDone)
{
    lastItemsDone = itemsDone;
    lastBytesDone = bytesDone;
    return bytesDone >= cancelAtBytes ? E_ABORT : S_OK;
}

void CRecordingProgress::FinishOperations(HRESULT result)
{
    ++finishes;
    finalResult = result;
}

}  // namespace wys::test
