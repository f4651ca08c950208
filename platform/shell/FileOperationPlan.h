// Private to platform/shell: turns the sources and targets of a file
// operation into the list of single steps that carry it out.
//
// Planning reads the disk (never following symbolic links) but changes
// nothing, so that a missing source or an impossible pair stops the
// operation before its first change, and the totals for progress are known.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace wys::shell {

enum class StepKind {
    MakeFolder,    // create target as a folder (an existing folder is kept)
    CopyFile,      // copy the regular file source to target, replacing a file there
    CopyLink,      // recreate the symbolic link source at target
    DeleteFile,    // remove source, a file or link (or other non-folder)
    DeleteFolder,  // remove the empty folder source
};

struct FileStep {
    StepKind kind;
    std::string source;  // empty for a folder made on the way to a target
    std::string target;  // empty for deletes
    std::uint64_t bytes = 0;
    // The first missing folder above a top-level target: the user may be
    // asked before it is made.
    bool askToCreate = false;
};

// Which folder beside a page file belongs to it (x.htm -> x_files); empty
// when the name is not a page's.
std::string ConnectedFolderOf(const std::string& page);

// What a copy does with a symbolic link it meets.
enum class LinkCopy { AsLink, Skip };

class CFileOperationPlanner {
public:
    // `explicitSources` are the operation's own sources (absolute, canonical):
    // a connected folder that is one of them is left to its own entry.
    // `connected`: whether pages carry their "_files" folder along.
    CFileOperationPlanner(std::set<std::string> explicitSources, bool connected,
                          LinkCopy links = LinkCopy::AsLink)
        : m_explicit(std::move(explicitSources)), m_connected(connected), m_links(links)
    {
    }

    // Each returns 0, or the operation's error value with FailedPath() naming
    // the path at fault; the steps added so far then stay unused. Paths are
    // absolute and canonical.
    int AddDelete(const std::string& source);
    int AddCopy(const std::string& source, const std::string& target);

    const std::vector<FileStep>& Steps() const { return m_steps; }
    std::uint64_t TotalBytes() const { return m_totalBytes; }
    const std::string& FailedPath() const { return m_failedPath; }

private:
    int Fail(int error, const std::string& path);
    int AddDeleteTree(const std::string& path, bool isFolder);
    int AddCopyTree(const std::string& source, const std::string& target);
    void AddMissingParents(const std::string& target);
    int CheckCopyPair(const std::string& source, const std::string& target, bool isFolder);

    std::set<std::string> m_explicit;
    bool m_connected;
    LinkCopy m_links;
    std::vector<FileStep> m_steps;
    std::set<std::string> m_plannedFolders;
    std::uint64_t m_totalBytes = 0;
    std::string m_failedPath;
};

}  // namespace wys::shell
