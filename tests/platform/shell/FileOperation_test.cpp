#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/shell/FileOperation.h"
#include "platform/ui/CRecordingMessageBoxPresenter.h"
#include "platform/ui/MessageBox.h"
#include "tests/platform/shell/FileTree.h"
#include "tests/support/TempHome.h"

using wys::test::FileList;
using wys::test::MakeTree;
using wys::test::Snapshot;
using Tree = std::map<std::string, std::string>;

namespace {

// The flags of a saved copy's deletion and of an export or import copy.
constexpr FILEOP_FLAGS kDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;  // 0x0414
constexpr FILEOP_FLAGS kCopyFlags =
    FOF_MULTIDESTFILES | FOF_NOCONFIRMATION | FOF_SIMPLEPROGRESS | FOF_NOCONFIRMMKDIR;  // 0x0311

class FileOperationTest : public wys::test::TempHomeTest {
protected:
    std::string At(const std::string& relative) const { return m_home.Path() + "/t/" + relative; }

    int Run(UINT function, const std::string& from, const std::string& to, FILEOP_FLAGS flags,
            IFileOperationProgress* progress = nullptr, const char* title = nullptr)
    {
        SHFILEOPSTRUCTA op;
        op.wFunc = function;
        op.pFrom = from.c_str();
        op.pTo = to.empty() ? nullptr : to.c_str();
        op.fFlags = flags;
        op.lpszProgressTitle = title;
        op.pProgress = progress;
        op.fAnyOperationsAborted = 12345;  // must be reset by the call
        const int result = SHFileOperationA(&op);
        m_aborted = op.fAnyOperationsAborted;
        return result;
    }

    std::shared_ptr<CRecordingMessageBoxPresenter> m_boxes =
        std::make_shared<CRecordingMessageBoxPresenter>();
    ScopedMessageBoxPresenter m_boxScope{m_boxes};
    BOOL m_aborted = FALSE;
};

}  // namespace

TEST_F(FileOperationTest, DeleteTakesThePageAndItsFilesFolderOnly)
{
    const Tree before = {
        {"h/2003/November/27/p.htm", "page"},
        {"h/2003/November/27/p_files/a.png", "png"},
        {"h/2003/November/27/p_files/frames/f.htm", "frame"},
        {"h/2003/November/27/other.htm", "other"},
        {"h/2003/November/27/other_files/b.png", "b"},
        {"h/2003/November/27/p_files_old/c.png", "c"},
        {"h/2003/November/27/p.mht", "archive"},
    };
    MakeTree(At(""), before);
    wys::test::CRecordingProgress progress;
    ASSERT_EQ(Run(FO_DELETE, FileList({At("h\\2003\\November\\27\\p.htm")}), "", kDeleteFlags, &progress), 0);
    Tree expected = Snapshot(At(""));
    EXPECT_EQ(expected.count("h/2003/November/27/p.htm"), 0u);
    EXPECT_EQ(expected.count("h/2003/November/27/p_files"), 0u);
    for (const char* kept : {"h/2003/November/27/other.htm", "h/2003/November/27/other_files/b.png",
                             "h/2003/November/27/p_files_old/c.png", "h/2003/November/27/p.mht"})
        EXPECT_EQ(expected[kept], before.at(kept)) << kept;
    EXPECT_EQ(m_boxes->Count(), 0u);
    EXPECT_FALSE(m_aborted);
    // Contents before their folder, the page before its folder.
    ASSERT_EQ(progress.items.size(), 5u);
    EXPECT_EQ(progress.items.front(), "delete " + At("h/2003/November/27/p.htm"));
    EXPECT_EQ(progress.items.back(), "delete " + At("h/2003/November/27/p_files"));
}

TEST_F(FileOperationTest, ConnectedFolderFollowsPageExtensions)
{
    struct Case {
        std::string page;
        bool pageIsFolder;
        FILEOP_FLAGS extra;
        bool folderGoes;
    } cases[] = {
        {"x.htm", false, 0, true},
        {"x.html", false, 0, true},
        {"x.HTM", false, 0, true},
        {"x.mht", false, 0, true},
        {"x.mhtml", false, 0, true},
        {"x.shtml", false, 0, true},
        {"x.txt", false, 0, false},
        {"x.php", false, 0, false},
        {"x", false, 0, false},
        {"x.htm", true, 0, false},  // a folder named like a page carries nothing
        {"x.htm", false, FOF_NO_CONNECTED_ELEMENTS, false},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(At(""));
        MakeTree(At(""),
                 {{"d/x_files/r.png", "r"}, {c.pageIsFolder ? "d/" + c.page + "/" : "d/" + c.page, "p"}});
        EXPECT_EQ(Run(FO_DELETE, FileList({At("d/" + c.page)}), "", kDeleteFlags | c.extra), 0) << c.page;
        EXPECT_FALSE(std::filesystem::exists(At("d/" + c.page))) << c.page;
        EXPECT_EQ(std::filesystem::exists(At("d/x_files")), !c.folderGoes) << c.page << " flags " << c.extra;
    }
    // A file named like the companion folder is not taken along.
    std::filesystem::remove_all(At(""));
    MakeTree(At(""), {{"d/y.htm", "p"}, {"d/y_files", "not a folder"}});
    EXPECT_EQ(Run(FO_DELETE, FileList({At("d/y.htm")}), "", kDeleteFlags), 0);
    EXPECT_EQ(wys::test::ReadFile(At("d/y_files")), "not a folder");
}

TEST_F(FileOperationTest, DeleteNeverFollowsLinksOutOfTheTree)
{
    const Tree outside = {{"outside/keep.txt", "keep"}, {"outside/sub/deep.txt", "deep"}};
    MakeTree(At(""), outside);
    MakeTree(At(""), {{"h/p.htm", "page"}, {"h/p_files/a.png", "a"}});
    ASSERT_EQ(::symlink(At("outside").c_str(), At("h/p_files/folder-link").c_str()), 0);
    ASSERT_EQ(::symlink(At("outside/keep.txt").c_str(), At("h/p_files/file-link").c_str()), 0);
    ASSERT_EQ(::symlink(At("outside").c_str(), At("h/top-link").c_str()), 0);

    ASSERT_EQ(Run(FO_DELETE, FileList({At("h/p.htm"), At("h/top-link")}), "", kDeleteFlags), 0);
    EXPECT_EQ(Snapshot(At("h")), Tree{});
    Tree remaining = Snapshot(At("outside"));
    EXPECT_EQ(remaining, (Tree{{"keep.txt", "keep"}, {"sub", "<dir>"}, {"sub/deep.txt", "deep"}}));
}

TEST_F(FileOperationTest, MultipleDestinationsCopyPagesWithTheirFolders)
{
    MakeTree(At(""), {
                         {"h/2003/November/27/p.htm", "page one"},
                         {"h/2003/November/27/p_files/a.png", "png one"},
                         {"h/2003/November/27/p_files/frames/f.htm", "frame"},
                         {"h/2003/December/1/q.mht", "archive"},
                         {"h/2003/December/1/unrelated.txt", "not copied"},
                     });
    wys::test::CRecordingProgress progress;
    const std::string from = FileList({At("h/2003/November/27/p.htm"), At("h\\2003\\December\\1\\q.mht")});
    const std::string to = FileList(
        {At("backup/week_files/2003/November/27/p.htm"), At("backup/week_files/2003\\December\\1\\q.mht")});
    ASSERT_EQ(Run(FO_COPY, from, to, kCopyFlags, &progress, "Exporting History..."), 0);
    const Tree expected = {
        {"2003", "<dir>"},
        {"2003/November", "<dir>"},
        {"2003/November/27", "<dir>"},
        {"2003/November/27/p.htm", "page one"},
        {"2003/November/27/p_files", "<dir>"},
        {"2003/November/27/p_files/a.png", "png one"},
        {"2003/November/27/p_files/frames", "<dir>"},
        {"2003/November/27/p_files/frames/f.htm", "frame"},
        {"2003/December", "<dir>"},
        {"2003/December/1", "<dir>"},
        {"2003/December/1/q.mht", "archive"},
    };
    EXPECT_EQ(Snapshot(At("backup/week_files")), expected);
    EXPECT_EQ(m_boxes->Count(), 0u);
    EXPECT_EQ(progress.title, "Exporting History...");
    EXPECT_EQ(progress.flags, kCopyFlags);
    EXPECT_EQ(progress.operation, FO_COPY);
    EXPECT_EQ(progress.totalBytes, std::string("page onepng oneframearchive").size());
    EXPECT_EQ(progress.lastBytesDone, progress.totalBytes);
    EXPECT_EQ(progress.lastItemsDone, progress.totalItems);
    EXPECT_EQ(progress.totalItems, progress.items.size());
    EXPECT_EQ(progress.finalResult, S_OK);
    EXPECT_EQ(progress.finishes, 1);
}

TEST_F(FileOperationTest, CopiedFolderIsNamedAfterTheTarget)
{
    MakeTree(At(""), {{"a/p.htm", "page"}, {"a/p_files/r.css", "css"}});
    ASSERT_EQ(Run(FO_COPY, FileList({At("a/p.htm")}), FileList({At("b/renamed.html")}), kCopyFlags), 0);
    EXPECT_EQ(Snapshot(At("b")),
              (Tree{{"renamed.html", "page"}, {"renamed_files", "<dir>"}, {"renamed_files/r.css", "css"}}));
    // Listing the folder explicitly as well copies it once, to its own target.
    ASSERT_EQ(Run(FO_COPY, FileList({At("a/p.htm"), At("a/p_files")}),
                  FileList({At("c/p.htm"), At("c/other")}), kCopyFlags),
              0);
    EXPECT_EQ(Snapshot(At("c")), (Tree{{"p.htm", "page"}, {"other", "<dir>"}, {"other/r.css", "css"}}));
}

TEST_F(FileOperationTest, ExistingTargetsAreReplacedAndFoldersMerged)
{
    MakeTree(At(""),
             {{"src/p.htm", "new page"}, {"src/p_files/a.png", "new a"}, {"src/p_files/b.png", "new b"}});
    MakeTree(At(""),
             {{"dst/p.htm", "old page"}, {"dst/p_files/a.png", "old a"}, {"dst/p_files/keep.png", "keep"}});
    ASSERT_EQ(::symlink(At("outside.txt").c_str(), At("dst/p_files/b.png").c_str()), 0);
    wys::test::WriteFile(At("outside.txt"), "outside");
    ::chmod(At("src/p.htm").c_str(), 0640);
    const std::filesystem::file_time_type stamp =
        std::filesystem::last_write_time(At("src/p.htm")) - std::chrono::hours(48);
    std::filesystem::last_write_time(At("src/p.htm"), stamp);

    ASSERT_EQ(Run(FO_COPY, FileList({At("src/p.htm")}), FileList({At("dst/p.htm")}), kCopyFlags), 0);
    EXPECT_EQ(Snapshot(At("dst")),
              (Tree{{"p.htm", "new page"},
                    {"p_files", "<dir>"},
                    {"p_files/a.png", "new a"},
                    {"p_files/b.png", "new b"},  // the link is replaced, not written through
                    {"p_files/keep.png", "keep"}}));
    EXPECT_EQ(wys::test::ReadFile(At("outside.txt")), "outside");
    EXPECT_EQ(m_boxes->Count(), 0u);
    struct stat info;
    ASSERT_EQ(::stat(At("dst/p.htm").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(std::filesystem::last_write_time(At("dst/p.htm")), stamp);
}

TEST_F(FileOperationTest, ReplaceQuestionWithoutNoConfirmation)
{
    struct Case {
        int answer;
        int result;
        std::string content;
        BOOL aborted;
    } cases[] = {
        {IDYES, 0, "new", FALSE},
        {IDNO, 0, "old", TRUE},
        {IDCANCEL, ERROR_CANCELLED, "old", TRUE},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(At(""));
        MakeTree(At(""), {{"src/f.txt", "new"}, {"src/g.txt", "g"}, {"dst/f.txt", "old"}});
        m_boxes->Clear();
        m_boxes->PushAnswer(c.answer);
        const int result = Run(FO_COPY, FileList({At("src/f.txt"), At("src/g.txt")}), At("dst"), FOF_SILENT);
        EXPECT_EQ(result, c.result) << "answer " << c.answer;
        EXPECT_EQ(m_aborted, c.aborted) << "answer " << c.answer;
        EXPECT_EQ(wys::test::ReadFile(At("dst/f.txt")), c.content) << "answer " << c.answer;
        // g.txt comes after f.txt: copied unless the question cancelled.
        EXPECT_EQ(std::filesystem::exists(At("dst/g.txt")), c.answer != IDCANCEL) << "answer " << c.answer;
        ASSERT_EQ(m_boxes->Count(), 1u);
        const ShownMessageBox box = m_boxes->Shown()[0];
        EXPECT_EQ(box.caption, "Confirm File Replace");
        EXPECT_NE(box.text.find("f.txt"), std::string::npos);
        EXPECT_EQ(box.type & MB_TYPEMASK, MB_YESNOCANCEL);
    }
}

TEST_F(FileOperationTest, DeleteAndFolderQuestions)
{
    MakeTree(At(""), {{"a.txt", "a"}, {"b.txt", "b"}});
    m_boxes->PushAnswer(IDNO);
    EXPECT_EQ(Run(FO_DELETE, FileList({At("a.txt"), At("b.txt")}), "", FOF_SILENT), ERROR_CANCELLED);
    EXPECT_TRUE(m_aborted);
    EXPECT_TRUE(std::filesystem::exists(At("a.txt")));
    ASSERT_EQ(m_boxes->Count(), 1u);
    EXPECT_NE(m_boxes->Shown()[0].text.find("these 2 items"), std::string::npos) << m_boxes->Shown()[0].text;

    m_boxes->PushAnswer(IDYES);
    EXPECT_EQ(Run(FO_DELETE, FileList({At("a.txt")}), "", FOF_SILENT), 0);
    EXPECT_FALSE(std::filesystem::exists(At("a.txt")));
    EXPECT_NE(m_boxes->Shown()[1].text.find("'a.txt'"), std::string::npos) << m_boxes->Shown()[1].text;

    // A missing target folder is created only after a yes, unless a flag says not to ask.
    m_boxes->Clear();
    m_boxes->PushAnswer(IDNO);
    EXPECT_EQ(Run(FO_COPY, FileList({At("b.txt")}), FileList({At("new/deeper/b.txt")}),
                  FOF_SILENT | FOF_MULTIDESTFILES),
              ERROR_CANCELLED);
    EXPECT_FALSE(std::filesystem::exists(At("new")));
    ASSERT_EQ(m_boxes->Count(), 1u);
    EXPECT_EQ(m_boxes->Shown()[0].caption, "Confirm Folder Create");
    EXPECT_EQ(Run(FO_COPY, FileList({At("b.txt")}), FileList({At("new/deeper/b.txt")}),
                  FOF_SILENT | FOF_MULTIDESTFILES | FOF_NOCONFIRMMKDIR),
              0);
    EXPECT_EQ(m_boxes->Count(), 1u);
    EXPECT_EQ(wys::test::ReadFile(At("new/deeper/b.txt")), "b");
}

TEST_F(FileOperationTest, SingleTargetPathRules)
{
    MakeTree(At(""), {{"s/one.txt", "1"}, {"s/two.txt", "2"}, {"s/dir/x.txt", "x"}, {"existing/", ""}});
    // One source, a new name.
    EXPECT_EQ(Run(FO_COPY, FileList({At("s/one.txt")}), At("copy.txt"), kDeleteFlags), 0);
    EXPECT_EQ(wys::test::ReadFile(At("copy.txt")), "1");
    // One source, an existing folder: it goes inside under its own name.
    EXPECT_EQ(Run(FO_COPY, FileList({At("s/dir")}), At("existing"), kDeleteFlags), 0);
    EXPECT_EQ(wys::test::ReadFile(At("existing/dir/x.txt")), "x");
    // Several sources: the target is a folder, made when missing.
    EXPECT_EQ(Run(FO_COPY, FileList({At("s/one.txt"), At("s/two.txt")}), At("into"), kDeleteFlags), 0);
    EXPECT_EQ(Snapshot(At("into")), (Tree{{"one.txt", "1"}, {"two.txt", "2"}}));
    // Relative paths are taken from the current folder.
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(At("s"));
    const int relative = Run(FO_COPY, FileList({"one.txt"}), "../rel/./one.txt", kDeleteFlags);
    std::filesystem::current_path(before);
    EXPECT_EQ(relative, 0);
    EXPECT_EQ(wys::test::ReadFile(At("rel/one.txt")), "1");
    // Nothing to do.
    EXPECT_EQ(Run(FO_COPY, std::string(2, '\0'), std::string(2, '\0'), kCopyFlags), 0);
}

TEST_F(FileOperationTest, LinksAreCopiedAsLinks)
{
    MakeTree(At(""), {{"outside/big.txt", "outside data"}, {"s/p.htm", "p"}});
    ASSERT_EQ(::symlink("../outside/big.txt", At("s/rel-link").c_str()), 0);
    ASSERT_EQ(::symlink(At("outside").c_str(), At("s/dir-link").c_str()), 0);
    ASSERT_EQ(Run(FO_COPY, FileList({At("s")}), FileList({At("d")}), kCopyFlags), 0);
    EXPECT_EQ(
        Snapshot(At("d")),
        (Tree{{"p.htm", "p"}, {"rel-link", "-> ../outside/big.txt"}, {"dir-link", "-> " + At("outside")}}));
}

TEST_F(FileOperationTest, MoveCarriesThePageAndRemovesTheSource)
{
    MakeTree(At(""), {{"a/p.htm", "page"}, {"a/p_files/r.png", "r"}, {"a/stay.txt", "stay"}});
    ASSERT_EQ(Run(FO_MOVE, FileList({At("a/p.htm")}), FileList({At("b/q.htm")}), kCopyFlags), 0);
    EXPECT_EQ(Snapshot(At("a")), (Tree{{"stay.txt", "stay"}}));
    EXPECT_EQ(Snapshot(At("b")), (Tree{{"q.htm", "page"}, {"q_files", "<dir>"}, {"q_files/r.png", "r"}}));
}
