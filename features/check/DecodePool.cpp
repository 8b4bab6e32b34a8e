#include "features/check/DecodePool.h"

#include "engine/io/PathText.h"
#include "features/check/JpegDecode.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace glintmark::features {
namespace {

// Decodes images taken one at a time from a shared counter, so the threads share the work.
class DecodeWork
{
public:
    DecodeWork(const ImageBytesStore& kept, std::vector<CheckedImage>& images)
        : m_kept(kept), m_images(images), m_limits(decodeLimits())
    {}

    // Decodes images until none is left, a stop is asked for or the bytes cannot be read.
    void run()
    {
        for (std::size_t i = m_next++; i < m_images.size() && !m_stop; i = m_next++) {
            if (!decodeOne(m_images[i])) {
                m_failed = true;
                m_stop = true;
            }
            ++m_done;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_finishedThreads;
        m_changed.notify_all();
    }

    // Waits until `threads` threads have finished or `wait` has passed; true when they have.
    bool waitForThreads(std::size_t threads, std::chrono::milliseconds wait)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, wait, [&] { return m_finishedThreads == threads; });
    }

    void stop() { m_stop = true; }
    bool failed() const { return m_failed; }
    // Why the first image that could not be read back could not; none when it was cut short.
    std::error_code readError()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_readError;
    }
    std::size_t done() const { return m_done; }
    std::uint64_t bytes() const { return m_bytes; }

private:
    // Decodes one image from the kept bytes; false when they cannot be read.
    bool decodeOne(CheckedImage& image)
    {
        // Nothing behind the end marker changes what the decoder says.
        const std::uint64_t length = image.jpeg.end.value_or(image.size);
        const ImageBytesReader read = [this, &image](std::uint64_t position, unsigned char* buffer,
                                                     std::size_t count, std::error_code& ec) {
            return m_kept.readAt(image.offset + position, buffer, count, ec);
        };
        const DecodeResult result = decodeJpeg(read, length, m_limits, &m_stop);
        if (result.readFailed) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_readError)
                m_readError = result.readError;
            return false;
        }
        if (result.stopped)
            return true;
        m_bytes += length;
        if (result.overLimit)
            image.decodes.reset();
        else
            image.decodes = result.decodes();
        image.decodeError = result.decodes() ? std::string() : result.message;
        return true;
    }

    const ImageBytesStore& m_kept;
    std::vector<CheckedImage>& m_images;
    const DecodeLimits m_limits;
    std::atomic<std::size_t> m_next{0};
    std::atomic<std::size_t> m_done{0};
    std::atomic<std::uint64_t> m_bytes{0};
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_finishedThreads = 0;
    std::error_code m_readError;
};

} // namespace

unsigned decodeThreadCount()
{
    if (const char* wanted = std::getenv("GLINTMARK_CHECK_THREADS")) {
        const int count = std::atoi(wanted);
        if (count >= 1 && count <= 64)
            return static_cast<unsigned>(count);
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

DecodeOutcome decodeImages(const ImageBytesStore& kept, const std::filesystem::path& source,
                           std::vector<CheckedImage>& images, unsigned threads,
                           const std::function<bool()>& keepGoing,
                           const std::function<void(const Progress&)>& onProgress)
{
    DecodeOutcome outcome;
    outcome.error = kept.problem(source);
    if (outcome.error || images.empty())
        return outcome;

    DecodeWork work(kept, images);
    const std::size_t count = std::clamp<std::size_t>(threads, 1, images.size());
    std::vector<std::thread> decoders;
    for (std::size_t i = 0; i < count; ++i)
        decoders.emplace_back([&work] { work.run(); });
    // This thread only watches: it passes a stop on and draws the progress.
    for (bool finished = false; !finished;) {
        finished = work.waitForThreads(count, std::chrono::milliseconds(50));
        if (!outcome.stopped && keepGoing && !keepGoing()) {
            outcome.stopped = true;
            work.stop();
        }
        if (onProgress) {
            Progress progress;
            progress.bytesRead = work.bytes();
            progress.imagesCompleted = work.done();
            progress.percent = static_cast<int>(work.done() * 100 / images.size());
            onProgress(progress);
        }
    }
    for (std::thread& decoder : decoders)
        decoder.join();
    if (work.failed()) {
        const std::error_code ec = work.readError();
        outcome.error = ExtractError{
            ErrorKind::SourceRead, source,
            "Cannot read the images back from \"" + displayPath(source) + "\" to decode them: " +
                (ec ? ec.message() : std::string("it ended before the last image did"))};
    }
    return outcome;
}

} // namespace glintmark::features
