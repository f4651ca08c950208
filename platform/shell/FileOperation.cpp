#include "platform/shell/FileOperation.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/shell/FileCopy.h"
#include "platform/shell/FileOperationPlan.h"
#include "platform/shell/PathText.h"
#include "platform/ui/MessageBox.h"

namespace {

using wys::shell::AbsoluteCanonical;
using wys::shell::CFileOperationPlanner;
using wys::shell::FileStep;
using wys::shell::LastComponent;
using wys::shell::StepKind;

std::vector<std::string> ParseList(const char* list)
{
    std::vector<std::string> entries;
    if (!list)
        return entries;
    for (const char* p = list; *p; p += std::strlen(p) + 1)
        entries.emplace_back(p);
    return entries;
}

std::string Child(const std::string& folder, std::string_view name)
{
    return folder == "/" ? "/" + std::string(name) : folder + "/" + std::string(name);
}

const char* ReasonText(int error)
{
    switch (error) {
        case DE_SAMEFILE:
            return "The source and destination are the same.";
        case DE_MANYSRC1DEST:
            return "There are more sources than destinations.";
        case DE_MANYDEST:
            return "There are more destinations than sources.";
        case DE_ROOTDIR:
            return "The root folder cannot be changed.";
        case DE_DESTSUBTREE:
            return "The destination folder is inside the source folder.";
        case DE_INVALIDFILES:
            return "It is neither a file nor a folder.";
        case DE_FLDDESTISFILE:
            return "A file with the name of the destination folder already exists.";
        case DE_FILEDESTISFLD:
            return "A folder with the name of the destination file already exists.";
        case DE_INVALIDPATH:
            return "No destination was given.";
        case ERROR_FILE_NOT_FOUND:
            return "The file or folder does not exist.";
        case ERROR_PATH_NOT_FOUND:
            return "The path does not exist.";
        case ERROR_ACCESS_DENIED:
            return "Access is denied.";
        case ERROR_DISK_FULL:
            return "There is not enough space on the disk.";
        default:
            return nullptr;
    }
}

enum class Outcome { Done, Skipped, Cancelled, Failed };

// One run of SHFileOperationA: checks and plans everything first, then does
// the steps one by one with progress, questions and error boxes.
class COperationRun {
public:
    explicit COperationRun(SHFILEOPSTRUCTA& operation) : m_op(operation) {}

    int Run();

private:
    bool Asks() const { return !(m_op.fFlags & FOF_NOCONFIRMATION); }
    int Plan(CFileOperationPlanner& planner, const std::vector<std::string>& sources);
    int Refuse(int error, const std::string& path);
    int Cancelled();
    Outcome RunStep(const FileStep& step);
    Outcome MakeFolder(const FileStep& step);
    Outcome CopyFile(const FileStep& step);
    Outcome CopyLink(const FileStep& step);
    Outcome Remove(const FileStep& step);
    Outcome ConfirmReplace(const std::string& target);
    Outcome FailStep(int error, const std::string& path, int savedErrno = 0);
    bool Report(HRESULT hr) { return !m_sink || SUCCEEDED(hr); }
    void ShowError(int error, const std::string& path, int savedErrno);

    SHFILEOPSTRUCTA& m_op;
    UINT m_function = 0;
    IFileOperationProgress* m_sink = nullptr;
    std::unique_ptr<IFileOperationProgress> m_ownedSink;
    UINT m_itemsDone = 0;
    ULONGLONG m_bytesDone = 0;
    int m_error = 0;
};

int COperationRun::Run()
{
    m_op.fAnyOperationsAborted = FALSE;
    m_op.hNameMappings = nullptr;
    m_function = m_op.wFunc == FO_RENAME ? FO_MOVE : m_op.wFunc;
    if (m_function != FO_COPY && m_function != FO_MOVE && m_function != FO_DELETE)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::string> sources;
    for (const std::string& entry : ParseList(m_op.pFrom))
        sources.push_back(AbsoluteCanonical(entry));
    if (sources.empty())
        return 0;

    CFileOperationPlanner planner(
        std::set<std::string>(sources.begin(), sources.end()), !(m_op.fFlags & FOF_NO_CONNECTED_ELEMENTS),
        m_function == FO_COPY && m_op.fSkipLinks ? wys::shell::LinkCopy::Skip : wys::shell::LinkCopy::AsLink);
    if (int error = Plan(planner, sources))
        return error;
    if (m_function == FO_DELETE && Asks()) {
        const std::string text = sources.size() == 1 ? "Are you sure you want to permanently delete '" +
                                                           std::string(LastComponent(sources[0])) + "'?"
                                                     : "Are you sure you want to permanently delete these " +
                                                           std::to_string(sources.size()) + " items?";
        if (MessageBoxA(m_op.hwnd, text.c_str(), "Confirm Delete", MB_YESNO | MB_ICONWARNING) != IDYES) {
            m_op.fAnyOperationsAborted = TRUE;
            return ERROR_CANCELLED;
        }
    }

    m_sink = m_op.pProgress;
    if (!m_sink && !(m_op.fFlags & FOF_SILENT)) {
        m_ownedSink = CreateFileOperationProgress();
        m_sink = m_ownedSink.get();
    }
    const std::vector<FileStep>& steps = planner.Steps();
    FileOperationStart start;
    start.owner = m_op.hwnd;
    start.operation = m_function;
    start.flags = m_op.fFlags;
    start.title = m_op.lpszProgressTitle ? m_op.lpszProgressTitle : "";
    start.totalItems = static_cast<UINT>(steps.size());
    start.totalBytes = planner.TotalBytes();
    if (!Report(m_sink ? m_sink->StartOperations(start) : S_OK))
        return Cancelled();
    for (const FileStep& step : steps) {
        switch (RunStep(step)) {
            case Outcome::Done:
                break;
            case Outcome::Skipped:
                m_op.fAnyOperationsAborted = TRUE;
                break;
            case Outcome::Cancelled:
                return Cancelled();
            case Outcome::Failed:
                if (m_sink)
                    m_sink->FinishOperations(HRESULT_FROM_WIN32(m_error));
                return m_error;
        }
    }
    if (m_sink)
        m_sink->FinishOperations(S_OK);
    return 0;
}

int COperationRun::Plan(CFileOperationPlanner& planner, const std::vector<std::string>& sources)
{
    if (m_function == FO_DELETE) {
        for (const std::string& source : sources) {
            if (int error = planner.AddDelete(source))
                return Refuse(error, planner.FailedPath());
        }
        return 0;
    }
    const bool multiple = m_op.fFlags & FOF_MULTIDESTFILES;
    std::vector<std::string> targets = multiple ? ParseList(m_op.pTo) : std::vector<std::string>();
    if (!multiple && m_op.pTo && *m_op.pTo)
        targets.emplace_back(m_op.pTo);
    if (targets.empty())
        return Refuse(DE_INVALIDPATH, "");
    for (std::string& target : targets)
        target = AbsoluteCanonical(target);
    if (multiple && targets.size() != sources.size())
        return Refuse(sources.size() > targets.size() ? DE_MANYSRC1DEST : DE_MANYDEST, targets.front());
    if (!multiple) {
        struct stat info;
        const bool intoFolder =
            sources.size() > 1 || (::lstat(targets[0].c_str(), &info) == 0 && S_ISDIR(info.st_mode));
        const std::string target = targets[0];
        targets.clear();
        for (const std::string& source : sources)
            targets.push_back(intoFolder ? Child(target, LastComponent(source)) : target);
    }
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (int error = planner.AddCopy(sources[i], targets[i]))
            return Refuse(error, planner.FailedPath());
        if (m_function == FO_MOVE) {
            if (int error = planner.AddDelete(sources[i]))
                return Refuse(error, planner.FailedPath());
        }
    }
    return 0;
}

int COperationRun::Refuse(int error, const std::string& path)
{
    ShowError(error, path, 0);
    return error;
}

int COperationRun::Cancelled()
{
    m_op.fAnyOperationsAborted = TRUE;
    if (m_sink)
        m_sink->FinishOperations(HRESULT_FROM_WIN32(ERROR_CANCELLED));
    return ERROR_CANCELLED;
}

void COperationRun::ShowError(int error, const std::string& path, int savedErrno)
{
    if (m_op.fFlags & FOF_NOERRORUI)
        return;
    const char* verb = m_function == FO_DELETE ? "delete" : m_function == FO_MOVE ? "move" : "copy";
    const char* caption = m_function == FO_DELETE ? "Error Deleting File or Folder"
                          : m_function == FO_MOVE ? "Error Moving File or Folder"
                                                  : "Error Copying File or Folder";
    const char* reason = savedErrno ? std::strerror(savedErrno) : ReasonText(error);
    std::string text = std::string("Cannot ") + verb;
    if (!path.empty())
        text += " " + std::string(LastComponent(path));
    text += ": ";
    text += reason ? std::string(reason) : "error " + std::to_string(error);
    MessageBoxA(m_op.hwnd, text.c_str(), caption, MB_OK | MB_ICONERROR);
}

Outcome COperationRun::FailStep(int error, const std::string& path, int savedErrno)
{
    m_error = error;
    ShowError(error, path, savedErrno);
    return Outcome::Failed;
}

Outcome COperationRun::RunStep(const FileStep& step)
{
    const bool deleting = step.kind == StepKind::DeleteFile || step.kind == StepKind::DeleteFolder;
    const UINT action = deleting ? FO_DELETE : FO_COPY;
    if (m_sink && FAILED(m_sink->PreItem(action, step.source, step.target)))
        return Outcome::Cancelled;
    Outcome outcome = Outcome::Done;
    switch (step.kind) {
        case StepKind::MakeFolder:
            outcome = MakeFolder(step);
            break;
        case StepKind::CopyFile:
            outcome = CopyFile(step);
            break;
        case StepKind::CopyLink:
            outcome = CopyLink(step);
            break;
        case StepKind::DeleteFile:
        case StepKind::DeleteFolder:
            outcome = Remove(step);
            break;
    }
    if (outcome == Outcome::Cancelled)
        return outcome;
    if (step.kind == StepKind::CopyFile && outcome == Outcome::Skipped)
        m_bytesDone += step.bytes;  // so that the progress still ends at its total
    if (m_sink) {
        const HRESULT result = outcome == Outcome::Failed    ? HRESULT_FROM_WIN32(m_error)
                               : outcome == Outcome::Skipped ? S_FALSE
                                                             : S_OK;
        const HRESULT post = m_sink->PostItem(action, step.source, step.target, result);
        if (outcome == Outcome::Failed)
            return outcome;
        ++m_itemsDone;
        if (FAILED(post) || FAILED(m_sink->UpdateProgress(m_itemsDone, m_bytesDone)))
            return Outcome::Cancelled;
    }
    return outcome;
}

Outcome COperationRun::MakeFolder(const FileStep& step)
{
    struct stat info;
    const bool exists = ::lstat(step.target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        return Outcome::Done;
    if (exists)
        return FailStep(DE_FLDDESTISFILE, step.target);
    if (step.askToCreate && Asks() && !(m_op.fFlags & FOF_NOCONFIRMMKDIR)) {
        const std::string text =
            "The folder '" + step.target + "' does not exist.\n\nDo you want to create it?";
        if (MessageBoxA(m_op.hwnd, text.c_str(), "Confirm Folder Create", MB_YESNO | MB_ICONQUESTION) !=
            IDYES)
            return Outcome::Cancelled;
    }
    if (::mkdir(step.target.c_str(), 0777) != 0 && errno != EEXIST) {
        const int error = errno;
        return FailStep(Win32ErrorFromErrno(error), step.target, error);
    }
    return Outcome::Done;
}

Outcome COperationRun::ConfirmReplace(const std::string& target)
{
    struct stat info;
    if (::lstat(target.c_str(), &info) != 0)
        return Outcome::Done;
    if (S_ISDIR(info.st_mode))
        return FailStep(DE_FILEDESTISFLD, target);
    if (!Asks())
        return Outcome::Done;
    const std::string text = "This folder already contains a file named '" +
                             std::string(LastComponent(target)) +
                             "'.\n\nWould you like to replace the existing file?";
    switch (MessageBoxA(m_op.hwnd, text.c_str(), "Confirm File Replace", MB_YESNOCANCEL | MB_ICONQUESTION)) {
        case IDYES:
            return Outcome::Done;
        case IDNO:
            return Outcome::Skipped;
        default:
            return Outcome::Cancelled;
    }
}

Outcome COperationRun::CopyFile(const FileStep& step)
{
    const Outcome answer = ConfirmReplace(step.target);
    if (answer != Outcome::Done)
        return answer;
    int error = 0;
    const auto onChunk = [this](std::uint64_t bytes) {
        m_bytesDone += bytes;
        return Report(m_sink ? m_sink->UpdateProgress(m_itemsDone, m_bytesDone) : S_OK);
    };
    switch (wys::shell::CopyRegularFile(step.source, step.target, onChunk, error)) {
        case wys::shell::CopyResult::Copied:
            return Outcome::Done;
        case wys::shell::CopyResult::Cancelled:
            return Outcome::Cancelled;
        case wys::shell::CopyResult::Failed:
            break;
    }
    return FailStep(Win32ErrorFromErrno(error), step.source, error);
}

Outcome COperationRun::CopyLink(const FileStep& step)
{
    const Outcome answer = ConfirmReplace(step.target);
    if (answer != Outcome::Done)
        return answer;
    if (int error = wys::shell::CopySymbolicLink(step.source, step.target))
        return FailStep(Win32ErrorFromErrno(error), step.source, error);
    return Outcome::Done;
}

Outcome COperationRun::Remove(const FileStep& step)
{
    // unlink and rmdir act on the name itself, so a link is removed and never
    // what it points to. Something already gone counts as removed.
    const int result =
        step.kind == StepKind::DeleteFolder ? ::rmdir(step.source.c_str()) : ::unlink(step.source.c_str());
    if (result != 0 && errno != ENOENT) {
        const int error = errno;
        return FailStep(Win32ErrorFromErrno(error), step.source, error);
    }
    return Outcome::Done;
}

}  // namespace

int SHFileOperationA(SHFILEOPSTRUCTA* operation)
{
    if (!operation)
        return ERROR_INVALID_PARAMETER;
    return COperationRun(*operation).Run();
}
