// A file operation progress sink that writes lines of text, or nothing.
//
// With a stream it writes one line when the operation starts (title and
// totals), one per item unless FOF_SIMPLEPROGRESS is set, and one at the
// end; without one it writes nothing. It never cancels. The default sink of
// processes without a display is one without a stream;
// UseStandardErrorFileOperationProgress switches the process to standard error.
#pragma once

#include <cstdio>

#include "platform/shell/IFileOperationProgress.h"

class CTextFileOperationProgress final : public IFileOperationProgress {
public:
    // `out` must stay open while the sink lives; null writes nothing.
    explicit CTextFileOperationProgress(std::FILE* out = nullptr) : m_out(out) {}

    HRESULT StartOperations(const FileOperationStart& start) override;
    HRESULT PreItem(UINT action, std::string_view source, std::string_view target) override;
    HRESULT PostItem(UINT action, std::string_view source, std::string_view target, HRESULT result) override;
    HRESULT UpdateProgress(UINT itemsDone, ULONGLONG bytesDone) override;
    void FinishOperations(HRESULT result) override;

private:
    std::FILE* m_out;
    UINT m_flags = 0;
    UINT m_totalItems = 0;
    UINT m_itemsDone = 0;
};

// Installs a process-wide factory of sinks writing to standard error.
void UseStandardErrorFileOperationProgress();
