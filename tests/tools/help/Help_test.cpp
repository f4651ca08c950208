#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWhatsThis>

#include <string>
#include <vector>

#include "Wayscribe/tools/help/CAboutDialog.h"
#include "Wayscribe/tools/help/CHelpViewer.h"
#include "Wayscribe/tools/help/Help.h"
#include "Wayscribe/tools/help/HelpMaps.h"
#include "platform/registry/Registry.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/TempHome.h"

namespace {

const std::string kHelpFolder = WYS_HELP_DIR;

// Sets HelpPath under one hive, of any type and bytes.
void SetValue(HKEY hive, DWORD type, const std::string& bytes)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(hive, Help::kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, Help::kHelpPathValue, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::string Sz(const std::string& text)
{
    return text + std::string(1, '\0');
}

// The popup QWhatsThis shows, when one is up.
QWidget* ShownPopup()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && QByteArray(widget->metaObject()->className()) == "QWhatsThat")
            return widget;
    }
    return nullptr;
}

class HelpTest : public wys::test::TempHomeTest {
protected:
    void SetUp() override { wys::test::EnsureApplication(); }
    void TearDown() override
    {
        Help::SetHelpPath("");
        Help::SetProcessStarter(nullptr);
        QWhatsThis::hideText();
    }
};

TEST_F(HelpTest, HelpPathComesFromTheUserThenTheMachine)
{
    struct Case {
        const char* name;
        std::vector<std::pair<HKEY, std::pair<DWORD, std::string>>> values;
        std::string expected;
    };
    const std::string longest(259, 'x');
    const std::vector<Case> cases = {
        {"none", {}, ""},
        {"user only", {{HKEY_CURRENT_USER, {REG_SZ, Sz("/home/u/help")}}}, "/home/u/help"},
        {"machine only",
         {{HKEY_LOCAL_MACHINE, {REG_SZ, Sz("/usr/share/wayscribe/help")}}},
         "/usr/share/wayscribe/help"},
        {"user wins",
         {{HKEY_CURRENT_USER, {REG_SZ, Sz("/user")}}, {HKEY_LOCAL_MACHINE, {REG_SZ, Sz("/machine")}}},
         "/user"},
        // Read successfully though empty: the machine is not asked.
        {"user empty",
         {{HKEY_CURRENT_USER, {REG_SZ, Sz("")}}, {HKEY_LOCAL_MACHINE, {REG_SZ, Sz("/machine")}}},
         ""},
        {"up to the first NUL", {{HKEY_CURRENT_USER, {REG_SZ, std::string("/a\0/b", 5)}}}, "/a"},
        {"without NUL", {{HKEY_CURRENT_USER, {REG_SZ, "/no-terminator"}}}, "/no-terminator"},
        {"expandable", {{HKEY_CURRENT_USER, {REG_EXPAND_SZ, Sz("/x")}}}, "/x"},
        {"longest", {{HKEY_CURRENT_USER, {REG_SZ, Sz(longest)}}}, longest},
        // Not a string, or too long to read: as if it were missing.
        {"number",
         {{HKEY_CURRENT_USER, {REG_DWORD, "\x01\0\0\0"}}, {HKEY_LOCAL_MACHINE, {REG_SZ, Sz("/m")}}},
         "/m"},
        {"too long", {{HKEY_CURRENT_USER, {REG_SZ, Sz(longest + "y")}}}, ""},
    };
    for (const Case& c : cases) {
        wys::test::TempHome home;
        for (const auto& [hive, value] : c.values)
            SetValue(hive, value.first, value.second);
        Help::SetHelpPath("stale");
        Help::ReadHelpPath();
        EXPECT_EQ(Help::GetHelpPath(), c.expected) << c.name;
    }
}

TEST_F(HelpTest, TopicsOpenInTheViewerByItsCommandLine)
{
    std::vector<std::string> started;
    Help::SetProcessStarter([&](const std::string& line) {
        started.push_back(line);
        return true;
    });
    SetValue(HKEY_LOCAL_MACHINE, REG_SZ, Sz("/opt/way scribe/help"));
    Help::ReadHelpPath();
    Help::OpenHelpTopic(Help::kIndexTopic);
    Help::SetHelpPath("");
    Help::OpenHelpTopic(Help::kOptionsTopic);
    EXPECT_EQ(started, (std::vector<std::string>{"hh.exe mk:@MSITStore:/opt/way scribe/help::/About.htm",
                                                 "hh.exe mk:@MSITStore:::/optionsd.htm"}));

    // The viewer program understands that command line.
    const QString program = QString::fromStdString(Help::HelpViewerProgram());
    ASSERT_FALSE(program.isEmpty());
    auto run = [&](const std::string& helpPath, const std::string& topic, QString* title) {
        const std::string line = Help::HelpViewerCommandLine(helpPath, topic);
        QProcess viewer;
        viewer.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        viewer.start(program, {"--print-title", "-platform", "offscreen",
                               QString::fromStdString(line.substr(std::string("hh.exe ").size()))});
        EXPECT_TRUE(viewer.waitForFinished(30000));
        *title = QString::fromUtf8(viewer.readAllStandardOutput()).trimmed();
        return viewer.exitCode();
    };
    QString title;
    EXPECT_EQ(run(kHelpFolder, "optionsd.htm", &title), 0);
    EXPECT_EQ(title, "Options - Wayscribe Help");
    EXPECT_EQ(run(kHelpFolder, "missing.htm", &title), 1);
    EXPECT_EQ(run("", "About.htm", &title), 1);
}

TEST_F(HelpTest, TheViewerShowsOnlyTopicsInsideTheHelpFolder)
{
    const HelpCommand command = ParseHelpCommand("mk:@MSITStore:/opt/a b::/c::/About.htm");
    EXPECT_TRUE(command.valid);
    EXPECT_EQ(command.helpPath, "/opt/a b::/c");
    EXPECT_EQ(command.topic, "About.htm");
    EXPECT_FALSE(ParseHelpCommand("/opt/help::/About.htm").valid);
    EXPECT_FALSE(ParseHelpCommand("mk:@MSITStore:/opt/help").valid);
    const HelpCommand empty = ParseHelpCommand("mk:@MSITStore:::/optionsd.htm");
    EXPECT_TRUE(empty.valid);
    EXPECT_EQ(empty.helpPath, "");

    EXPECT_EQ(ResolveHelpTopic(kHelpFolder, "About.htm").toStdString(), kHelpFolder + "/About.htm");
    // A help path naming a file stands for its folder.
    EXPECT_EQ(ResolveHelpTopic(kHelpFolder + "/topics.txt", "optionsd.htm").toStdString(),
              kHelpFolder + "/optionsd.htm");
    for (const char* outside :
         {"../../CMakeCache.txt", "../help-other/About.htm", "/etc/passwd", "missing.htm", ""})
        EXPECT_TRUE(ResolveHelpTopic(kHelpFolder, outside).isEmpty()) << outside;

    CHelpViewer viewer;
    ASSERT_TRUE(viewer.OpenTopic(kHelpFolder, "About.htm"));
    EXPECT_EQ(viewer.windowTitle(), "Contents - Wayscribe Help");
    EXPECT_TRUE(viewer.GetBrowser()->toPlainText().contains("Trailbook Pro"));
    viewer.GetBrowser()->setSource(QUrl("optionsd.htm"));
    EXPECT_EQ(viewer.windowTitle(), "Options - Wayscribe Help");

    EXPECT_FALSE(viewer.OpenTopic(kHelpFolder, "../x.htm"));
    EXPECT_EQ(viewer.windowTitle(), "Wayscribe Help");
    EXPECT_TRUE(viewer.GetBrowser()->toPlainText().contains("is not in the help folder"))
        << viewer.GetBrowser()->toPlainText().toStdString();
    EXPECT_FALSE(viewer.OpenCommand("mk:@MSITStore:::/About.htm"));
    EXPECT_TRUE(viewer.GetBrowser()->toPlainText().contains("No help is installed"));

    ASSERT_TRUE(viewer.OpenTopic(kHelpFolder, "About.htm"));
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    EXPECT_FALSE(wys::test::SaveScreenshot(&viewer, "help-viewer").isEmpty());
}

TEST_F(HelpTest, PopupTopicsAreReadFromTheTopicFileByNumber)
{
    const std::string file =
        ".topic 1001\nFirst line\ncontinued.\n\nSecond paragraph.\n"
        ".topic 10010\nNot 1001.\n"
        "  .topic 1002  \r\n  Windows line ends.\r\n";
    EXPECT_EQ(Help::PopupTopicText(file, 1001), "First line continued.\nSecond paragraph.");
    EXPECT_EQ(Help::PopupTopicText(file, 10010), "Not 1001.");
    EXPECT_EQ(Help::PopupTopicText(file, 1002), "Windows line ends.");
    EXPECT_EQ(Help::PopupTopicText(file, 1003), "");
    EXPECT_EQ(Help::PopupTopicText(".topic 99999999999999999999\nHuge.\n", 1), "");

    // Every control of both maps has its text in the help set.
    std::string shipped;
    {
        QFile topics(QString::fromStdString(kHelpFolder + "/topics.txt"));
        ASSERT_TRUE(topics.open(QIODevice::ReadOnly));
        shipped = topics.readAll().toStdString();
    }
    for (const DWORD* map : {Help::kExportHelpIds, Help::kOptionsHelpIds}) {
        for (const DWORD* pair = map; pair[0] || pair[1]; pair += 2)
            EXPECT_FALSE(Help::PopupTopicText(shipped, pair[1]).empty()) << "control " << pair[0];
    }
}

TEST_F(HelpTest, ContextHelpShowsTheControlsPopupOnlyWhenEverythingIsThere)
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* folder = new QLineEdit(&dialog);
    folder->setObjectName("203");
    auto* days = new QSpinBox(&dialog);
    days->setObjectName("217");
    auto* other = new QLineEdit(&dialog);
    other->setObjectName("999");
    layout->addWidget(folder);
    layout->addWidget(days);
    layout->addWidget(other);
    Help::InstallContextHelp(&dialog, Help::kOptionsHelpIds);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    // No help path: nothing.
    EXPECT_FALSE(Help::ShowContextHelp(folder, 203, Help::kOptionsHelpIds));
    EXPECT_EQ(ShownPopup(), nullptr);

    Help::SetHelpPath(kHelpFolder);
    EXPECT_FALSE(Help::ShowContextHelp(nullptr, 203, Help::kOptionsHelpIds));
    EXPECT_FALSE(Help::ShowContextHelp(folder, 203, nullptr));
    EXPECT_FALSE(Help::ShowContextHelp(other, 999, Help::kOptionsHelpIds));
    EXPECT_EQ(ShownPopup(), nullptr);
    EXPECT_TRUE(Help::ShowContextHelp(folder, 203, Help::kOptionsHelpIds));
    EXPECT_NE(ShownPopup(), nullptr);
    QWhatsThis::hideText();

    // F1 on the focused control, or inside a spin box's own edit.
    days->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    EXPECT_NE(ShownPopup(), nullptr);
    QWhatsThis::hideText();
    other->setFocus();
    QTest::keyClick(other, Qt::Key_F1);
    EXPECT_EQ(ShownPopup(), nullptr);

    // A help folder without the topic file: nothing.
    Help::SetHelpPath(m_home.Path());
    EXPECT_FALSE(Help::ShowContextHelp(folder, 203, Help::kOptionsHelpIds));
}

TEST_F(HelpTest, AboutShowsTheBandLibrarysVersion)
{
    EXPECT_EQ(FormatProductVersion(ProductVersion::Of(1, 4, 0, 0)), "1.4.0.0");
    EXPECT_EQ(FormatProductVersion(ProductVersion::Of(65535, 2, 300, 65535)), "65535.2.300.65535");
    EXPECT_EQ(FormatProductVersion(std::nullopt), "");

    CAboutDialog about(nullptr, ProductVersion::Of(1, 4, 0, 0));
    EXPECT_EQ(about.windowTitle(), "About Trailbook Pro");
    EXPECT_EQ(about.findChild<QLabel*>("263")->text(), "1.4.0.0");
    auto* link = about.findChild<QLabel*>("1018");
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->openExternalLinks());
    EXPECT_TRUE(link->text().contains(CAboutDialog::kWebAddress));
    auto* ok = about.findChild<QPushButton*>("1");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->text(), "OK");

    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_FALSE(wys::test::SaveScreenshot(&about, "about").isEmpty());
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    about.show();
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);

    CAboutDialog unversioned(nullptr, std::nullopt);
    EXPECT_EQ(unversioned.findChild<QLabel*>("263")->text(), "");
    CAboutDialog built;
    EXPECT_EQ(built.findChild<QLabel*>("263")->text(), "1.0.0.0");
}

}  // namespace
