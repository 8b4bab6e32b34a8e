#include "features/putback/PackFile.h"

#include "engine/io/PathText.h"
#include "engine/io/RawDir.h"
#include "engine/io/RawFile.h"
#include "features/game/Sha256.h"

#include <nlohmann/json.hpp>

#include <limits>
#include <optional>
#include <set>
#include <system_error>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr std::string_view kFormat = "glintmark-pack";
constexpr std::uint64_t kVersion = 1;

// What is wrong with a pack.json.
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

std::string text(const Json& object, const char* name)
{
    const Json& value = member(object, name);
    if (!value.is_string())
        throw Malformed{std::string("\"") + name + "\" is not a string"};
    return value.get<std::string>();
}

std::uint64_t count(const Json& object, const char* name, std::uint64_t largest)
{
    const Json& value = member(object, name);
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > largest)
        throw Malformed{std::string("\"") + name + "\" is not a whole number from 0 to " +
                        std::to_string(largest)};
    return value.get<std::uint64_t>();
}

Digest digestOf(const std::string& hex)
{
    if (const std::optional<Digest> digest = digestFromHex(hex))
        return *digest;
    throw Malformed{"\"" + hex + "\" is no SHA-256 digest (64 lower-case hex digits)"};
}

bool extensionLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The file an entry names must be `<digest>.<extension>`, the extension lower-case letters and
// digits: nothing that could lead out of the pack's folder.
void checkFileName(const std::string& file, const std::string& hex)
{
    if (file.find_first_of("/\\") != std::string::npos || file.find("..") != std::string::npos)
        throw Malformed{"\"" + file + "\" is not a bare file name inside the pack"};
    const bool named = file.size() > hex.size() + 1 && file.compare(0, hex.size(), hex) == 0 &&
                       file[hex.size()] == '.';
    bool letters = named;
    for (std::size_t i = hex.size() + 1; named && i < file.size(); ++i)
        letters = letters && extensionLetter(file[i]);
    if (!letters)
        throw Malformed{"\"" + file +
                        "\" is not named as its digest with a lower-case extension (" + hex +
                        ".jpg)"};
}

std::vector<PackEntry> entriesOf(const Json& document)
{
    if (!document.is_object())
        throw Malformed{"it is not a JSON object"};
    if (text(document, "format") != kFormat)
        throw Malformed{"its \"format\" is not \"" + std::string(kFormat) + "\""};
    const std::uint64_t version =
        count(document, "version", std::numeric_limits<std::uint32_t>::max());
    if (version != kVersion)
        throw Malformed{"it is version " + std::to_string(version) + ", and this program reads " +
                        std::to_string(kVersion)};
    if (text(document, "digest") != "sha256")
        throw Malformed{"its \"digest\" is not \"sha256\""};
    const Json& textures = member(document, "textures");
    if (!textures.is_array())
        throw Malformed{"\"textures\" is not a list"};
    std::vector<PackEntry> entries;
    std::set<Digest> seen;
    for (const Json& texture : textures) {
        PackEntry entry;
        const std::string hex = text(texture, "sha256");
        entry.texture = digestOf(hex);
        if (!seen.insert(entry.texture).second)
            throw Malformed{"texture " + hex + " is listed twice"};
        entry.width = static_cast<std::uint32_t>(
            count(texture, "width", std::numeric_limits<std::uint32_t>::max()));
        entry.height = static_cast<std::uint32_t>(
            count(texture, "height", std::numeric_limits<std::uint32_t>::max()));
        entry.components = static_cast<int>(count(texture, "components", 255));
        entry.file = text(texture, "file");
        checkFileName(entry.file, hex);
        entries.push_back(std::move(entry));
    }
    return entries;
}

ExtractError packError(const fs::path& file, const std::string& what)
{
    return ExtractError{ErrorKind::SourceOpen, file,
                        "The pack's description \"" + displayPath(file) + "\" " + what};
}

} // namespace

std::string packFileName(const Digest& texture, const fs::path& edit)
{
    std::string extension = edit.extension().string();
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    bool plain = extension.size() >= 2;
    for (std::size_t i = 1; plain && i < extension.size(); ++i)
        plain = extensionLetter(extension[i]);
    if (!plain)
        extension = ".jpg";
    return digestHex(texture) + extension;
}

std::string packJson(const std::vector<PackEntry>& entries)
{
    std::string out = "{\n  \"format\": \"" + std::string(kFormat) +
                      "\",\n  \"version\": " + std::to_string(kVersion) +
                      ",\n  \"digest\": \"sha256\",\n  \"textures\": [";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PackEntry& entry = entries[i];
        const Json line = {{"sha256", digestHex(entry.texture)},
                           {"width", entry.width},
                           {"height", entry.height},
                           {"components", entry.components},
                           {"file", entry.file}};
        out += (i == 0 ? "\n    " : ",\n    ") +
               line.dump(-1, ' ', false, Json::error_handler_t::replace);
    }
    out += entries.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

bool isPackFolder(const fs::path& folder)
{
    std::error_code ec;
    const RawDir dir = RawDir::open(folder, ec);
    if (ec)
        return false;
    const FileIdentity found = dir.entry(fs::path(kPackRecord), false, ec);
    return !ec && found.type == FileType::Regular;
}

PackRead readPack(const fs::path& folder)
{
    PackRead read;
    const fs::path file = folder / std::string(kPackRecord);
    std::error_code ec;
    const RawDir dir = RawDir::open(folder, ec);
    if (ec) {
        read.error = makeError(ErrorKind::SourceOpen, folder, "Cannot open the pack folder", ec);
        return read;
    }
    const FileIdentity found = dir.entry(fs::path(kPackRecord), false, ec);
    if (ec || found.type != FileType::Regular) {
        read.error = ec ? makeError(ErrorKind::SourceOpen, file, "Cannot read", ec)
                        : packError(file, "is not a regular file");
        return read;
    }
    if (found.size > kPackRecordLimit) {
        read.error = packError(file, "is larger than " + std::to_string(kPackRecordLimit >> 20) +
                                         " MiB, far beyond any pack");
        return read;
    }
    RawFile record = dir.openForReading(fs::path(kPackRecord), ec);
    std::string bytes(static_cast<std::size_t>(found.size) + 1, '\0');
    const std::size_t got = ec ? 0 : record.readFully(bytes.data(), bytes.size(), ec);
    if (ec) {
        read.error = makeError(ErrorKind::SourceOpen, file, "Cannot read", ec);
        return read;
    }
    if (got > kPackRecordLimit) {
        read.error = packError(file, "grew while it was read");
        return read;
    }
    bytes.resize(got);
    if (bytes.find('\0') != std::string::npos) {
        read.error = packError(file, "is not JSON: it holds a zero byte");
        return read;
    }
    try {
        read.entries = entriesOf(Json::parse(bytes));
    } catch (const Json::exception& error) {
        read.error = packError(file, std::string("is not JSON: ") + error.what());
        return read;
    } catch (const Malformed& malformed) {
        read.error = packError(file, "is no pack this program reads: " + malformed.what);
        return read;
    }
    for (const PackEntry& entry : read.entries) {
        const FileIdentity texture = dir.entry(fs::path(entry.file), false, ec);
        if (!ec && texture.type == FileType::Regular)
            continue;
        read.error = ec ? makeError(ErrorKind::SourceOpen, folder / entry.file,
                                    "Cannot read the pack's texture", ec)
                        : packError(file, "lists " + entry.file +
                                              ", which is not a regular file in the pack");
        read.entries.clear();
        return read;
    }
    return read;
}

} // namespace glintmark::features
