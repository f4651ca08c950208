// Private to platform/inet: what a HINTERNET points at, and the table of open
// handles that lets a call tell a live handle from a closed or foreign one.
#pragma once

#include "platform/inet/InternetError.h"
#include "platform/inet/WinInet.h"

struct InternetObject {
    InternetObject() = default;
    InternetObject(const InternetObject&) = delete;
    InternetObject& operator=(const InternetObject&) = delete;
    virtual ~InternetObject() = default;
};

// Enters a new object into the table of open handles; the table does not own it.
HINTERNET RegisterInternetObject(InternetObject* object);

// Takes an object out of the table; false when it was not there.
bool UnregisterInternetObject(InternetObject* object);

// True when `handle` is in the table.
bool IsOpenInternetObject(HINTERNET handle);

// The object behind `handle` when it is open and a T; else null with the last
// error set to ERROR_INVALID_HANDLE or ERROR_INTERNET_INCORRECT_HANDLE_TYPE.
template <class T>
T* FindInternetObject(HINTERNET handle)
{
    if (!IsOpenInternetObject(handle)) {
        SetInternetError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    T* object = dynamic_cast<T*>(handle);
    if (!object)
        SetInternetError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return object;
}
