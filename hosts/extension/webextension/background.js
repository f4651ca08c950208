// The Wayscribe extension's background (a service worker in Chromium, an
// event page in Firefox): the bridge between the browser and
// wayscribe-native-host, which keeps the history. It tells the host of every
// tab of a normal window (opened, loading, completed with the page's
// snapshot and the cookies its downloads need, closed), and carries out the
// host's requests to open a page.
//
// Tabs of private windows are never reported, whatever permission the
// extension has there: the host never learns they exist.
'use strict';

const api = globalThis.browser || globalThis.chrome;
const kHost = 'wayscribe.native_host';
const kMaxCookieUrls = 64;
const kRetryMs = [1000, 5000, 30000, 60000];

let port = null;
let retries = 0;
// Tabs of normal windows that the host knows of.
const normalTabs = new Set();

function post(message) {
  if (!port)
    return;
  try {
    port.postMessage(message);
  } catch (e) {
    // The host went away; onDisconnect reconnects.
  }
}

function noteTab(tab) {
  if (!tab || tab.incognito || tab.id === undefined || tab.id < 0 || normalTabs.has(tab.id))
    return;
  normalTabs.add(tab.id);
  post({type: 'tab-opened', tab: tab.id});
}

function forgetTab(tabId) {
  if (normalTabs.delete(tabId))
    post({type: 'tab-closed', tab: tabId});
}

function connect() {
  if (port)
    return;
  try {
    port = api.runtime.connectNative(kHost);
  } catch (e) {
    port = null;
    scheduleReconnect();
    return;
  }
  port.onMessage.addListener(onHostMessage);
  port.onDisconnect.addListener(() => {
    port = null;
    normalTabs.clear();
    scheduleReconnect();
  });
  post({type: 'hello', browser: navigator.userAgent});
  api.tabs.query({}).then((tabs) => {
    retries = 0;
    for (const tab of tabs)
      noteTab(tab);
  });
}

function scheduleReconnect() {
  const delay = kRetryMs[Math.min(retries, kRetryMs.length - 1)];
  ++retries;
  setTimeout(connect, delay);
}

function isNavigable(url) {
  return typeof url === 'string' && /^(https?|ftp|file):/i.test(url);
}

async function lastNormalWindow() {
  try {
    const last = await api.windows.getLastFocused({windowTypes: ['normal']});
    if (last && !last.incognito)
      return last;
  } catch (e) {
    // No window has had the focus yet.
  }
  const windows = await api.windows.getAll({windowTypes: ['normal']});
  return windows.find((w) => !w.incognito) || null;
}

// The host asks for a page: in the tab it names (a tab of a normal window
// it knows), else in a new tab of the normal window used last.
async function navigate(message) {
  try {
    let tab;
    if (Number.isInteger(message.tab) && normalTabs.has(message.tab)) {
      tab = await api.tabs.update(message.tab, {url: message.url, active: true});
    } else {
      const window = await lastNormalWindow();
      if (window)
        tab = await api.tabs.create({windowId: window.id, url: message.url, active: true});
      else
        tab = (await api.windows.create({url: message.url, incognito: false})).tabs[0];
    }
    noteTab(tab);
    api.windows.update(tab.windowId, {focused: true}).catch(() => {});
    post({type: 'navigated', request: message.request, tab: tab.id});
  } catch (e) {
    post({type: 'navigate-failed', request: message.request, error: String((e && e.message) || e)});
  }
}

function onHostMessage(message) {
  if (!message || message.type !== 'navigate' || !Number.isInteger(message.request) || !isNavigable(message.url))
    return;
  navigate(message);
}

// The cookies the browser would send with requests for these URLs: the
// page's, its frames' and its resources', one asking per folder.
async function cookiesFor(urls, storeId) {
  const asked = new Set();
  const found = new Map();
  for (const url of urls) {
    let key;
    try {
      const parsed = new URL(url);
      if (!/^(https?|ftp):$/.test(parsed.protocol))
        continue;
      key = parsed.origin + parsed.pathname.replace(/[^/]*$/, '');
    } catch (e) {
      continue;
    }
    if (asked.has(key) || asked.size >= kMaxCookieUrls)
      continue;
    asked.add(key);
    try {
      const query = storeId ? {url, storeId} : {url};
      for (const c of await api.cookies.getAll(query)) {
        found.set(c.domain + '\t' + c.path + '\t' + c.name, {
          name: c.name, value: c.value, domain: c.domain, path: c.path, secure: c.secure,
          httpOnly: c.httpOnly, hostOnly: c.hostOnly,
          expires: c.session ? null : c.expirationDate,
        });
      }
    } catch (e) {
      // A store the extension may not read: the page goes without those cookies.
    }
  }
  return Array.from(found.values());
}

api.runtime.onMessage.addListener((message, sender) => {
  const tab = sender.tab;
  if (!tab || tab.incognito || sender.frameId !== 0 || !message || message.type !== 'complete')
    return;
  // A tab the host does not know (closed meanwhile) is not brought back.
  if (typeof message.snapshot !== 'string' || typeof message.url !== 'string' || !normalTabs.has(tab.id))
    return;
  const urls = [message.url].concat(Array.isArray(message.resources) ? message.resources : []);
  cookiesFor(urls, tab.cookieStoreId).then((cookies) => {
    if (!normalTabs.has(tab.id))
      return;  // closed meanwhile
    post({type: 'complete', tab: tab.id, url: message.url, title: String(message.title || ''),
          snapshot: message.snapshot, cookies});
  });
});

api.tabs.onCreated.addListener(noteTab);
api.tabs.onRemoved.addListener(forgetTab);
api.tabs.onReplaced.addListener((added, removed) => {
  forgetTab(removed);
  api.tabs.get(added).then(noteTab, () => {});
});
api.tabs.onUpdated.addListener((tabId, change, tab) => {
  if (change.status !== 'loading' || tab.incognito)
    return;
  noteTab(tab);
  if (tab.url)
    post({type: 'loading', tab: tabId, url: tab.url});
});
api.windows.onFocusChanged.addListener((windowId) => {
  if (windowId === api.windows.WINDOW_ID_NONE)
    return;
  api.windows.get(windowId).then((w) => {
    if (!w.incognito)
      post({type: 'focus'});
  }, () => {});
});

connect();
