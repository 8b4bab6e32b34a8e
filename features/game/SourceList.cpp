#include "features/game/SourceList.h"

#include "engine/io/PathText.h"
#include "features/game/GameLevels.h"

#include <optional>

namespace glintmark::features {
namespace {

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
            addSize(list, source);
            continue;
        }
        list.game = true;
        std::optional<ExtractError> error;
        const std::size_t firstUnread = list.unread.size();
        const std::vector<GameLevel> levels = findLevels(source, keepGoing, error, &list.unread);
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
            addSize(list, level.file);
        }
    }
    return list;
}

} // namespace glintmark::features
