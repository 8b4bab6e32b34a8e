#include "engine/run/WriterPool.h"

#include "engine/io/RawFile.h"
#include "engine/run/OutputFolder.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

namespace glintmark {
namespace {

// Writers are woken one at a time while this few images wait, so that one busy writer takes
// them in turn rather than every close waking a thread; all idle writers are woken at once.
constexpr std::size_t kWakeAtReady = 4;

// Bytes of one image in a block.
struct Chunk
{
    SharedBlock block;
    const char* data = nullptr;
    std::size_t count = 0;
};

// Bytes compared at a time when a link's bytes are read back.
constexpr std::size_t kCompareBlock = std::size_t{64} << 10;

// Whether `file`, read from its start, holds exactly the bytes of `chunks` and no more.
bool holdsExactly(RawFile& file, const std::deque<Chunk>& chunks)
{
    const std::unique_ptr<char[]> buffer(new char[kCompareBlock]);
    std::error_code ec;
    for (const Chunk& chunk : chunks) {
        for (std::size_t done = 0; done < chunk.count;) {
            const std::size_t want = std::min(kCompareBlock, chunk.count - done);
            if (file.readFully(buffer.get(), want, ec) != want || ec ||
                std::memcmp(buffer.get(), chunk.data + done, want) != 0)
                return false;
            done += want;
        }
    }
    char more = 0;
    return file.readFully(&more, 1, ec) == 0 && !ec;
}

} // namespace

struct WriterPool::Slot
{
    ImageInfo info;
    std::filesystem::path name;
    std::filesystem::path temporary;
    std::optional<ExtractError> error;
    std::optional<ImageLink> link; // the earlier file to link to rather than write
    std::deque<Chunk> chunks;      // bytes handed over and not written yet, in order
    std::size_t waiting = 0;       // how many bytes they are
    bool handedOut = false;        // a writer has taken it
    bool closed = false;           // the run has handed over all its bytes
    bool dropped = false;          // the run gave it up: its writer stops at once
    bool failed = false;           // it could not be created, written or put in place
    bool written = false;          // its part file is complete and closed, waiting for its place
    bool placed = false;           // it has taken its name
    bool done = false;             // its writer has let go of it
};

WriterPool::WriterPool(const OutputFolder& folder, unsigned writers) : m_folder(folder)
{
    const unsigned count = std::max(1u, writers);
    m_threads.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        try {
            m_threads.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // The system gives no more threads: those it gave do the work.
            if (m_threads.empty())
                throw;
            break;
        }
    }
}

WriterPool::~WriterPool()
{
    dropAll();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_forWriters.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

bool WriterPool::full() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slots.size() >= kImagesInFlight;
}

bool WriterPool::anyFailed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failed > 0;
}

void WriterPool::start(const ImageInfo& info, std::filesystem::path name,
                       std::filesystem::path temporary)
{
    auto slot = std::make_unique<Slot>();
    slot->info = info;
    slot->name = std::move(name);
    slot->temporary = std::move(temporary);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_slots.push_back(std::move(slot));
}

SharedBlock WriterPool::freeBlock(std::size_t size)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::size_t most =
        std::clamp(kBytesInFlight / std::max<std::size_t>(size, 1), kMinBlocks, kMaxBlocks);
    SharedBlock found;
    const auto findFree = [&] {
        // Held by nobody but this list: no writer has bytes of it left to write.
        for (std::size_t tried = 0; tried < m_blocks.size(); ++tried) {
            const std::size_t i = (m_nextBlock + tried) % m_blocks.size();
            if (m_blocks[i].use_count() == 1 && m_blocks[i]->size == size) {
                m_nextBlock = i + 1;
                found = m_blocks[i];
                return true;
            }
        }
        if (m_blocks.size() >= most)
            return false;
        m_blocks.push_back(std::make_shared<SourceBlock>(size));
        found = m_blocks.back();
        return true;
    };
    if (!findFree()) {
        // Every image is ready for a writer now, however little of it there is.
        m_roomWanted = true;
        wakeForWait();
        m_forRun.wait(lock, findFree);
        m_roomWanted = false;
    }
    return found;
}

void WriterPool::add(const SharedBlock& block, const char* data, std::size_t count)
{
    if (count == 0)
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_slots.empty())
        return;
    Slot& newest = *m_slots.back();
    if (newest.failed || newest.dropped)
        return;
    newest.chunks.push_back(Chunk{block, data, count});
    newest.waiting += count;
    // Its writer waits for these bytes; or it has just become worth taking before its end.
    const bool crossed = newest.waiting >= kStreamFrom && newest.waiting - count < kStreamFrom;
    const bool wake = newest.handedOut || crossed;
    lock.unlock();
    if (wake)
        m_forWriters.notify_all();
}

void WriterPool::close(const ImageInfo& info, std::optional<ImageLink> link)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_slots.empty())
        return;
    Slot& newest = *m_slots.back();
    newest.info = info;
    if (!newest.handedOut)
        newest.link = std::move(link);
    newest.closed = true;
    if (newest.handedOut) {
        // Its writer waits for the close.
        lock.unlock();
        m_forWriters.notify_all();
        return;
    }
    const std::size_t ready = m_slots.size() - m_handedOut;
    const bool allIdle = m_idle == m_threads.size();
    const bool wake = m_idle > 0 && (allIdle || ready >= kWakeAtReady);
    lock.unlock();
    if (wake)
        m_forWriters.notify_one();
}

std::optional<WrittenImage> WriterPool::takeOldest(bool wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_slots.empty())
        return std::nullopt;
    Slot& oldest = *m_slots.front();
    // A failed image is taken once its writer has let go of it.
    const auto settled = [&oldest] { return oldest.placed || (oldest.failed && oldest.done); };
    if (wait && (oldest.closed || oldest.failed) && !settled()) {
        wakeForWait();
        m_forRun.wait(lock, settled);
    }
    if (!settled())
        return std::nullopt;
    std::unique_ptr<Slot> slot = std::move(m_slots.front());
    m_slots.pop_front();
    --m_handedOut;
    if (slot->placed) {
        --m_placed;
    } else {
        --m_failed;
        m_halted = true; // nothing after a failed image is kept
    }
    return WrittenImage{std::move(slot->info), std::move(slot->error)};
}

void WriterPool::dropAll()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_halted = true;
    // Images no writer has taken yet have no file: they just go.
    m_slots.resize(m_handedOut);
    for (const auto& slot : m_slots)
        slot->dropped = true;
    m_forWriters.notify_all();
    m_forRun.wait(lock, [&] {
        return !m_placing && std::all_of(m_slots.begin(), m_slots.end(),
                                         [](const auto& slot) { return slot->done; });
    });
    std::deque<std::unique_ptr<Slot>> dropped;
    dropped.swap(m_slots);
    m_handedOut = 0;
    m_placed = 0;
    m_failed = 0;
    m_halted = false;
    lock.unlock();
    for (const auto& slot : dropped) {
        if (slot->written && !slot->placed)
            m_folder.discard(slot->temporary);
    }
}

void WriterPool::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (!m_ending && !nextIsReady()) {
            ++m_idle;
            m_forWriters.wait(lock, [&] { return m_ending || nextIsReady(); });
            --m_idle;
        }
        if (m_ending)
            return;
        Slot& slot = *m_slots[m_handedOut++];
        slot.handedOut = true;
        lock.unlock();
        const bool written = write(slot);
        lock.lock();
        // Both at once: once written, another thread may place it, and the run then free it.
        slot.written = written;
        slot.done = true;
        placeReady(lock);
        m_forRun.notify_all();
    }
}

bool WriterPool::nextIsReady() const
{
    if (m_handedOut >= m_slots.size())
        return false;
    const Slot& next = *m_slots[m_handedOut];
    return next.closed || next.dropped || next.waiting >= kStreamFrom || m_roomWanted;
}

void WriterPool::wakeForWait()
{
    if (m_idle > 0 && m_handedOut < m_slots.size())
        m_forWriters.notify_all();
}

bool WriterPool::link(Slot& slot)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!slot.link || slot.dropped)
        return false;
    const ImageLink link = std::move(*slot.link);
    slot.link.reset();
    lock.unlock();
    // The bytes stay with the slot until the link is made: they are what it is checked against,
    // and what is written when it cannot be made. Only this writer touches them meanwhile.
    const auto sameBytes = [&slot](RawFile& file) { return holdsExactly(file, slot.chunks); };
    std::error_code refused;
    m_folder.linkPart(link.folder.get(), link.name, link.identity, slot.temporary, sameBytes,
                      refused);
    lock.lock();
    if (refused) {
        slot.info.linkRefused = refused;
        return false;
    }
    slot.info.linked = true;
    // Bytes it will never need; their blocks may be free now.
    slot.waiting = 0;
    slot.chunks.clear();
    m_forRun.notify_all();
    return true;
}

bool WriterPool::write(Slot& slot)
{
    if (link(slot))
        return true;
    std::error_code ec;
    RawFile file = m_folder.createPart(slot.temporary, ec);
    std::unique_lock<std::mutex> lock(m_mutex);
    if (ec) {
        slot.failed = true;
        slot.error =
            makeError(ErrorKind::ImageCreate, slot.info.file, "Cannot create the image file", ec);
    }
    while (!slot.failed) {
        m_forWriters.wait(lock,
                          [&] { return slot.dropped || slot.closed || !slot.chunks.empty(); });
        if (slot.dropped || slot.chunks.empty())
            break;
        Chunk chunk = std::move(slot.chunks.front());
        slot.chunks.pop_front();
        slot.waiting -= chunk.count;
        lock.unlock();
        file.writeAll(chunk.data, chunk.count, ec);
        chunk.block.reset(); // its block may be free now
        lock.lock();
        m_forRun.notify_all();
        if (ec) {
            slot.failed = true;
            slot.error =
                makeError(ErrorKind::ImageWrite, slot.info.file, "Cannot write the image file", ec);
        }
    }
    // Bytes a failed or dropped image will never get; their blocks may be free now. A failure
    // is told at once, before its part file goes, so the run reads no further into blocks that
    // have just come free.
    slot.waiting = 0;
    slot.chunks.clear();
    if (slot.failed)
        ++m_failed;
    m_forRun.notify_all();
    const bool keep = !slot.failed && !slot.dropped;
    lock.unlock();
    if (!file.isOpen())
        return false;
    file.close(ec);
    if (keep && !ec)
        return true;
    m_folder.discard(slot.temporary);
    if (keep) {
        lock.lock();
        slot.failed = true;
        ++m_failed;
        slot.error =
            makeError(ErrorKind::ImageWrite, slot.info.file, "Cannot finish the image file", ec);
    }
    return false;
}

void WriterPool::placeReady(std::unique_lock<std::mutex>& lock)
{
    if (m_placing)
        return; // the thread placing now looks again before it stops
    m_placing = true;
    while (!m_halted && m_placed < m_slots.size()) {
        Slot& next = *m_slots[m_placed];
        if (!next.written || next.dropped)
            break;
        lock.unlock();
        std::optional<ExtractError> error =
            m_folder.putInPlace(next.temporary, next.name, next.info.file, "the image file");
        if (error)
            m_folder.discard(next.temporary);
        lock.lock();
        if (error) {
            next.written = false;
            next.failed = true;
            next.error = std::move(error);
            ++m_failed;
            break;
        }
        next.placed = true;
        ++m_placed;
        m_forRun.notify_all();
    }
    m_placing = false;
}

} // namespace glintmark
