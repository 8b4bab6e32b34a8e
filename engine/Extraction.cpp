#include "engine/Extraction.h"

#include "engine/LockedFolder.h"
#include "engine/Percent.h"
#include "engine/io/PathText.h"
#include "engine/io/RawFile.h"
#include "engine/jpeg/SignatureScanner.h"
#include "engine/names/ImageNames.h"
#include "engine/run/ImageSink.h"
#include "engine/run/OutputFolder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <system_error>

namespace glintmark {
namespace {

ExtractResult failed(ExtractError error, std::uint64_t count)
{
    ExtractResult result;
    result.status = RunStatus::Failed;
    result.count = count;
    result.error = std::move(error);
    return result;
}

ExtractResult invalidJob(std::string message)
{
    ExtractError error;
    error.kind = ErrorKind::InvalidJob;
    error.message = std::move(message);
    return failed(std::move(error), 0);
}

// The source, read once block by block. Each block goes behind the bytes carried over from the
// block before: the last signature-length-minus-one bytes, where a signature may still begin.
class Run
{
public:
    Run(const ExtractJob& job, ExtractObserver* observer, RunMode mode, RawFile& source,
        const FileIdentity& sourceId, const OutputFolder* folder)
        : m_job(job), m_observer(observer), m_source(source), m_sourceSize(sourceId.size),
          m_bounded(sourceId.type == FileType::Regular && sourceId.size > 0),
          m_scanner(job.signature), m_sink(job, mode, observer, folder), m_finalStep(job, folder)
    {
        if (observer != nullptr)
            m_waiting = [this] { return keepWaiting(); };
    }

    ExtractResult execute();

private:
    // Cuts the bytes buffer[0, decided) into images; no signature can start there unseen.
    std::optional<ExtractError> cut(const char* buffer, std::size_t decided);
    // Reports progress; false when the caller asks to stop.
    bool report(int percent);
    // Asks the observer, during a wait for the source, whether to go on waiting.
    bool keepWaiting();
    ExtractResult end(RunStatus status, std::optional<ExtractError> error = std::nullopt);
    // The failure of a source that ended before the length it had when it was opened.
    ExtractResult shrunk();

    const ExtractJob& m_job;
    ExtractObserver* m_observer;
    RawFile& m_source;
    std::uint64_t m_sourceSize;
    // A regular file is read up to the length it had when opened; a pipe, a device, or a file
    // that reports no size at all (as many under /proc do) to its end.
    bool m_bounded;
    SignatureScanner m_scanner;
    ImageSink m_sink;
    LockedFolder m_finalStep;
    // Hands the source's waits to the observer (none without one).
    WaitingHook m_waiting;
    // The observer answered a wait for the source with a stop.
    bool m_stoppedWaiting = false;
    std::uint64_t m_bytesRead = 0;
    std::uint64_t m_bufferOffset = 0; // offset in the source of the buffer's first byte
    int m_lastPercent = -1;
};

ExtractResult Run::execute()
{
    const std::size_t carryMax = m_scanner.length() - 1;
    const std::size_t blockSize = m_job.blockSize;
    char* buffer = m_sink.nextBlock(carryMax + blockSize, nullptr, 0);
    std::size_t carried = 0;

    for (;;) {
        std::size_t wanted = blockSize;
        if (m_bounded) {
            if (m_bytesRead >= m_sourceSize)
                break;
            wanted = static_cast<std::size_t>(
                std::min<std::uint64_t>(blockSize, m_sourceSize - m_bytesRead));
        }
        std::error_code ec;
        const std::size_t got = m_source.readFully(buffer + carried, wanted, ec, m_waiting);
        // A signal during a wait for more bytes: what came is used, then the observer decides.
        const bool interrupted = ec == std::errc::interrupted;
        if (ec && !interrupted)
            return end(RunStatus::Failed, makeError(ErrorKind::SourceRead, m_job.sourceFile,
                                                    "Cannot read the source file", ec));
        if (got == 0 && !interrupted) {
            if (m_bounded)
                return shrunk();
            break;
        }
        m_bytesRead += got;
        const std::size_t available = carried + got;
        const std::size_t decided = available > carryMax ? available - carryMax : 0;
        if (auto error = cut(buffer, decided))
            return end(RunStatus::Failed, std::move(error));
        carried = available - decided;
        buffer = m_sink.nextBlock(carryMax + blockSize, buffer + decided, carried);
        m_bufferOffset += decided;
        if (m_stoppedWaiting)
            return end(RunStatus::Stopped);
        if (!report(percentOf(m_bytesRead, m_sourceSize)))
            return end(RunStatus::Stopped);
        if (interrupted)
            continue;
        if (got < wanted) {
            if (m_bounded)
                return shrunk();
            break; // a short read only happens at the end of the source
        }
    }

    // Too few bytes remain for another signature: they end the last image.
    if (auto error = m_sink.append(buffer, carried))
        return end(RunStatus::Failed, std::move(error));
    if (auto error = m_sink.finish())
        return end(RunStatus::Failed, std::move(error));
    if (auto error = m_sink.settle())
        return end(RunStatus::Failed, std::move(error));
    if (m_lastPercent != 100 && !report(100))
        return end(RunStatus::Stopped);
    if (m_observer != nullptr) {
        if (auto error = m_observer->onFinish(m_finalStep))
            return end(RunStatus::Failed, std::move(error));
        if (m_finalStep.stopped())
            return end(RunStatus::Stopped);
    }
    return end(RunStatus::Completed);
}

std::optional<ExtractError> Run::cut(const char* buffer, std::size_t decided)
{
    std::size_t writeFrom = 0;
    std::size_t searchFrom = 0;
    for (;;) {
        const std::size_t hit = m_scanner.find(buffer, searchFrom, decided);
        if (hit == SignatureScanner::npos)
            break;
        if (auto error = m_sink.append(buffer + writeFrom, hit - writeFrom))
            return error;
        if (auto error = m_sink.finish())
            return error;
        if (auto error = m_sink.begin(m_bufferOffset + hit))
            return error;
        writeFrom = hit;
        searchFrom = hit + 1;
    }
    // Bytes before the first signature of the source belong to no image and are dropped.
    return m_sink.append(buffer + writeFrom, decided - writeFrom);
}

bool Run::report(int percent)
{
    m_lastPercent = percent;
    if (m_observer == nullptr)
        return true;
    Progress progress;
    progress.bytesRead = m_bytesRead;
    progress.sourceSize = m_sourceSize;
    progress.percent = percent;
    progress.imagesCompleted = m_sink.finished();
    return m_observer->onProgress(progress);
}

bool Run::keepWaiting()
{
    m_stoppedWaiting = !m_observer->onWaiting();
    return !m_stoppedWaiting;
}

ExtractResult Run::end(RunStatus status, std::optional<ExtractError> error)
{
    // Every image read whole stays, whoever writes it, as the last progress counted; one that
    // cannot be written ends the count there, and its error is the one to tell.
    if (auto failure = m_sink.settle()) {
        status = RunStatus::Failed;
        error = std::move(failure);
    }
    m_sink.abandon();
    ExtractResult result;
    result.status = status;
    result.count = m_sink.completed();
    result.error = std::move(error);
    return result;
}

ExtractResult Run::shrunk()
{
    ExtractError error;
    error.kind = ErrorKind::SourceRead;
    error.file = m_job.sourceFile;
    error.message = "The source file \"" + displayPath(m_job.sourceFile) +
                    "\" became shorter while it was read: it ended after " +
                    std::to_string(m_bytesRead) + " of " + std::to_string(m_sourceSize) + " bytes";
    return end(RunStatus::Failed, std::move(error));
}

// Opens the source. Opening a named pipe waits for its writer; a signal that cuts the wait short
// asks the observer whether to go on waiting.
RawFile openSource(const ExtractJob& job, ExtractObserver* observer, bool& stopped,
                   std::error_code& ec)
{
    if (job.openSource)
        return job.openSource(ec);
    for (;;) {
        RawFile source = RawFile::openForReading(job.sourceFile, ec);
        if (ec != std::errc::interrupted)
            return source;
        if (observer != nullptr && !observer->onProgress(Progress{})) {
            stopped = true;
            return {};
        }
    }
}

std::optional<ExtractResult> checkJob(const ExtractJob& job)
{
    if (job.signature.empty())
        return invalidJob("There is no signature to search for");
    // Every image name is a bare name inside the output folder: a stem or an extension holding
    // a separator would reach into another folder.
    if (imageFileName(job.stem, 1, job.outExt).has_parent_path())
        return invalidJob("The image file names must not hold a folder");
    if (job.blockSize == 0)
        return invalidJob("The block size must be at least one byte");
    if (job.blockSize > std::numeric_limits<std::size_t>::max() / 2 - job.signature.size())
        return invalidJob("The block size is too large");
    return std::nullopt;
}

} // namespace

ExtractResult runExtraction(const ExtractJob& job, ExtractObserver* observer, RunMode mode)
{
    if (auto invalid = checkJob(job))
        return *invalid;

    std::error_code ec;
    bool stopped = false;
    RawFile source = openSource(job, observer, stopped, ec);
    if (stopped) {
        ExtractResult result;
        result.status = RunStatus::Stopped;
        return result;
    }
    if (ec)
        return failed(
            makeError(ErrorKind::SourceOpen, job.sourceFile, "Cannot open the source file", ec), 0);
    const FileIdentity sourceId = source.identity(ec);
    if (ec)
        return failed(makeError(ErrorKind::SourceOpen, job.sourceFile,
                                "Cannot read the size of the source file", ec),
                      0);
    OutputFolder folder(sourceId);
    if (mode == RunMode::Write) {
        if (auto error = folder.prepare(job))
            return failed(std::move(*error), 0);
    }
    source.adviseSequential();
    if (observer != nullptr)
        observer->onSourceOpened(source, sourceId);
    ExtractResult result =
        Run(job, observer, mode, source, sourceId, mode == RunMode::Write ? &folder : nullptr)
            .execute();
    if (mode == RunMode::Write)
        result.staleImages = folder.countStaleImages(job, result.count);
    return result;
}

ExtractResult listOpenSource(const ExtractJob& job, RawFile& source, ExtractObserver* observer)
{
    if (auto invalid = checkJob(job))
        return *invalid;
    std::error_code ec;
    const FileIdentity sourceId = source.identity(ec);
    if (ec)
        return failed(makeError(ErrorKind::SourceOpen, job.sourceFile,
                                "Cannot read the size of the source file", ec),
                      0);
    source.adviseSequential();
    return Run(job, observer, RunMode::ListOnly, source, sourceId, nullptr).execute();
}

} // namespace glintmark
