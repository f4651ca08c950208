// The URL base's events: every advised sink is handed every event, in the
// order the events were raised, however calls nest while sinks are called.
#include <utility>
#include <vector>

#include "WYSCHelper/CWYSCURLBase.h"

namespace {

VARIANT IndexArgument(ULONG index)
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = static_cast<LONG>(index);
    return argument;
}

}  // namespace

void CWYSCURLBase::OnDataAdded(ULONG index)
{
    RaiseEvent(DISPID_OnDataAdded, {IndexArgument(index)});
}

void CWYSCURLBase::OnDataBeforeRemove(ULONG index)
{
    RaiseEvent(DISPID_OnDataBeforeRemove, {IndexArgument(index)});
}

void CWYSCURLBase::OnSettingsChanged()
{
    RaiseEvent(DISPID_OnSettingsChanged, {});
}

void CWYSCURLBase::RaiseEvent(DISPID id, std::vector<VARIANT> arguments)
{
    // A call served while a sink is being called may raise an event before
    // the one that sink handles has reached the sinks after it. So each
    // event makes a pass over the sinks in slot order, and a sink is handed
    // the events in the order they were raised: one whose earlier event is
    // still on its way waits for that event's pass, which brings it both
    // (or, when a sink before failed that one, only the later). A sink in
    // the middle of handling an event may be handed the next one at once.
    struct Raising {
        explicit Raising(CWYSCURLBase& owner) : m_owner(owner) { ++m_owner.m_raising; }
        ~Raising()
        {
            if (--m_owner.m_raising == 0) {
                m_owner.m_raisedEvents.clear();
                m_owner.m_eventsHanded.clear();
            }
        }
        CWYSCURLBase& m_owner;
    } raising(*this);
    m_raisedEvents.push_back(RaisedEvent{id, std::move(arguments)});
    const std::size_t pass = m_raisedEvents.size() - 1;
    const std::vector<ComPtr<IUnknown>> sinks = m_eventsPoint.Sinks().Snapshot();
    // A sink new to this delivery starts with this event; all are known
    // before the first is called, which may let a nested raise in.
    for (const ComPtr<IUnknown>& sink : sinks)
        m_eventsHanded.try_emplace(sink.Get(), sink, pass);
    for (const ComPtr<IUnknown>& sink : sinks)
        CatchUp(sink, pass);
    m_raisedEvents[pass].passing = false;
}

void CWYSCURLBase::CatchUp(const ComPtr<IUnknown>& sink, std::size_t pass)
{
    for (;;) {
        // Looked up afresh each time: the call below may nest further raises.
        std::size_t& handed = m_eventsHanded.at(sink.Get()).second;
        if (handed >= m_raisedEvents.size())
            return;
        const std::size_t next = handed;
        if (next != pass && m_raisedEvents[next].passing)
            return;  // that event's own pass comes here yet
        ++handed;    // the sink may be handed later events while it handles this one
        const RaisedEvent event = m_raisedEvents[next];
        if (event.stopped)
            continue;
        // Unadvised meanwhile: its client may be gone.
        if (!m_eventsPoint.Sinks().Contains(sink.Get()))
            return;
        HRESULT hr = InvokeEventSink(sink.Get(), event.id, event.arguments);
        if (FAILED(hr) && !IsSinkGone(hr))
            m_raisedEvents[next].stopped = true;  // the sinks after it do not receive it
    }
}
