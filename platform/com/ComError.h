// The exception that carries a failure inside a deliverable to the interface
// boundary, where it becomes the operation's HRESULT.
#pragma once

#include <exception>
#include <new>
#include <string>

#include "platform/base/WinError.h"

class ComError : public std::exception {
public:
    explicit ComError(HRESULT hr) : m_hr(hr), m_text("ComError " + HResultText(hr)) {}
    HRESULT Error() const noexcept { return m_hr; }
    const char* what() const noexcept override { return m_text.c_str(); }

private:
    HRESULT m_hr;
    std::string m_text;
};

// Throws ComError when hr is a failure.
inline void ThrowIfFailed(HRESULT hr)
{
    if (FAILED(hr))
        throw ComError(hr);
}

// Runs `body` and turns whatever it throws into an HRESULT, so that nothing
// escapes through an interface boundary.
template <class Body>
HRESULT ComBoundary(Body&& body) noexcept
{
    try {
        return body();
    } catch (const ComError& e) {
        return e.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}
