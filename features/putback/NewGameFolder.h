#pragma once

#include "engine/ExtractError.h"
#include "engine/LockedFolder.h"
#include "engine/io/RawDir.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace glintmark::features {

// The name of the record a put-back leaves in the folder of new levels it made, so that a later
// put-back knows the folder for its own and may replace it whole.
inline constexpr std::string_view kNewLevelsRecord = ".glintmark-put-back.json";

// What kind of folder is built whole, and how a later run knows one it may replace.
struct BuiltFolder
{
    std::string_view record;     // the record's name in the folder
    std::string_view recordText; // what place() writes there; empty: the caller writes it
    std::string_view format;     // quoted in the record; empty: any regular file of that name
    std::string_view contents;   // what the folder holds, in messages ("new levels")
    std::string_view notOurs;    // why a folder without the record is refused, following its name
    bool emptyIsOurs = false;    // an empty folder may be replaced too
    bool plural = true;          // `contents` take "are", not "is", in messages
};

// A game's folder of new levels, known by kNewLevelsRecord.
extern const BuiltFolder kNewLevelsFolder;

// Refuses, only looking, a folder of new levels `into` that a put-back may not replace: one
// that stands there and is not a folder an earlier put-back made (by its record), or a link.
// Nothing there, or a folder with the record, is no error.
std::optional<ExtractError> refuseForeignFolder(const std::filesystem::path& into,
                                                const BuiltFolder& kind = kNewLevelsFolder);

// A game's folder of new levels built whole beside its place, as a hidden folder, and put in
// that place by one rename: until then nothing at `into` changes, and a failure or a stop leaves
// no hidden folder behind. A folder an earlier put-back made there is replaced whole (exchanged
// in one step where the system offers it); anything else there is refused. Every folder is
// taken from the one it lies in, never following a link, and only a few are open at a time
// however many files are written.
class NewGameFolder
{
public:
    // The folder `into`, not yet begun. Without `exchange`, an earlier folder is always renamed
    // aside first, as where the system offers no exchange.
    explicit NewGameFolder(std::filesystem::path into, bool exchange = true);
    // The folder `into` of the kind `kind` (which outlives it), not yet begun.
    NewGameFolder(std::filesystem::path into, const BuiltFolder& kind, bool exchange = true);
    ~NewGameFolder();
    NewGameFolder(const NewGameFolder&) = delete;
    NewGameFolder& operator=(const NewGameFolder&) = delete;

    // Refuses what stands at `into` as refuseForeignFolder() does, opens the folder it lies in
    // (made, with the folders above it, when missing) and makes the hidden folder there.
    std::optional<ExtractError> begin();

    // Writes the file at `relative` (folders and a name) inside the hidden folder, making the
    // folders it needs: `produce` hands its bytes to the writer and returns false to give up.
    // `complete` tells whether it saw the file through; a file given up or failed is removed.
    // `what` names the file in messages ("the new level").
    std::optional<ExtractError> write(const std::filesystem::path& relative, std::string_view what,
                                      const std::function<bool(FileWriter&)>& produce,
                                      bool& complete);

    // Puts the hidden folder, with its record, in the place of `into`, and then removes the
    // folder it replaced. Unless the rename itself succeeded, `into` is as it was and the hidden
    // folder is gone; a failure after it (an earlier folder that could not be removed whole)
    // is returned naming what is left.
    std::optional<ExtractError> place();

    // Removes the hidden folder with all written into it, and the folders begin() made; a
    // failure names what is left. Nothing once placed.
    std::optional<ExtractError> discard();

    // Whether place() put the new folder in place.
    bool placed() const { return m_placed; }

private:
    RawDir* folderOf(const std::filesystem::path& relative, std::optional<ExtractError>& error);
    std::optional<ExtractError> makeParent();
    std::optional<ExtractError> writeRecord();
    std::optional<ExtractError> putInPlace();
    std::optional<ExtractError> replaceEarlier();
    std::optional<ExtractError> removeAside(const std::filesystem::path& name);

    const BuiltFolder& m_kind;
    std::filesystem::path m_into;   // as messages name it
    std::filesystem::path m_name;   // its bare name in the folder it lies in
    std::filesystem::path m_hidden; // the hidden folder's bare name there
    bool m_exchange;
    RawDir m_parent;
    RawDir m_root;                        // the hidden folder, while files are written
    RawDir m_cached;                      // the folder of the file written last
    std::filesystem::path m_cachedPath{}; // its path inside the hidden folder
    // The folders above `into` that begin() made, each with the folder it lies in; the top first.
    std::vector<std::pair<RawDir, std::filesystem::path>> m_made{};
    bool m_begun = false;
    bool m_placed = false;
};

} // namespace glintmark::features
