#include "WYSCHelper/CUrlRecord.h"

#include <new>
#include <utility>

namespace {

// The string up to its first NUL; null for null.
BSTR DuplicateToFirstNul(BSTR text)
{
    if (!text)
        return nullptr;
    UINT length = 0;
    const UINT limit = SysStringLen(text);
    while (length < limit && text[length] != u'\0')
        ++length;
    BSTR copy = SysAllocStringLen(text, length);
    if (!copy)
        throw std::bad_alloc();
    return copy;
}

// Holds freshly made strings until they are handed on, so that a failure
// half-way frees what was made.
struct StringTriple {
    BSTR url = nullptr;
    BSTR path = nullptr;
    BSTR title = nullptr;
    ~StringTriple()
    {
        SysFreeString(url);
        SysFreeString(path);
        SysFreeString(title);
    }
};

}  // namespace

BSTR DuplicateBstr(BSTR text)
{
    if (!text)
        return nullptr;
    BSTR copy = SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
    if (!copy)
        throw std::bad_alloc();
    return copy;
}

CUrlRecord CUrlRecord::FromUrlDate(const _URL_DATE_& data)
{
    CUrlRecord record;
    record.Time = data.Time;
    record.Url = DuplicateToFirstNul(data.Url);
    record.Path = DuplicateToFirstNul(data.Path);
    record.Title = DuplicateToFirstNul(data.Title);
    return record;
}

CUrlRecord::CUrlRecord(const CUrlRecord& other) : Time(other.Time)
{
    StringTriple made;
    made.url = DuplicateBstr(other.Url);
    made.path = DuplicateBstr(other.Path);
    made.title = DuplicateBstr(other.Title);
    Url = std::exchange(made.url, nullptr);
    Path = std::exchange(made.path, nullptr);
    Title = std::exchange(made.title, nullptr);
}

CUrlRecord::CUrlRecord(CUrlRecord&& other) noexcept
    : Time(other.Time),
      Url(std::exchange(other.Url, nullptr)),
      Path(std::exchange(other.Path, nullptr)),
      Title(std::exchange(other.Title, nullptr))
{
}

CUrlRecord& CUrlRecord::operator=(const CUrlRecord& other)
{
    if (this == &other)
        return *this;
    // Copy everything first so that a failure leaves this record whole.
    StringTriple made;
    if (Url != other.Url)
        made.url = DuplicateBstr(other.Url);
    if (Path != other.Path)
        made.path = DuplicateBstr(other.Path);
    if (Title != other.Title)
        made.title = DuplicateBstr(other.Title);
    Time = other.Time;
    if (Url != other.Url) {
        SysFreeString(Url);
        Url = std::exchange(made.url, nullptr);
    }
    if (Path != other.Path) {
        SysFreeString(Path);
        Path = std::exchange(made.path, nullptr);
    }
    if (Title != other.Title) {
        SysFreeString(Title);
        Title = std::exchange(made.title, nullptr);
    }
    return *this;
}

CUrlRecord& CUrlRecord::operator=(CUrlRecord&& other) noexcept
{
    if (this != &other) {
        Time = other.Time;
        AttachUrl(std::exchange(other.Url, nullptr));
        AttachPath(std::exchange(other.Path, nullptr));
        AttachTitle(std::exchange(other.Title, nullptr));
    }
    return *this;
}

CUrlRecord::~CUrlRecord()
{
    SysFreeString(Url);
    SysFreeString(Path);
    SysFreeString(Title);
}

void CUrlRecord::CopyTo(_URL_DATE_* out) const
{
    StringTriple made;
    made.url = DuplicateBstr(Url);
    made.path = DuplicateBstr(Path);
    made.title = DuplicateBstr(Title);
    out->Time = Time;
    out->Url = std::exchange(made.url, nullptr);
    out->Path = std::exchange(made.path, nullptr);
    out->Title = std::exchange(made.title, nullptr);
}

void CUrlRecord::AttachUrl(BSTR text)
{
    if (text != Url) {
        SysFreeString(Url);
        Url = text;
    }
}

void CUrlRecord::AttachPath(BSTR text)
{
    if (text != Path) {
        SysFreeString(Path);
        Path = text;
    }
}

void CUrlRecord::AttachTitle(BSTR text)
{
    if (text != Title) {
        SysFreeString(Title);
        Title = text;
    }
}
