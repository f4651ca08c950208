#include "platform/ui/CRecordingMessageBoxPresenter.h"

#include "platform/ui/MessageBox.h"

int CRecordingMessageBoxPresenter::Show(HWND owner, std::string_view text, std::string_view caption,
                                        UINT type)
{
    std::lock_guard lock(m_mutex);
    int answer = MessageBoxDefaultButton(type);
    if (!m_answers.empty()) {
        if (IsMessageBoxButton(type, m_answers.front()))
            answer = m_answers.front();
        m_answers.pop_front();
    }
    m_shown.push_back({owner, std::string(text), std::string(caption), type, answer});
    return answer;
}

void CRecordingMessageBoxPresenter::PushAnswer(int answer)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

std::vector<ShownMessageBox> CRecordingMessageBoxPresenter::Shown() const
{
    std::lock_guard lock(m_mutex);
    return m_shown;
}

std::size_t CRecordingMessageBoxPresenter::Count() const
{
    std::lock_guard lock(m_mutex);
    return m_shown.size();
}

void CRecordingMessageBoxPresenter::Clear()
{
    std::lock_guard lock(m_mutex);
    m_shown.clear();
    m_answers.clear();
}
