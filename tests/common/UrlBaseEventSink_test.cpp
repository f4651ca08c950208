// Sinks of the history's events built on CUrlBaseEventSinkBase: what each
// event's DISPPARAMS become, and what a sink answers for events that do
// not fit, strict or ignoring.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/CUrlBaseEventSinkBase.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"

namespace {

class CLoggingSink final : public CComObjectRoot<CLoggingSink, CUrlBaseEventSinkBase> {
public:
    explicit CLoggingSink(bool ignoreBadEvents)
    {
        if (ignoreBadEvents)
            IgnoreBadEvents();
    }
    std::vector<std::string> log;

    HRESULT OnDataAdded(LONG index) override
    {
        log.push_back("added " + std::to_string(index));
        return S_OK;
    }
    HRESULT OnSettingsChanged() override
    {
        log.push_back("settings");
        return E_FAIL;  // a handler's own failure is the event's answer
    }
};

TEST(UrlBaseEventSink, EventsBecomeHandlerCallsAndBadOnesAreReportedOrIgnored)
{
    CComVariant seven(LONG{7});
    CComVariant text(std::string_view("12"));
    CComVariant word(std::string_view("twelve"));
    struct Case {
        const char* name;
        DISPID id;
        std::vector<CComVariant> args;  // first argument first
        HRESULT strict;
        UINT argError;  // kept by the strict sink when it is not ~0u
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"added", DISPID_OnDataAdded, {seven}, S_OK, ~0u, {"added 7"}},
        {"added, converted", DISPID_OnDataAdded, {text}, S_OK, ~0u, {"added 12"}},
        {"removing, not handled", DISPID_OnDataBeforeRemove, {seven}, S_OK, ~0u, {}},
        {"settings", DISPID_OnSettingsChanged, {}, E_FAIL, ~0u, {"settings"}},
        {"added, two arguments", DISPID_OnDataAdded, {seven, seven}, DISP_E_BADPARAMCOUNT, ~0u, {}},
        {"added, not a number", DISPID_OnDataAdded, {word}, DISP_E_TYPEMISMATCH, 0u, {}},
        {"settings with an argument", DISPID_OnSettingsChanged, {seven}, DISP_E_BADPARAMCOUNT, ~0u, {}},
        {"unknown member", 9, {}, DISP_E_MEMBERNOTFOUND, ~0u, {}},
    };
    for (bool ignoring : {false, true}) {
        ComPtr<CLoggingSink> sink(new CLoggingSink(ignoring));
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(sink->QueryInterface(DIID_IWYSCURLBaseEvents, dispatch.PutVoid()), S_OK);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (ignoring ? ", ignoring" : ", strict"));
            std::vector<VARIANT> reversed(c.args.rbegin(), c.args.rend());
            DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                              static_cast<UINT>(reversed.size()), 0};
            UINT argError = ~0u;
            const bool bad = c.strict != S_OK && c.log.empty();
            EXPECT_EQ(dispatch->Invoke(c.id, IID_NULL, LOCALE_USER_DEFAULT, 0, &params, nullptr, nullptr,
                                       &argError),
                      bad && ignoring ? S_OK : c.strict);
            EXPECT_EQ(argError, ignoring ? ~0u : c.argError);
            EXPECT_EQ(sink->log, c.log);
            sink->log.clear();
        }
    }
}

}  // namespace
