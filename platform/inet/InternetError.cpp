#include "platform/inet/InternetError.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

BOOL SetInternetError(DWORD error)
{
    t_lastError = error;
    return FALSE;
}

DWORD InternetGetLastError()
{
    return t_lastError;
}

DWORD InternetErrorFromCurl(CURLcode code, bool redirected)
{
    switch (code) {
        case CURLE_OK:
            return ERROR_SUCCESS;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return redirected ? ERROR_HTTP_REDIRECT_FAILED : ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        case CURLE_TOO_MANY_REDIRECTS:
            return ERROR_HTTP_REDIRECT_FAILED;
        case CURLE_URL_MALFORMAT:
            return ERROR_INTERNET_INVALID_URL;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case CURLE_COULDNT_CONNECT:
            return ERROR_INTERNET_CANNOT_CONNECT;
        case CURLE_OPERATION_TIMEDOUT:
            return ERROR_INTERNET_TIMEOUT;
        case CURLE_ABORTED_BY_CALLBACK:
            return ERROR_INTERNET_OPERATION_CANCELLED;
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
            return ERROR_INTERNET_CONNECTION_RESET;
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        case CURLE_PEER_FAILED_VERIFICATION:
            return ERROR_INTERNET_SEC_CERT_ERRORS;
        case CURLE_SSL_CONNECT_ERROR:
            return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
        case CURLE_REMOTE_FILE_NOT_FOUND:
            return ERROR_INTERNET_ITEM_NOT_FOUND;
        case CURLE_FILE_COULDNT_READ_FILE:
            return ERROR_FILE_NOT_FOUND;
        case CURLE_OUT_OF_MEMORY:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_INTERNET_CONNECTION_ABORTED;
    }
}
