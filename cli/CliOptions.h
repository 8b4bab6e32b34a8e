#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <vector>

namespace glintmark::cli {

// What the user asked for on the command line.
struct CliOptions
{
    std::filesystem::path outputDir = ".";
    std::vector<std::filesystem::path> sources;
    bool list = false;            // report the images only; write nothing
    bool json = false;            // one JSON report on the output stream instead of human lines
    bool quiet = false;           // no human summary lines and no progress bar
    bool verbose = false;         // a game's report has a line for each level, not only totals
    bool trim = false;            // write each image only through its end marker
    bool check = false;           // decode every image and report whether it decodes cleanly
    bool gallery = false;         // write index.html, a page of thumbnails, into each output folder
    bool folderPerSource = false; // a folder of its own for each source, even a single one
    unsigned writers = 0;         // threads that write the images; 0: GLINTMARK_WRITERS or two
    bool dedupe = false;          // an image equal to an earlier one becomes a link to its file
    bool force = false;           // write into a folder that holds another game's textures
    bool noIndex = false;         // write no textures.json beside the images
    // Put the edited images in this folder back into the one source, as the new level `into`
    // (a game folder: into its levels, as the new levels below the folder `into`).
    std::optional<std::filesystem::path> putBack;
    std::filesystem::path into;
    bool fit = false; // encode again an edited image that does not fit or is coded otherwise
    bool ignoreUnmatched = false; // put-back passes over files in DIR that match no image
    bool everywhere = false;      // put-back into a game puts each edit wherever its original is
    std::filesystem::path pack{}; // put-back also writes the edits that go back as this pack
};

// The outcome of parsing: options to run with, or an exit code when parsing already answered
// (help, version) or failed (usage errors, reported on `err`).
struct ParsedCommandLine
{
    std::optional<CliOptions> options;
    int exitCode = 0;
};

// Parses the arguments; help (laid out `helpColumns` wide) and version text go to `out`, usage
// errors to `err`.
ParsedCommandLine parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                   std::ostream& err, int helpColumns = 80);

} // namespace glintmark::cli
