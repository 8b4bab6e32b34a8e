#include "cli/HumanReport.h"

#include "cli/Signals.h"
#include "engine/ErrorText.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

namespace glintmark::cli {
namespace {

constexpr const char* kProgramName = "glintmark-cli";

std::string textures(std::uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " texture" : " textures");
}

int digitsOf(std::uint64_t value)
{
    return static_cast<int>(std::to_string(value).size());
}

} // namespace

std::string summaryLine(const SourceOutcome& outcome, RunMode mode)
{
    if (mode == RunMode::ListOnly)
        return textures(outcome.result.count) + " found in " + displayPath(outcome.source);
    std::string line = textures(outcome.result.count) + " extracted from " +
                       displayPath(outcome.source) + " into " + displayPath(outcome.folder);
    if (outcome.result.staleImages > 0) {
        line += "; " + std::to_string(outcome.result.staleImages) +
                " older ones numbered beyond them were left in place";
    }
    return line;
}

std::string errorLines(const SourceOutcome& outcome, RunMode mode)
{
    if (outcome.result.status == RunStatus::Completed)
        return {};
    std::string lines = std::string(kProgramName) + ": ";
    if (outcome.result.error)
        lines += outcome.result.error->message;
    else
        lines += displayPath(outcome.source) + ": the run stopped before the end";
    lines += '\n';
    if (mode == RunMode::Write && outcome.result.count > 0) {
        lines += std::string(kProgramName) + ": " + textures(outcome.result.count) +
                 " extracted from " + displayPath(outcome.source) + " into " +
                 displayPath(outcome.folder) + " before the failure\n";
    }
    return lines;
}

std::string interruptedLine(const SourceOutcome& outcome, RunMode mode, int signal)
{
    std::string line = std::string(kProgramName) + ": interrupted by " + signalName(signal);
    if (mode == RunMode::ListOnly)
        return line + " while reading " + displayPath(outcome.source) + "\n";
    return line + "; kept " + textures(outcome.result.count) + " extracted from " +
           displayPath(outcome.source) + " into " + displayPath(outcome.folder) + "\n";
}

HumanReport::HumanReport(std::ostream& out, RunMode mode, bool quiet)
    : m_out(out), m_mode(mode), m_quiet(quiet)
{}

void HumanReport::beginSource(const std::filesystem::path& source,
                              const std::filesystem::path& folder)
{
    (void)folder;
    m_source = source;
    m_headWritten = false;
    // Every image holds at least its signature, so there are at most size / 10 of them.
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(source, ec);
    const std::uint64_t largest = ec ? 0 : static_cast<std::uint64_t>(size);
    m_numberWidth = std::max(5, digitsOf(largest / 10));
    m_offsetWidth = std::max(6, digitsOf(largest));
    m_sizeWidth = std::max(4, digitsOf(largest));
}

void HumanReport::writeTableHead()
{
    m_headWritten = true;
    m_out << displayPath(m_source) << '\n';
    m_out << std::right << std::setw(m_numberWidth) << "image"
          << "  " << std::setw(m_offsetWidth) << "offset"
          << "  " << std::setw(m_sizeWidth) << "size" << '\n';
}

void HumanReport::image(const ImageInfo& image)
{
    if (m_mode != RunMode::ListOnly)
        return;
    if (!m_headWritten)
        writeTableHead();
    m_out << std::setw(m_numberWidth) << image.number << "  " << std::setw(m_offsetWidth)
          << image.offset << "  " << std::setw(m_sizeWidth) << image.size << '\n';
}

void HumanReport::endSource(const SourceOutcome& outcome)
{
    const bool completed = outcome.result.status == RunStatus::Completed;
    if (m_mode == RunMode::ListOnly && completed && !m_headWritten)
        writeTableHead();
    if (!m_quiet && completed)
        m_out << summaryLine(outcome, m_mode) << '\n';
    m_out << std::flush;
}

void HumanReport::finish()
{
    m_out << std::flush;
}

} // namespace glintmark::cli
