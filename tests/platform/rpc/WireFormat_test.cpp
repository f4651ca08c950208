#include <gtest/gtest.h>

#include "platform/com/ComError.h"
#include "platform/rpc/ValueCodec.h"
#include "platform/rpc/detail/Frame.h"

using namespace wys::rpc;

namespace {

// Values without interface pointers need no connection.
class CNoInterfaces final : public CMarshalContext {
public:
    void WriteInterface(CWireWriter&, IUnknown*, REFIID) override { throw ComError(E_NOINTERFACE); }
    void* ReadInterface(CWireReader&, REFIID) override { throw CWireError("no interfaces here"); }
};

std::vector<std::uint8_t> Encode(const VARIANT& v)
{
    CNoInterfaces context;
    CWireWriter w;
    WriteVariant(w, context, v);
    return w.Buffer();
}

// Decodes and encodes again: a faithful codec gives back the same bytes.
std::vector<std::uint8_t> RoundTrip(const std::vector<std::uint8_t>& bytes, VARIANT* decoded,
                                    CByrefStore& store)
{
    CNoInterfaces context;
    CWireReader r(bytes.data(), bytes.size());
    VariantInit(decoded);
    ReadVariant(r, context, decoded, store);
    r.ExpectEnd();
    return Encode(*decoded);
}

std::vector<std::uint8_t> Frame(std::uint32_t length, std::uint8_t version, std::uint8_t kind)
{
    CWireWriter w;
    w.U32(length);
    w.U8(version);
    w.U8(kind);
    w.Buffer().resize(4 + (length < 64 ? length : 64));
    return w.Buffer();
}

SAFEARRAY* BstrVector(LONG lowerBound, std::initializer_list<const char16_t*> texts)
{
    SAFEARRAY* a = SafeArrayCreateVector(VT_BSTR, lowerBound, static_cast<ULONG>(texts.size()));
    LONG i = lowerBound;
    for (const char16_t* t : texts) {
        CComBSTR s(std::u16string_view(t ? t : u""));
        if (!t)
            s.Empty();
        SafeArrayPutElement(a, &i, s.m_str);
        ++i;
    }
    return a;
}

}  // namespace

TEST(WireFormat, FramesSurviveAnySplitOfTheStream)
{
    CWireWriter stream;
    for (std::uint32_t id = 1; id <= 3; ++id) {
        CWireWriter frame;
        BeginFrame(frame,
                   FrameHeader{FrameKind::Call, static_cast<std::uint16_t>(id), id, 100 + id, IID_IDispatch});
        for (std::uint32_t i = 0; i < id * 7; ++i)
            frame.U8(static_cast<std::uint8_t>(i));
        FinishFrame(frame);
        stream.Bytes(frame.Data(), frame.Size());
    }
    for (std::size_t chunk : {1u, 5u, 36u, 1000u}) {
        CFrameSplitter splitter;
        std::vector<CFrame> frames;
        for (std::size_t at = 0; at < stream.Size(); at += chunk) {
            splitter.Append(stream.Data() + at, std::min(chunk, stream.Size() - at));
            while (auto f = splitter.Next())
                frames.push_back(std::move(*f));
        }
        ASSERT_EQ(frames.size(), 3u) << "chunk " << chunk;
        for (std::uint32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(frames[i].header.callId, i + 1) << "chunk " << chunk;
            EXPECT_EQ(frames[i].header.method, i + 1);
            EXPECT_EQ(frames[i].header.objectId, 101u + i);
            EXPECT_EQ(frames[i].header.iid, IID_IDispatch);
            EXPECT_EQ(frames[i].payload.size(), (i + 1) * 7u);
        }
        EXPECT_FALSE(splitter.HasPartialFrame());
    }
}

TEST(WireFormat, BadHeadersAreRejectedBeforeTheBodyArrives)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"length below the header", Frame(kMinFrameLength - 1, kWireVersion, 1)},
        {"length above the limit", Frame(kMaxFrameLength + 1, kWireVersion, 1)},
        {"length of four gigabytes", Frame(0xFFFFFFFFu, kWireVersion, 1)},
        {"unknown version", Frame(kMinFrameLength, 9, 1)},
        {"kind zero", Frame(kMinFrameLength, kWireVersion, 0)},
        {"unknown kind", Frame(kMinFrameLength, kWireVersion, 5)},
    };
    for (const auto& c : cases) {
        CFrameSplitter splitter;
        splitter.Append(c.bytes.data(), 6);  // the body never comes
        EXPECT_THROW(splitter.Next(), CWireError) << c.name;
    }
    // A large but valid length just waits for its bytes.
    auto big = Frame(kMaxFrameLength, kWireVersion, 2);
    CFrameSplitter splitter;
    splitter.Append(big.data(), big.size());
    EXPECT_FALSE(splitter.Next().has_value());
    EXPECT_TRUE(splitter.HasPartialFrame());
}

TEST(WireFormat, StringsKeepEveryByte)
{
    const char odd[] = {'a', 'b', 'c'};
    const char16_t nul[] = {u'x', 0, u'y'};
    struct Case {
        const char* name;
        BSTR text;
    } cases[] = {
        {"null", nullptr},
        {"empty", SysAllocString(u"")},
        {"text", SysAllocString(u"http://example.org/\u00e9\U0001F600")},
        {"embedded NUL", SysAllocStringLen(nul, 3)},
        {"odd byte length", SysAllocStringByteLen(odd, 3)},
    };
    for (auto& c : cases) {
        CWireWriter w;
        WriteBstr(w, c.text);
        CWireReader r(w.Data(), w.Size());
        BSTR back = ReadBstr(r);
        EXPECT_EQ(back == nullptr, c.text == nullptr) << c.name;
        EXPECT_EQ(SysStringByteLen(back), SysStringByteLen(c.text)) << c.name;
        if (c.text) {
            EXPECT_EQ(std::memcmp(back, c.text, SysStringByteLen(c.text)), 0) << c.name;
        }
        EXPECT_EQ(r.Remaining(), 0u) << c.name;
        SysFreeString(back);
        SysFreeString(c.text);
    }
    CWireWriter truncated;
    truncated.U32(10);
    truncated.U16(1);
    CWireReader r(truncated.Data(), truncated.Size());
    EXPECT_THROW(ReadBstr(r), CWireError);
}

TEST(WireFormat, VariantsAndArraysRoundTrip)
{
    auto make = [](VARTYPE vt, LONGLONG bits) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        v.llVal = bits;
        return v;
    };
    SAFEARRAYBOUND grid[2] = {{3, -1}, {2, 10}};
    SAFEARRAY* matrix = SafeArrayCreate(VT_I4, 2, grid);
    for (ULONG i = 0; i < 6; ++i)
        static_cast<LONG*>(matrix->pvData)[i] = static_cast<LONG>(i * 11);
    SAFEARRAY* mixed = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    CComVariant text(std::string_view("inner"));
    LONG zero = 0, one = 1;
    SafeArrayPutElement(mixed, &zero, &text);
    VARIANT arrayInVariant = make(VT_ARRAY | VT_BSTR, 0);
    arrayInVariant.parray = BstrVector(7, {u"a", nullptr});
    SafeArrayPutElement(mixed, &one, &arrayInVariant);
    VariantClear(&arrayInVariant);

    struct Case {
        const char* name;
        VARIANT value;
    } cases[] = {
        {"empty", make(VT_EMPTY, 0)},
        {"null", make(VT_NULL, 0)},
        {"i1", make(VT_I1, -3)},
        {"ui2", make(VT_UI2, 0xFFFE)},
        {"i4", make(VT_I4, -123456)},
        {"ui8", make(VT_UI8, static_cast<LONGLONG>(0xFEDCBA9876543210ull))},
        {"bool", make(VT_BOOL, static_cast<SHORT>(VARIANT_TRUE))},
        {"error", make(VT_ERROR, E_FAIL)},
        {"null string", make(VT_BSTR, 0)},
        {"strings with a lower bound",
         [&] {
             VARIANT v = make(VT_ARRAY | VT_BSTR, 0);
             v.parray = BstrVector(5, {u"one", u"", nullptr});
             return v;
         }()},
        {"two dimensions",
         [&] {
             VARIANT v = make(VT_ARRAY | VT_I4, 0);
             v.parray = matrix;
             return v;
         }()},
        {"variants holding arrays",
         [&] {
             VARIANT v = make(VT_ARRAY | VT_VARIANT, 0);
             v.parray = mixed;
             return v;
         }()},
        {"no array", make(VT_ARRAY | VT_BSTR, 0)},
    };
    for (auto& c : cases) {
        auto bytes = Encode(c.value);
        VARIANT back;
        CByrefStore store;
        EXPECT_EQ(RoundTrip(bytes, &back, store), bytes) << c.name;
        EXPECT_EQ(back.vt, c.value.vt) << c.name;
        if (back.vt & VT_ARRAY && c.value.parray) {
            ASSERT_NE(back.parray, nullptr) << c.name;
            EXPECT_EQ(back.parray->cDims, c.value.parray->cDims) << c.name;
            for (UINT d = 0; d < back.parray->cDims; ++d) {
                EXPECT_EQ(back.parray->rgsabound[d].lLbound, c.value.parray->rgsabound[d].lLbound) << c.name;
                EXPECT_EQ(back.parray->rgsabound[d].cElements, c.value.parray->rgsabound[d].cElements)
                    << c.name;
            }
        }
        VariantClear(&back);
        VariantClear(&c.value);
    }
}

TEST(WireFormat, ByReferenceValuesKeepTheirFlagAndAreWrittenBack)
{
    LONG number = 21;
    BSTR text = SysAllocString(u"old");
    VARIANT refs[2];
    VariantInit(&refs[0]);
    refs[0].vt = VT_BYREF | VT_I4;
    refs[0].plVal = &number;
    VariantInit(&refs[1]);
    refs[1].vt = VT_BYREF | VT_BSTR;
    refs[1].pbstrVal = &text;
    CNoInterfaces context;
    for (VARIANT& ref : refs) {
        VARIANT received;
        CByrefStore store;
        auto bytes = Encode(ref);
        RoundTrip(bytes, &received, store);
        EXPECT_EQ(received.vt, ref.vt);
        // The callee changes the value it was given...
        if (received.vt == (VT_BYREF | VT_I4)) {
            EXPECT_EQ(*received.plVal, 21);
            *received.plVal = 42;
        } else {
            EXPECT_EQ(BstrView(*received.pbstrVal), u"old");
            SysFreeString(*received.pbstrVal);
            *received.pbstrVal = SysAllocString(u"new");
        }
        // ...and the caller's storage gets the new value.
        CWireWriter answer;
        WriteReferencedValue(answer, context, received);
        CWireReader r(answer.Data(), answer.Size());
        ReadReferencedValue(r, context, ref);
    }
    EXPECT_EQ(number, 42);
    EXPECT_EQ(BstrView(text), u"new");
    SysFreeString(text);
}

TEST(WireFormat, HostileValuesFailWithoutAllocatingTheirClaims)
{
    auto header = [](VARTYPE vt) {
        CWireWriter w;
        w.U16(vt);
        return w;
    };
    struct Case {
        const char* name;
        CWireWriter bytes;
    } cases[] = {
        {"unknown type", header(0x0FFF)},
        {"variant of variant", header(VT_VARIANT)},
        {"reference inside an array",
         [&] {
             auto w = header(VT_ARRAY | VT_VARIANT);
             w.U8(1);
             w.U16(VT_VARIANT);
             w.U16(1);
             w.U32(1);
             w.I32(0);
             w.U16(VT_BYREF | VT_I4);
             w.U32(5);
             return w;
         }()},
        {"array of four billion strings",
         [&] {
             auto w = header(VT_ARRAY | VT_BSTR);
             w.U8(1);
             w.U16(VT_BSTR);
             w.U16(1);
             w.U32(0xFFFFFFFFu);
             w.I32(0);
             return w;
         }()},
        {"dimensions multiply past the limit",
         [&] {
             auto w = header(VT_ARRAY | VT_UI1);
             w.U8(1);
             w.U16(VT_UI1);
             w.U16(3);
             for (int d = 0; d < 3; ++d) {
                 w.U32(0x10000);
                 w.I32(0);
             }
             return w;
         }()},
        {"huge dimension times an empty one",
         [&] {
             auto w = header(VT_ARRAY | VT_VARIANT);
             w.U8(1);
             w.U16(VT_VARIANT);
             w.U16(2);
             w.U32(0xFFFFFFFFu);
             w.I32(0);
             w.U32(0);
             w.I32(0);
             return w;
         }()},
        {"no dimensions",
         [&] {
             auto w = header(VT_ARRAY | VT_I4);
             w.U8(1);
             w.U16(VT_I4);
             w.U16(0);
             return w;
         }()},
        {"element type differs",
         [&] {
             auto w = header(VT_ARRAY | VT_I4);
             w.U8(1);
             w.U16(VT_BSTR);
             w.U16(1);
             w.U32(0);
             w.I32(0);
             return w;
         }()},
        {"nested too deeply",
         [&] {
             CWireWriter w;
             for (int i = 0; i < 20; ++i) {
                 w.U16(VT_ARRAY | VT_VARIANT);
                 w.U8(1);
                 w.U16(VT_VARIANT);
                 w.U16(1);
                 w.U32(1);
                 w.I32(0);
             }
             w.U16(VT_EMPTY);
             return w;
         }()},
    };
    CNoInterfaces context;
    for (auto& c : cases) {
        CWireReader r(c.bytes.Data(), c.bytes.Size());
        VARIANT v;
        VariantInit(&v);
        CByrefStore store;
        EXPECT_THROW(ReadVariant(r, context, &v, store), CWireError) << c.name;
        VariantClear(&v);
    }
}
