#include "hosts/browser/PageSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/com/Bstr.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/dom/HtmlDocumentBuilder.h"
#include "platform/inet/ShownDocuments.h"

namespace wys::browser_host {

// Depth and count are bounded as the headless window bounds its frame loads,
// so that a page framing itself cannot make the snapshot endless.
//
// The markup is that of the document as its scripts left it. Those scripts
// have run: in the copy their elements are kept (with their src, so the
// files are saved) but made inert, so that opening the copy does not run
// them a second time over what they built. noscript elements go: with
// scripts on they showed nothing, and a copy shown without scripts (an
// archive) would show them. The URL of each document is that of its
// navigation, which history.replaceState does not change. The whole
// serialisation runs as one task of the page, so a script that keeps
// changing the document cannot change it halfway.
//
// The load event comes before the work that pages queue for just after it
// (jQuery runs its ready handlers from timers), so the first run only starts
// watching the document, and later runs answer null until it has stood
// still for a moment (or for at most a second after the load, for a page
// that never stands still). The watch lives in the script's own world,
// where the page's scripts cannot reach it, and ends with the answer.
const char* const kSnapshotScript = R"JS((function () {
  var quietMs = 60, longestMs = 1000;
  var now = performance.now();
  var settle = window.__wayscribeSettle;
  if (!settle) {
    settle = window.__wayscribeSettle = {start: now, last: now, observer: null};
    try {
      settle.observer = new MutationObserver(function () { settle.last = performance.now(); });
      settle.observer.observe(document, {childList: true, subtree: true, attributes: true, characterData: true});
    } catch (e) {
    }
    return null;
  }
  if (now - settle.last < quietMs && now - settle.start < longestMs)
    return null;
  // Once answered, a page that keeps changing is not watched any longer.
  if (settle.observer) {
    settle.observer.disconnect();
    settle.observer = null;
  }
  var left = 100;
  function navigationUrl(doc) {
    try {
      var entries = doc.defaultView.performance.getEntriesByType('navigation');
      if (entries.length && entries[0].name)
        return entries[0].name;
    } catch (e) {
    }
    return '';
  }
  function markup(doc) {
    var html = '';
    if (doc.doctype)
      html += new XMLSerializer().serializeToString(doc.doctype) + '\n';
    if (!doc.documentElement)
      return html;
    var root = doc.documentElement.cloneNode(true);
    var scripts = root.querySelectorAll('script');
    for (var i = 0; i < scripts.length; ++i) {
      if (scripts[i].hasAttribute('type'))
        scripts[i].setAttribute('data-wayscribe-type', scripts[i].getAttribute('type'));
      scripts[i].setAttribute('type', 'text/x-wayscribe-ran');
    }
    var hidden = root.querySelectorAll('noscript');
    for (var j = 0; j < hidden.length; ++j)
      hidden[j].remove();
    return html + root.outerHTML;
  }
  function serialise(doc, depth) {
    var html = markup(doc);
    var frames = [];
    var elements = depth < 6 ? doc.querySelectorAll('frame, iframe') : [];
    for (var i = 0; i < elements.length; ++i) {
      var inner = null;
      try {
        var d = elements[i].contentDocument;
        if (d && d.documentElement && left > 0) {
          --left;
          inner = serialise(d, depth + 1);
        }
      } catch (e) {
        inner = null;
      }
      frames.push({src: elements[i].getAttribute('src') || '', document: inner});
    }
    return {url: navigationUrl(doc) || doc.URL, contentType: doc.contentType || '', html: html, frames: frames};
  }
  return JSON.stringify(serialise(document, 0));
})())JS";

namespace {

class CSnapshotBuilder {
public:
    explicit CSnapshotBuilder(PageSnapshot& snapshot) : m_snapshot(snapshot) {}

    ComPtr<IDispatch> Build(const QJsonObject& node, const std::string& url)
    {
        std::string html = node.value("html").toString().toStdString();
        std::string contentType = node.value("contentType").toString().toStdString();
        QJsonArray frames = node.value("frames").toArray();
        int next = 0;
        FrameDocumentSupplier supplier = [&](const FrameReference& frame) -> ComPtr<IDispatch> {
            for (int i = next; i < frames.size(); ++i) {
                QJsonObject entry = frames.at(i).toObject();
                if (entry.value("src").toString().toStdString() != frame.src)
                    continue;
                next = i + 1;
                QJsonValue inner = entry.value("document");
                if (!inner.isObject())
                    return nullptr;
                QJsonObject innerNode = inner.toObject();
                return Build(innerNode, innerNode.value("url").toString().toStdString());
            }
            return nullptr;
        };
        ComPtr<IDispatch> document;
        // Qt hands the page over as UTF-8 whatever it declared.
        if (FAILED(BuildDocument(html, contentType, url, CharsetDeclarations::DeclareUtf8, supplier,
                                 document.GetAddressOf())))
            return nullptr;
        // A capture's archive takes the document shown rather than the
        // server's bytes fetched again.
        if (IsHtmlContentType(contentType))
            CacheShownDocument(url, ShownDocument{"text/html; charset=utf-8", html});
        m_snapshot.completed.push_back({document, url});
        return document;
    }

private:
    PageSnapshot& m_snapshot;
};

}  // namespace

std::string SnapshotUrl(std::string_view json)
{
    QJsonParseError error;
    QJsonDocument parsed =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError || !parsed.isObject())
        return {};
    return parsed.object().value("url").toString().toStdString();
}

PageSnapshot BuildPageSnapshot(std::string_view json, const std::string& pageUrl)
{
    PageSnapshot snapshot;
    QJsonParseError error;
    QJsonDocument parsed =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError || !parsed.isObject())
        return snapshot;
    CSnapshotBuilder builder(snapshot);
    snapshot.document = builder.Build(parsed.object(), pageUrl);
    if (!snapshot.document) {
        snapshot.completed.clear();
        return snapshot;
    }
    ComPtr<IHTMLDocument2> html;
    if (SUCCEEDED(snapshot.document->QueryInterface(IID_IHTMLDocument2, html.PutVoid()))) {
        CComBSTR title;
        if (SUCCEEDED(html->get_title(&title)))
            snapshot.title = title.ToUtf8();
    }
    return snapshot;
}

}  // namespace wys::browser_host
