#include "cli/CliHelp.h"

#include <algorithm>
#include <sstream>
#include <string_view>

namespace glintmark::cli {
namespace {

// The narrowest width the text is laid out for; a narrower terminal wraps it itself.
constexpr int kNarrowest = 40;

struct OptionLine
{
    std::string_view tag;
    std::string_view what;
};

// In the order a user meets them: extracting, then what the report says, then putting back.
constexpr OptionLine kOptions[] = {
    {"-o, --output DIR", "write into DIR, made if missing (default: .)"},
    {"    --folder-per-source", "give a single SOURCE its folder DIR/NAME too"},
    {"    --list", "list each image's offset, size, status; write nothing"},
    {"    --trim", "write each image only through its end marker (FF D9)"},
    {"    --check", "decode every image and say which do not decode"},
    {"    --gallery", "also write index.html, a page of thumbnails"},
    {"    --writers N", "write the images on N threads, 1 to 64 (default 2)"},
    {"    --dedupe", "store an image whose bytes came before as a hard link"},
    {"    --force", "write into DIR though it holds another game's textures"},
    {"    --no-index", "write no textures.json beside the images"},
    {"    --json", "print one JSON report instead of lines"},
    {"-v, --verbose", "for a game, a line per level besides the totals"},
    {"-q, --quiet", "print errors only: no summary and no progress bar"},
    {"    --put-back DIR", "write SOURCE again with the edited textures in DIR"},
    {"    --into NEW", "the new level --put-back writes (a game: a folder)"},
    {"    --fit", "encode again an edit too large or coded otherwise"},
    {"    --ignore-unmatched", "pass over files in DIR named as no texture"},
    {"    --everywhere", "put each edit wherever its texture stands in the game"},
    {"    --pack PACKDIR", "also save the edits that go back as a pack in PACKDIR"},
    {"-h, --help", "print this help and exit"},
    {"-V, --version", "print the version and the licence and exit"},
};

constexpr std::string_view kDescription =
    "Pulls the JPEG textures out of level database files (*.ldb) and writes each one as "
    "Vorlesk_0001.jpg, Vorlesk_0002.jpg, ... A SOURCE is a level file, - for standard input, "
    "or a game folder: every *.ldb below it, each into a folder of its own. Every extraction "
    "writes DIR/textures.json beside the images: each source's size and time, and each "
    "image's texture by its SHA-256.";

constexpr std::string_view kRules =
    "--list writes nothing, so it takes no --trim, --gallery, --writers, --dedupe or "
    "--no-index. --put-back takes one SOURCE and writes only the new level named by --into; --fit, "
    "--ignore-unmatched, --everywhere and --pack go with it, the options that write images do "
    "not. A DIR holding pack.json is a pack: each of its textures goes wherever it stands.";

struct Example
{
    std::string_view command;
    std::string_view what;
};

constexpr Example kExamples[] = {
    {"glintmark-cli -o textures levels/castle.ldb", "castle's textures into textures/"},
    {"glintmark-cli --list levels/castle.ldb", "what castle holds, without writing anything"},
    {"glintmark-cli --trim --gallery -o out game/",
     "every level of game/, and out/index.html to open in a browser"},
    {"glintmark-cli --put-back textures --into new.ldb levels/castle.ldb",
     "castle.ldb with the edited textures in place, as new.ldb"},
    {"glintmark-cli --put-back textures --list --pack mypack game/",
     "the edits that would go back into game/, saved as the pack mypack/"},
};

constexpr OptionLine kExitCodes[] = {
    {"0", "done (damaged textures found by --check included)"},
    {"1", "a source failed, or an edited texture was refused"},
    {"2", "bad usage"},
    {"128+N", "stopped by signal N (130 for Ctrl+C)"},
};

constexpr std::string_view kMore =
    "The rest is in the man page glintmark-cli(1): the rules of folders, putting back, the "
    "JSON report and the environment.";

// `text` as lines of at most `columns`, each starting with `first` (the first line) or
// `indent` spaces (the others); a word longer than a line stands alone on its own.
std::string wrapped(std::string_view text, int columns, std::string_view first, int indent)
{
    std::string out;
    std::string line(first);
    bool lineHasWord = false;
    const auto width = static_cast<std::size_t>(columns);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty())
            continue;
        if (lineHasWord && line.size() + 1 + word.size() > width) {
            out += line + '\n';
            line.assign(static_cast<std::size_t>(indent), ' ');
            lineHasWord = false;
        }
        if (lineHasWord)
            line += ' ';
        line += word;
        lineHasWord = true;
    }
    return out + line + '\n';
}

// A table of `tag  what` rows: the descriptions in a column after the widest tag, or, where
// that leaves them too little room, each under its tag.
template <std::size_t N> std::string table(const OptionLine (&rows)[N], int columns, int tagIndent)
{
    std::size_t widest = 0;
    for (const OptionLine& row : rows)
        widest = std::max(widest, row.tag.size());
    const int column = tagIndent + static_cast<int>(widest) + 2;
    const bool beside = columns - column >= 34;
    std::string out;
    for (const OptionLine& row : rows) {
        const std::string tag =
            std::string(static_cast<std::size_t>(tagIndent), ' ') + std::string(row.tag);
        if (beside) {
            const std::string first =
                tag + std::string(static_cast<std::size_t>(column) - tag.size(), ' ');
            out += wrapped(row.what, columns, first, column);
        } else {
            out += tag + '\n';
            out += wrapped(row.what, columns, std::string(8, ' '), 8);
        }
    }
    return out;
}

} // namespace

std::string helpText(int requested)
{
    const int columns = std::max(kNarrowest, requested);
    std::ostringstream out;
    out << wrapped("Usage: glintmark-cli [OPTIONS] SOURCE...", columns, "", 2);
    out << wrapped("or: glintmark-cli --put-back DIR --into NEW [OPTIONS] SOURCE", columns, "  ",
                   6);
    out << '\n' << wrapped(kDescription, columns, "", 0);
    out << "\nOptions:\n" << table(kOptions, columns, 2);
    out << '\n' << wrapped(kRules, columns, "", 0);
    out << "\nExamples:\n";
    for (const Example& example : kExamples) {
        out << wrapped(example.command, columns, "  ", 6);
        out << wrapped(example.what, columns, "      ", 6);
    }
    out << "\nExit codes:\n" << table(kExitCodes, columns, 2);
    out << '\n' << wrapped(kMore, columns, "", 0);
    return out.str();
}

} // namespace glintmark::cli
