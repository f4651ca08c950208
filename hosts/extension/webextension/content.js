// Runs in the top document of every page the extension may read, once the
// page has loaded: serialises the live document and its readable frames
// with the snapshot script that wayscribe-browser runs (snapshot.js) and
// hands the snapshot to the background, which passes it to the native host.
// Pages of private windows are never serialised.
(function () {
  'use strict';
  const api = globalThis.browser || globalThis.chrome;
  if (api.extension.inIncognitoContext)
    return;

  // The snapshot must fit one message to the native host.
  const kMaxSnapshot = 60 * 1024 * 1024;
  const kMaxResources = 256;

  // Where the page fetched its parts from: the background asks the
  // browser's cookie store for these, so that the capture's downloads carry
  // the cookies the page's own requests carried.
  function resourceUrls() {
    const urls = new Set();
    try {
      for (const entry of performance.getEntriesByType('resource')) {
        if (urls.size >= kMaxResources)
          break;
        urls.add(entry.name);
      }
    } catch (e) {
      // No timing entries: the page's own address is asked for all the same.
    }
    for (const frame of document.querySelectorAll('frame[src], iframe[src]')) {
      if (urls.size >= kMaxResources)
        break;
      urls.add(frame.src);
    }
    return Array.from(urls);
  }

  // The snapshot script answers null while the page is still settling
  // after its load; it settles within a second.
  const kSettleRetryMs = 25;
  const kSettleTries = 200;

  function report(tries = 0) {
    let snapshot;
    try {
      snapshot = wayscribeSnapshot();
    } catch (e) {
      return;  // a page that cannot be serialised is not kept
    }
    if (snapshot === null && tries < kSettleTries) {
      setTimeout(() => report(tries + 1), kSettleRetryMs);
      return;
    }
    if (typeof snapshot !== 'string' || snapshot.length > kMaxSnapshot)
      return;
    const message = {type: 'complete', url: location.href, title: document.title, snapshot,
                     resources: resourceUrls()};
    Promise.resolve(api.runtime.sendMessage(message)).catch(() => {});
  }

  // After the page's own load handlers, which may still build the page.
  function afterLoad() {
    setTimeout(report, 0);
  }
  if (document.readyState === 'complete')
    afterLoad();
  else
    window.addEventListener('load', afterLoad, {once: true});
  // A page shown again from the back-forward cache is a completed visit too.
  window.addEventListener('pageshow', (event) => {
    if (event.persisted)
      afterLoad();
  });
})();
