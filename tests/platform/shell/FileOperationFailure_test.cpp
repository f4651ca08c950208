// Refusals, errors and cancels of the shell file operation.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/shell/CTextFileOperationProgress.h"
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

constexpr FILEOP_FLAGS kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;

class FileOperationFailure : public wys::test::TempHomeTest {
protected:
    std::string At(const std::string& relative) const { return m_home.Path() + "/t/" + relative; }

    int Run(UINT function, const std::string& from, const std::string* to, FILEOP_FLAGS flags,
            IFileOperationProgress* progress = nullptr)
    {
        SHFILEOPSTRUCTA op;
        op.wFunc = function;
        op.pFrom = from.c_str();
        op.pTo = to ? to->c_str() : nullptr;
        op.fFlags = flags;
        op.pProgress = progress;
        const int result = SHFileOperationA(&op);
        m_aborted = op.fAnyOperationsAborted;
        return result;
    }

    std::shared_ptr<CRecordingMessageBoxPresenter> m_boxes =
        std::make_shared<CRecordingMessageBoxPresenter>();
    ScopedMessageBoxPresenter m_boxScope{m_boxes};
    BOOL m_aborted = FALSE;
};

const Tree kStart = {
    {"s/a.txt", "a"},         {"s/b.txt", "b"}, {"s/dir/x.txt", "x"}, {"s/p.htm", "p"},
    {"s/p_files/r.png", "r"}, {"d/file", "f"},  {"d/folder/", ""},
};

}  // namespace

TEST_F(FileOperationFailure, RefusedBeforeAnythingChanges)
{
    struct Case {
        const char* what;
        UINT function;
        std::string from;
        std::optional<std::string> to;  // FOF_MULTIDESTFILES when it holds several entries
        FILEOP_FLAGS extra;
        int expected;
    } cases[] = {
        {"missing second source", FO_COPY, FileList({At("s/a.txt"), At("s/none")}),
         FileList({At("n/a.txt"), At("n/none")}), FOF_MULTIDESTFILES, ERROR_FILE_NOT_FOUND},
        {"missing delete source", FO_DELETE, FileList({At("s/a.txt"), At("s/none")}), std::nullopt, 0,
         ERROR_FILE_NOT_FOUND},
        {"more sources", FO_COPY, FileList({At("s/a.txt"), At("s/b.txt"), At("s/p.htm")}),
         FileList({At("n/a"), At("n/b")}), FOF_MULTIDESTFILES, DE_MANYSRC1DEST},
        {"more targets", FO_COPY, FileList({At("s/a.txt")}), FileList({At("n/a"), At("n/b")}),
         FOF_MULTIDESTFILES, DE_MANYDEST},
        {"no target", FO_COPY, FileList({At("s/a.txt")}), std::nullopt, 0, DE_INVALIDPATH},
        {"folder into itself", FO_COPY, FileList({At("s")}), FileList({At("s/dir/s")}), FOF_MULTIDESTFILES,
         DE_DESTSUBTREE},
        {"file onto itself", FO_COPY, FileList({At("s/a.txt")}), FileList({At("s/../s/a.txt")}),
         FOF_MULTIDESTFILES, DE_SAMEFILE},
        {"file onto folder", FO_COPY, FileList({At("s/a.txt")}), FileList({At("d/folder")}),
         FOF_MULTIDESTFILES, DE_FILEDESTISFLD},
        {"folder onto file", FO_COPY, FileList({At("s/dir")}), FileList({At("d/file")}), FOF_MULTIDESTFILES,
         DE_FLDDESTISFILE},
        {"page folder onto file", FO_COPY, FileList({At("s/p.htm")}), FileList({At("d/file.htm")}),
         FOF_MULTIDESTFILES, DE_FLDDESTISFILE},
        {"root", FO_DELETE, FileList({"/"}), std::nullopt, 0, DE_ROOTDIR},
        {"rename is a move", FO_RENAME, FileList({At("s/none")}), FileList({At("n")}), FOF_MULTIDESTFILES,
         ERROR_FILE_NOT_FOUND},
        {"unknown function", 9, FileList({At("s/a.txt")}), std::nullopt, 0, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(At(""));
        MakeTree(At(""), kStart);
        if (std::string(c.what) == "page folder onto file")
            wys::test::WriteFile(At("d/file_files"), "in the way");
        const Tree before = Snapshot(At(""));
        m_boxes->Clear();
        wys::test::CRecordingProgress progress;
        const std::string* to = c.to ? &*c.to : nullptr;
        EXPECT_EQ(Run(c.function, c.from, to, kQuiet | c.extra, &progress), c.expected) << c.what;
        EXPECT_EQ(Snapshot(At("")), before) << c.what;
        EXPECT_EQ(progress.starts, 0) << c.what;
        EXPECT_EQ(m_boxes->Count(), 0u) << c.what;  // FOF_NOERRORUI
        EXPECT_FALSE(m_aborted) << c.what;
    }
}

TEST_F(FileOperationFailure, ErrorsAreShownUnlessSuppressed)
{
    MakeTree(At(""), kStart);
    const std::string to = FileList({At("n/none")});
    EXPECT_EQ(
        Run(FO_COPY, FileList({At("s/none")}), &to, FOF_SILENT | FOF_MULTIDESTFILES | FOF_NOCONFIRMATION),
        ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(m_boxes->Count(), 1u);
    const ShownMessageBox box = m_boxes->Shown()[0];
    EXPECT_EQ(box.caption, "Error Copying File or Folder");
    EXPECT_NE(box.text.find("none"), std::string::npos) << box.text;
    EXPECT_EQ(box.type, MB_OK | MB_ICONERROR);

    EXPECT_EQ(Run(FO_DELETE, FileList({At("s/none")}), nullptr, FOF_SILENT | FOF_NOCONFIRMATION),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(m_boxes->Count(), 2u);
    EXPECT_EQ(m_boxes->Shown()[1].caption, "Error Deleting File or Folder");
}

TEST_F(FileOperationFailure, FailureMidwayKeepsWhatWasDone)
{
    // A file where the second target's folder should be: planning sees a
    // missing target, the copy then fails to write beside it.
    MakeTree(At(""), {{"s/a.txt", "a"}, {"s/b.txt", "b"}, {"blocker", "in the way"}});
    const std::string to = FileList({At("ok/a.txt"), At("blocker/b.txt")});
    wys::test::CRecordingProgress progress;
    const int result = Run(FO_COPY, FileList({At("s/a.txt"), At("s/b.txt")}), &to,
                           FOF_MULTIDESTFILES | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR, &progress);
    EXPECT_EQ(result, ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(m_aborted);
    EXPECT_EQ(wys::test::ReadFile(At("ok/a.txt")), "a");
    EXPECT_EQ(wys::test::ReadFile(At("blocker")), "in the way");
    EXPECT_EQ(progress.finalResult, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    ASSERT_FALSE(progress.postResults.empty());
    EXPECT_EQ(progress.postResults.back(), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    ASSERT_EQ(m_boxes->Count(), 1u);
    EXPECT_NE(m_boxes->Shown()[0].text.find("b.txt"), std::string::npos) << m_boxes->Shown()[0].text;

    if (::geteuid() == 0)
        return;  // permissions do not stop root
    MakeTree(At(""), {{"locked/", ""}});
    ::chmod(At("locked").c_str(), 0500);
    const std::string lockedTo = FileList({At("locked/b.txt")});
    const int denied = Run(FO_COPY, FileList({At("s/b.txt")}), &lockedTo, kQuiet | FOF_MULTIDESTFILES);
    ::chmod(At("locked").c_str(), 0700);
    EXPECT_EQ(denied, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Snapshot(At("locked")), Tree{});
}

TEST_F(FileOperationFailure, CancelBeforeAnItemStopsThere)
{
    MakeTree(At(""), {{"s/1.txt", "1"}, {"s/2.txt", "2"}, {"s/3.txt", "3"}});
    wys::test::CRecordingProgress progress;
    progress.cancelBeforeItem = [](std::string_view source, std::string_view) {
        return source.ends_with("2.txt");
    };
    const std::string to = At("d");
    EXPECT_EQ(Run(FO_COPY, FileList({At("s/1.txt"), At("s/2.txt"), At("s/3.txt")}), &to, kQuiet, &progress),
              ERROR_CANCELLED);
    EXPECT_TRUE(m_aborted);
    EXPECT_EQ(Snapshot(At("d")), (Tree{{"1.txt", "1"}}));
    EXPECT_EQ(progress.finishes, 1);
    EXPECT_EQ(progress.finalResult, HRESULT_FROM_WIN32(ERROR_CANCELLED));

    // The same for a delete: the first source goes, the rest stays.
    wys::test::CRecordingProgress deleting;
    deleting.cancelBeforeItem = [](std::string_view source, std::string_view) {
        return source.ends_with("2.txt");
    };
    EXPECT_EQ(
        Run(FO_DELETE, FileList({At("s/1.txt"), At("s/2.txt"), At("s/3.txt")}), nullptr, kQuiet, &deleting),
        ERROR_CANCELLED);
    EXPECT_EQ(Snapshot(At("s")), (Tree{{"2.txt", "2"}, {"3.txt", "3"}}));
}

TEST_F(FileOperationFailure, CancelDuringAFileRemovesThePartialCopy)
{
    const std::string big(3 * 256 * 1024 + 17, 'b');
    MakeTree(At(""), {{"s/big.bin", big}, {"d/big.bin", "previous"}});
    wys::test::CRecordingProgress progress;
    progress.cancelAtBytes = 256 * 1024;  // after the first chunk
    const std::string to = FileList({At("d/big.bin")});
    EXPECT_EQ(Run(FO_COPY, FileList({At("s/big.bin")}), &to, kQuiet | FOF_MULTIDESTFILES, &progress),
              ERROR_CANCELLED);
    EXPECT_TRUE(m_aborted);
    // The old target stays as it was and no temporary file is left beside it.
    EXPECT_EQ(Snapshot(At("d")), (Tree{{"big.bin", "previous"}}));
    EXPECT_EQ(progress.totalBytes, big.size());

    wys::test::CRecordingProgress complete;
    EXPECT_EQ(Run(FO_COPY, FileList({At("s/big.bin")}), &to, kQuiet | FOF_MULTIDESTFILES, &complete), 0);
    EXPECT_EQ(wys::test::ReadFile(At("d/big.bin")), big);
    EXPECT_EQ(complete.lastBytesDone, big.size());
}

TEST_F(FileOperationFailure, ProgressFactoryServesOperationsWithoutTheirOwnSink)
{
    MakeTree(At(""), {{"s/a.txt", "a"}});
    int made = 0;
    wys::test::CRecordingProgress* last = nullptr;
    const FileOperationProgressFactory previous = SetFileOperationProgressFactory([&] {
        ++made;
        auto sink = std::make_unique<wys::test::CRecordingProgress>();
        last = sink.get();
        sink->cancelBeforeItem = [](std::string_view, std::string_view) { return true; };
        return sink;
    });
    const std::string to = At("d/a.txt");
    // FOF_SILENT: no sink is made.
    EXPECT_EQ(Run(FO_COPY, FileList({At("s/a.txt")}), &to, kQuiet), 0);
    EXPECT_EQ(made, 0);
    // Without it the factory's sink is used (and this one cancels at once).
    const int result = Run(FO_COPY, FileList({At("s/a.txt")}), &to, kQuiet & ~FOF_SILENT);
    SetFileOperationProgressFactory(previous);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(result, ERROR_CANCELLED);
}

TEST(TextFileOperationProgress, WritesTitleItemsAndOutcome)
{
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    CTextFileOperationProgress text(out);
    FileOperationStart start;
    start.operation = FO_COPY;
    start.title = "Importing History...";
    start.totalItems = 2;
    start.totalBytes = 10;
    text.StartOperations(start);
    text.PreItem(FO_COPY, "/a", "/b");
    text.UpdateProgress(1, 10);
    text.FinishOperations(HRESULT_FROM_WIN32(ERROR_CANCELLED));
    std::rewind(out);
    std::string written(512, '\0');
    written.resize(std::fread(written.data(), 1, written.size(), out));
    std::fclose(out);
    EXPECT_EQ(
        written,
        "Importing History...: Copying 2 items, 10 bytes\n  copy /a -> /b\nCancelled after 1 of 2 items\n");

    CTextFileOperationProgress silent;  // no stream: writes nothing, never cancels
    EXPECT_EQ(silent.StartOperations(start), S_OK);
    EXPECT_EQ(silent.PreItem(FO_DELETE, "/a", ""), S_OK);
}
