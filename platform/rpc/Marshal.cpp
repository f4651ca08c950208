#include "platform/rpc/Marshal.h"

#include <cstring>
#include <functional>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/rpc/AgileObject.h"
#include "platform/rpc/detail/CConnection.h"
#include "platform/rpc/detail/ObjectTables.h"
#include "platform/rpc/detail/ThreadState.h"

using namespace wys::rpc;

namespace {

// A stream over a byte vector. One made for marshalling gives its reference
// back when it is released without having been unmarshalled.
class CMemoryStream final : public CComObjectRoot<CMemoryStream, IStream> {
public:
    ~CMemoryStream() override
    {
        if (m_onRelease)
            m_onRelease();
    }

    HRESULT Read(void* data, ULONG size, ULONG* read) override
    {
        if (!data)
            return E_POINTER;
        std::size_t left = m_bytes.size() - m_position;
        std::size_t n = size < left ? size : left;
        std::memcpy(data, m_bytes.data() + m_position, n);
        m_position += n;
        if (read)
            *read = static_cast<ULONG>(n);
        return n == size ? S_OK : S_FALSE;
    }
    HRESULT Write(const void* data, ULONG size, ULONG* written) override
    {
        if (!data)
            return E_POINTER;
        if (m_position + size > m_bytes.size())
            m_bytes.resize(m_position + size);
        std::memcpy(m_bytes.data() + m_position, data, size);
        m_position += size;
        if (written)
            *written = size;
        return S_OK;
    }
    HRESULT Seek(LONGLONG offset, DWORD origin, ULONGLONG* position) override
    {
        long long base = origin == STREAM_SEEK_SET   ? 0
                         : origin == STREAM_SEEK_CUR ? static_cast<long long>(m_position)
                         : origin == STREAM_SEEK_END ? static_cast<long long>(m_bytes.size())
                                                     : -1;
        if (base < 0 || base + offset < 0)
            return E_INVALIDARG;
        m_position = static_cast<std::size_t>(base + offset);
        if (m_position > m_bytes.size())
            m_bytes.resize(m_position);
        if (position)
            *position = m_position;
        return S_OK;
    }

    std::function<void()> m_onRelease;

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_position = 0;
};

constexpr std::uint32_t kMarshalMagic = 0x4D535957;  // "WYSM"
enum class MarshalKind : std::uint8_t { Token = 1, Agile = 2 };

struct MarshalData {
    std::uint32_t magic;
    MarshalKind kind;
    std::uint64_t apartment;
    std::uint64_t value;  // token, or the agile object's pointer
    IID iid;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(void* global, BOOL, IStream** stream)
{
    if (!stream)
        return E_POINTER;
    *stream = nullptr;
    if (global)
        return E_INVALIDARG;
    *stream = CreateComObject<CMemoryStream>();
    return S_OK;
}

HRESULT CoMarshalInterThreadInterfaceInStream(REFIID iid, IUnknown* object, IStream** stream)
{
    if (!object || !stream)
        return E_INVALIDARG;
    *stream = nullptr;
    auto apartment = CurrentApartment();
    if (!apartment)
        return CO_E_NOTINITIALIZED;
    ComPtr<IUnknown> typed;
    if (HRESULT hr = object->QueryInterface(iid, typed.PutVoid()); FAILED(hr))
        return hr;
    ComPtr<IUnknown> agile;
    bool isAgile = SUCCEEDED(object->QueryInterface(IAgileObject::Iid, agile.PutVoid()));
    if (!isAgile && iid != IID_IUnknown && !FindRemoteInterface(iid))
        return E_NOINTERFACE;
    ComPtr<CMemoryStream> memory;
    memory.Attach(CreateComObject<CMemoryStream>());
    MarshalData data{kMarshalMagic, isAgile ? MarshalKind::Agile : MarshalKind::Token, apartment->Id(), 0,
                     iid};
    if (isAgile) {
        data.value = reinterpret_cast<std::uintptr_t>(typed.Get());
        memory->m_onRelease = [typed] {};  // the stream holds the reference
    } else {
        std::uint64_t owner = apartment->Id();
        data.value = AddStreamObject(owner, typed);
        std::weak_ptr<CApartment> weakOwner = apartment;
        memory->m_onRelease = [token = data.value, owner, weakOwner] {
            ComPtr<IUnknown> unused = TakeStreamObject(token, owner);
            auto home = weakOwner.lock();
            if (unused && home && !home->IsOwnerThread())
                home->PostTask([unused] {});  // released on its own thread
        };
    }
    memory->Write(&data, sizeof data, nullptr);
    memory->Seek(0, STREAM_SEEK_SET, nullptr);
    *stream = memory.Detach();
    return S_OK;
}

HRESULT CoGetInterfaceAndReleaseStream(IStream* stream, REFIID iid, void** object)
{
    if (!stream || !object)
        return E_INVALIDARG;
    *object = nullptr;
    ComPtr<IStream> owned;
    owned.Attach(stream);
    auto apartment = CurrentApartment();
    if (!apartment)
        return CO_E_NOTINITIALIZED;
    MarshalData data{};
    ULONG read = 0;
    owned->Seek(0, STREAM_SEEK_SET, nullptr);
    if (FAILED(owned->Read(&data, sizeof data, &read)) || read != sizeof data || data.magic != kMarshalMagic)
        return E_INVALIDARG;
    if (data.kind == MarshalKind::Agile)
        return reinterpret_cast<IUnknown*>(static_cast<std::uintptr_t>(data.value))
            ->QueryInterface(iid, object);
    auto owner = CApartment::FindById(data.apartment);
    if (!owner || owner->IsClosed())
        return RPC_E_DISCONNECTED;
    if (owner == apartment) {
        ComPtr<IUnknown> taken = TakeStreamObject(data.value, data.apartment);
        return taken ? taken->QueryInterface(iid, object) : E_INVALIDARG;
    }
    HRESULT hr = RPC_E_DISCONNECTED;
    apartment->RunOnOwner([&] {
        if (auto link = apartment->LinkTo(owner))
            hr = link->TakeStreamObject(data.value, iid, object);
    });
    return hr;
}
