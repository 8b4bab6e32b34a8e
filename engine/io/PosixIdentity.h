#pragma once

#ifndef _WIN32

#include "engine/io/RawFile.h"

#include <cstdint>
#include <sys/stat.h>

namespace glintmark {

// A file's identity, size and type as a stat call describes them (a link only when the call
// did not follow it).
inline FileIdentity identityFromStat(const struct stat& st)
{
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.index = static_cast<std::uint64_t>(st.st_ino);
    id.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    // The modification time moves on with every write (a rename or a chmod leaves it).
    id.changed = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1'000'000'000U +
                 static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
    id.type = S_ISREG(st.st_mode)   ? FileType::Regular
              : S_ISDIR(st.st_mode) ? FileType::Directory
              : S_ISLNK(st.st_mode) ? FileType::Link
                                    : FileType::Other;
    return id;
}

} // namespace glintmark

#endif
