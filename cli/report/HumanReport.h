#pragma once

#include "cli/report/Report.h"
#include "features/ImageStatus.h"

#include <iosfwd>
#include <string>
#include <string_view>

namespace glintmark::cli {

// How the reports name a source: standard input as "stdin", as its bar does, whether it was
// given as - or by its path; any other source by its path.
std::string sourceName(const std::filesystem::path& source);

// The closing line for a source, such as "42 textures extracted from levels/a.ldb into out/a"
// (list mode: "42 textures found in levels/a.ldb"), with the older images left in place, if any;
// after decoding, "; 40 decode, 2 do not decode".
std::string summaryLine(const LevelOutcome& outcome, RunMode mode);

// The lines for a failed source: the error itself and, when images were kept, where they are.
std::string errorLines(const LevelOutcome& outcome, RunMode mode);

// The one line for a run stopped by the signal named `signal` ("SIGINT"): that it was
// interrupted and what was kept.
std::string interruptedLine(const LevelOutcome& outcome, RunMode mode, std::string_view signal);

// The human report: in list mode each source's name and an aligned table of its images'
// numbers, offsets, sizes, dimensions, status (and, after decoding, whether each decodes), row
// by row as they are found; a summary line per source unless quiet. A game's levels get theirs
// only when `verbose`: its totals close the report, once the game's files are written, with
// where to look (whereToLook). A level's own gallery page is named on its line.
class HumanReport : public Report
{
public:
    HumanReport(std::ostream& out, RunMode mode, bool quiet, bool decoding, bool verbose = false,
                bool gallery = false);

    // The sources that follow are levels of a game (or not).
    void levelsOfGame(bool game) { m_game = game; }
    // What the totals end with: the file to open, once it is written ("; open out/index.html").
    void whereToLook(std::string hint) { m_hint = std::move(hint); }

    void beginSource(const std::filesystem::path& source,
                     const std::filesystem::path& folder) override;
    void image(const CheckedImage& image) override;
    void endSource(const LevelOutcome& outcome) override;
    void textures(const features::GameTextures& textures) override;
    void finish() override;

private:
    void writeTableHead();

    std::ostream& m_out;
    RunMode m_mode;
    bool m_quiet;
    bool m_decoding;
    bool m_verbose;
    bool m_gallery;
    bool m_game = false;
    std::string m_totals;                // a game's totals, written by finish()
    features::DecodeTally m_decodeTally; // the game's levels' verdicts, for its totals
    std::string m_hint;
    std::filesystem::path m_source;
    bool m_headWritten = false;
    // Column widths, fixed before the first row from what the source's size allows.
    int m_numberWidth = 0;
    int m_offsetWidth = 0;
    int m_sizeWidth = 0;
};

} // namespace glintmark::cli
