#include "platform/shell/CTextFileOperationProgress.h"

#include <string>

#include "platform/shell/FileOperation.h"

HRESULT CTextFileOperationProgress::StartOperations(const FileOperationStart& start)
{
    m_flags = start.flags;
    m_totalItems = start.totalItems;
    if (m_out) {
        const char* verb = start.operation == FO_DELETE ? "Deleting"
                           : start.operation == FO_MOVE ? "Moving"
                                                        : "Copying";
        std::fprintf(m_out, "%.*s%s%s %u items, %llu bytes\n", static_cast<int>(start.title.size()),
                     start.title.data(), start.title.empty() ? "" : ": ", verb, start.totalItems,
                     static_cast<unsigned long long>(start.totalBytes));
    }
    return S_OK;
}

HRESULT CTextFileOperationProgress::PreItem(UINT action, std::string_view source, std::string_view target)
{
    if (m_out && !(m_flags & FOF_SIMPLEPROGRESS)) {
        if (action == FO_DELETE)
            std::fprintf(m_out, "  delete %.*s\n", static_cast<int>(source.size()), source.data());
        else
            std::fprintf(m_out, "  copy %.*s -> %.*s\n", static_cast<int>(source.size()), source.data(),
                         static_cast<int>(target.size()), target.data());
    }
    return S_OK;
}

HRESULT CTextFileOperationProgress::PostItem(UINT /*action*/, std::string_view /*source*/,
                                             std::string_view /*target*/, HRESULT /*result*/)
{
    return S_OK;
}

HRESULT CTextFileOperationProgress::UpdateProgress(UINT itemsDone, ULONGLONG /*bytesDone*/)
{
    m_itemsDone = itemsDone;
    return S_OK;
}

void CTextFileOperationProgress::FinishOperations(HRESULT result)
{
    if (!m_out)
        return;
    if (result == HRESULT_FROM_WIN32(ERROR_CANCELLED))
        std::fprintf(m_out, "Cancelled after %u of %u items\n", m_itemsDone, m_totalItems);
    else if (FAILED(result))
        std::fprintf(m_out, "Failed after %u of %u items: %s\n", m_itemsDone, m_totalItems,
                     HResultText(result).c_str());
    else
        std::fprintf(m_out, "Done: %u items\n", m_itemsDone);
    std::fflush(m_out);
}

void UseStandardErrorFileOperationProgress()
{
    SetFileOperationProgressFactory([] { return std::make_unique<CTextFileOperationProgress>(stderr); });
}
