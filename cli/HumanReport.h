#pragma once

#include "cli/Report.h"

#include <iosfwd>
#include <string>

namespace glintmark::cli {

// The closing line for a source, such as "42 textures extracted from levels/a.ldb into out/a"
// (list mode: "42 textures found in levels/a.ldb"), with the older images left in place, if any;
// after decoding, "; 40 whole, 2 damaged".
std::string summaryLine(const SourceOutcome& outcome, RunMode mode);

// The lines for a failed source: the error itself and, when images were kept, where they are.
std::string errorLines(const SourceOutcome& outcome, RunMode mode);

// The one line for a run stopped by `signal`: that it was interrupted and what was kept.
std::string interruptedLine(const SourceOutcome& outcome, RunMode mode, int signal);

// How an image stands, for people: "whole", "whole + 120 bytes", "cut short: cut inside the
// image data at byte 4000", "damaged: bad segment length at byte 20".
std::string statusText(const ImageInfo& image);

// The human report: in list mode each source's name and an aligned table of its images'
// numbers, offsets, sizes, dimensions, status (and, after decoding, whether each decodes), row
// by row as they are found; a summary line per source unless quiet.
class HumanReport : public Report
{
public:
    HumanReport(std::ostream& out, RunMode mode, bool quiet, bool decoding);

    void beginSource(const std::filesystem::path& source,
                     const std::filesystem::path& folder) override;
    void image(const ImageInfo& image) override;
    void endSource(const SourceOutcome& outcome) override;
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
