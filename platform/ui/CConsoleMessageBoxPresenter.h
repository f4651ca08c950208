// The message-box presenter of processes without a display.
//
// Each box becomes one block on a stream (standard error by default):
//   [Caption] text
//   (Yes / No / Cancel) -> Cancel
// and is answered at once, without waiting for anybody: with the answer set
// by SetAnswer when the box has that button, otherwise with the box's
// default button.
#pragma once

#include <cstdio>
#include <mutex>
#include <optional>

#include "platform/ui/IMessageBoxPresenter.h"

class CConsoleMessageBoxPresenter final : public IMessageBoxPresenter {
public:
    // `out` must stay open while the presenter lives; null writes nothing.
    explicit CConsoleMessageBoxPresenter(std::FILE* out = stderr) : m_out(out) {}

    int Show(HWND owner, std::string_view text, std::string_view caption, UINT type) override;

    // The answer for later boxes (an ID* value); nullopt returns to the
    // default button. An answer that a box does not offer is not used for it.
    void SetAnswer(std::optional<int> answer);
    std::optional<int> Answer() const;

private:
    std::FILE* m_out;
    mutable std::mutex m_mutex;
    std::optional<int> m_answer;
};
