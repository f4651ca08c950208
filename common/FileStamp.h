// Identifies the file at a path as it is now, so that a client can tell
// whether a call that should write it (an export) did: a file written anew
// is a new file (the writers replace files by renaming), and a file left as
// it was keeps its stamp.
#pragma once

#include <sys/stat.h>

#include <string>

namespace wys {

struct FileStamp {
    bool exists = false;
    ino_t inode = 0;
    timespec modified{};

    bool operator==(const FileStamp& o) const
    {
        return exists == o.exists && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec;
    }

    static FileStamp Of(const std::string& path)
    {
        FileStamp stamp;
        struct stat st;
        if (::stat(path.c_str(), &st) == 0) {
            stamp.exists = true;
            stamp.inode = st.st_ino;
            stamp.modified = st.st_mtim;
        }
        return stamp;
    }
};

}  // namespace wys
