#include "features/game/IndexJson.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace glintmark::features {
namespace {

using Json = nlohmann::ordered_json;

// The text of a JSON value on one line.
std::string text(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// One texture on one line, its fields spaced as the rest of the file is.
std::string textureLine(const Texture& texture, const std::vector<std::string>& levelNames)
{
    std::string line = "{\"sha256\": " + text(digestHex(texture.sha256)) +
                       ", \"width\": " + text(texture.width) +
                       ", \"height\": " + text(texture.height) +
                       ", \"bytes\": " + text(texture.bytes) + ", \"in\": [";
    for (std::size_t u = 0; u < texture.in.size(); ++u) {
        const TextureUse& use = texture.in[u];
        line += u == 0 ? "" : ", ";
        line += "{\"level\": " + levelNames[use.level] + ", \"number\": " + text(use.number) +
                ", \"offset\": " + text(use.offset) + ", \"written\": " + text(use.written) + "}";
    }
    return line + "]}";
}

// One level's file on one line: its name, size and last write, null where it has none.
std::string sourceLine(const std::string& name, const LevelSource& source)
{
    const std::string size = source.regular ? text(source.size) : "null";
    const std::string modified = source.modified ? text(*source.modified) : "null";
    return "{\"level\": " + name + ", \"size\": " + size + ", \"modified\": " + modified + "}";
}

} // namespace

bool writeIndexJson(const TextureIndex& index, const std::function<bool(std::string_view)>& out,
                    const std::function<bool()>& keepGoing)
{
    constexpr std::size_t kPiece = std::size_t{64} << 10;
    std::vector<std::string> names;
    names.reserve(index.levels().size());
    for (const std::filesystem::path& level : index.levels())
        names.push_back(text(levelText(level)));
    // The format's version: 2 added "complete" and "unread"; 3 "sources" and each use's
    // "written".
    std::string piece = "{\n  \"version\": 3,\n  \"complete\": ";
    piece += index.unread().empty() ? "true" : "false";
    piece += ",\n  \"unread\": [";
    for (std::size_t i = 0; i < index.unread().size(); ++i) {
        const UnreadEntry& folder = index.unread()[i];
        piece += (i == 0 ? "\n    " : ",\n    ");
        piece += "{\"folder\": " + text(levelText(folder.folder)) +
                 ", \"message\": " + text(folder.message) + "}";
    }
    piece += index.unread().empty() ? "],\n  \"levels\": [" : "\n  ],\n  \"levels\": [";
    for (std::size_t i = 0; i < names.size(); ++i)
        piece += (i == 0 ? "\n    " : ",\n    ") + names[i];
    piece += names.empty() ? "],\n  \"sources\": [" : "\n  ],\n  \"sources\": [";
    for (std::size_t i = 0; i < names.size(); ++i)
        piece += (i == 0 ? "\n    " : ",\n    ") + sourceLine(names[i], index.sources()[i]);
    piece += names.empty() ? "],\n  \"textures\": [" : "\n  ],\n  \"textures\": [";
    bool first = true;
    for (const Texture& texture : index.textures()) {
        if (!keepGoing())
            return false;
        piece += first ? "\n    " : ",\n    ";
        first = false;
        piece += textureLine(texture, names);
        if (piece.size() >= kPiece) {
            if (!out(piece))
                return false;
            piece.clear();
        }
    }
    piece += index.textures().empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out(piece);
}

} // namespace glintmark::features
