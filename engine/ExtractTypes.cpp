#include "engine/ExtractTypes.h"

#include "engine/io/Environment.h"

#include <thread>

namespace glintmark {

const char* statusName(RunStatus status)
{
    switch (status) {
    case RunStatus::Completed:
        return "completed";
    case RunStatus::Stopped:
        return "stopped";
    case RunStatus::Failed:
        return "failed";
    }
    return "failed";
}

bool failedBeforeReading(const ExtractResult& result)
{
    if (!result.error || result.count > 0)
        return false;
    switch (result.error->kind) {
    case ErrorKind::InvalidJob:
    case ErrorKind::SourceOpen:
    case ErrorKind::OutputFolder:
    case ErrorKind::OutputIsSource:
    case ErrorKind::OutputBusy:
        return true;
    default:
        return false;
    }
}

std::optional<unsigned> writerCountFrom(std::string_view text)
{
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    unsigned count = 0;
    for (const char digit : text)
        count = count * 10 + static_cast<unsigned>(digit - '0');
    if (count < 1 || count > 64)
        return std::nullopt;
    return count;
}

unsigned defaultWriterCount()
{
    if (const std::optional<std::string> wanted = environmentText(kWritersVariable)) {
        if (const std::optional<unsigned> count = writerCountFrom(*wanted))
            return *count;
    }
    return std::thread::hardware_concurrency() == 1 ? 1u : 2u;
}

} // namespace glintmark
