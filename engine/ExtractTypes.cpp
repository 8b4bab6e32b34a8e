#include "engine/ExtractTypes.h"

#include "engine/io/Environment.h"

#include <cstdlib>
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

unsigned defaultWriterCount()
{
    if (const std::optional<std::string> wanted = environmentText("GLINTMARK_WRITERS")) {
        const int count = std::atoi(wanted->c_str());
        if (count >= 1 && count <= 64)
            return static_cast<unsigned>(count);
    }
    return std::thread::hardware_concurrency() == 1 ? 1u : 2u;
}

} // namespace glintmark
