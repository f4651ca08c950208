#include "hosts/history/CHistoryEventSink.h"

#include <string>

#include "hosts/history/HistoryText.h"

namespace wys::history {

HRESULT CHistoryEventSink::OnDataAdded(LONG index)
{
    ++m_added;
    Visit("added", static_cast<ULONG>(index));
    return S_OK;
}

HRESULT CHistoryEventSink::OnDataBeforeRemove(LONG index)
{
    ++m_removing;
    Visit("removing", static_cast<ULONG>(index));
    return S_OK;
}

HRESULT CHistoryEventSink::OnSettingsChanged()
{
    ++m_settingsChanged;
    if (m_out)
        CompleteLine(ReserveLine(), "settings-changed");
    return S_OK;
}

void CHistoryEventSink::Visit(const char* event, ULONG index)
{
    if (m_out) {
        std::uint64_t place = ReserveLine();
        CompleteLine(place, VisitText(event, index));
    }
}

std::string CHistoryEventSink::VisitText(const char* event, ULONG index)
{
    std::string line = std::string(event) + '\t' + std::to_string(index) + '\t';
    // Other events may arrive while this call waits for its answer.
    CUrlDateHolder visit;
    if (m_history && SUCCEEDED(m_history->GetData(visit.Receive(), index)))
        line += VisitLine(visit);
    else
        line += "(the visit could not be read)";
    return line;
}

std::uint64_t CHistoryEventSink::ReserveLine()
{
    m_lines.emplace_back();
    return m_firstLine + m_lines.size() - 1;
}

void CHistoryEventSink::CompleteLine(std::uint64_t place, std::string line)
{
    m_lines[static_cast<std::size_t>(place - m_firstLine)] = std::move(line);
    bool wrote = false;
    while (!m_lines.empty() && m_lines.front()) {
        *m_out << *m_lines.front() << '\n';
        m_lines.pop_front();
        ++m_firstLine;
        wrote = true;
    }
    // Watchers read line by line through pipes: each event as it comes.
    if (wrote)
        m_out->flush();
}

}  // namespace wys::history
