#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

#include "Wayscribe/tools/widgets/CQtMessageBoxPresenter.h"
#include "platform/ui/MessageBox.h"
#include "tests/support/QtTestSupport.h"

namespace {

// Acts on the box once it is up, then reports what it saw.
struct CBoxSeen {
    QString title, text, defaultButton;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

void WhenShown(std::function<void(QMessageBox&)> act, CBoxSeen* seen)
{
    QTimer::singleShot(0, [act, seen]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return WhenShown(act, seen);
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        for (QAbstractButton* button : box->buttons())
            seen->buttons << button->text();
        seen->buttons.sort();
        seen->defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        act(*box);
    });
}

void Click(QMessageBox& box, const QString& text)
{
    for (QAbstractButton* button : box.buttons()) {
        if (button->text() == text)
            return button->click();
    }
}

TEST(CQtMessageBoxPresenter, ShowsTheBoxTheFlagsAskForAndAnswersTheChosenButton)
{
    wys::test::EnsureApplication();
    CQtMessageBoxPresenter presenter;
    CBoxSeen seen;
    WhenShown([](QMessageBox& box) { Click(box, "No"); }, &seen);
    const int answer = presenter.Show(nullptr, "Remove selected item ?", "Confirm",
                                      MB_YESNOCANCEL | MB_DEFBUTTON3 | MB_ICONQUESTION);
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(seen.title, "Confirm");
    EXPECT_EQ(seen.text, "Remove selected item ?");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, (QStringList{"Cancel", "No", "Yes"}));
    EXPECT_EQ(seen.defaultButton, "Cancel");

    // Escape answers Cancel where there is one, OK on a plain box.
    WhenShown([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, &seen);
    EXPECT_EQ(presenter.Show(nullptr, "x", "y", MB_YESNOCANCEL), IDCANCEL);
    WhenShown([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, &seen);
    EXPECT_EQ(presenter.Show(nullptr, "WYSCHelper Import Failed", "Error", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    // A Yes/No box closed without a button says No.
    WhenShown([](QMessageBox& box) { box.reject(); }, &seen);
    EXPECT_EQ(presenter.Show(nullptr, "x", "y", MB_YESNO), IDNO);
    EXPECT_EQ(seen.defaultButton, "Yes");
}

TEST(CQtMessageBoxPresenter, BoxesAskedForOnOtherThreadsAppearOnTheApplicationsThread)
{
    wys::test::EnsureApplication();
    ScopedMessageBoxPresenter scope(std::make_shared<CQtMessageBoxPresenter>());
    CBoxSeen seen;
    WhenShown([](QMessageBox& box) { Click(box, "OK"); }, &seen);
    int answer = 0;
    std::atomic<bool> done = false;
    std::thread worker([&]() {
        answer =
            MessageBoxA(nullptr, "Specify one or more search flags (URL, Title, Content)", nullptr, MB_OK);
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(seen.title, "Error");
    EXPECT_EQ(seen.text, "Specify one or more search flags (URL, Title, Content)");
}

}  // namespace
