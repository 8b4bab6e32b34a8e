#pragma once

#include "engine/ExtractTypes.h"
#include "features/LevelOutcome.h"
#include "features/RunEvents.h"

#include <filesystem>
#include <functional>
#include <vector>

namespace glintmark::features {

class GameTextures;

// How to run each level.
struct LevelRunSettings
{
    RunMode mode = RunMode::Write;
    bool trim = false;    // write each image only through its end marker
    bool check = false;   // decode every image once the source has been read
    bool gallery = false; // write the gallery page (write mode only)
    unsigned writers = 0; // threads that write the images; 0: the engine's default
    // Hears every image's bytes for the game's index and, writing, stores the level's
    // duplicates once; the caller has begun the level on it. None when null.
    GameTextures* textures = nullptr;
    // Writing, with `textures`: the level's images are alone in its folder, and the run writes
    // the index of `textures` (textures.json) there too, once they are in place.
    bool writeIndex = false;
    // Where the gallery page links back to: the game's page, relative to the level's folder
    // ("../../index.html"). None when empty.
    std::filesystem::path gamePage{};
    // Opens the level in place of opening it by its path (a game's level, through the game's
    // open folder); by its path when empty.
    std::function<RawFile(std::error_code&)> openSource{};
};

// Extracts one level into `folder`; when writing, the folder is created (with its parents) once
// the source has been opened. `events` hears the reading and the decoding, and every complete
// image: as soon as it is complete, or, when the images are decoded or shown in a gallery, once
// that is done, in order. When `events` names the only images to write (imagesToWrite()), the
// run writes, tells and indexes those alone.
LevelOutcome extractLevel(const std::filesystem::path& source, const std::filesystem::path& folder,
                          const LevelRunSettings& settings, RunEvents& events);

} // namespace glintmark::features
