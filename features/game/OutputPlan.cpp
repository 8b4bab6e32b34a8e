#include "features/game/OutputPlan.h"

#include "engine/io/PathText.h"
#include "engine/io/RawDir.h"
#include "engine/names/ImageNames.h"
#include "engine/names/WindowsNames.h"
#include "features/gallery/GalleryPage.h"

#include <algorithm>
#include <map>

namespace glintmark::features {
namespace {

// A folder name must stay one level below the output folder; Windows drops trailing dots and
// spaces, so a name made only of them would be the output folder itself.
bool usableFolderName(const std::filesystem::path& name)
{
    return !windowsNameKey(displayPath(name)).empty();
}

// A name that opens a device on Windows cannot be read or written as a file there.
std::string deviceNameProblem(const std::filesystem::path& path)
{
#ifdef _WIN32
    const std::filesystem::path device = reservedDevicePart(path);
    if (!device.empty()) {
        return displayPath(path) + ": \"" + displayPath(device) +
               "\" is a device name on Windows, not a file or folder; rename it";
    }
#else
    (void)path;
#endif
    return {};
}

// Whether two sources are one: the same path, or two names of the same file.
bool sameSource(const std::filesystem::path& a, const std::filesystem::path& b)
{
    if (a.lexically_normal() == b.lexically_normal())
        return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

} // namespace

OutputPlan planOutputFolders(const std::vector<std::filesystem::path>& sources,
                             const std::filesystem::path& outputDir, bool folderPerSource,
                             const std::vector<std::filesystem::path>& subfolders)
{
    OutputPlan plan;
    plan.problem = deviceNameProblem(outputDir);
    for (const std::filesystem::path& source : sources) {
        if (plan.problem.empty())
            plan.problem = deviceNameProblem(source);
    }
    const bool anySubfolder = std::any_of(subfolders.begin(), subfolders.end(),
                                          [](const auto& folder) { return !folder.empty(); });
    if (sources.size() == 1 && !folderPerSource && !anySubfolder) {
        plan.folders.push_back(outputDir);
        return plan;
    }

    std::map<std::string, std::size_t> taken; // folded folder name -> index of its source
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const bool given = i < subfolders.size() && !subfolders[i].empty();
        const std::filesystem::path stem = given ? subfolders[i] : sources[i].filename().stem();
        plan.folders.push_back(outputDir / stem);
        if (!plan.problem.empty())
            continue;
        std::string key;
        if (stem.empty())
            plan.problem = displayPath(sources[i]) + ": cannot name an output folder after it";
        for (const std::filesystem::path& part : stem) {
            if (!plan.problem.empty())
                break;
            if (!usableFolderName(part)) {
                plan.problem = displayPath(sources[i]) + ": cannot name an output folder after it";
                break;
            }
            if (plan.problem = deviceNameProblem(part); !plan.problem.empty())
                break;
            key += (key.empty() ? "" : "/") + windowsNameKey(displayPath(part));
        }
        if (!plan.problem.empty())
            continue;
        const auto [it, inserted] = taken.emplace(key, i);
        if (!inserted && sameSource(sources[it->second], sources[i])) {
            plan.problem = displayPath(sources[i]) + " was given twice; give each source once";
        } else if (!inserted) {
            plan.problem = displayPath(sources[it->second]) + " and " + displayPath(sources[i]) +
                           " would both extract into " + displayPath(outputDir / stem) +
                           "; extract them in separate runs";
        }
    }
    return plan;
}

std::string sourceInAnotherFolder(const std::vector<std::filesystem::path>& sources,
                                  const OutputPlan& plan, bool gallery)
{
    const std::filesystem::path stem{std::string(kImageStem)};
    const std::filesystem::path page{std::string(kGalleryName)};
    for (std::size_t s = 0; s < sources.size(); ++s) {
        const std::filesystem::path name = sources[s].filename();
        const bool written = isImageName(name, stem, kImageExt) ||
                             isTemporaryName(name, stem, kImageExt) ||
                             (gallery && (name == page || name == temporaryName(page)));
        if (!written)
            continue;
        const std::filesystem::path folder =
            sources[s].has_parent_path() ? sources[s].parent_path() : std::filesystem::path(".");
        for (std::size_t f = 0; f < plan.folders.size(); ++f) {
            std::error_code ec;
            if (f == s || !std::filesystem::equivalent(folder, plan.folders[f], ec))
                continue;
            return displayPath(sources[s]) + " is in the output folder of " +
                   displayPath(sources[f]) + ", under a name its run writes or removes; " +
                   "move it, or extract them in separate runs";
        }
    }
    return {};
}

std::string folderAtOwnFile(const std::vector<std::filesystem::path>& sources,
                            const OutputPlan& plan, const std::filesystem::path& outputDir,
                            const std::vector<std::filesystem::path>& ownFiles)
{
    std::map<std::string, std::filesystem::path> taken; // folded name -> the file it is
    for (const std::filesystem::path& file : ownFiles) {
        taken.emplace(windowsNameKey(displayPath(file)), file);
        taken.emplace(windowsNameKey(displayPath(temporaryName(file))), file);
    }
    if (const std::filesystem::path lock = RawDir::lockName(); !lock.empty())
        taken.emplace(windowsNameKey(displayPath(lock)), lock);
    for (std::size_t i = 0; i < plan.folders.size() && i < sources.size(); ++i) {
        const std::filesystem::path below = plan.folders[i].lexically_relative(outputDir);
        if (below.empty() || below == ".")
            continue; // the output folder itself
        const std::filesystem::path first = *below.begin();
        const auto it = taken.find(windowsNameKey(displayPath(first)));
        if (it == taken.end())
            continue;
        return displayPath(sources[i]) + " would extract into " + displayPath(outputDir / first) +
               (first == below ? "" : "/...") + ", where the run writes its own " +
               displayPath(it->second) + "; rename it, or extract it in a separate run";
    }
    return {};
}

} // namespace glintmark::features
