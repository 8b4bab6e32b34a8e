#pragma once

#include "features/RunEvents.h"
#include "features/game/Sha256.h"
#include "features/putback/GamePutBack.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace glintmark::features {

// Applies the pack in `request.folder` (a folder holding pack.json, read by readPack) to
// `request.game`: a game folder (every level below it, the new levels written as putBackGame
// writes them, into the folder `request.into`) or, when `asLevel`, one level file (the new level
// written at `request.into`, as putBack writes it). Every image of every level whose texture is
// an entry's gets that entry's file, judged against it and fitted (`request.fit`) as an edit is;
// a refusal names the pack's file and the level and image. An entry whose texture stands in no
// level is refused, or passed over as the request asks (ignoreUnmatched). A refusal, a failure
// or a stop writes nothing; a run that changes no level writes nothing either.
GamePutBackOutcome applyPack(const GamePutBackRequest& request, bool asLevel, RunEvents& events);

// One place of a texture: image `number` of the level at `level` (its path in the game; a lone
// level's file name).
struct TexturePlace
{
    std::filesystem::path level{};
    std::uint64_t number = 0;
};

// An edit chosen file by file, as the texture window gathers them: the texture it replaces (with
// that texture's frame, as a pack's entry has it), its file wherever it lies, and, when `only`
// is set, the one place it goes to instead of everywhere the texture stands.
struct TextureEdit
{
    Digest texture{};
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 0;
    std::filesystem::path file{};
    std::optional<TexturePlace> only{};
};

// Applies `edits` to `request.game` as applyPack applies a pack's entries (`request.folder` is
// not used): each edit's file is read where it lies, judged and fitted for every place of its
// texture (or its one place), and the new level or levels written and checked the same way. An
// edit that finds no place is refused, or passed over as the request asks. Two edits for one
// place are both refused, each naming the other.
GamePutBackOutcome applyEdits(const GamePutBackRequest& request,
                              const std::vector<TextureEdit>& edits, bool asLevel,
                              RunEvents& events);

} // namespace glintmark::features
