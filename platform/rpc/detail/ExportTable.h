// The objects one side of a connection has handed to its peer, each with
// the references the peer holds on it. Private to the runtime.
//
// An object has one entry (one identifier) however often it is sent; each
// sending counts one reference, and the peer gives references back in
// release messages. Releasing an object may run arbitrary code (its
// destructor), so entries leave the table before their references go.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/com/ComPtr.h"

namespace wys::rpc {

class CExportTable {
public:
    // Counts one more reference of the peer on the object `identity`, whose
    // interface `iid` is `typed`; returns the object's identifier.
    std::uint64_t Add(const ComPtr<IUnknown>& identity, REFIID iid, const ComPtr<IUnknown>& typed);
    // The object's interface `iid`, asked of the object once and then kept.
    // Null with CO_E_OBJNOTCONNECTED for an unknown object, or with the
    // object's QueryInterface failure.
    ComPtr<IUnknown> Interface(std::uint64_t id, REFIID iid, HRESULT* result);
    // Gives back `count` references; false when the peer held fewer (the
    // table is unchanged then).
    bool Release(std::uint64_t id, std::uint32_t count);
    // Lets go of every object.
    void Clear();
    bool Empty() const { return m_entries.empty(); }

private:
    struct Entry {
        ComPtr<IUnknown> identity;
        std::uint32_t references = 0;
        std::vector<std::pair<IID, ComPtr<IUnknown>>> interfaces;
    };

    std::uint64_t m_nextId = 1;
    std::unordered_map<std::uint64_t, Entry> m_entries;
    std::unordered_map<IUnknown*, std::uint64_t> m_ids;
};

}  // namespace wys::rpc
