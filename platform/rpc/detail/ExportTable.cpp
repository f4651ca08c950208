#include "platform/rpc/detail/ExportTable.h"

namespace wys::rpc {

std::uint64_t CExportTable::Add(const ComPtr<IUnknown>& identity, REFIID iid, const ComPtr<IUnknown>& typed)
{
    std::uint64_t id;
    if (auto found = m_ids.find(identity.Get()); found != m_ids.end()) {
        id = found->second;
    } else {
        id = m_nextId++;
        m_entries[id].identity = identity;
        m_ids[identity.Get()] = id;
    }
    Entry& entry = m_entries[id];
    entry.references += 1;
    bool known = false;
    for (const auto& [have, pointer] : entry.interfaces)
        known = known || have == iid;
    if (!known)
        entry.interfaces.emplace_back(iid, typed);
    return id;
}

ComPtr<IUnknown> CExportTable::Interface(std::uint64_t id, REFIID iid, HRESULT* result)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end()) {
        *result = CO_E_OBJNOTCONNECTED;
        return nullptr;
    }
    for (const auto& [have, pointer] : it->second.interfaces) {
        if (have == iid) {
            *result = S_OK;
            return pointer;
        }
    }
    ComPtr<IUnknown> pointer;
    *result = it->second.identity->QueryInterface(iid, pointer.PutVoid());
    if (FAILED(*result))
        return nullptr;
    // QueryInterface may have run code that changed the table.
    if (auto again = m_entries.find(id); again != m_entries.end())
        again->second.interfaces.emplace_back(iid, pointer);
    return pointer;
}

bool CExportTable::Release(std::uint64_t id, std::uint32_t count)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end() || count == 0 || count > it->second.references)
        return false;
    it->second.references -= count;
    if (it->second.references > 0)
        return true;
    Entry gone = std::move(it->second);
    m_entries.erase(it);
    m_ids.erase(gone.identity.Get());
    return true;  // `gone` releases the object here, outside the table
}

void CExportTable::Clear()
{
    auto gone = std::move(m_entries);
    m_entries.clear();
    m_ids.clear();
}

}  // namespace wys::rpc
