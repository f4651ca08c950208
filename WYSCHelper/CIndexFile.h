// The index file: the history list on disk, and the format of history
// export files.
//
// Layout, all integers little-endian:
//   version  u32   the writer writes 2; 0 and 1 have no Title; above 2 is foreign
//   count    u32   records the writer meant to write (a hint only)
//   records  back to back: Time i64, Url, Path, Title (Title from version 2 on)
// A string is a u32 byte count, 0 for null, else the UTF-16LE bytes plus 2
// for a NUL code unit, followed by those bytes (absent for null).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "WYSCHelper/CUrlRecordList.h"

class CIndexFile {
public:
    static constexpr std::uint32_t kVersion = 2;
    // The index file's name inside the history folder.
    static constexpr const char* kFileName = "index.hif";
    // The name of the index this version keeps beside an index file that a
    // later version wrote, which it must not write over.
    static constexpr const char* kBesideLaterFileName = "index.v2.hif";

    // What reading a file found.
    enum class ReadResult {
        Read,        // read, up to a damaged tail if there was one
        Missing,     // no file at the path
        Unreadable,  // there, but not (or not wholly) readable: no permission, not a file, a read error
        Foreign,     // a version above 2, not read at all
    };

    // The index file of a history folder.
    static std::string PathIn(const std::string& folder);
    // The index kept beside one of a later version in a history folder.
    static std::string BesideLaterPathIn(const std::string& folder);

    // Writes the whole list to `path`. The data goes to a new temporary file
    // in the same folder, is flushed to disk, and is then renamed over
    // `path`: a crash, a full disk or a failing write leaves the file that
    // was there before whole. False on any failure (the temporary file is
    // removed then). An existing file's permission bits are kept.
    static bool Write(const std::string& path, const CUrlRecordList& list);

    // Appends the records of the file at `path` to `list` (which is not
    // cleared). A missing, unreadable or foreign (version above 2) file adds
    // nothing; a read error keeps what was read before it. A damaged tail
    // ends the reading: every record completed before it is kept, the one
    // being read is dropped. Nothing is allocated beyond what the file's
    // remaining bytes can hold, whatever its count and byte counts say. Does
    // nothing (and says Read) when `list` is null.
    static ReadResult Read(const std::string& path, CUrlRecordList* list);

    // Removes the temporary files that Write left beside `path` in
    // processes that have ended (a writer killed in the middle of a save):
    // "<path>.tmp.<pid>.<n>" whose process is gone. Those of a process that
    // still runs, and every other file, stay.
    static void RemoveStaleTemporaries(const std::string& path);

    // Moves the file at `path` aside to the first of "<path>.bad",
    // "<path>.bad.2", ... that does not exist, never replacing a file. The
    // name it now has; nullopt (with errno set) when it could not be moved.
    // A path where nothing is gives an empty name.
    static std::optional<std::string> KeepAside(const std::string& path);

    // Read over bytes in memory, with the same rules.
    static void ReadBytes(const void* data, std::size_t size, CUrlRecordList* list);

    // The bytes Write puts in the file. Throws std::bad_alloc.
    static std::string Serialize(const CUrlRecordList& list);
};
