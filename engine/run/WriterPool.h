#pragma once

#include "engine/ExtractError.h"
#include "engine/ExtractTypes.h"
#include "engine/run/SourceBlock.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace glintmark {

class OutputFolder;

// The blocks the run reads into while writers still hold bytes of earlier ones: this many bytes
// of them at most (and never fewer than kMinBlocks, nor more than kMaxBlocks blocks); the run
// waits for a block to come free beyond that.
inline constexpr std::size_t kBytesInFlight = std::size_t{2} << 20;
inline constexpr std::size_t kMinBlocks = 4;
inline constexpr std::size_t kMaxBlocks = 1024;

// Images handed to the writers and not yet taken back, at most.
inline constexpr std::size_t kImagesInFlight = 256;
// A writer takes an image once it is closed, or once this many of its bytes wait: a large image
// is written while it is read, a small one in one go. Below kBytesInFlight, so that the run
// never waits for room that only the image it is reading could make.
inline constexpr std::size_t kStreamFrom = std::size_t{1} << 20;

// An image the writers are done with, as the run takes it back.
struct WrittenImage
{
    ImageInfo info;                    // as the run described it when it closed the image
    std::optional<ExtractError> error; // why it could not be written; nothing of it is left
};

// A few threads that write images while the run reads on. The run hands images over in the
// source's order, each one's bytes as it reads them; each writer takes the oldest image no
// writer has yet, writes it into its hidden part file, and the images are put in place of their
// names strictly in order, each only once every one before it is: the first that cannot be
// written or put in place stops that, so no image after it is ever kept. The run takes them back
// in the same order (takeOldest) to report them. Nothing here names a file but through
// `folder`; no more than kBytesInFlight bytes and kImagesInFlight images are held at once.
class WriterPool
{
public:
    // Starts `writers` threads (at least one) that write into `folder`; fewer when the system
    // gives no more, and std::system_error when it gives none.
    WriterPool(const OutputFolder& folder, unsigned writers);
    // Drops every image not taken back, as dropAll() does, and ends the threads.
    ~WriterPool();
    WriterPool(const WriterPool&) = delete;
    WriterPool& operator=(const WriterPool&) = delete;

    // Whether no further image may be started before the oldest is taken back.
    bool full() const;
    // Whether an image not taken back yet could not be written or put in place.
    bool anyFailed() const;

    // Hands over a new image: its bytes go to the hidden file `temporary`, which then takes the
    // place of `name`; messages name `info.file`. The image before it must be closed.
    void start(const ImageInfo& info, std::filesystem::path name, std::filesystem::path temporary);
    // A block of `size` bytes for the run to read into, that no writer holds; waits while every
    // block the bound allows is held. Every call should ask for the same size.
    SharedBlock freeBlock(std::size_t size);
    // Adds the bytes [data, data + count) of `block` to the newest image, without copying them;
    // they are dropped once it has failed.
    void add(const SharedBlock& block, const char* data, std::size_t count);
    // The newest image has all its bytes; `info` describes it whole. With `link`, its file is
    // made a link to that earlier file rather than written, unless a writer has begun writing
    // it already (a large image) or the link cannot be made (then its bytes are written).
    void close(const ImageInfo& info, std::optional<ImageLink> link = std::nullopt);

    // The oldest image, once it is in place or has failed. None when there is no image, or the
    // oldest is not there yet and `wait` is false, or it is still open: with `wait`, an image
    // that is closed is waited for.
    std::optional<WrittenImage> takeOldest(bool wait);

    // Drops every image not taken back: writers stop where they are, nothing more is put in
    // place, and every part file left is removed. Returns once no writer holds an image.
    void dropAll();

private:
    struct Slot;
    // A writer's loop: takes the oldest image nobody writes, once it is ready, writes it and
    // puts what is ready in place, until the end.
    void work();
    // Whether a writer may take the oldest image nobody writes yet; under m_mutex.
    bool nextIsReady() const;
    // Makes `slot`'s part file the link it was closed with; true when it is there. A link that
    // cannot be made leaves the bytes to be written, its reason in the image's description.
    bool link(Slot& slot);
    // Creates `slot`'s part file and writes its bytes as they come, until it is closed, dropped
    // or a write fails; true when the file is complete. A part file that will not be kept is
    // removed.
    bool write(Slot& slot);
    // Puts in place, in order, every written image whose predecessors are all in place, unless
    // another thread does so already; `lock` holds m_mutex and is released while renaming.
    void placeReady(std::unique_lock<std::mutex>& lock);
    // Wakes the writers when images wait for them and the run is about to wait; under m_mutex.
    void wakeForWait();

    const OutputFolder& m_folder;
    mutable std::mutex m_mutex;
    std::condition_variable m_forWriters;      // a ready image, new bytes, a close, a drop, the end
    std::condition_variable m_forRun;          // room for bytes, an image in place or failed
    std::deque<std::unique_ptr<Slot>> m_slots; // images not taken back, oldest first
    std::size_t m_handedOut = 0;       // how many of m_slots, from the front, a writer has taken
    std::size_t m_placed = 0;          // how many of m_slots, from the front, are in place
    std::vector<SharedBlock> m_blocks; // every block made, free or held
    std::size_t m_nextBlock = 0;       // where the search for a free one starts
    std::size_t m_failed = 0;          // images in m_slots that failed
    std::size_t m_idle = 0;            // writers waiting for an image
    bool m_placing = false;            // a thread is putting images in place
    bool m_roomWanted = false;         // the run waits for a block to come free
    bool m_halted = false; // nothing more is put in place: an image failed, or all dropped
    bool m_ending = false;
    std::vector<std::thread> m_threads;
};

} // namespace glintmark
