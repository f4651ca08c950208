// One visit of a page on a day: present under a page node only while that
// page was visited more than once that day.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "Wayscribe/historymodel/CDIInitableItem.h"

// Deletes itself when detached.
class CHMSTreeItem : public CDIInitableItem {
public:
    static constexpr int kImage = 3;

    CHMSTreeItem();

    // Keeps the record's Provider, Path, Time, Url and Title.
    void InitFromData(const CDataItem& data) override;
    // The one second of the visit, filtered by its Url.
    void Export() override;
    // Adds the visit's Path.
    void CollectPaths(std::set<std::string>& paths) override;

    // The locale's time of day; "" when Time cannot be broken down.
    std::string GetText() override;
    // The text, and below it the text around the content match for a visit
    // a search found by its saved page.
    std::string GetToolTipText() override;
    int GetImage() override { return kImage; }
    // Navigates to the visit's saved copy.
    void Open() override;

    // By Time, then Url (byte order); another class throws.
    bool IsLess(const AdvancedTree::CTreeItem* other) const override;
    bool IsEqual(const AdvancedTree::CTreeItem* other) const override;

    const std::string& GetPath() const { return m_path; }
    std::int64_t GetTime() const { return m_time; }
    const std::string& GetUrl() const { return m_url; }
    const std::string& GetTitle() const { return m_title; }
    // The visit as a record, with the node's Provider.
    CDataItem GetData() const;

private:
    std::string m_path;
    std::int64_t m_time = 0;
    std::string m_url;
    std::string m_title;
    std::string m_excerpt;
};
