// What the URL base tells a content search: which pages it may leave to the
// content index, and the visits of the pages the index found. A search that
// can use both reads only the visits that matched instead of every one.
#include <algorithm>
#include <functional>

#include "WYSCHelper/CContentIndexer.h"
#include "WYSCHelper/CWYSCURLBase.h"
#include "common/StringConvert.h"
#include "platform/com/ComError.h"

namespace {

// A one-dimensional array of `count` elements of `type`, owned by *variant.
void MakeVector(VARIANT* variant, VARTYPE type, ULONG count)
{
    SAFEARRAY* array = SafeArrayCreateVector(type, 0, count);
    if (!array)
        throw std::bad_alloc();
    variant->vt = static_cast<VARTYPE>(VT_ARRAY | type);
    variant->parray = array;
}

template <typename T>
T* DataOf(const VARIANT& variant)
{
    void* data = nullptr;
    ThrowIfFailed(SafeArrayAccessData(variant.parray, &data));
    // The array stays locked only while it is filled; unlocking at once
    // keeps the pointer valid, since nothing resizes it meanwhile.
    SafeArrayUnaccessData(variant.parray);
    return static_cast<T*>(data);
}

}  // namespace

HRESULT CWYSCURLBase::get_UnindexedPaths(VARIANT* paths)
{
    if (!paths)
        return E_POINTER;
    VariantInit(paths);
    return ComBoundary([&]() -> HRESULT {
        std::vector<std::string> unheld;
        if (!m_contentIndexer || !m_contentIndexer->UnindexedPaths(&unheld))
            return S_FALSE;
        CComVariant result;
        MakeVector(&result, VT_BSTR, static_cast<ULONG>(unheld.size()));
        BSTR* elements = DataOf<BSTR>(result);
        for (std::size_t i = 0; i < unheld.size(); ++i) {
            elements[i] = wys::NarrowToBstr(unheld[i]);
            if (!elements[i])
                throw std::bad_alloc();
        }
        result.Detach(paths);
        return S_OK;
    });
}

HRESULT CWYSCURLBase::FindPaths(VARIANT paths, VARIANT* visits)
{
    if (!visits)
        return E_POINTER;
    VariantInit(visits);
    VARTYPE elementType = VT_EMPTY;
    if (paths.vt != (VT_ARRAY | VT_BSTR) || !paths.parray || SafeArrayGetDim(paths.parray) != 1 ||
        FAILED(SafeArrayGetVartype(paths.parray, &elementType)) || elementType != VT_BSTR)
        return E_INVALIDARG;
    return ComBoundary([&]() -> HRESULT {
        const ULONG wanted = paths.parray->rgsabound[0].cElements;
        const BSTR* names = DataOf<BSTR>(paths);
        // Each visit found, with the first place in `paths` of its Path:
        // the caller knows the Path already and finds what it holds of it
        // there, without the Path coming back.
        std::vector<ULONG> matching;
        std::vector<std::pair<ULONG, ULONG>> found;
        for (ULONG i = 0; i < wanted; ++i) {
            matching.clear();
            m_list.FindPath(BstrView(names[i]), &matching);
            for (ULONG visit : matching)
                found.emplace_back(visit, i);
        }
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first > b.first : a.second < b.second;
        });
        found.erase(std::unique(found.begin(), found.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    found.end());
        const auto count = static_cast<ULONG>(found.size());
        CComVariant indices, times, urls, places, titles;
        MakeVector(&indices, VT_UI4, count);
        MakeVector(&times, VT_I8, count);
        MakeVector(&urls, VT_BSTR, count);
        MakeVector(&places, VT_UI4, count);
        MakeVector(&titles, VT_BSTR, count);
        ULONG* index = DataOf<ULONG>(indices);
        LONGLONG* time = DataOf<LONGLONG>(times);
        BSTR* url = DataOf<BSTR>(urls);
        ULONG* place = DataOf<ULONG>(places);
        BSTR* title = DataOf<BSTR>(titles);
        const auto copy = [](BSTR text) {
            if (!text)
                return BSTR{nullptr};
            BSTR copied = SysAllocStringLen(text, SysStringLen(text));
            if (!copied)
                throw std::bad_alloc();
            return copied;
        };
        for (ULONG k = 0; k < count; ++k) {
            const CUrlRecord& record = m_list[found[k].first];
            index[k] = found[k].first;
            time[k] = record.Time;
            url[k] = copy(record.Url);
            place[k] = found[k].second;
            title[k] = copy(record.Title);
        }
        CComVariant result;
        MakeVector(&result, VT_VARIANT, 5);
        VARIANT* parts = DataOf<VARIANT>(result);
        indices.Detach(&parts[0]);
        times.Detach(&parts[1]);
        urls.Detach(&parts[2]);
        places.Detach(&parts[3]);
        titles.Detach(&parts[4]);
        result.Detach(visits);
        return S_OK;
    });
}
