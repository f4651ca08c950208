#include "platform/browser/BrowserRemoting.h"

#include "platform/browser/BandSite.h"
#include "platform/browser/ObjectWithSite.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/browser/WebBrowser.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/dom/HtmlElement.h"
#include "platform/dom/HtmlElementCollection.h"
#include "platform/dom/HtmlStyleSheet.h"
#include "platform/dom/HtmlWindow.h"
#include "platform/rpc/StandardInterfaces.h"

namespace wys::rpc {

// An optional [in] VARIANT passed by pointer (Navigate's optional arguments,
// a collection's index): absent stays null on the callee's side.
template <>
struct InCodec<VARIANT*> {
    struct Slot {
        Slot() { VariantInit(&value); }
        ~Slot() { VariantClear(&value); }
        bool present = false;
        VARIANT value;
        CByrefStore store;
    };
    static void Write(CWireWriter& w, CMarshalContext& c, CallState&, VARIANT* v)
    {
        w.U8(v ? 1 : 0);
        if (v)
            WriteVariant(w, c, *v);
    }
    static void Read(CWireReader& r, CMarshalContext& c, CallState&, Slot& s)
    {
        std::uint8_t present = r.U8();
        if (present > 1)
            throw CWireError("bad optional-variant marker");
        s.present = present == 1;
        if (s.present)
            ReadVariant(r, c, &s.value, s.store);
    }
    static VARIANT* Arg(Slot& s) { return s.present ? &s.value : nullptr; }
};

template <>
struct OutCodec<READYSTATE> {
    struct Slot {
        READYSTATE value = READYSTATE_UNINITIALIZED;
    };
    static READYSTATE* Arg(Slot& s) { return &s.value; }
    static void Write(CWireWriter& w, CMarshalContext&, CallState&, Slot& s) { w.I32(s.value); }
    static void Read(CWireReader& r, CMarshalContext&, CallState&, READYSTATE* target)
    {
        std::int32_t value = r.I32();
        if (value < READYSTATE_UNINITIALIZED || value > READYSTATE_COMPLETE)
            throw CWireError("bad ready state");
        *target = static_cast<READYSTATE>(value);
    }
    static void Fail(READYSTATE*) {}
};

}  // namespace wys::rpc

#define WYS_RPC_IWEBBROWSER2_METHODS(X) \
    WYS_RPC_IDISPATCH_METHODS(X)        \
    X(Navigate, In, In, In, In, In)     \
    X(Stop)                             \
    X(get_Document, Out)                \
    X(get_LocationName, Out)            \
    X(get_LocationURL, Out)             \
    X(get_Busy, Out)                    \
    X(get_ReadyState, Out)              \
    X(get_StatusText, Out)              \
    X(put_StatusText, In)
WYS_RPC_REMOTE_INTERFACE(IWebBrowser2, WYS_RPC_IWEBBROWSER2_METHODS)

#define WYS_RPC_ISERVICEPROVIDER_METHODS(X) X(QueryService, In, In, Out)
WYS_RPC_REMOTE_INTERFACE(IServiceProvider, WYS_RPC_ISERVICEPROVIDER_METHODS)

#define WYS_RPC_IOBJECTWITHSITE_METHODS(X) X(SetSite, In) X(GetSite, In, Out)
WYS_RPC_REMOTE_INTERFACE(IObjectWithSite, WYS_RPC_IOBJECTWITHSITE_METHODS)

// A window handle names a window of this process only: it does not travel.
#define WYS_RPC_IOLEWINDOW_METHODS(X) X(GetWindow, Unsupported) X(ContextSensitiveHelp, In)
WYS_RPC_REMOTE_INTERFACE(IOleWindow, WYS_RPC_IOLEWINDOW_METHODS)

#define WYS_RPC_IINPUTOBJECTSITE_METHODS(X) X(OnFocusChangeIS, In, In)
WYS_RPC_REMOTE_INTERFACE(IInputObjectSite, WYS_RPC_IINPUTOBJECTSITE_METHODS)

#define WYS_RPC_IHTMLDOCUMENT2_METHODS(X) \
    WYS_RPC_IDISPATCH_METHODS(X)          \
    X(get_all, Out)                       \
    X(get_images, Out)                    \
    X(get_scripts, Out)                   \
    X(get_frames, Out)                    \
    X(get_title, Out)                     \
    X(get_URL, Out)                       \
    X(get_styleSheets, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLDocument2, WYS_RPC_IHTMLDOCUMENT2_METHODS)

#define WYS_RPC_IHTMLDOCUMENTTYPE_METHODS(X) WYS_RPC_IDISPATCH_METHODS(X) X(get_doctype, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLDocumentType, WYS_RPC_IHTMLDOCUMENTTYPE_METHODS)

#define WYS_RPC_IHTMLELEMENTCOLLECTION_METHODS(X) \
    WYS_RPC_IDISPATCH_METHODS(X)                  \
    X(get_length, Out)                            \
    X(item, In, In, Out)                          \
    X(tags, In, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLElementCollection, WYS_RPC_IHTMLELEMENTCOLLECTION_METHODS)

#define WYS_RPC_IHTMLELEMENT_METHODS(X) \
    WYS_RPC_IDISPATCH_METHODS(X)        \
    X(getAttribute, In, In, Out)        \
    X(get_tagName, Out)                 \
    X(get_innerHTML, Out)               \
    X(get_outerHTML, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLElement, WYS_RPC_IHTMLELEMENT_METHODS)

#define WYS_RPC_IHTMLIMGELEMENT_METHODS(X) WYS_RPC_IDISPATCH_METHODS(X) X(get_src, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLImgElement, WYS_RPC_IHTMLIMGELEMENT_METHODS)

#define WYS_RPC_IHTMLSCRIPTELEMENT_METHODS(X) WYS_RPC_IDISPATCH_METHODS(X) X(get_src, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLScriptElement, WYS_RPC_IHTMLSCRIPTELEMENT_METHODS)

#define WYS_RPC_IHTMLINPUTELEMENT_METHODS(X) WYS_RPC_IDISPATCH_METHODS(X) X(get_type, Out) X(get_src, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLInputElement, WYS_RPC_IHTMLINPUTELEMENT_METHODS)

#define WYS_RPC_IHTMLOBJECTELEMENT_METHODS(X) \
    WYS_RPC_IDISPATCH_METHODS(X) X(get_object, Out) X(get_classid, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLObjectElement, WYS_RPC_IHTMLOBJECTELEMENT_METHODS)

#define WYS_RPC_IHTMLSTYLESHEET_METHODS(X) WYS_RPC_IDISPATCH_METHODS(X) X(get_href, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLStyleSheet, WYS_RPC_IHTMLSTYLESHEET_METHODS)

#define WYS_RPC_IHTMLSTYLESHEETSCOLLECTION_METHODS(X) \
    WYS_RPC_IDISPATCH_METHODS(X) X(get_length, Out) X(item, In, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLStyleSheetsCollection, WYS_RPC_IHTMLSTYLESHEETSCOLLECTION_METHODS)

#define WYS_RPC_IHTMLFRAMESCOLLECTION2_METHODS(X) \
    WYS_RPC_IDISPATCH_METHODS(X) X(item, In, Out) X(get_length, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLFramesCollection2, WYS_RPC_IHTMLFRAMESCOLLECTION2_METHODS)

#define WYS_RPC_IHTMLWINDOW2_METHODS(X) WYS_RPC_IHTMLFRAMESCOLLECTION2_METHODS(X) X(get_document, Out)
WYS_RPC_REMOTE_INTERFACE(IHTMLWindow2, WYS_RPC_IHTMLWINDOW2_METHODS)

namespace wys {

bool RegisterBrowserRemoting()
{
    using namespace wys::rpc;
    static const bool registered = [] {
        for (const RemoteInterface* remote :
             {&kIWebBrowser2Remote, &kIServiceProviderRemote, &kIObjectWithSiteRemote, &kIOleWindowRemote,
              &kIInputObjectSiteRemote, &kIHTMLDocument2Remote, &kIHTMLDocumentTypeRemote,
              &kIHTMLElementCollectionRemote, &kIHTMLElementRemote, &kIHTMLImgElementRemote,
              &kIHTMLScriptElementRemote, &kIHTMLInputElementRemote, &kIHTMLObjectElementRemote,
              &kIHTMLStyleSheetRemote, &kIHTMLStyleSheetsCollectionRemote, &kIHTMLFramesCollection2Remote,
              &kIHTMLWindow2Remote})
            RegisterRemoteInterface(*remote);
        RegisterDispInterface(DIID_DWebBrowserEvents2, "DWebBrowserEvents2");
        return true;
    }();
    return registered;
}

}  // namespace wys
