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

// Whether the folder entry `entry` is a level to read: a level's name, and a regular file or a
// link to one inside the game.
bool isLevel(const std::filesystem::directory_entry& entry, const std::filesystem::path& root)
{
    if (!isLevelName(entry.path().filename()))
        return false;
    std::error_code ec;
    if (entry.is_symlink(ec))
        return entry.is_regular_file(ec) && liesInside(entry.path(), root);
    return entry.is_regular_file(ec);
}

// The level at `entry`, with the file read for it and, through `opened`, that file's identity.
GameLevel levelAt(const std::filesystem::directory_entry& entry,
                  const std::filesystem::path& gameDir, const std::filesystem::path& root,
                  const RawDir* opened)
{
    GameLevel level{entry.path(), entry.path().lexically_relative(gameDir), {}, {}};
    level.inside = level.relative;
    std::error_code ec;
    if (entry.is_symlink(ec))
        level.inside = std::filesystem::canonical(entry.path(), ec).lexically_relative(root);
    if (opened != nullptr && !ec)
        level.identity = opened->entry(level.inside, false, ec);
    if (ec)
        level.identity = FileIdentity{};
    return level;
}

} // namespace

std::vector<GameLevel> findLevels(const std::filesystem::path& gameDir,
                                  const std::function<bool()>& keepGoing,
                                  std::optional<ExtractError>& error,
                                  std::vector<UnreadFolder>* unread, const RawDir* opened)
{
    std::vector<GameLevel> levels;
    std::error_code ec;
    const std::filesystem::path root = std::filesystem::canonical(gameDir, ec);
    if (ec) {
        error = makeError(ErrorKind::SourceOpen, gameDir, "Cannot open the game folder", ec);
        return levels;
    }
    const std::size_t firstUnread = unread != nullptr ? unread->size() : 0;
    // The folders still to read, by their paths inside the game; one is listed at a time.
    std::vector<std::filesystem::path> pending{std::filesystem::path()};
    while (!pending.empty()) {
        const std::filesystem::path relative = std::move(pending.back());
        pending.pop_back();
        const std::filesystem::path folder = relative.empty() ? gameDir : gameDir / relative;
        std::vector<std::filesystem::path> inside; // its folders, to read next
        std::filesystem::directory_iterator it(folder, ec);
        const std::filesystem::directory_iterator end;
        for (; !ec && it != end; it.increment(ec)) {
            if (!keepGoing())
                return levels;
            const std::filesystem::directory_entry& entry = *it;
            std::error_code typeEc;
            if (entry.is_directory(typeEc) && !entry.is_symlink(typeEc))
                inside.push_back(relative / entry.path().filename());
            else if (isLevel(entry, root))
                levels.push_back(levelAt(entry, gameDir, root, opened));
        }
        // Read in sorted order, the first of them next, so a folder that cannot be read is met
        // in the order of the paths.
        std::sort(inside.begin(), inside.end(), [](const auto& a, const auto& b) {
            return a.generic_u8string() > b.generic_u8string();
        });
        pending.insert(pending.end(), inside.begin(), inside.end());
        if (!ec)
            continue;
        if (relative.empty() || unread == nullptr) {
            error = makeError(ErrorKind::SourceOpen, folder, "Cannot read the game folder", ec);
            return levels;
        }
        unread->push_back({relative, makeError(ErrorKind::SourceOpen, folder,
                                               "Cannot read the folder of the game", ec)});
    }
    std::sort(levels.begin(), levels.end(), [](const GameLevel& a, const GameLevel& b) {
        return a.relative.generic_u8string() < b.relative.generic_u8string();
    });
    if (unread != nullptr) {
        const auto from = unread->begin() + static_cast<std::ptrdiff_t>(firstUnread);
        std::sort(from, unread->end(), [](const UnreadFolder& a, const UnreadFolder& b) {
            return a.relative.generic_u8string() < b.relative.generic_u8string();
        });
    }
    return levels;
}

std::filesystem::path levelFolderName(const std::filesystem::path& relative)
{
    std::filesystem::path folder = relative;
    folder.replace_extension();
    return folder;
}

} // namespace glintmark::features
