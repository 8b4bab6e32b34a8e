#include "cli/ImageCheck.h"

#include "cli/DecodeCheck.h"
#include "engine/ErrorText.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <thread>

namespace glintmark::cli {
namespace {

// Decodes images taken one at a time from a shared counter, so the threads share the work.
class CheckWork
{
public:
    CheckWork(const std::filesystem::path& source, std::vector<ImageInfo>& images)
        : m_source(source), m_images(images)
    {}

    void run(const std::function<void(const Progress&)>* onProgress = nullptr)
    {
        std::ifstream in(m_source, std::ios::binary);
        std::vector<unsigned char> bytes;
        for (std::size_t i = m_next++; i < m_images.size(); i = m_next++) {
            ImageInfo& image = m_images[i];
            if (!decodeOne(in, image, bytes)) {
                m_failed = true;
                return;
            }
            m_bytes += bytes.size();
            const std::size_t done = ++m_done;
            if (onProgress && *onProgress) {
                Progress progress;
                progress.bytesRead = m_bytes;
                progress.imagesCompleted = done;
                progress.percent = static_cast<int>(done * 100 / m_images.size());
                (*onProgress)(progress);
            }
        }
    }

    bool failed() const { return m_failed; }

private:
    // Reads one image back and decodes it; false when the source cannot be read.
    static bool decodeOne(std::ifstream& in, ImageInfo& image, std::vector<unsigned char>& bytes)
    {
        // Nothing behind the end marker changes what the decoder says.
        const std::uint64_t length = image.jpeg.end.value_or(image.size);
        try {
            bytes.resize(static_cast<std::size_t>(length));
        } catch (const std::bad_alloc&) {
            bytes.clear();
            image.decodes = false;
            image.decodeError =
                "Too large to decode in memory (" + std::to_string(length) + " bytes)";
            return true;
        }
        in.seekg(static_cast<std::streamoff>(image.offset));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!in)
            return false;
        const DecodeResult result = decodeJpeg(bytes.data(), bytes.size());
        image.decodes = result.decodes();
        image.decodeError = result.decodes() ? std::string() : result.message;
        return true;
    }

    const std::filesystem::path& m_source;
    std::vector<ImageInfo>& m_images;
    std::atomic<std::size_t> m_next{0};
    std::atomic<std::size_t> m_done{0};
    std::atomic<std::uint64_t> m_bytes{0};
    std::atomic<bool> m_failed{false};
};

} // namespace

unsigned checkThreadCount()
{
    if (const char* wanted = std::getenv("GLINTMARK_CHECK_THREADS")) {
        const int count = std::atoi(wanted);
        if (count >= 1 && count <= 64)
            return static_cast<unsigned>(count);
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

std::optional<ExtractError> checkImages(const std::filesystem::path& source,
                                        std::vector<ImageInfo>& images, unsigned threads,
                                        const std::function<void(const Progress&)>& onProgress)
{
    CheckWork work(source, images);
    std::vector<std::thread> helpers;
    const std::size_t helperCount = std::min<std::size_t>(threads, images.size());
    for (std::size_t i = 1; i < helperCount; ++i)
        helpers.emplace_back([&work] { work.run(); });
    work.run(&onProgress);
    for (std::thread& helper : helpers)
        helper.join();
    if (!work.failed())
        return std::nullopt;
    return ExtractError{ErrorKind::SourceRead, source,
                        "Cannot read the images back from \"" + displayPath(source) +
                            "\" to decode them"};
}

} // namespace glintmark::cli
