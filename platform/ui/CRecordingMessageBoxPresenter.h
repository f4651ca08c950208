// A message-box presenter that shows nothing and remembers every box, so that
// tests can check which boxes a piece of code showed and answer them.
//
// Answers are taken from a queue of scripted answers, first in first out;
// with the queue empty (or a scripted answer the box does not offer) the box
// gets its default button. Thread-safe.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/IMessageBoxPresenter.h"

struct ShownMessageBox {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
    int answer = 0;  // what Show returned
};

class CRecordingMessageBoxPresenter final : public IMessageBoxPresenter {
public:
    int Show(HWND owner, std::string_view text, std::string_view caption, UINT type) override;

    // Queues the answer for the next box not yet answered.
    void PushAnswer(int answer);
    // Copies of the boxes shown so far, oldest first.
    std::vector<ShownMessageBox> Shown() const;
    std::size_t Count() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::deque<int> m_answers;
    std::vector<ShownMessageBox> m_shown;
};
