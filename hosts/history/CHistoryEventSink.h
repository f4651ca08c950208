// The client's sink for the history's events: counts them, and (for watch)
// prints each one with the visit it names as it arrives:
//   added<TAB>INDEX<TAB>visit line
//   removing<TAB>INDEX<TAB>visit line
//   settings-changed
// The visit is read with GetData from inside the event, while the server
// still holds it in that place. Another event may arrive while that call
// waits; each event is still written as one whole line, in the order the
// events arrived.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <ostream>
#include <string>

#include "common/CUrlBaseEventSinkBase.h"
#include "platform/com/ComObject.h"

namespace wys::history {

class CHistoryEventSink final : public CComObjectRoot<CHistoryEventSink, CUrlBaseEventSinkBase> {
public:
    // `history` must outlive the sink's advice; `out` may be null (count only)
    // and must outlive the sink otherwise. Both are not owned.
    CHistoryEventSink(IWYSCURLBase* history, std::ostream* out) : m_history(history), m_out(out) {}

    ULONG Added() const { return m_added; }
    ULONG Removing() const { return m_removing; }
    ULONG SettingsChanged() const { return m_settingsChanged; }

    // Another DISPID, or arguments that do not fit the event, fail the
    // call.
    HRESULT OnDataAdded(LONG index) override;
    HRESULT OnDataBeforeRemove(LONG index) override;
    HRESULT OnSettingsChanged() override;

private:
    // Takes the place of the next line; the lines of events that arrive
    // meanwhile come after it.
    std::uint64_t ReserveLine();
    // Fills the place and writes every line up to the first still unfilled.
    void CompleteLine(std::uint64_t place, std::string line);
    std::string VisitText(const char* event, ULONG index);
    void Visit(const char* event, ULONG index);

    IWYSCURLBase* m_history;
    std::ostream* m_out;
    ULONG m_added = 0;
    ULONG m_removing = 0;
    ULONG m_settingsChanged = 0;
    std::deque<std::optional<std::string>> m_lines;  // from place m_firstLine on
    std::uint64_t m_firstLine = 0;
};

}  // namespace wys::history
