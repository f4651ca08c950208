#include "platform/mime/CStream.h"

#include <unistd.h>

#include "platform/base/CAtomicFileWriter.h"
#include "platform/com/Utf.h"

HRESULT CStream::get_Size(ADO_LONGPTR* size)
{
    if (!size)
        return E_POINTER;
    *size = static_cast<ADO_LONGPTR>(m_bytes.size());
    return S_OK;
}

HRESULT CStream::SaveToFile(BSTR fileName, SaveOptionsEnum options)
{
    if (options != adSaveCreateNotExist && options != adSaveCreateOverWrite)
        return E_INVALIDARG;
    std::string path = Utf16ToUtf8(BstrView(fileName));
    if (path.empty())
        return E_INVALIDARG;
    bool replace = options == adSaveCreateOverWrite;
    // An existing file is refused before anything is written next to it.
    if (!replace && ::access(path.c_str(), F_OK) == 0)
        return adErrWriteFile;
    using wys::base::CAtomicFileWriter;
    CAtomicFileWriter file;
    const auto publish = replace ? CAtomicFileWriter::Replace::Yes : CAtomicFileWriter::Replace::No;
    // As ADO's own, a save that replaces nothing is not flushed: the archive
    // writer saves over the empty file that claims its name and rewrites it
    // in place afterwards, so flushing bought no durability, only time on
    // every capture. A file with bytes is still replaced old-or-new.
    if (file.Open(path, 0666, path + ".tmp-") != 0 || file.Write(m_bytes) != 0 ||
        file.Commit(publish, CAtomicFileWriter::Flush::WhenReplacingBytes) != 0)
        return adErrWriteFile;
    return S_OK;
}
