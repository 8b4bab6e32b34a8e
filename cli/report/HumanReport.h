#pragma once

#include "cli/report/Report.h"

#include <iosfwd>
#include <string>
#include <string_view>

namespace glintmark::cli {

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
// by row as they are found; a summary line per source unless quiet.
class HumanReport : public Report
{
public:
    HumanReport(std::ostream& out, RunMode mode, bool quiet, bool decoding);

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
    std::filesystem::path m_source;
    bool m_headWritten = false;
    // Column widths, fixed before the first row from what the source's size allows.
    int m_numberWidth = 0;
    int m_offsetWidth = 0;
    int m_sizeWidth = 0;
};

} // namespace glintmark::cli
