#include "features/putback/EditIndex.h"

#include "engine/io/PathText.h"
#include "engine/io/RawFile.h"
#include "features/game/Sha256.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <system_error>

namespace glintmark::features {
namespace {

using Json = nlohmann::json;

// The version of the index this put-back reads: the first with each level's file recorded.
constexpr std::uint64_t kIndexVersion = 3;
// No index of a game is near this; a file that is cannot be meant as one and is not read.
constexpr std::uint64_t kLargestIndex = std::uint64_t{256} << 20;

// A member of an index that is not as the format has it.
struct Malformed
{
    std::string what;
};

const Json& member(const Json& object, const char* name)
{
    if (!object.is_object() || !object.contains(name))
        throw Malformed{std::string("a \"") + name + "\" member is missing"};
    return object[name];
}

const Json& array(const Json& object, const char* name)
{
    const Json& value = member(object, name);
    if (!value.is_array())
        throw Malformed{std::string("\"") + name + "\" is not a list"};
    return value;
}

std::string text(const Json& object, const char* name)
{
    const Json& value = member(object, name);
    if (!value.is_string())
        throw Malformed{std::string("\"") + name + "\" is not a string"};
    return value.get<std::string>();
}

std::optional<std::uint64_t> count(const Json& object, const char* name, bool nullable)
{
    const Json& value = member(object, name);
    if (nullable && value.is_null())
        return std::nullopt;
    if (!value.is_number_unsigned())
        throw Malformed{std::string("\"") + name + "\" is not a whole number"};
    return value.get<std::uint64_t>();
}

Digest digestOf(const std::string& hex)
{
    if (const std::optional<Digest> digest = digestFromHex(hex))
        return *digest;
    throw Malformed{"\"" + hex + "\" is no SHA-256 digest"};
}

// The levels of an index of the version read, with their sources and their images' textures.
std::map<std::string, IndexedLevel> levelsOf(const Json& document)
{
    std::map<std::string, IndexedLevel> levels;
    for (const Json& level : array(document, "levels")) {
        if (!level.is_string())
            throw Malformed{"a level's name is not a string"};
        levels.emplace(level.get<std::string>(), IndexedLevel{});
    }
    const auto levelNamed = [&levels](const std::string& name) -> IndexedLevel& {
        const auto found = levels.find(name);
        if (found == levels.end())
            throw Malformed{"\"" + name + "\" is not among its \"levels\""};
        return found->second;
    };
    for (const Json& source : array(document, "sources")) {
        IndexedLevel& level = levelNamed(text(source, "level"));
        level.size = count(source, "size", true);
        level.modified = count(source, "modified", true);
    }
    for (const Json& texture : array(document, "textures")) {
        const Digest digest = digestOf(text(texture, "sha256"));
        for (const Json& use : array(texture, "in"))
            levelNamed(text(use, "level"))
                .images.emplace_back(*count(use, "number", false), digest);
    }
    for (auto& [name, level] : levels) {
        std::sort(level.images.begin(), level.images.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        const auto twice =
            std::adjacent_find(level.images.begin(), level.images.end(),
                               [](const auto& a, const auto& b) { return a.first == b.first; });
        if (twice != level.images.end())
            throw Malformed{"image " + std::to_string(twice->first) + " of \"" + name +
                            "\" holds two textures"};
    }
    return levels;
}

ExtractError unreadable(const std::filesystem::path& file, const std::string& why)
{
    return ExtractError{ErrorKind::SourceRead, file,
                        "The index \"" + displayPath(file) + "\" " + why +
                            ", so the edits cannot be tied to the textures they were made from; "
                            "move it away to put them back by number"};
}

} // namespace

const IndexedLevel* EditIndex::level(const std::string& name) const
{
    const auto found = levels.find(name);
    return found == levels.end() ? nullptr : &found->second;
}

EditIndexRead readEditIndex(const std::filesystem::path& file)
{
    EditIndexRead read;
    std::error_code ec;
    // Nothing at all there is the usual case of a folder without an index, on every system.
    const bool absent =
        std::filesystem::symlink_status(file, ec).type() == std::filesystem::file_type::not_found;
    const RawFile opened = absent ? RawFile() : RawFile::openForReading(file, ec);
    if (absent || ec == std::errc::no_such_file_or_directory) {
        read.byNumber = "there is no " + displayPath(file.filename()) + " beside them";
        return read;
    }
    FileIdentity identity;
    if (!ec)
        identity = opened.identity(ec);
    if (ec) {
        read.error = makeError(ErrorKind::SourceOpen, file, "Cannot read the index", ec);
        return read;
    }
    if (identity.type != FileType::Regular || identity.size > kLargestIndex) {
        read.error =
            unreadable(file, identity.type != FileType::Regular ? "is not a regular file"
                                                                : "is larger than any index");
        return read;
    }
    std::string bytes(static_cast<std::size_t>(identity.size), '\0');
    bytes.resize(opened.readFully(bytes.data(), bytes.size(), ec));
    if (ec) {
        read.error = makeError(ErrorKind::SourceRead, file, "Cannot read the index", ec);
        return read;
    }
    Json document = Json::parse(bytes, nullptr, false);
    bytes = std::string();
    if (document.is_discarded() || !document.is_object()) {
        read.error = unreadable(file, "is not a JSON object");
        return read;
    }
    try {
        // The first version has no "version" member.
        const std::uint64_t version =
            document.contains("version") ? *count(document, "version", false) : 1;
        if (version > kIndexVersion) {
            read.error = unreadable(file, "is of version " + std::to_string(version) +
                                              ", newer than this program reads (" +
                                              std::to_string(kIndexVersion) + ")");
            return read;
        }
        if (version < kIndexVersion) {
            read.byNumber = displayPath(file) + " is an index of version " +
                            std::to_string(version) + ", which records no level's file";
            return read;
        }
        EditIndex index;
        index.file = file;
        index.levels = levelsOf(document);
        read.index = std::move(index);
    } catch (const Malformed& malformed) {
        read.error = unreadable(file, "is no index: " + malformed.what);
    }
    return read;
}

} // namespace glintmark::features
