// A calendar under test: a root with a tree data view and a mirror of the
// rows a window would show, in UTC, with helpers to make visits and to read
// the whole model back as text.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/historymodel/CDataItem.h"
#include "Wayscribe/historymodel/CTreeDataView.h"
#include "tests/AdvancedTree/CTreeMirror.h"
#include "tests/historymodel/HistoryFakes.h"

namespace wys::test {

class CalendarTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh empty tree, expanded root, view and mirror bound to it.
    void Reset();

    // Seconds of a UTC date and time.
    static std::int64_t At(int year, int month, int day, int hour = 12, int minute = 0, int second = 0);
    // A visit with a path made from its Url and Time.
    CDataItem Visit(std::int64_t time, const std::string& url, const std::string& title = "");

    // Every node under the root, expanded or not: two blanks per level, then
    // the text, "(empty)" for an empty one.
    std::string Model() const;
    // The mirror must hold the rows of the expanded part of the model, before
    // and after everything is expanded.
    void CheckRows(const std::string& context);
    void ExpandAll();

    CFakeProvider m_provider;
    CTreeMirror m_mirror;
    CTreeDataView m_view;
    std::unique_ptr<AdvancedTree::CSortedTreeItem> m_root;

private:
    std::string m_savedZone;
    bool m_hadZone = false;
};

}  // namespace wys::test
