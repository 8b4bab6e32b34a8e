#include "cli/report/HumanReport.h"

#include "engine/io/PathText.h"
#include "features/ImageStatus.h"
#include "features/gallery/GalleryPage.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

namespace glintmark::cli {

using features::decodeText;
using features::statusText;
namespace {

constexpr const char* kProgramName = "glintmark-cli";

std::string textures(std::uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " texture" : " textures");
}

// Wide enough for "9999x9999"; the rows are written as they come, so it cannot follow them.
constexpr int kDimensionsWidth = 10;

int digitsOf(std::uint64_t value)
{
    return static_cast<int>(std::to_string(value).size());
}

std::string dimensionsText(const JpegStructure& jpeg)
{
    if (!jpeg.hasFrame)
        return "-";
    return std::to_string(jpeg.width) + "x" + std::to_string(jpeg.height);
}

// "; 40 decode, 2 do not decode" once the images were decoded, with ", 1 not checked" for those
// over a decoding limit; otherwise nothing.
std::string decodeCounts(const std::vector<CheckedImage>& images)
{
    const std::string text = features::decodingText(features::tallyDecoding(images));
    return text.empty() ? text : "; " + text;
}

} // namespace

std::string sourceName(const std::filesystem::path& source)
{
#ifndef _WIN32
    if (source == "/dev/stdin")
        return "stdin";
#endif
    return displayPath(source);
}

std::string summaryLine(const LevelOutcome& outcome, RunMode mode)
{
    if (mode == RunMode::ListOnly)
        return textures(outcome.result.count) + " found in " + sourceName(outcome.source) +
               decodeCounts(outcome.images);
    std::string line = textures(outcome.result.count) + " extracted from " +
                       sourceName(outcome.source) + " into " + displayPath(outcome.folder);
    if (outcome.result.staleImages > 0) {
        line += "; " + std::to_string(outcome.result.staleImages) +
                " older ones numbered beyond them were left in place";
    }
    return line + decodeCounts(outcome.images);
}

std::string errorLines(const LevelOutcome& outcome, RunMode mode)
{
    if (outcome.result.status == RunStatus::Completed)
        return {};
    std::string lines = std::string(kProgramName) + ": ";
    if (outcome.result.error)
        lines += outcome.result.error->message;
    else
        lines += sourceName(outcome.source) + ": the run stopped before the end";
    lines += '\n';
    if (mode == RunMode::Write && outcome.result.count > 0) {
        lines += std::string(kProgramName) + ": " + textures(outcome.result.count) +
                 " extracted from " + sourceName(outcome.source) + " into " +
                 displayPath(outcome.folder) + " before the failure\n";
    }
    return lines;
}

std::string interruptedLine(const LevelOutcome& outcome, RunMode mode, std::string_view signal)
{
    std::string line = std::string(kProgramName) + ": interrupted by " + std::string(signal);
    if (mode == RunMode::ListOnly)
        return line + " while reading " + sourceName(outcome.source) + "\n";
    return line + "; kept " + textures(outcome.result.count) + " extracted from " +
           sourceName(outcome.source) + " into " + displayPath(outcome.folder) + "\n";
}

HumanReport::HumanReport(std::ostream& out, RunMode mode, bool quiet, bool decoding, bool verbose,
                         bool gallery)
    : m_out(out), m_mode(mode), m_quiet(quiet), m_decoding(decoding), m_verbose(verbose),
      m_gallery(gallery)
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
    m_out << sourceName(m_source) << '\n';
    m_out << std::right << std::setw(m_numberWidth) << "image"
          << "  " << std::setw(m_offsetWidth) << "offset"
          << "  " << std::setw(m_sizeWidth) << "size"
          << "  " << std::setw(kDimensionsWidth) << "dimensions" << (m_decoding ? "  decodes" : "")
          << "  status\n";
}

void HumanReport::image(const CheckedImage& image)
{
    if (m_mode != RunMode::ListOnly)
        return;
    if (!m_headWritten)
        writeTableHead();
    m_out << std::setw(m_numberWidth) << image.number << "  " << std::setw(m_offsetWidth)
          << image.offset << "  " << std::setw(m_sizeWidth) << image.size << "  "
          << std::setw(kDimensionsWidth) << dimensionsText(image.jpeg) << "  ";
    if (m_decoding)
        m_out << std::left << std::setw(7) << decodeText(image) << std::right << "  ";
    m_out << statusText(image);
    if (image.decodes && !*image.decodes)
        m_out << "; the decoder says: " << image.decodeError;
    else if (!image.decodes && !image.decodeError.empty())
        m_out << "; " << image.decodeError;
    m_out << '\n';
}

void HumanReport::endSource(const LevelOutcome& outcome)
{
    const bool completed = outcome.result.status == RunStatus::Completed;
    const features::DecodeTally tally = features::tallyDecoding(outcome.images);
    m_decodeTally.decode += tally.decode;
    m_decodeTally.doNotDecode += tally.doNotDecode;
    m_decodeTally.notChecked += tally.notChecked;
    if (m_mode == RunMode::ListOnly && completed && !m_headWritten)
        writeTableHead();
    if (!m_quiet && completed && (!m_game || m_verbose)) {
        m_out << summaryLine(outcome, m_mode);
        // A game's page is named once, with its totals.
        if (m_gallery && !m_game && m_mode == RunMode::Write)
            m_out << "; open " << displayPath(outcome.folder / std::string(features::kGalleryName));
        m_out << '\n';
    }
    m_out << std::flush;
}

void HumanReport::textures(const features::GameTextures& textures)
{
    if (m_quiet)
        return;
    m_totals = features::indexSummary(textures.index());
    // A game's totals stand in for its levels' lines, their decoding included.
    if (const std::string decoding = features::decodingText(m_decodeTally); !decoding.empty())
        m_totals += "; " + decoding;
    if (textures.linked() > 0)
        m_totals += "; " + features::groupedNumber(textures.linked()) +
                    (textures.linked() == 1 ? " file stored once as a link"
                                            : " files stored once as links");
}

void HumanReport::finish()
{
    if (!m_totals.empty())
        m_out << m_totals << m_hint << '\n';
    m_totals.clear();
    m_out << std::flush;
}

} // namespace glintmark::cli
