// The message-box presenter of processes with a display: each box is a
// modal Qt message box.
#pragma once

#include "platform/ui/IMessageBoxPresenter.h"

// The box shows the caption as its title, the text as plain text, the
// icon and buttons the MB_ flags ask for, and the MB_DEFBUTTONn-th button
// as the default. Escape or closing the window answers IDCANCEL when the box
// has a Cancel button and IDOK for a box with only OK; a box of Yes and No
// (or Abort, Retry and Ignore) must be answered with a button, and should it
// close otherwise, it answers No (or Abort). The owner is
// the QWidget* that the HWND carries, or none.
//
// Show may be called on any thread: the box appears on the application's
// thread while the caller waits. Without an application object nothing is
// shown and 0 is returned.
class CQtMessageBoxPresenter final : public IMessageBoxPresenter {
public:
    int Show(HWND owner, std::string_view text, std::string_view caption, UINT type) override;
};
