#include "features/game/GameLevels.h"

#include <algorithm>
#include <string>

namespace glintmark::features {
namespace {

bool isLevelName(const std::filesystem::path& name)
{
    std::string ext = name.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return ext == ".ldb";
}

// Whether `path`, made canonical, lies strictly inside the canonical folder `root`.
bool liesInside(const std::filesystem::path& path, const std::filesystem::path& root)
{
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::canonical(path, ec);
    if (ec)
        return false;
    auto [rootEnd, targetAt] =
        std::mismatch(root.begin(), root.end(), target.begin(), target.end());
    return rootEnd == root.end() && targetAt != target.end();
}

} // namespace

std::vector<GameLevel> findLevels(const std::filesystem::path& gameDir,
                                  const std::function<bool()>& keepGoing,
                                  std::optional<ExtractError>& error)
{
    std::vector<GameLevel> levels;
    std::error_code ec;
    const std::filesystem::path root = std::filesystem::canonical(gameDir, ec);
    if (ec) {
        error = makeError(ErrorKind::SourceOpen, gameDir, "Cannot open the game folder", ec);
        return levels;
    }
    std::filesystem::recursive_directory_iterator it(gameDir, ec);
    const std::filesystem::recursive_directory_iterator end;
    if (ec) {
        error = makeError(ErrorKind::SourceOpen, gameDir, "Cannot read the game folder", ec);
        return levels;
    }
    // The folder being entered when reading fails is the one that cannot be read.
    std::filesystem::path lastFolder = gameDir;
    for (; it != end; it.increment(ec)) {
        if (ec)
            break;
        if (!keepGoing())
            return levels;
        const std::filesystem::directory_entry& entry = *it;
        std::error_code folderEc;
        if (entry.is_directory(folderEc) && !entry.is_symlink(folderEc))
            lastFolder = entry.path();
        if (!isLevelName(entry.path().filename()))
            continue;
        std::error_code typeEc;
        if (entry.is_symlink(typeEc)) {
            if (!entry.is_regular_file(typeEc) || !liesInside(entry.path(), root))
                continue;
        } else if (!entry.is_regular_file(typeEc)) {
            continue;
        }
        levels.push_back({entry.path(), entry.path().lexically_relative(gameDir)});
    }
    if (ec)
        error = makeError(ErrorKind::SourceOpen, lastFolder, "Cannot read the game folder", ec);
    std::sort(levels.begin(), levels.end(), [](const GameLevel& a, const GameLevel& b) {
        return a.relative.generic_u8string() < b.relative.generic_u8string();
    });
    return levels;
}

std::filesystem::path levelFolderName(const std::filesystem::path& relative)
{
    std::filesystem::path folder = relative;
    folder.replace_extension();
    return folder;
}

} // namespace glintmark::features
