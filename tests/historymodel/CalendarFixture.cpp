#include "tests/historymodel/CalendarFixture.h"

#include <cstdlib>
#include <ctime>

#include "common/LocalTime.h"

using AdvancedTree::CTreeItem;

namespace wys::test {

namespace {

void DumpAll(CTreeItem* node, int depth, std::string* out)
{
    for (CTreeItem* child : node->GetChildren()) {
        std::string text = child->GetText();
        out->append(static_cast<std::size_t>(depth) * 2, ' ');
        out->append(text.empty() ? "(empty)" : text);
        out->push_back('\n');
        DumpAll(child, depth + 1, out);
    }
}

void ExpandBelow(CTreeItem* node)
{
    node->Expand();
    for (CTreeItem* child : node->GetChildren())
        ExpandBelow(child);
}

}  // namespace

void CalendarTest::SetUp()
{
    const char* zone = std::getenv("TZ");
    m_hadZone = zone != nullptr;
    m_savedZone = zone ? zone : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    Reset();
}

void CalendarTest::TearDown()
{
    m_root.reset();
    if (m_hadZone)
        ::setenv("TZ", m_savedZone.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

void CalendarTest::Reset()
{
    m_root = std::make_unique<AdvancedTree::CSortedTreeItem>();
    m_root->Expand();
    m_mirror.SetRoot(m_root.get());
    m_view.SetRoot(m_root.get());
}

std::int64_t CalendarTest::At(int year, int month, int day, int hour, int minute, int second)
{
    return ComposeLocalTime(year, month, day, hour, minute, second);
}

CDataItem CalendarTest::Visit(std::int64_t time, const std::string& url, const std::string& title)
{
    CDataItem data;
    data.Time = time;
    data.Url = url;
    data.Path = "saved/" + url + "-" + std::to_string(time) + ".htm";
    data.Provider = &m_provider;
    data.Title = title;
    return data;
}

std::string CalendarTest::Model() const
{
    std::string out;
    if (m_root)
        DumpAll(m_root.get(), 0, &out);
    return out;
}

void CalendarTest::ExpandAll()
{
    if (m_root)
        ExpandBelow(m_root.get());
}

void CalendarTest::CheckRows(const std::string& context)
{
    EXPECT_EQ(m_mirror.Rows(), CTreeMirror::ExpectedRows(m_root.get())) << context;
    ExpandAll();
    EXPECT_EQ(m_mirror.Rows(), CTreeMirror::ExpectedRows(m_root.get())) << context << " (expanded)";
}

}  // namespace wys::test
