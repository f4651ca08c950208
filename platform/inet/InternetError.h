// Private to platform/inet: the calling thread's last internet error and the
// mapping of libcurl's results onto the internet library's error values.
#pragma once

#include <curl/curl.h>

#include "platform/inet/WinInet.h"

// Records `error` as the thread's last internet error; returns FALSE so that
// a failing call can end with `return SetInternetError(...)`.
BOOL SetInternetError(DWORD error);

// The error value for a failed transfer. `redirected` tells whether the
// failure came after following a redirect, where a refused protocol means the
// redirect led somewhere it may not.
DWORD InternetErrorFromCurl(CURLcode code, bool redirected);
