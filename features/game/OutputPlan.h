#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace glintmark::features {

// Where each source's images go: one source writes straight into the output folder (unless each
// is to have a folder of its own); with several, each writes into a subfolder named after its
// file name without the extension.
struct OutputPlan
{
    std::vector<std::filesystem::path> folders; // one per source, in the sources' order
    // Why the plan cannot be written to (two sources sharing a folder, a device name); empty
    // when it can.
    std::string problem;
};

// Plans the output folders. Two sources whose folders would be the same, or differ only in
// letter case or trailing dots and spaces (one folder on Windows), make the plan unfit for
// writing; so do, on Windows, device names (NUL, CON, ...) among the sources and folders.
// With `folderPerSource`, a single source gets its subfolder too. `subfolders`, when given, holds
// for each source the folder below the output folder it goes to instead (a game's level:
// "maps/castle"), or nothing for one named after its file.
OutputPlan planOutputFolders(const std::vector<std::filesystem::path>& sources,
                             const std::filesystem::path& outputDir, bool folderPerSource = false,
                             const std::vector<std::filesystem::path>& subfolders = {});

// Why the run must not start because a source lies in another source's output folder under a
// name that source's run writes or removes (an image, a hidden part file, with the gallery
// `index.html`), so that it would be replaced or swept before it is read; empty when none does.
// Folders that do not exist yet hold nothing.
std::string sourceInAnotherFolder(const std::vector<std::filesystem::path>& sources,
                                  const OutputPlan& plan, bool gallery);

// Why the run must not start because a source's folder, or a folder on its way there, would
// stand at the name of a file the run writes into the output folder itself (`ownFiles`: bare
// names, such as a game's index and page), at the hidden name such a file is written under
// first, or at the name of the lock's own file where the lock needs one; empty when none would.
// Names are compared as Windows compares them, on every system.
std::string folderAtOwnFile(const std::vector<std::filesystem::path>& sources,
                            const OutputPlan& plan, const std::filesystem::path& outputDir,
                            const std::vector<std::filesystem::path>& ownFiles);

} // namespace glintmark::features
