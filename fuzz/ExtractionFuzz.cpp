// A run over any source, in list mode, with blocks from one byte up: it must cut exactly what
// the plainest cut finds (an image at every signature, running to the next), read each image's
// structure as a reader fed the whole image does, and find the same whatever the block size.
#include "FuzzCheck.h"

#include "engine/Extraction.h"
#include "engine/jpeg/JpegReader.h"
#include "engine/jpeg/SignatureScanner.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using glintmark::fuzz::require;
using glintmark::fuzz::sameStructure;

// Keeps what a run reports.
struct Listing : glintmark::ExtractObserver
{
    std::vector<glintmark::ImageInfo> images;
    int lastPercent = -1;
    std::uint64_t lastRead = 0;
    bool progressSound = true;

    bool onProgress(const glintmark::Progress& p) override
    {
        progressSound = progressSound && p.percent >= lastPercent && p.percent <= 100 &&
                        p.bytesRead >= lastRead && p.bytesRead <= p.sourceSize &&
                        p.imagesCompleted == images.size();
        lastPercent = p.percent;
        lastRead = p.bytesRead;
        return true;
    }
    void onImage(const glintmark::ImageInfo& image) override { images.push_back(image); }
};

// The source: one memory file for the whole session, refilled for every input.
const std::string& sourceHolding(std::string_view bytes)
{
    static const int fd = memfd_create("glintmark-fuzz-source", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    require(fd >= 0, "no memory file for the source");
    require(::ftruncate(fd, 0) == 0, "cannot empty the source");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        require(put > 0, "cannot fill the source");
        done += static_cast<std::size_t>(put);
    }
    return path;
}

struct Cut
{
    std::uint64_t offset;
    std::uint64_t size;
};

// Every position where the signature starts opens an image that runs to the next one.
std::vector<Cut> plainCut(std::string_view stream, std::string_view signature)
{
    std::vector<std::uint64_t> starts;
    for (std::size_t p = 0; p + signature.size() <= stream.size(); ++p) {
        if (stream.substr(p, signature.size()) == signature)
            starts.push_back(p);
    }
    std::vector<Cut> cuts;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::uint64_t end = i + 1 < starts.size() ? starts[i + 1] : stream.size();
        cuts.push_back({starts[i], end - starts[i]});
    }
    return cuts;
}

} // namespace

// The first byte chooses the signature and the cut: below 0x80 the JFIF signature; otherwise
// its low two bits give a short signature's length (one to four bytes), taken from what
// follows, so overlapping and repeating signatures are tried too. Bit 2 asks for trimming.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string signature(glintmark::kJfifSignature);
    std::string_view stream = input.substr(1);
    if (data[0] >= 0x80) {
        const std::size_t length = 1 + (data[0] & 3u);
        if (stream.size() < length)
            return 0;
        signature = std::string(stream.substr(0, length));
        stream.remove_prefix(length);
    }
    const bool trim = (data[0] & 4u) != 0;
    const std::vector<Cut> expected = plainCut(stream, signature);

    glintmark::ExtractJob job;
    job.sourceFile = sourceHolding(stream);
    job.signature = signature;
    job.trim = trim;
    std::vector<glintmark::ImageInfo> first;
    for (const std::size_t blockSize : {std::size_t{1}, std::size_t{10}, std::size_t{3},
                                        std::size_t{64}, glintmark::kDefaultBlockSize}) {
        job.blockSize = blockSize;
        Listing listing;
        const glintmark::ExtractResult result =
            glintmark::runExtraction(job, &listing, glintmark::RunMode::ListOnly);
        require(result.status == glintmark::RunStatus::Completed && !result.error,
                "a listing of a readable source failed");
        require(listing.progressSound && listing.lastPercent == 100 &&
                    listing.lastRead == stream.size(),
                "progress went back, past the source, or did not reach its end");
        require(result.count == expected.size() && listing.images.size() == expected.size(),
                "not one image per signature");
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const glintmark::ImageInfo& image = listing.images[i];
            require(image.number == i + 1, "images numbered out of order");
            require(image.offset == expected[i].offset && image.size == expected[i].size,
                    "an image cut elsewhere than the plain cut");
            require(image.file.empty(), "a listing named a file");
            glintmark::JpegReader reader;
            reader.feed(reinterpret_cast<const unsigned char*>(stream.data()) + image.offset,
                        image.size);
            require(sameStructure(image.jpeg, reader.structure()),
                    "a run read an image's structure differently from a whole reading");
            const std::uint64_t kept = trim && image.jpeg.end ? *image.jpeg.end : image.size;
            require(image.written == kept, "a listed image would hold other bytes");
            if (!first.empty()) {
                require(sameStructure(image.jpeg, first[i].jpeg) &&
                            image.written == first[i].written,
                        "block sizes disagree");
            }
        }
        if (first.empty())
            first = listing.images;
    }
    return 0;
}
