#include "features/game/SourceList.h"

#include "engine/io/PathText.h"
#include "features/game/GameLevels.h"

#include <memory>
#include <optional>
#include <string>

namespace glintmark::features {
namespace {

// Why a game's level is not opened: what sits at its name is not what the listing found.
class LevelChangeCategory final : public std::error_category
{
public:
    const char* name() const noexcept override { return "glintmark-level"; }
    std::string message(int code) const override
    {
        return code == 1 ? "it is no longer a regular file (a link, a folder, a pipe or a device "
                           "is there now)"
                         : "it is not the file the game's levels were listed with: it was "
                           "replaced meanwhile";
    }
};

const std::error_category& levelChange()
{
    static const LevelChangeCategory category;
    return category;
}

// Opens the level `level` through the game's open folder `folder`, as the regular file its
// listing found: never by its whole path, no link followed, nothing waited for.
std::function<RawFile(std::error_code&)> levelOpener(std::shared_ptr<const RawDir> folder,
                                                     const GameLevel& level)
{
    return [folder = std::move(folder), inside = level.inside,
            listed = level.identity](std::error_code& ec) -> RawFile {
        RawFile file = folder->openFileBelow(inside, ec);
        if (ec == std::errc::invalid_argument)
            ec = std::error_code(1, levelChange());
        if (ec)
            return {};
        const FileIdentity now = file.identity(ec);
        if (ec)
            return {};
        if (listed.type != FileType::Regular || !now.sameFileAs(listed)) {
            ec = std::error_code(2, levelChange());
            return {};
        }
        return file;
    };
}

void addSize(SourceList& list, const std::filesystem::path& file)
{
    std::error_code ec;
    const bool regular = file != "-" && std::filesystem::is_regular_file(file, ec);
    const std::uintmax_t size = regular ? std::filesystem::file_size(file, ec) : 0;
    list.sizes.push_back(ec ? 0 : size);
    list.totalBytes += list.sizes.back();
}

} // namespace

SourceList expandSources(const std::vector<std::filesystem::path>& sources,
                         const std::function<bool()>& keepGoing)
{
    SourceList list;
    for (const std::filesystem::path& source : sources) {
        std::error_code ec;
        if (source == "-" || !std::filesystem::is_directory(source, ec)) {
            list.files.push_back(source);
            list.subfolders.emplace_back();
            list.names.push_back(source.filename());
            list.openers.emplace_back();
            addSize(list, source);
            continue;
        }
        list.game = true;
        // Its levels are opened through the folder opened now, never by their whole paths.
        auto opened = std::make_shared<RawDir>(RawDir::open(source, ec));
        if (ec) {
            list.problems.push_back(
                makeError(ErrorKind::SourceOpen, source, "Cannot open the game folder", ec));
            continue;
        }
        std::optional<ExtractError> error;
        const std::size_t firstUnread = list.unread.size();
        const std::vector<GameLevel> levels =
            findLevels(source, keepGoing, error, &list.unread, opened.get());
        for (std::size_t i = firstUnread; i < list.unread.size(); ++i)
            list.problems.push_back(list.unread[i].error);
        if (error)
            list.problems.push_back(*error);
        else if (levels.empty() && keepGoing())
            list.problems.push_back({ErrorKind::SourceOpen, source,
                                     "No level database (*.ldb) found in the game folder \"" +
                                         displayPath(source) + "\""});
        for (const GameLevel& level : levels) {
            list.files.push_back(level.file);
            list.subfolders.push_back(levelFolderName(level.relative));
            list.names.push_back(level.relative);
            list.openers.push_back(levelOpener(opened, level));
            list.sizes.push_back(level.identity.size);
            list.totalBytes += level.identity.size;
        }
    }
    return list;
}

} // namespace glintmark::features
