#include "features/putback/NewGameFolder.h"

#include "engine/io/PathText.h"

#include <array>
#include <random>
#include <string>
#include <utility>

namespace glintmark::features {
namespace {

namespace fs = std::filesystem;

// What the record says; a later put-back knows its folder by the format's name.
constexpr std::string_view kRecordText = "{\n"
                                         "  \"format\": \"glintmark-new-levels\",\n"
                                         "  \"version\": 1\n"
                                         "}\n";
// A record longer than this is not one.
constexpr std::size_t kRecordLimit = 4096;

// The folder of new levels as given, without a trailing separator, and made absolute so that
// it has a name of its own ("." and ".." resolved).
fs::path absoluteFolder(const fs::path& into)
{
    std::error_code ec;
    fs::path at = fs::absolute(into, ec).lexically_normal();
    if (ec)
        at = into.lexically_normal();
    if (!at.has_filename() && at.has_parent_path() && at.parent_path() != at)
        at = at.parent_path();
    return at;
}

// A name for a hidden folder beside `name` that no other run picks.
fs::path hiddenName(const fs::path& name)
{
    static constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 pick(seed());
    std::uniform_int_distribution<std::size_t> letter(0, kLetters.size() - 1);
    std::string suffix(6, 'x');
    for (char& c : suffix)
        c = kLetters[letter(pick)];
    fs::path hidden(".");
    hidden += name.native();
    hidden += ".glintmark-" + suffix;
    return hidden;
}

// Whether the open folder `dir` is empty (and may be replaced as one of `kind`'s).
bool isEmpty(const RawDir& dir)
{
    std::error_code ec;
    bool any = false;
    dir.forEachName([&any](const fs::path&) { any = true; }, ec);
    return !ec && !any;
}

// Whether the open folder `dir` holds the record a run leaves in a folder of `kind`.
bool holdsRecord(const RawDir& dir, const BuiltFolder& kind)
{
    std::error_code ec;
    const FileIdentity found = dir.entry(fs::path(kind.record), false, ec);
    if (ec || found.type != FileType::Regular)
        return kind.emptyIsOurs && isEmpty(dir);
    RawFile record = dir.openForReading(fs::path(kind.record), ec);
    if (ec)
        return false;
    if (kind.format.empty())
        return true;
    std::array<char, kRecordLimit + 1> text{};
    const std::size_t read = record.readFully(text.data(), text.size(), ec);
    if (ec || read > kRecordLimit)
        return false;
    const std::string_view content(text.data(), read);
    return content.find("\"" + std::string(kind.format) + "\"") != std::string_view::npos;
}

// Whether `name` in `parent` is a folder (not a link) an earlier run made, as `kind` knows one.
bool isEarlierFolder(const RawDir& parent, const fs::path& name, const BuiltFolder& kind)
{
    std::error_code ec;
    const RawDir dir = parent.openFolder(name, ec);
    return !ec && holdsRecord(dir, kind);
}

// The refusal of `into`, at which stands `found` that no run made.
ExtractError foreign(const fs::path& into, FileType found, const BuiltFolder& kind)
{
    const std::string contents(kind.contents);
    const std::string shown = displayPath(into);
    ExtractError error;
    error.kind = ErrorKind::OutputFolder;
    error.file = into;
    if (found == FileType::Directory)
        error.message = "The " + contents + " would replace the folder \"" + shown + "\", " +
                        std::string(kind.notOurs) +
                        "; choose a new folder, or move that one away first";
    else
        error.message = "The " + contents + (kind.plural ? " go" : " goes") +
                        " into a folder, but \"" + shown + "\" is " +
                        (found == FileType::Link ? "a link" : "not a folder") +
                        "; choose a new folder, or move that one away first";
    return error;
}

// Removes the folder `name` in `parent` with everything below it, each folder taken from the
// one it lies in and no link followed; the first failure is returned.
std::error_code removeTree(const RawDir& parent, const fs::path& name)
{
    std::error_code ec;
    {
        const RawDir dir = parent.openFolder(name, ec);
        if (ec)
            return ec;
        std::vector<fs::path> names;
        dir.forEachName([&names](const fs::path& entry) { names.push_back(entry); }, ec);
        if (ec)
            return ec;
        for (const fs::path& entry : names) {
            const FileIdentity id = dir.entry(entry, false, ec);
            if (!ec && id.type == FileType::Directory)
                ec = removeTree(dir, entry);
            else if (!ec && id.type != FileType::Missing)
                dir.remove(entry, ec);
            if (ec)
                return ec;
        }
    } // closed before it goes
    parent.removeFolder(name, ec);
    return ec;
}

} // namespace

const BuiltFolder kNewLevelsFolder{kNewLevelsRecord,
                                   kRecordText,
                                   "glintmark-new-levels",
                                   "new levels",
                                   "which no put-back made (it holds no .glintmark-put-back.json)",
                                   false,
                                   true};

std::optional<ExtractError> refuseForeignFolder(const fs::path& into, const BuiltFolder& kind)
{
    const fs::path at = absoluteFolder(into);
    if (!at.has_filename())
        return foreign(into, FileType::Other, kind);
    std::error_code ec;
    const RawDir parent = RawDir::open(at.parent_path(), ec);
    if (ec)
        return std::nullopt; // nothing there yet: begin() makes what is missing
    const FileIdentity found = parent.entry(at.filename(), false, ec);
    if (ec)
        return makeError(ErrorKind::OutputFolder, into, "Cannot look at the folder", ec);
    if (found.type == FileType::Missing ||
        (found.type == FileType::Directory && isEarlierFolder(parent, at.filename(), kind)))
        return std::nullopt;
    return foreign(into, found.type, kind);
}

NewGameFolder::NewGameFolder(fs::path into, bool exchange)
    : NewGameFolder(std::move(into), kNewLevelsFolder, exchange)
{}

NewGameFolder::NewGameFolder(fs::path into, const BuiltFolder& kind, bool exchange)
    : m_kind(kind), m_into(std::move(into)), m_exchange(exchange)
{}

NewGameFolder::~NewGameFolder()
{
    discard();
}

std::optional<ExtractError> NewGameFolder::makeParent()
{
    const fs::path at = absoluteFolder(m_into);
    // The nearest folder above that is there, and the missing ones below it, top first.
    std::vector<fs::path> missing;
    fs::path existing = at.parent_path();
    std::error_code ec;
    for (;;) {
        m_parent = RawDir::open(existing, ec);
        if (!ec || ec != std::errc::no_such_file_or_directory || !existing.has_relative_path())
            break;
        missing.insert(missing.begin(), existing.filename());
        existing = existing.parent_path();
    }
    if (ec)
        return makeError(ErrorKind::OutputFolder, existing, "Cannot open the folder", ec);
    fs::path shown = existing;
    for (const fs::path& name : missing) {
        shown /= name;
        m_parent.makeFolder(name, ec);
        if (ec)
            return makeError(ErrorKind::OutputFolder, shown, "Cannot create the folder", ec);
        RawDir made = m_parent.openFolder(name, ec);
        m_made.emplace_back(std::move(m_parent), name);
        if (ec)
            return makeError(ErrorKind::OutputFolder, shown, "Cannot open the folder", ec);
        m_parent = std::move(made);
    }
    return std::nullopt;
}

std::optional<ExtractError> NewGameFolder::begin()
{
    if (auto error = refuseForeignFolder(m_into, m_kind))
        return error;
    m_name = absoluteFolder(m_into).filename();
    m_begun = true;
    if (auto error = makeParent())
        return error;
    std::error_code ec;
    for (int attempt = 0; attempt < 16; ++attempt) {
        m_hidden = hiddenName(m_name);
        m_parent.makeFolder(m_hidden, ec);
        if (ec != std::errc::file_exists)
            break;
    }
    if (ec) {
        const fs::path shown = m_into.parent_path() / m_hidden;
        m_hidden.clear();
        return makeError(ErrorKind::OutputFolder, shown, "Cannot create the folder", ec);
    }
    m_root = m_parent.openFolder(m_hidden, ec);
    if (ec)
        return makeError(ErrorKind::OutputFolder, m_into.parent_path() / m_hidden,
                         "Cannot open the folder", ec);
    return std::nullopt;
}

RawDir* NewGameFolder::folderOf(const fs::path& relative, std::optional<ExtractError>& error)
{
    if (relative.empty())
        return &m_root;
    if (m_cached.isOpen() && m_cachedPath == relative)
        return &m_cached;
    m_cached = RawDir();
    const RawDir* at = &m_root;
    RawDir step;
    fs::path shown = m_into;
    for (const fs::path& part : relative) {
        shown /= part;
        std::error_code ec;
        if (part.empty() || part == "." || part == ".." || part.has_root_path())
            ec = std::make_error_code(std::errc::invalid_argument);
        RawDir next = ec ? RawDir() : at->openFolder(part, ec);
        if (ec == std::errc::no_such_file_or_directory) {
            at->makeFolder(part, ec);
            if (!ec)
                next = at->openFolder(part, ec);
        }
        if (ec) {
            error = makeError(ErrorKind::ImageCreate, shown, "Cannot create the folder", ec);
            return nullptr;
        }
        step = std::move(next);
        at = &step;
    }
    m_cached = std::move(step);
    m_cachedPath = relative;
    return &m_cached;
}

std::optional<ExtractError> NewGameFolder::write(const fs::path& relative, std::string_view what,
                                                 const std::function<bool(FileWriter&)>& produce,
                                                 bool& complete)
{
    complete = false;
    const fs::path shown = m_into / relative;
    const fs::path name = relative.filename();
    if (!m_root.isOpen() || name.empty() || name == "." || name == ".." || relative.has_root_path())
        return makeError(ErrorKind::ImageCreate, shown, "Cannot create " + std::string(what),
                         std::make_error_code(std::errc::invalid_argument));
    std::optional<ExtractError> error;
    RawDir* folder = folderOf(relative.parent_path(), error);
    if (error)
        return error;
    std::error_code ec;
    RawFile file = folder->createNew(name, ec);
    if (ec)
        return makeError(ErrorKind::ImageCreate, shown, "Cannot create " + std::string(what), ec);
    RawFileWriter writer(file);
    complete = produce(writer);
    std::error_code closed;
    file.close(closed);
    ec = writer.failure() ? writer.failure() : closed;
    if (ec)
        error = makeError(ErrorKind::ImageWrite, shown, "Cannot write " + std::string(what), ec);
    if (error || !complete) {
        complete = false;
        std::error_code ignored; // the whole hidden folder goes at the end all the same
        folder->remove(name, ignored);
    }
    return error;
}

std::optional<ExtractError> NewGameFolder::writeRecord()
{
    if (m_kind.recordText.empty())
        return std::nullopt;
    bool complete = false;
    auto error = write(
        fs::path(m_kind.record), "the put-back's record",
        [this](FileWriter& writer) { return writer.write(m_kind.recordText); }, complete);
    return error;
}

std::optional<ExtractError> NewGameFolder::removeAside(const fs::path& name)
{
    const std::error_code ec = removeTree(m_parent, name);
    if (!ec)
        return std::nullopt;
    const fs::path left = m_into.parent_path() / name;
    ExtractError error =
        makeError(ErrorKind::OutputFolder, left,
                  "The " + std::string(m_kind.contents) + (m_kind.plural ? " are" : " is") +
                      " in place, but the folder they replaced could not "
                      "be removed whole; remove what is left of it at",
                  ec);
    return error;
}

std::optional<ExtractError> NewGameFolder::replaceEarlier()
{
    std::error_code ec;
    // Exchanged in one step; what comes back must be the earlier put-back's folder, or the
    // exchange is undone: a folder slipped in meanwhile is not removed.
    if (m_exchange && m_parent.exchange(m_hidden, m_name, ec)) {
        m_placed = true;
        if (isEarlierFolder(m_parent, m_hidden, m_kind))
            return removeAside(m_hidden);
        m_parent.exchange(m_hidden, m_name, ec);
        m_placed = ec.operator bool();
        return foreign(m_into, FileType::Directory, m_kind);
    }
    if (ec)
        return makeError(ErrorKind::OutputFolder, m_into, "Cannot replace the folder", ec);
    // Renamed aside, the new one renamed in, and the earlier one back should that fail.
    fs::path aside = m_hidden;
    aside += "-old";
    m_parent.rename(m_name, aside, ec);
    if (ec)
        return makeError(ErrorKind::OutputFolder, m_into, "Cannot move the earlier folder aside",
                         ec);
    if (!isEarlierFolder(m_parent, aside, m_kind)) {
        m_parent.rename(aside, m_name, ec);
        if (ec)
            return makeError(ErrorKind::OutputFolder, m_into.parent_path() / aside,
                             "A folder that no put-back made came in the place of \"" +
                                 displayPath(m_into) + "\" and now stands at",
                             ec);
        return foreign(m_into, FileType::Directory, m_kind);
    }
    m_parent.rename(m_hidden, m_name, ec);
    if (!ec) {
        m_placed = true;
        return removeAside(aside);
    }
    auto error = makeError(ErrorKind::OutputFolder, m_into,
                           "Cannot rename the " + std::string(m_kind.contents) + " to", ec);
    m_parent.rename(aside, m_name, ec);
    if (ec)
        error.message += "; the earlier folder, moved aside, is at \"" +
                         displayPath(m_into.parent_path() / aside) + "\"";
    return error;
}

std::optional<ExtractError> NewGameFolder::putInPlace()
{
    std::error_code ec;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const FileIdentity found = m_parent.entry(m_name, false, ec);
        if (ec)
            return makeError(ErrorKind::OutputFolder, m_into, "Cannot look at the folder", ec);
        if (found.type == FileType::Directory && isEarlierFolder(m_parent, m_name, m_kind))
            return replaceEarlier();
        if (found.type != FileType::Missing)
            return foreign(m_into, found.type, m_kind);
        m_parent.rename(m_hidden, m_name, ec);
        if (!ec) {
            m_placed = true;
            return std::nullopt;
        }
        if (ec != std::errc::file_exists && ec != std::errc::directory_not_empty)
            break;
        // Something came at the name meanwhile: looked at again.
    }
    return makeError(ErrorKind::OutputFolder, m_into,
                     "Cannot rename the " + std::string(m_kind.contents) + " to", ec);
}

std::optional<ExtractError> NewGameFolder::place()
{
    if (!m_root.isOpen())
        return makeError(ErrorKind::OutputFolder, m_into,
                         "Cannot rename the " + std::string(m_kind.contents) + " to",
                         std::make_error_code(std::errc::bad_file_descriptor));
    if (auto error = writeRecord())
        return error;
    // Closed before the rename: where an open folder cannot be renamed, nothing holds it.
    m_cached = RawDir();
    m_root = RawDir();
    auto error = putInPlace();
    if (m_placed)
        m_made.clear(); // they hold the new levels now
    return error;
}

std::optional<ExtractError> NewGameFolder::discard()
{
    m_cached = RawDir();
    m_root = RawDir();
    std::optional<ExtractError> error;
    if (m_begun && !m_placed && !m_hidden.empty()) {
        const std::error_code ec = removeTree(m_parent, m_hidden);
        if (ec && ec != std::errc::no_such_file_or_directory)
            error = makeError(ErrorKind::OutputFolder, m_into.parent_path() / m_hidden,
                              "Cannot remove the unfinished " + std::string(m_kind.contents) +
                                  "; remove what is left at",
                              ec);
        m_hidden.clear();
    }
    m_parent = RawDir();
    // The folders made above it go too, the deepest first, when nothing else came into them.
    while (!error && !m_made.empty()) {
        std::error_code ignored;
        m_made.back().first.removeFolder(m_made.back().second, ignored);
        m_made.pop_back();
    }
    m_made.clear();
    return error;
}

} // namespace glintmark::features
