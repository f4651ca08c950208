// The process's cookie store as libcurl sees it, for the internet library's
// requests and for the platform's other stand-ins that drive libcurl
// themselves (the headless browser's page loads): a request starts with the
// store's cookies and leaves behind the ones its responses set, so that what
// a page was given goes with the downloads of its capture, as the
// platform's internet library keeps one cookie store for the browser and
// every component. In memory only.
//
// Thread-safe. A cookie that a response removes stays in the store until it
// expires: the store only learns what a request holds, not what it dropped.
#pragma once

#include <curl/curl.h>

#include <string>

// Gives `easy` (its cookie engine on: CURLOPT_COOKIEFILE "") every cookie of
// the store.
void AddProcessCookiesTo(CURL* easy);

// Keeps in the store every cookie `easy` holds now.
void KeepCookiesOf(CURL* easy);

// Adds one cookie in libcurl's line format, or clears the store for "ALL".
// False when the store cannot be had or the line is refused.
bool AddProcessCookieLine(const std::string& line);
