#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/ui/CConsoleMessageBoxPresenter.h"
#include "platform/ui/CRecordingMessageBoxPresenter.h"
#include "platform/ui/MessageBox.h"

namespace {

std::string ReadAll(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char buffer[256];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file))
        text.append(buffer, n);
    return text;
}

}  // namespace

TEST(MessageBox, DefaultButtonFollowsSetAndDefButtonFlag)
{
    struct Case {
        UINT type;
        int expected;
    } cases[] = {
        {MB_OK, IDOK},
        {MB_OK | MB_DEFBUTTON2, IDOK},  // past the end of the set: first button
        {MB_OKCANCEL, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3 | MB_ICONQUESTION, IDCANCEL},
        {MB_YESNOCANCEL | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON4, IDYES},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
        {MB_RETRYCANCEL, IDRETRY},
        {MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, IDCONTINUE},
        {0x0000000F, IDOK},  // unknown set behaves as MB_OK
        {MB_ICONERROR, IDOK},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MessageBoxDefaultButton(c.type), c.expected) << std::hex << "type 0x" << c.type;
}

TEST(MessageBox, NullTextAndCaptionGetDefaults)
{
    auto recorder = std::make_shared<CRecordingMessageBoxPresenter>();
    ScopedMessageBoxPresenter scope(recorder);
    int owner = 0;
    EXPECT_EQ(MessageBoxA(&owner, nullptr, nullptr, MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(MessageBox(nullptr, "Specify one or more search flags (URL, Title, Content)", "", MB_OK), IDOK);
    const auto shown = recorder->Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].owner, &owner);
    EXPECT_EQ(shown[0].text, "");
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].type, MB_OK | MB_ICONERROR);
    EXPECT_EQ(shown[1].caption, "");  // an empty caption stays empty
    EXPECT_EQ(shown[1].text, "Specify one or more search flags (URL, Title, Content)");
}

TEST(MessageBox, RecordingPresenterUsesScriptedAnswersInOrder)
{
    auto recorder = std::make_shared<CRecordingMessageBoxPresenter>();
    ScopedMessageBoxPresenter scope(recorder);
    recorder->PushAnswer(IDNO);
    recorder->PushAnswer(IDYES);  // not a button of MB_OKCANCEL: default instead
    const UINT confirm = MB_YESNOCANCEL | MB_DEFBUTTON3 | MB_ICONQUESTION;
    EXPECT_EQ(MessageBoxA(nullptr, "Remove selected item ?", "Confirm", confirm), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "b", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "c", "c", confirm), IDCANCEL);  // queue empty: default
    const auto shown = recorder->Shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].answer, IDNO);
    EXPECT_EQ(shown[1].answer, IDCANCEL);
    EXPECT_EQ(shown[2].answer, IDCANCEL);
}

TEST(MessageBox, ScopedPresenterRestoresThePreviousOne)
{
    const auto before = GetMessageBoxPresenter();
    auto outer = std::make_shared<CRecordingMessageBoxPresenter>();
    {
        ScopedMessageBoxPresenter first(outer);
        {
            ScopedMessageBoxPresenter second(std::make_shared<CRecordingMessageBoxPresenter>());
            MessageBoxA(nullptr, "inner", "x", MB_OK);
        }
        MessageBoxA(nullptr, "outer", "x", MB_OK);
        EXPECT_EQ(GetMessageBoxPresenter(), outer);
    }
    EXPECT_EQ(GetMessageBoxPresenter(), before);
    ASSERT_EQ(outer->Count(), 1u);
    EXPECT_EQ(outer->Shown()[0].text, "outer");
}

TEST(ConsoleMessageBoxPresenter, WritesCaptionTextAndAnswer)
{
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        auto console = std::make_shared<CConsoleMessageBoxPresenter>(out);
        ScopedMessageBoxPresenter scope(console);
        EXPECT_EQ(MessageBoxA(nullptr, "WYSCHelper Import Failed", "Error", MB_OK | MB_ICONERROR), IDOK);
        console->SetAnswer(IDNO);
        EXPECT_EQ(MessageBoxA(nullptr, "Remove selected item ?", "Confirm", MB_YESNOCANCEL | MB_DEFBUTTON3),
                  IDNO);
        // IDNO is not offered by an OK box: it gets its default button.
        EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OKCANCEL), IDOK);
        console->SetAnswer(std::nullopt);
        EXPECT_EQ(MessageBoxA(nullptr, "Remove selected item ?", "Confirm", MB_YESNOCANCEL | MB_DEFBUTTON3),
                  IDCANCEL);
    }
    const std::string text = ReadAll(out);
    std::fclose(out);
    EXPECT_NE(text.find("[Error] WYSCHelper Import Failed\n(OK) -> OK\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Confirm] Remove selected item ?\n(Yes / No / Cancel) -> No\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("(Yes / No / Cancel) -> Cancel\n"), std::string::npos) << text;
}
