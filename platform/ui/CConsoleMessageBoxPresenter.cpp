#include "platform/ui/CConsoleMessageBoxPresenter.h"

#include <string>

#include "platform/ui/MessageBox.h"

int CConsoleMessageBoxPresenter::Show(HWND /*owner*/, std::string_view text, std::string_view caption,
                                      UINT type)
{
    std::lock_guard lock(m_mutex);
    const int answer =
        m_answer && IsMessageBoxButton(type, *m_answer) ? *m_answer : MessageBoxDefaultButton(type);
    if (m_out) {
        std::string buttons;
        for (int id : MessageBoxButtons(type)) {
            if (!buttons.empty())
                buttons += " / ";
            buttons += MessageBoxButtonText(id);
        }
        std::fprintf(m_out, "[%.*s] %.*s\n(%s) -> %s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data(), buttons.c_str(),
                     MessageBoxButtonText(answer));
        std::fflush(m_out);
    }
    return answer;
}

void CConsoleMessageBoxPresenter::SetAnswer(std::optional<int> answer)
{
    std::lock_guard lock(m_mutex);
    m_answer = answer;
}

std::optional<int> CConsoleMessageBoxPresenter::Answer() const
{
    std::lock_guard lock(m_mutex);
    return m_answer;
}
