#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "WYSCHelper/CFileSharer.h"
#include "WYSCHelper/CWYSCURLBase.h"
#include "Wayscribe/tools/dialogs/COptionsDialog.h"
#include "Wayscribe/tools/dialogs/CUpDownControl.h"
#include "Wayscribe/tools/help/Help.h"
#include "common/DiskUsageText.h"
#include "common/StringConvert.h"
#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/DispatchStubs.h"
#include "tests/tools/dialogs/DialogTesting.h"

namespace wys::test {
namespace {

// Records the four settings as they stand at every settings event, so that
// the order of the writes shows.
class CSettingsSink final : public CComObjectRoot<CSettingsSink, CDispatchNoTypeInfo<IWYSCURLBaseEvents>> {
public:
    explicit CSettingsSink(IWYSCURLBase* base) : m_base(base) {}
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id != DISPID_OnSettingsChanged)
            return S_OK;
        VARIANT_BOOL collect = 0, titled = 0;
        LONGLONG range = 0;
        CComBSTR folder;
        m_base->get_CollectHistory(&collect);
        m_base->get_TitledFileNames(&titled);
        m_base->get_BaseDirectory(&folder);
        m_base->get_HistoricalRange(&range);
        std::string folderText = BstrToNarrowZ(folder);
        m_states.push_back(std::string(collect ? "collect" : "-") + " " + (titled ? "titled" : "-") + " " +
                           std::filesystem::path(folderText).filename().string() + " " +
                           std::to_string(range));
        return S_OK;
    }
    std::vector<std::string> m_states;

private:
    IWYSCURLBase* m_base;  // the server's object; outlives the advice
};

class OptionsDialog : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        if (HasFatalFailure())
            return;
        StartServer();
        m_server->Run([](IWYSCURLBase* base) {
            base->put_CollectHistory(VARIANT_FALSE);
            base->put_TitledFileNames(VARIANT_TRUE);
            base->put_HistoricalRange(90061);
        });
    }

    void TearDown() override
    {
        COptionsDialog::SetFolderPicker(nullptr);
        DialogTest::TearDown();
    }

    // Opens the dialog and watches the settings events while it is open.
    std::unique_ptr<COptionsDialog> Open()
    {
        m_server->Run([this](IWYSCURLBase* base) {
            m_sink.Attach(CreateComObject<CSettingsSink>(base));
            ASSERT_EQ(m_connection.Advise(base, DIID_IWYSCURLBaseEvents, m_sink->GetUnknown()), S_OK);
        });
        auto dialog = std::make_unique<COptionsDialog>();
        dialog->show();
        return dialog;
    }

    std::vector<std::string> States()
    {
        std::vector<std::string> states;
        m_server->Run([&](IWYSCURLBase*) {
            states = m_sink->m_states;
            m_connection.Unadvise();
            m_sink = nullptr;
        });
        return states;
    }

    static QString Text(QWidget* dialog, int id) { return Control<QLineEdit>(dialog, id)->text(); }

    ComPtr<CSettingsSink> m_sink;
    CAdvisedConnection m_connection;
};

TEST_F(OptionsDialog, OpensWithTheUrlBaseSettings)
{
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), "Trailbook Pro Options");
    EXPECT_TRUE(dialog->IsConnected());
    EXPECT_EQ(Text(dialog.get(), 203).toStdString(), History());
    EXPECT_FALSE(Control<QCheckBox>(dialog.get(), 202)->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(dialog.get(), 242)->isChecked());
    // 90061 seconds: 1 day, 1 hour, 1 minute, 1 second.
    for (int id : {217, 218, 219, 220})
        EXPECT_EQ(Text(dialog.get(), id), "1") << id;
    const struct {
        int spin, upper;
    } spins[] = {{224, 360}, {222, 24}, {225, 60}, {226, 60}};
    for (const auto& s : spins) {
        auto* spin = Control<CUpDownControl>(dialog.get(), s.spin);
        EXPECT_EQ(spin->Lower(), 0) << s.spin;
        EXPECT_EQ(spin->Upper(), s.upper) << s.spin;
    }
    EXPECT_EQ(Control<QPushButton>(dialog.get(), 204)->text(), "Browse...");
    EXPECT_EQ(Control<QPushButton>(dialog.get(), 9)->text(), "Help");
    Control<QCheckBox>(dialog.get(), 202)->setChecked(true);
    RunEventsFor(std::chrono::milliseconds(300));
    EXPECT_FALSE(SaveDialogScreenshot(dialog.get(), "options-dialog").isEmpty());
    States();
}

TEST_F(OptionsDialog, ShowsTheVisitsAndWhatTheirSavedCopiesTakeOnDisk)
{
    // Three visits of one site: their pages share a style sheet and a logo.
    const std::string sheet(60000, 's');
    const std::string logo(150000, 'l');
    for (int i = 0; i < 3; ++i) {
        const std::string stem = "2024/May/1/" + std::to_string(i) + "h 0m 0s";
        WriteFile(History() + "/" + stem + "_files/style.css", sheet);
        WriteFile(History() + "/" + stem + "_files/logo.png", logo);
        WriteFile(History() + "/" + stem + "_files/photo.jpg",
                  std::string(40000 + i, static_cast<char>('a' + i)));
        ASSERT_EQ(
            m_server->AddVisit(1700000000 + i, "http://docs/" + std::to_string(i), stem + ".htm", "Page"),
            S_OK);
    }
    ULONGLONG onDisk = 0;
    ULONGLONG withoutSharing = 0;
    m_server->Run([&](IWYSCURLBase* base) {
        CWYSCURLBase& object = *static_cast<CWYSCURLBase*>(base);
        ASSERT_TRUE(object.FileSharer()->WaitUntilIdle(std::chrono::seconds(30)));
        ASSERT_EQ(object.GetDiskUsage(&onDisk, &withoutSharing), S_OK);
    });
    EXPECT_LT(onDisk * 2, withoutSharing);

    auto dialog = Open();
    const QString text = Control<QLabel>(dialog.get(), 250)->text();
    EXPECT_EQ(text.toStdString(), wys::DiskUsageText(3, onDisk, withoutSharing));
    EXPECT_TRUE(text.startsWith("3 visits, ")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(" without sharing")) << text.toStdString();
    RunEventsFor(std::chrono::milliseconds(300));
    EXPECT_FALSE(SaveDialogScreenshot(dialog.get(), "options-dialog-disk-use").isEmpty());
    States();
}

TEST_F(OptionsDialog, CollectHistoryEnablesTheFolderAndTimeControlsWithinAQuarterSecond)
{
    auto dialog = Open();
    const int ruled[] = {203, 204, 217, 218, 219, 220, 224, 222, 225, 226};
    for (int id : ruled)
        EXPECT_FALSE(Control(dialog.get(), id)->isEnabled()) << id;
    EXPECT_TRUE(Control(dialog.get(), 242)->isEnabled());

    Control<QCheckBox>(dialog.get(), 202)->setChecked(true);
    RunEventsFor(std::chrono::milliseconds(300));
    for (int id : ruled)
        EXPECT_TRUE(Control(dialog.get(), id)->isEnabled()) << id;

    Control<QCheckBox>(dialog.get(), 202)->setChecked(false);
    RunEventsFor(std::chrono::milliseconds(300));
    for (int id : ruled)
        EXPECT_FALSE(Control(dialog.get(), id)->isEnabled()) << id;
    EXPECT_TRUE(Control(dialog.get(), 242)->isEnabled());
    States();
}

TEST_F(OptionsDialog, OkWritesAllFourSettingsInOrder)
{
    auto dialog = Open();
    const std::string moved = m_home.Path() + "/moved";
    Control<QCheckBox>(dialog.get(), 202)->setChecked(true);
    Control<QCheckBox>(dialog.get(), 242)->setChecked(false);
    Control<QLineEdit>(dialog.get(), 203)->setText(QString::fromStdString(moved));
    Control<QLineEdit>(dialog.get(), 217)->setText("2");
    Control<QPushButton>(dialog.get(), 1)->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());

    const std::int64_t range = 2 * 86400 + 3600 + 60 + 1;
    EXPECT_EQ(States(), (std::vector<std::string>{
                            "collect titled history 90061",
                            "collect - history 90061",
                            "collect - moved 90061",
                            "collect - moved " + std::to_string(range),
                        }));
    EXPECT_EQ(m_server->CollectHistory(), VARIANT_TRUE);
    EXPECT_EQ(m_server->TitledFileNames(), VARIANT_FALSE);
    EXPECT_EQ(m_server->BaseDirectory(), moved);
    EXPECT_TRUE(std::filesystem::is_directory(moved));
    EXPECT_EQ(m_server->HistoricalRange(), range);
}

TEST_F(OptionsDialog, KeepTimeBeyondTheSpinLimitsIsKeptAsTyped)
{
    auto dialog = Open();
    Control<QCheckBox>(dialog.get(), 202)->setChecked(true);
    RunEventsFor(std::chrono::milliseconds(300));
    auto* hours = Control<QLineEdit>(dialog.get(), 218);
    hours->clear();
    QTest::keyClicks(hours, "4x8");  // digits only: the letter does not go in
    EXPECT_EQ(hours->text(), "48");
    // Text put in by other means than typing counts as 0.
    Control<QLineEdit>(dialog.get(), 220)->setText("many");
    Control<QPushButton>(dialog.get(), 1)->click();
    EXPECT_EQ(m_server->HistoricalRange(), 86400 + 48 * 3600 + 60);
    States();
}

TEST_F(OptionsDialog, SpinControlsStepTheirEditWithinTheirRange)
{
    auto dialog = Open();
    Control<QCheckBox>(dialog.get(), 202)->setChecked(true);
    RunEventsFor(std::chrono::milliseconds(300));
    auto* hours = Control<QLineEdit>(dialog.get(), 218);
    auto* spin = Control<CUpDownControl>(dialog.get(), 222);
    hours->setText("48");
    spin->StepBy(1);
    EXPECT_EQ(hours->text(), "24") << "the spin stops at its upper limit";
    spin->StepBy(-1);
    EXPECT_EQ(hours->text(), "23");
    hours->setFocus();
    QTest::keyClick(hours, Qt::Key_Up);
    EXPECT_EQ(hours->text(), "24");
    QTest::keyClick(hours, Qt::Key_Up);
    EXPECT_EQ(hours->text(), "24");
    auto* seconds = Control<QLineEdit>(dialog.get(), 220);
    seconds->setText("0");
    QTest::keyClick(seconds, Qt::Key_Down);
    EXPECT_EQ(seconds->text(), "0");
    seconds->setText("");
    Control<CUpDownControl>(dialog.get(), 226)->StepBy(5);
    EXPECT_EQ(seconds->text(), "5");
    States();
}

TEST_F(OptionsDialog, BrowseAsksForAFolderWithItsTitle)
{
    std::vector<QString> titles;
    std::optional<QString> answer = QString::fromStdString(m_home.Path() + "/picked");
    COptionsDialog::SetFolderPicker([&](QWidget* owner, const QString& title) {
        EXPECT_NE(owner, nullptr);
        titles.push_back(title);
        return answer;
    });
    auto dialog = Open();
    Control<QCheckBox>(dialog.get(), 202)->setChecked(true);
    RunEventsFor(std::chrono::milliseconds(300));
    Control<QPushButton>(dialog.get(), 204)->click();
    EXPECT_EQ(Text(dialog.get(), 203).toStdString(), m_home.Path() + "/picked");
    answer.reset();
    Control<QPushButton>(dialog.get(), 204)->click();
    EXPECT_EQ(Text(dialog.get(), 203).toStdString(), m_home.Path() + "/picked") << "cancelled: left alone";
    EXPECT_EQ(titles,
              (std::vector<QString>{"Select folder for History files", "Select folder for History files"}));
    States();
}

TEST_F(OptionsDialog, AFolderThatCannotBeMadeIsRefusedAndNothingIsWritten)
{
    WriteFile(m_home.Path() + "/a-file", "x");
    auto dialog = Open();
    for (const std::string& bad :
         {m_home.Path() + "/a-file/history", std::string("relative/history"), std::string()}) {
        Control<QLineEdit>(dialog.get(), 203)->setText(QString::fromStdString(bad));
        Control<QLineEdit>(dialog.get(), 217)->setText("9");
        Control<QPushButton>(dialog.get(), 1)->click();
        EXPECT_TRUE(dialog->isVisible()) << bad;
        ASSERT_EQ(m_boxes->Count(), 1u) << bad;
        EXPECT_NE(m_boxes->Shown()[0].text.find("cannot be created"), std::string::npos);
        m_boxes->Clear();
    }
    EXPECT_EQ(m_server->BaseDirectory(), History());
    EXPECT_EQ(m_server->HistoricalRange(), 90061);
    EXPECT_TRUE(States().empty());
}

TEST_F(OptionsDialog, CancelWritesNothing)
{
    auto dialog = Open();
    Control<QCheckBox>(dialog.get(), 202)->setChecked(true);
    Control<QLineEdit>(dialog.get(), 217)->setText("5");
    Control<QPushButton>(dialog.get(), 2)->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(States().empty());
    EXPECT_EQ(m_server->CollectHistory(), VARIANT_FALSE);
}

TEST_F(OptionsDialog, WithoutTheUrlBaseItOpensEmptyAndOkOnlyCloses)
{
    m_server->Revoke();
    auto dialog = Open();
    EXPECT_FALSE(dialog->IsConnected());
    EXPECT_TRUE(Text(dialog.get(), 203).isEmpty());
    EXPECT_FALSE(Control<QCheckBox>(dialog.get(), 242)->isChecked());
    for (int id : {217, 218, 219, 220})
        EXPECT_TRUE(Text(dialog.get(), id).isEmpty()) << id;
    Control<QCheckBox>(dialog.get(), 202)->setChecked(true);
    Control<QPushButton>(dialog.get(), 1)->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(States().empty());
    EXPECT_EQ(m_server->CollectHistory(), VARIANT_FALSE);
}

TEST_F(OptionsDialog, HelpOpensTheOptionsTopicAndF1ShowsTheControlsPopup)
{
    std::vector<std::string> started;
    auto previous = Help::SetProcessStarter([&](const std::string& line) {
        started.push_back(line);
        return true;
    });
    const std::string helpPath = Help::GetHelpPath();
    Help::SetHelpPath(WYS_HELP_DIR);
    auto dialog = Open();
    Control<QPushButton>(dialog.get(), 9)->click();
    EXPECT_EQ(started, std::vector<std::string>{"hh.exe mk:@MSITStore:" WYS_HELP_DIR "::/optionsd.htm"});

    QApplication::setActiveWindow(dialog.get());
    Control<QCheckBox>(dialog.get(), 202)->setChecked(true);
    RunEventsFor(std::chrono::milliseconds(300));
    EXPECT_EQ(ShownHelpPopup(), nullptr);
    auto* hours = Control<QLineEdit>(dialog.get(), 218);
    hours->setFocus();
    QTest::keyClick(hours, Qt::Key_F1);
    EXPECT_NE(ShownHelpPopup(), nullptr);
    EXPECT_TRUE(started.size() == 1u) << "a popup, not the viewer";
    if (QWidget* popup = ShownHelpPopup())
        popup->close();
    Help::SetHelpPath(helpPath);
    Help::SetProcessStarter(previous);
    States();
}

}  // namespace
}  // namespace wys::test
