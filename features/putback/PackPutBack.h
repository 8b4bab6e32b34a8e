#pragma once

#include "features/RunEvents.h"
#include "features/putback/GamePutBack.h"

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

} // namespace glintmark::features
