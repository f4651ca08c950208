#include "platform/shell/FileOperationPlan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/base/WinError.h"
#include "platform/shell/FileOperation.h"
#include "platform/shell/PathText.h"

namespace wys::shell {

namespace {

enum class Kind { Missing, File, Folder, Link, Other };

struct Entry {
    Kind kind = Kind::Missing;
    std::uint64_t size = 0;
    int error = 0;
};

// What is at `path` itself: a link is reported as a link, never followed.
Entry Inspect(const std::string& path)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0)
        return {Kind::Missing, 0, errno};
    if (S_ISDIR(info.st_mode))
        return {Kind::Folder};
    if (S_ISREG(info.st_mode))
        return {Kind::File, static_cast<std::uint64_t>(info.st_size)};
    if (S_ISLNK(info.st_mode))
        return {Kind::Link};
    return {Kind::Other};
}

// The names in a folder in byte order, so that operations run in the same
// order every time. Returns 0 or an errno value.
int ListFolder(const std::string& path, std::vector<std::string>& names)
{
    DIR* folder = ::opendir(path.c_str());
    if (!folder)
        return errno;
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(folder);
    std::sort(names.begin(), names.end());
    return error;
}

std::string Child(const std::string& folder, std::string_view name)
{
    std::string child = folder;
    if (child != "/")
        child += '/';
    child += name;
    return child;
}

// The path with the links in its folders resolved (its last component is
// taken as it stands), so that two spellings of one place compare equal.
// Folders that do not exist yet are kept as written.
std::string Resolved(const std::string& path)
{
    std::string head = ParentFolder(path);
    std::string tail(LastComponent(path));
    for (;;) {
        if (char* real = ::realpath(head.c_str(), nullptr)) {
            std::string result = real;
            std::free(real);
            return tail.empty() ? result : Child(result, tail);
        }
        if (head == "/")
            return path;
        tail =
            tail.empty() ? std::string(LastComponent(head)) : Child(std::string(LastComponent(head)), tail);
        head = ParentFolder(head);
    }
}

bool IsInside(const std::string& inner, const std::string& outer)
{
    if (outer == "/")
        return inner.size() > 1;
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
           inner[outer.size()] == '/';
}

std::string Stem(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot));
}

// The "_files" folder beside `path`, named after its stem, whatever its extension.
std::string CompanionOf(const std::string& path)
{
    return Child(ParentFolder(path), Stem(LastComponent(path)) + "_files");
}

int ErrorFromErrno(int error)
{
    return error == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(error);
}

}  // namespace

std::string ConnectedFolderOf(const std::string& page)
{
    static constexpr std::string_view kPageExtensions[] = {".htm",  ".html", ".shtml",
                                                           ".shtm", ".mht",  ".mhtml"};
    const std::string_view name = LastComponent(page);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    std::string extension(name.substr(dot));
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
    if (std::find(std::begin(kPageExtensions), std::end(kPageExtensions), extension) ==
        std::end(kPageExtensions))
        return {};
    return CompanionOf(page);
}

int CFileOperationPlanner::Fail(int error, const std::string& path)
{
    m_failedPath = path;
    return error;
}

int CFileOperationPlanner::AddDelete(const std::string& source)
{
    const Entry entry = Inspect(source);
    if (entry.kind == Kind::Missing)
        return Fail(ErrorFromErrno(entry.error), source);
    if (source == "/")
        return Fail(DE_ROOTDIR, source);
    if (int error = AddDeleteTree(source, entry.kind == Kind::Folder))
        return error;
    if (m_connected && entry.kind == Kind::File) {
        const std::string folder = ConnectedFolderOf(source);
        if (!folder.empty() && !m_explicit.count(folder) && Inspect(folder).kind == Kind::Folder)
            return AddDeleteTree(folder, true);
    }
    return 0;
}

int CFileOperationPlanner::AddDeleteTree(const std::string& path, bool isFolder)
{
    if (!isFolder) {
        m_steps.push_back({StepKind::DeleteFile, path, {}});
        return 0;
    }
    std::vector<std::string> names;
    if (int error = ListFolder(path, names))
        return Fail(ErrorFromErrno(error), path);
    for (const std::string& name : names) {
        const std::string child = Child(path, name);
        const Entry entry = Inspect(child);
        if (entry.kind == Kind::Missing)
            continue;  // gone since the folder was read: nothing left to delete
        if (int error = AddDeleteTree(child, entry.kind == Kind::Folder))
            return error;
    }
    m_steps.push_back({StepKind::DeleteFolder, path, {}});
    return 0;
}

int CFileOperationPlanner::CheckCopyPair(const std::string& source, const std::string& target, bool isFolder)
{
    const std::string realSource = Resolved(source);
    const std::string realTarget = Resolved(target);
    if (realSource == realTarget)
        return Fail(DE_SAMEFILE, source);
    if (isFolder && IsInside(realTarget, realSource))
        return Fail(DE_DESTSUBTREE, target);
    const Kind existing = Inspect(target).kind;
    if (isFolder && existing != Kind::Missing && existing != Kind::Folder)
        return Fail(DE_FLDDESTISFILE, target);
    if (!isFolder && existing == Kind::Folder)
        return Fail(DE_FILEDESTISFLD, target);
    return 0;
}

void CFileOperationPlanner::AddMissingParents(const std::string& target)
{
    std::vector<std::string> missing;
    for (std::string folder = ParentFolder(target); folder != "/" && !m_plannedFolders.count(folder);
         folder = ParentFolder(folder)) {
        if (Inspect(folder).kind != Kind::Missing)
            break;
        missing.push_back(folder);
    }
    bool first = true;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        m_plannedFolders.insert(*it);
        FileStep step{StepKind::MakeFolder, {}, *it};
        step.askToCreate = first;
        m_steps.push_back(std::move(step));
        first = false;
    }
}

int CFileOperationPlanner::AddCopy(const std::string& source, const std::string& target)
{
    const Entry entry = Inspect(source);
    if (entry.kind == Kind::Missing)
        return Fail(ErrorFromErrno(entry.error), source);
    if (source == "/")
        return Fail(DE_ROOTDIR, source);
    if (entry.kind == Kind::Other)
        return Fail(DE_INVALIDFILES, source);
    if (entry.kind == Kind::Link && m_links == LinkCopy::Skip)
        return 0;
    const bool isFolder = entry.kind == Kind::Folder;
    if (int error = CheckCopyPair(source, target, isFolder))
        return error;
    AddMissingParents(target);
    if (isFolder)
        return AddCopyTree(source, target);
    if (entry.kind == Kind::Link) {
        m_steps.push_back({StepKind::CopyLink, source, target});
        return 0;
    }
    m_steps.push_back({StepKind::CopyFile, source, target, entry.size});
    m_totalBytes += entry.size;
    if (!m_connected)
        return 0;
    const std::string folder = ConnectedFolderOf(source);
    if (folder.empty() || m_explicit.count(folder) || Inspect(folder).kind != Kind::Folder)
        return 0;
    const std::string folderTarget = CompanionOf(target);
    if (int error = CheckCopyPair(folder, folderTarget, true))
        return error;
    return AddCopyTree(folder, folderTarget);
}

int CFileOperationPlanner::AddCopyTree(const std::string& source, const std::string& target)
{
    m_plannedFolders.insert(target);
    m_steps.push_back({StepKind::MakeFolder, source, target});
    std::vector<std::string> names;
    if (int error = ListFolder(source, names))
        return Fail(ErrorFromErrno(error), source);
    for (const std::string& name : names) {
        const std::string from = Child(source, name);
        const std::string to = Child(target, name);
        const Entry entry = Inspect(from);
        switch (entry.kind) {
            case Kind::Folder:
                if (int error = AddCopyTree(from, to))
                    return error;
                break;
            case Kind::File:
                m_steps.push_back({StepKind::CopyFile, from, to, entry.size});
                m_totalBytes += entry.size;
                break;
            case Kind::Link:
                if (m_links == LinkCopy::AsLink)
                    m_steps.push_back({StepKind::CopyLink, from, to});
                break;
            case Kind::Missing:
            case Kind::Other:
                break;  // gone meanwhile, or a pipe or device: nothing a copy could carry
        }
    }
    return 0;
}

}  // namespace wys::shell
