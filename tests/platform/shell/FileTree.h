// Helpers for the file operation tests: building trees, describing them,
// and a progress sink that records what it hears and can cancel.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "platform/shell/IFileOperationProgress.h"

namespace wys::test {

// Entries joined by NUL and closed by a second NUL, as the shell takes them.
std::string FileList(std::initializer_list<std::string> entries);

// Every entry under `root` by relative path: a file maps to its content, a
// folder to "<dir>", a link to "-> " and its target. Links are not followed.
std::map<std::string, std::string> Snapshot(const std::string& root);

// Creates the files of `files` (relative path -> content) under `root`; a
// path ending in "/" is made as an empty folder.
void MakeTree(const std::string& root, const std::map<std::string, std::string>& files);

class CRecordingProgress final : public IFileOperationProgress {
public:
    HRESULT StartOperations(const FileOperationStart& start) override;
    HRESULT PreItem(UINT action, std::string_view source, std::string_view target) override;
    HRESULT PostItem(UINT action, std::string_view source, std::string_view target, HRESULT result) override;
    HRESULT UpdateProgress(UINT itemsDone, ULONGLONG bytesDone) override;
    void FinishOperations(HRESULT result) override;

    // Answers E_ABORT from PreItem when this returns true for the item.
    std::function<bool(std::string_view source, std::string_view target)> cancelBeforeItem;
    // Answers E_ABORT from UpdateProgress once bytesDone reaches this.
    ULONGLONG cancelAtBytes = ~0ull;

    int starts = 0;
    int finishes = 0;
    UINT operation = 0;
    UINT flags = 0;
    std::string title;
    HWND owner = nullptr;
    UINT totalItems = 0;
    ULONGLONG totalBytes = 0;
    UINT lastItemsDone = 0;
    ULONGLONG lastBytesDone = 0;
    HRESULT finalResult = E_UNEXPECTED;
    std::vector<std::string> items;  // "copy SOURCE -> TARGET" / "delete SOURCE", in order
    std::vector<HRESULT> postResults;
};

}  // namespace wys::test
