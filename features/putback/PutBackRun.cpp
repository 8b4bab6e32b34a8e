#include "features/putback/PutBackRun.h"

#include "features/putback/PackFile.h"
#include "features/putback/PackPutBack.h"

#include "engine/io/PathText.h"

#include <system_error>

namespace glintmark::features {

PutBackStatus PutBackRun::status() const
{
    if (packRefused || (pack && pack->error))
        return PutBackStatus::Failed;
    if (pack && pack->stopped)
        return PutBackStatus::Stopped;
    if (const auto* level = std::get_if<LevelPutBackRun>(&run))
        return level->outcome.status;
    if (const auto* game = std::get_if<GamePutBackRun>(&run))
        return game->outcome.status;
    return PutBackStatus::Refused;
}

namespace {

// Writes the run's edits as the pack the settings ask for, when the run came through.
void writeRunPack(const PutBackSettings& settings, RunEvents& events, PutBackRun& result)
{
    const PutBackStatus status = result.status();
    if (settings.pack.empty() ||
        (status != PutBackStatus::Written && status != PutBackStatus::DryRun))
        return;
    std::vector<EditedTexture> edits;
    if (const auto* level = std::get_if<LevelPutBackRun>(&result.run))
        edits = level->outcome.textures;
    if (const auto* game = std::get_if<GamePutBackRun>(&result.run)) {
        for (const LevelPutBack& one : game->outcome.levels)
            edits.insert(edits.end(), one.outcome.textures.begin(), one.outcome.textures.end());
    }
    result.pack = writePack(settings.pack, edits, events);
}

// The pack may not take the place of the new level(s), of the edits or of the source: one would
// replace the other.
std::optional<ExtractError> refuseSharedPlace(const PutBackSettings& settings)
{
    std::error_code ec;
    const std::filesystem::path pack = std::filesystem::weakly_canonical(settings.pack, ec);
    for (const auto& [other, what] :
         {std::pair{&settings.into, "the new level(s)"}, std::pair{&settings.folder, "the edits"},
          std::pair{&settings.source, "the source"}}) {
        if (other->empty() || std::filesystem::weakly_canonical(*other, ec) != pack || ec)
            continue;
        return ExtractError{ErrorKind::OutputIsSource, settings.pack,
                            "The pack \"" + displayPath(settings.pack) +
                                "\" would take the place of " + what +
                                "; choose another folder for it"};
    }
    return std::nullopt;
}

} // namespace

PutBackRun putBackSource(const PutBackSettings& settings, RunEvents& events)
{
    PutBackRun result;
    if (!settings.pack.empty()) {
        result.packRefused = refuseSharedPlace(settings);
        if (!result.packRefused)
            result.packRefused = refuseForeignPack(settings.pack);
        if (result.packRefused)
            return result;
    }
    std::error_code ec;
    const bool isGame = std::filesystem::is_directory(settings.source, ec);
    if (isPackFolder(settings.folder)) {
        GamePutBackRun applied;
        applied.request.game = settings.source;
        applied.request.folder = settings.folder;
        applied.request.into = settings.into;
        applied.request.fit = settings.fit;
        applied.request.ignoreUnmatched = settings.ignoreUnmatched;
        applied.request.everywhere = true;
        applied.request.dryRun = settings.dryRun;
        applied.request.recordTextures = !settings.pack.empty();
        applied.outcome = applyPack(applied.request, !isGame, events);
        result.run = std::move(applied);
        result.fromPack = true;
        writeRunPack(settings, events, result);
        return result;
    }
    if (isGame) {
        GamePutBackRun game;
        game.request.game = settings.source;
        game.request.folder = settings.folder;
        game.request.into = settings.into;
        game.request.fit = settings.fit;
        game.request.ignoreUnmatched = settings.ignoreUnmatched;
        game.request.everywhere = settings.everywhere;
        game.request.dryRun = settings.dryRun;
        game.request.recordTextures = !settings.pack.empty();
        game.outcome = putBackGame(game.request, events);
        result.run = std::move(game);
        writeRunPack(settings, events, result);
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
    level.request.recordTextures = !settings.pack.empty();
    level.outcome = putBack(level.request, events);
    result.run = std::move(level);
    writeRunPack(settings, events, result);
    return result;
}

} // namespace glintmark::features
