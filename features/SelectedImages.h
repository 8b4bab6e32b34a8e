#pragma once

#include "engine/ExtractTypes.h"
#include "engine/LockedFolder.h"
#include "engine/io/RawFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace glintmark::features {

// Writes only the chosen images of a level, for a run that reads its source in list mode:
// their bytes are kept as they come, one image at a time (in memory up to `heldInMemory`, beyond
// that in an unnamed temporary file, so memory stays bounded whatever the image's size, and every
// byte written is one the run read), and each is written whole through the
// level's folder, under its lock, as a writing run would name it. The level's own observer
// (`inner`) hears the chosen images alone, as if they were the level's, and finishes in that
// folder. The folder is created and locked once the source is open, and only when an image is
// chosen: a level none of whose images is chosen writes nothing. `keepGoing` is asked before
// each image is written; a stop writes no further one.
class SelectedImages : public ExtractObserver
{
public:
    SelectedImages(ExtractObserver& inner, std::set<std::uint64_t> numbers, const ExtractJob& job,
                   std::function<bool()> keepGoing, std::size_t heldInMemory = kHeldInMemory);

    // How many bytes of an image are kept in memory before they go to a temporary file.
    static constexpr std::size_t kHeldInMemory = std::size_t{8} << 20;

    bool onProgress(const Progress& progress) override;
    bool onWaiting() override;
    void onSourceOpened(const RawFile& source, const FileIdentity& identity) override;
    void onImageStart(std::uint64_t number, std::uint64_t offset) override;
    void onImageBytes(std::uint64_t offset, const char* data, std::size_t count) override;
    void onImage(const ImageInfo& image) override;
    std::optional<ExtractError> onFinish(LockedFolder& folder) override;

    // The run's result as a writing run would give it: the images written counted, a failure
    // to write one (or to open the folder) failing it, a stop in the finishing work stopping it.
    ExtractResult settle(ExtractResult result) const;

private:
    ExtractObserver& m_inner;
    std::set<std::uint64_t> m_numbers;
    const ExtractJob& m_job;
    std::function<bool()> m_keepGoing;
    std::optional<LockedFolder> m_folder;
    std::optional<ExtractError> m_error;
    // Keeps `count` bytes of the chosen image being read; false when they cannot be kept.
    bool keep(const char* data, std::size_t count);
    // Writes the first `count` kept bytes to `file`.
    bool writeKept(FileWriter& file, std::uint64_t count);

    std::size_t m_heldInMemory;
    std::string m_bytes;    // the chosen image being read, while it is small
    RawFile m_spilled;      // the chosen image being read, once it is not
    bool m_chosen = false;  // the image being read is one to write
    bool m_stopped = false; // a stop came before an image was written
    std::uint64_t m_written = 0;
};

} // namespace glintmark::features
