// The replaceable part of message boxes: whoever shows them.
//
// One presenter serves the whole process. It starts as a console presenter
// (CConsoleMessageBoxPresenter) writing to standard error; a process with a
// display installs a Qt one, a test a recording one.
#pragma once

#include <memory>
#include <string_view>

#include "platform/base/WinTypes.h"

class IMessageBoxPresenter {
public:
    virtual ~IMessageBoxPresenter() = default;

    // Shows one box and returns the ID* of the chosen button. `type` holds the
    // MB_ flags as given; `text` and `caption` are UTF-8 and never null (the
    // caller has already put defaults in their place). Called on the thread
    // that called MessageBoxA, possibly several at once.
    virtual int Show(HWND owner, std::string_view text, std::string_view caption, UINT type) = 0;
};

// Replaces the process-wide presenter and returns the previous one. A null
// presenter restores the default console presenter. Thread-safe; a box being
// shown while the presenter changes finishes with the old one.
std::shared_ptr<IMessageBoxPresenter> SetMessageBoxPresenter(std::shared_ptr<IMessageBoxPresenter> presenter);
// The current presenter; never null.
std::shared_ptr<IMessageBoxPresenter> GetMessageBoxPresenter();

// Installs a presenter for the lifetime of the object and puts the previous
// one back afterwards (tests, and hosts that show boxes only for a while).
class ScopedMessageBoxPresenter {
public:
    explicit ScopedMessageBoxPresenter(std::shared_ptr<IMessageBoxPresenter> presenter)
        : m_previous(SetMessageBoxPresenter(std::move(presenter)))
    {
    }
    ~ScopedMessageBoxPresenter() { SetMessageBoxPresenter(std::move(m_previous)); }
    ScopedMessageBoxPresenter(const ScopedMessageBoxPresenter&) = delete;
    ScopedMessageBoxPresenter& operator=(const ScopedMessageBoxPresenter&) = delete;

private:
    std::shared_ptr<IMessageBoxPresenter> m_previous;
};
