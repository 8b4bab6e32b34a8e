#pragma once

#include "engine/ExtractError.h"
#include "engine/ExtractTypes.h"
#include "features/LevelOutcome.h"
#include "features/RunEvents.h"
#include "features/game/OutputPlan.h"
#include "features/game/SourceList.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace glintmark::features {

class GameTextures;

// What to extract or list, and how: the sources as given (level files, "-" for standard input,
// game folders), where their images go, and how each level is run.
struct SourcesRequest
{
    std::vector<std::filesystem::path> sources;
    std::filesystem::path outputDir = ".";
    bool folderPerSource = false; // a folder of its own for each source, even a single one
    RunMode mode = RunMode::Write;
    bool trim = false;    // write each image only through its end marker
    bool check = false;   // decode every image once its level has been read
    bool gallery = false; // a page of thumbnails in each level's folder, and the game's page
    bool dedupe = false;  // an image equal to an earlier one becomes a link to its file
    unsigned writers = 0; // threads that write the images; 0: the engine's default
    bool force = false;   // write into a folder whose index says it holds another game's textures
    bool index = true;    // writing, record what was cut in the index (textures.json)
};

// One level about to be read.
struct LevelStart
{
    std::size_t index = 0; // its place among the levels, from 0
    std::size_t count = 0; // how many levels the run reads
    std::filesystem::path source;
    std::filesystem::path name;   // its path inside its game, or its file name
    std::filesystem::path folder; // where its images go
    bool game = false;            // at least one source was a game folder
    // Bytes of the levels before it, and of all of them (0 for those without a size, a pipe).
    std::uint64_t bytesBefore = 0;
    std::uint64_t totalBytes = 0;
};

// What a front end hears of a run over its sources, beyond each level's own events (RunEvents),
// on the thread that runs it.
class SourcesEvents : public RunEvents
{
public:
    // The sources are listed, game folders opened up into their levels; `list.problems` names
    // each folder that could not be read or holds no level. Nothing has been checked or read.
    virtual void onListed(const SourceList& list) { (void)list; }
    // Every level has its folder, and none is in the way of another; the levels come next.
    virtual void onPlanned(const SourceList& list, const OutputPlan& plan)
    {
        (void)list;
        (void)plan;
    }
    // A level is about to be read.
    virtual void onLevelStart(const LevelStart& level) { (void)level; }
    // A level's run has ended, however it ended.
    virtual void onLevelEnd(const LevelOutcome& outcome) { (void)outcome; }
    // Every level has run (a game, or --dedupe): what the run learnt of their textures, told
    // once, before the game's own files are written. Not told after a stop.
    virtual void onTextures(const GameTextures& textures) { (void)textures; }
};

// How a run over the sources ended.
enum class SourcesStatus
{
    Completed, // every level was read; every file the run writes is written
    Failed,    // a folder or level failed, or a file of the game could not be written
    Stopped,   // keepGoing() turned false
    Refused,   // the sources cannot be run as given (`refusal` says why); nothing was read
    NoLevels   // no source is left to read (each missing one is named in the list's problems)
};

// What a run over the sources did.
struct SourcesOutcome
{
    SourcesStatus status = SourcesStatus::Completed;
    std::string refusal; // Refused: a sentence saying why
    // The game's output folder could not be opened and locked: no level was read.
    std::optional<ExtractError> folderError;
    // The run's index or the game's page could not be written; every level was.
    std::optional<ExtractError> filesError;
    // What the run learnt of the levels' textures (a game, or --dedupe), as onTextures() told
    // it; null otherwise.
    std::shared_ptr<const GameTextures> textures;
};

} // namespace glintmark::features
