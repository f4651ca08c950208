// The messaging component's interfaces for single-file web archives: a
// message that builds an MHTML body from a URL, its configuration with named
// fields, and the body parts it holds. The message's serialised form is an
// ADO-style stream (AdoStream.h).
//
// Objects are created through CdoCreateInstance (CdoFactory.h). They belong
// to the thread that uses them (apartment rules): one thread at a time, no
// locks inside.
#pragma once

#include "platform/com/Guid.h"
#include "platform/com/Variant.h"
#include "platform/inet/WinInet.h"

// The messaging component's classes and the interfaces they are made for.
inline constexpr CLSID CLSID_Message = MakeGuid("{CD000001-8B95-11D1-82DB-00C04FB1625D}");
inline constexpr IID IID_IMessage = MakeGuid("{CD000020-8B95-11D1-82DB-00C04FB1625D}");
inline constexpr CLSID CLSID_Configuration = MakeGuid("{CD000002-8B95-11D1-82DB-00C04FB1625D}");
inline constexpr IID IID_IConfiguration = MakeGuid("{CD000022-8B95-11D1-82DB-00C04FB1625D}");

struct _Stream;

// Flags of CreateMHTMLBody: which kinds of embedded resource are left out.
// Images are img, image inputs, backgrounds and CSS url(); frames are the
// documents of frame and iframe; objects are embed, object, audio and video.
using CdoMHTMLFlags = LONG;
inline constexpr CdoMHTMLFlags cdoSuppressNone = 0;
inline constexpr CdoMHTMLFlags cdoSuppressImages = 1;
inline constexpr CdoMHTMLFlags cdoSuppressBGSounds = 2;
inline constexpr CdoMHTMLFlags cdoSuppressFrames = 4;
inline constexpr CdoMHTMLFlags cdoSuppressObjects = 8;
inline constexpr CdoMHTMLFlags cdoSuppressStyleSheets = 16;
inline constexpr CdoMHTMLFlags cdoSuppressAll = 31;

// How AddRelatedBodyPart's reference names the part in the message.
using CdoReferenceType = LONG;
inline constexpr CdoReferenceType cdoRefTypeId = 0;        // Content-ID: <reference>
inline constexpr CdoReferenceType cdoRefTypeLocation = 1;  // Content-Location: reference

// Configuration field names. urlgetlatestversion set to the boolean false
// lets CreateMHTMLBody take the page and its frames as a browser window of
// this process shows them (the internet library's cache of shown
// documents, ShownDocuments.h) instead of fetching them; resources are
// fetched anew every time. The proxy fields, when set to a non-empty string,
// replace the proxies of the environment.
inline constexpr const OLECHAR* cdoURLGetLatestVersion =
    u"http://schemas.microsoft.com/cdo/configuration/urlgetlatestversion";
inline constexpr const OLECHAR* cdoURLProxyServer =
    u"http://schemas.microsoft.com/cdo/configuration/urlproxyserver";
inline constexpr const OLECHAR* cdoURLProxyBypass =
    u"http://schemas.microsoft.com/cdo/configuration/urlproxybypass";

// One named value of a configuration.
struct Field : IUnknown {
    static constexpr GUID Iid = MakeGuid("{00000569-0000-0010-8000-00AA006D2EA4}");
    using Base = IUnknown;

    virtual HRESULT get_Name(BSTR* name) = 0;
    // VT_EMPTY for a field that was never given a value.
    virtual HRESULT get_Value(VARIANT* value) = 0;
    virtual HRESULT put_Value(VARIANT value) = 0;

protected:
    ~Field() = default;
};

// The fields of a configuration. A value takes effect as soon as it is put;
// Update is accepted for the platform's call sequence and changes nothing.
struct Fields : IUnknown {
    static constexpr GUID Iid = MakeGuid("{00000564-0000-0010-8000-00AA006D2EA4}");
    using Base = IUnknown;

    virtual HRESULT get_Count(LONG* count) = 0;
    // By name (VT_BSTR, compared without regard to ASCII case): the field,
    // created empty when the configuration has none of that name yet. By
    // position (VT_I4, from 0): DISP_E_BADINDEX past the end.
    virtual HRESULT get_Item(VARIANT index, Field** field) = 0;
    virtual HRESULT Update() = 0;

protected:
    ~Fields() = default;
};

struct IConfiguration : IUnknown {
    static constexpr GUID Iid = IID_IConfiguration;
    using Base = IUnknown;

    virtual HRESULT get_Fields(Fields** fields) = 0;

protected:
    ~IConfiguration() = default;
};

// One part of a message's body.
struct IBodyPart : IUnknown {
    static constexpr GUID Iid = MakeGuid("{CD000021-8B95-11D1-82DB-00C04FB1625D}");
    using Base = IUnknown;

    // "image/png", without parameters.
    virtual HRESULT get_ContentMediaType(BSTR* type) = 0;
    // "quoted-printable" for text, "base64" for everything else.
    virtual HRESULT get_ContentTransferEncoding(BSTR* encoding) = 0;

protected:
    ~IBodyPart() = default;
};

struct IMessage : IUnknown {
    static constexpr GUID Iid = IID_IMessage;
    using Base = IUnknown;

    // The configuration consulted when the message fetches; null until set.
    virtual HRESULT get_Configuration(IConfiguration** configuration) = 0;
    virtual HRESULT putref_Configuration(IConfiguration* configuration) = 0;
    virtual HRESULT get_From(BSTR* from) = 0;
    virtual HRESULT put_From(BSTR from) = 0;
    virtual HRESULT get_Subject(BSTR* subject) = 0;
    virtual HRESULT put_Subject(BSTR subject) = 0;

    // Fetches the page at `url` (http, https or ftp) and, for an HTML page,
    // the resources it embeds (images, style sheets and what they import,
    // scripts, frames and what those embed, objects, background sounds; less
    // what `flags` suppress), and makes them the message's body: the page as
    // the first part, then one part per resource in the order found, each
    // under its absolute URL. The body is kept whatever the response status;
    // resources that cannot be fetched are left out. Replaces an earlier body;
    // a failed call leaves it as it was. Fails with HRESULT_FROM_WIN32 of the
    // internet error when the page cannot be fetched, E_INVALIDARG for a
    // scheme that is not fetched or flags beyond cdoSuppressAll, E_ABORT once
    // the stop check (IFetchStop) has fired. `userName` and `password`
    // (null or empty for none) are sent to the page's server and the
    // resources' servers.
    virtual HRESULT CreateMHTMLBody(BSTR url, CdoMHTMLFlags flags, BSTR userName, BSTR password) = 0;

    // Fetches `url` and adds it as one more part named by `reference`
    // (cdoRefTypeLocation: its Content-Location; cdoRefTypeId: its
    // Content-ID). When a part of that location is already in the message, it
    // is returned and nothing is fetched. A data URL carries its resource in
    // itself: S_FALSE and *bodyPart null. E_UNEXPECTED before
    // CreateMHTMLBody, E_INVALIDARG for another reference type, an empty
    // reference or a scheme that is not fetched, and as CreateMHTMLBody when
    // the fetch fails.
    // *bodyPart (when not null) receives a reference the caller releases.
    virtual HRESULT AddRelatedBodyPart(BSTR url, BSTR reference, CdoReferenceType referenceType,
                                       BSTR userName, BSTR password, IBodyPart** bodyPart) = 0;

    // The whole message in MIME form (MHTML once it has a body) as a new
    // stream; the caller releases it. Later changes to the message do not
    // change a stream already returned. Text parts are quoted-printable with
    // their line breaks placed after spaces and '>' where one is near, so a
    // double-quoted reference of the page stands in the stream as the page
    // wrote it unless it holds '=' or bytes outside printable ASCII. The
    // stream never holds a NUL byte.
    virtual HRESULT GetStream(_Stream** stream) = 0;

protected:
    ~IMessage() = default;
};

// This platform's own: lets a message's fetches be stopped. `stop` is called
// on the message's thread between reads and at least every 100 ms while a
// fetch waits; once it returns true the fetch in progress and every later one
// fail with E_ABORT.
struct IFetchStop : IUnknown {
    static constexpr GUID Iid = MakeGuid("{6A4F2C1E-93B7-4D0A-8E55-2C7B1D9F0A31}");
    using Base = IUnknown;

    virtual HRESULT SetStopCheck(InternetStopCheck stop) = 0;

protected:
    ~IFetchStop() = default;
};
