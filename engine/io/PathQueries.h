#pragma once

#include <filesystem>
#include <system_error>

namespace glintmark {

// The few questions the engine asks of the system by path, before a run has a folder open: a
// run's own files are then reached only through its open folder (RawDir).

// Creates `folder` with any missing parents; `ec` says why not, "not a directory" when something
// else sits there.
void createFolders(const std::filesystem::path& folder, std::error_code& ec);
// What sits at `path`, a link followed; type not_found when nothing does.
std::filesystem::file_status pathStatus(const std::filesystem::path& path, std::error_code& ec);
// `path` with every link, "." and ".." resolved; empty, with `ec` set, when it cannot be.
std::filesystem::path resolvedPath(const std::filesystem::path& path, std::error_code& ec);
// Whether `a` and `b` lead to the same file or folder; false, with `ec` set, when either is
// missing.
bool samePlace(const std::filesystem::path& a, const std::filesystem::path& b, std::error_code& ec);

} // namespace glintmark
