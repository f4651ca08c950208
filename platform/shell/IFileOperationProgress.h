// Progress of a shell file operation, and the way a process chooses how it
// is shown.
//
// SHFileOperationA reports to one sink per operation: the one the caller
// put into the operation, or else (unless FOF_SILENT is set) one made by the
// process-wide factory. A process with a display installs a factory making
// progress windows; the default factory makes a sink that shows nothing
// (CTextFileOperationProgress without a stream).
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "platform/base/WinError.h"
#include "platform/base/WinTypes.h"

struct FileOperationStart {
    HWND owner = nullptr;      // the operation's owner window; may be null
    UINT operation = 0;        // FO_COPY, FO_DELETE, FO_MOVE
    UINT flags = 0;            // the operation's FOF_ flags (FOF_SIMPLEPROGRESS: no file names)
    std::string_view title;    // the caller's progress title; empty for none
    UINT totalItems = 0;       // files, folders and links to handle
    ULONGLONG totalBytes = 0;  // bytes of the files to copy
};

// All calls come from the thread running the operation, in this order:
// StartOperations once; for each item PreItem, then PostItem (UpdateProgress
// in between while a file is copied and after each item); FinishOperations
// once, also after a failure or cancel. Every string is valid for the call
// only.
//
// Cancelling: a failed HRESULT (E_ABORT, HRESULT_FROM_WIN32(ERROR_CANCELLED))
// from any of the HRESULT methods ends the operation before its next step;
// the operation then reports ERROR_CANCELLED and sets fAnyOperationsAborted.
// A file cut short by a cancel is removed; items already done stay done.
// An operation refused before it starts (bad lists, a missing source, a
// "no" to the delete question) calls no method at all.
class IFileOperationProgress {
public:
    virtual ~IFileOperationProgress() = default;

    virtual HRESULT StartOperations(const FileOperationStart& start) = 0;
    // `action` is FO_COPY or FO_DELETE (a move copies, then deletes). For a
    // delete `target` is empty; for a folder created on the way to a target
    // `source` is empty.
    virtual HRESULT PreItem(UINT action, std::string_view source, std::string_view target) = 0;
    // `result` is S_OK, or the failure that ends the operation (reported
    // before FinishOperations), or S_FALSE for an item the user skipped.
    virtual HRESULT PostItem(UINT action, std::string_view source, std::string_view target,
                             HRESULT result) = 0;
    // Work done so far, out of the totals given to StartOperations.
    virtual HRESULT UpdateProgress(UINT itemsDone, ULONGLONG bytesDone) = 0;
    // S_OK, HRESULT_FROM_WIN32(ERROR_CANCELLED), or the failure (as
    // HRESULT_FROM_WIN32 of the operation's result).
    virtual void FinishOperations(HRESULT result) = 0;
};

using FileOperationProgressFactory = std::function<std::unique_ptr<IFileOperationProgress>()>;

// Installs the factory used for operations without their own sink and
// returns the previous one; an empty factory restores the default. Thread-safe.
FileOperationProgressFactory SetFileOperationProgressFactory(FileOperationProgressFactory factory);
// A new sink from the current factory; never null.
std::unique_ptr<IFileOperationProgress> CreateFileOperationProgress();
