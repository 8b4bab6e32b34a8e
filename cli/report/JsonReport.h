#pragma once

#include "cli/report/Report.h"

#include <cstdint>
#include <iosfwd>

namespace glintmark::cli {

// One JSON document describing every source's run: its folder, images, status, count, stale
// images and error; over a game, also "textures": the game's index, as textures.json holds it,
// with "linked" and "copies" when shared textures were stored once; and, once told the run's
// summary, "problems" (the folders that could not be read or hold no level), "error" (the game's
// own folder or files) and the whole run's "status". It is a whole document whenever finish() is
// reached, also after a failure or a stop. File names that are not valid UTF-8 come out with
// replacement characters.
class JsonReport : public Report
{
public:
    JsonReport(std::ostream& out, RunMode mode);

    void beginSource(const std::filesystem::path& source,
                     const std::filesystem::path& folder) override;
    void image(const CheckedImage& image) override;
    void endSource(const LevelOutcome& outcome) override;
    void textures(const features::GameTextures& textures) override;
    void summary(const RunSummary& summary) override;
    void finish() override;

private:
    std::ostream& m_out;
    std::size_t m_sources = 0;
    std::uint64_t m_images = 0; // of the current source
    const features::GameTextures* m_textures = nullptr;
    std::optional<RunSummary> m_summary;
};

} // namespace glintmark::cli
