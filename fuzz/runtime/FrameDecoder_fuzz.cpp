// Feeds arbitrary bytes to the runtime's frame splitter and, for each frame
// it accepts, to the decoders of call arguments. Any input must either
// decode or raise CWireError; nothing may crash, leak or allocate what a
// length merely claims.
#include <cstddef>
#include <cstdint>

#include "platform/com/ComError.h"
#include "platform/com/ComObject.h"
#include "platform/rpc/ObjectCodec.h"
#include "platform/rpc/detail/Frame.h"

using namespace wys::rpc;

namespace {

class CDummy final : public CComObjectRoot<CDummy, IDispatch> {
public:
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return S_OK;
    }
};

// Parses object references as a connection would, answering each with a
// fresh dummy object (or failing the way a connection fails).
class CFuzzContext final : public CMarshalContext {
public:
    void WriteInterface(CWireWriter&, IUnknown*, REFIID) override { throw ComError(E_NOINTERFACE); }
    void* ReadInterface(CWireReader& reader, REFIID iid) override
    {
        std::uint8_t kind = reader.U8();
        if (kind == 0)
            return nullptr;
        reader.U64();
        if (kind > 2 || reader.Guid() != iid)
            throw CWireError("bad reference");
        void* object = nullptr;
        CDummy* dummy = CreateComObject<CDummy>();
        dummy->QueryInterface(iid, &object);
        dummy->Release();
        return object;
    }
};

template <class Decode>
void Try(const CFrame& frame, Decode decode)
{
    CWireReader reader(frame.payload.data(), frame.payload.size());
    try {
        decode(reader);
    } catch (const CWireError&) {
    } catch (const ComError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFrameSplitter splitter;
    CFuzzContext context;
    // Arrive in two pieces, as a stream would deliver them.
    std::size_t first = size ? data[0] % (size + 1) : 0;
    try {
        splitter.Append(data, first);
        while (auto frame = splitter.Next()) {
        }
        splitter.Append(data + first, size - first);
        while (auto frame = splitter.Next()) {
            Try(*frame, [&](CWireReader& r) {
                VARIANT v;
                VariantInit(&v);
                CByrefStore store;
                try {
                    ReadVariant(r, context, &v, store);
                } catch (...) {
                    VariantClear(&v);
                    throw;
                }
                VariantClear(&v);
            });
            Try(*frame, [&](CWireReader& r) { SafeArrayDestroy(ReadSafeArray(r, context)); });
            Try(*frame, [&](CWireReader& r) {
                InOutCodec<DISPPARAMS>::Slot slot;
                CallState state;
                InOutCodec<DISPPARAMS>::Read(r, context, state, slot);
            });
            Try(*frame, [&](CWireReader& r) {
                EXCEPINFO info{};
                ReadExcepInfo(r, &info);
                FreeExcepInfo(&info);
            });
        }
    } catch (const CWireError&) {
        // A broken stream: the connection would be dropped here.
    }
    return 0;
}
