#include "features/putback/PutBackRun.h"

#include <system_error>

namespace glintmark::features {

PutBackStatus PutBackRun::status() const
{
    if (const auto* level = std::get_if<LevelPutBackRun>(&run))
        return level->outcome.status;
    if (const auto* game = std::get_if<GamePutBackRun>(&run))
        return game->outcome.status;
    return PutBackStatus::Refused;
}

PutBackRun putBackSource(const PutBackSettings& settings, RunEvents& events)
{
    PutBackRun result;
    std::error_code ec;
    if (std::filesystem::is_directory(settings.source, ec)) {
        GamePutBackRun game;
        game.request.game = settings.source;
        game.request.folder = settings.folder;
        game.request.into = settings.into;
        game.request.fit = settings.fit;
        game.request.ignoreUnmatched = settings.ignoreUnmatched;
        game.request.everywhere = settings.everywhere;
        game.request.dryRun = settings.dryRun;
        game.outcome = putBackGame(game.request, events);
        result.run = std::move(game);
        return result;
    }
    if (settings.everywhere) {
        result.everywhereNeedsGame = true;
        return result;
    }
    LevelPutBackRun level;
    level.request.source = settings.source;
    level.request.folder = settings.folder;
    level.request.into = settings.into;
    level.request.fit = settings.fit;
    level.request.ignoreUnmatched = settings.ignoreUnmatched;
    level.request.dryRun = settings.dryRun;
    level.outcome = putBack(level.request, events);
    result.run = std::move(level);
    return result;
}

} // namespace glintmark::features
