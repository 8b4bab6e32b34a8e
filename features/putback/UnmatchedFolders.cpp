#include "features/putback/UnmatchedFolders.h"

#include "engine/io/PathText.h"
#include "engine/names/ImageNames.h"
#include "features/putback/ReplacementPlan.h"

#include <map>

namespace glintmark::features {

namespace fs = std::filesystem;

std::vector<UnmatchedFolder> findUnmatchedFolders(const fs::path& extraction,
                                                  const std::set<fs::path>& levelFolders,
                                                  const std::function<bool()>& keepGoing,
                                                  std::optional<ExtractError>& error)
{
    const fs::path stem(std::string{kImageStem});
    std::set<fs::path> levels;
    for (const fs::path& folder : levelFolders)
        levels.insert(folder.lexically_normal());
    std::map<fs::path, std::uint64_t> counts;
    const auto count = [&](const fs::path& file) {
        const fs::path name = file.filename();
        if (imageNumber(name, stem, kImageExt) || pngEditNumber(name) || nearMiss(name))
            ++counts[file.parent_path()];
    };
    std::error_code ec;
    fs::recursive_directory_iterator entry(extraction, fs::directory_options::none, ec);
    for (; !ec && entry != fs::recursive_directory_iterator(); entry.increment(ec)) {
        if (!keepGoing())
            break;
        std::error_code kind;
        if (!entry->is_directory(kind))
            count(entry->path());
    }
    if (ec)
        error = makeError(ErrorKind::SourceOpen, extraction,
                          "Cannot read the folder of edited images", ec);
    std::vector<UnmatchedFolder> unmatched;
    for (const auto& [folder, files] : counts) {
        if (levels.count(folder.lexically_normal()) != 0)
            continue;
        const fs::path relative = folder.lexically_relative(extraction);
        unmatched.push_back({folder, relative == "." ? fs::path() : relative, files});
    }
    return unmatched;
}

std::string unmatchedFolderReason(const UnmatchedFolder& unmatched, const fs::path& game)
{
    std::string reason = "holds " + std::to_string(unmatched.files) +
                         (unmatched.files == 1 ? " image file" : " image files") +
                         ", but it is the folder of no level in " + displayPath(game);
    if (unmatched.relative.empty())
        reason += " (a game's extraction holds each level's images in a folder of its own)";
    else
        reason += " (no " + displayPath(unmatched.relative) + ".ldb there)";
    return reason + ", so none is read; is the game the one they were extracted from, and was the "
                    "level renamed?";
}

} // namespace glintmark::features
