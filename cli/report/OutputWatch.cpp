#include "cli/report/OutputWatch.h"

#include <cerrno>
#include <cstring>
#include <ostream>

namespace glintmark::cli {

bool OutputWatch::check()
{
    if (m_out.good())
        return true;
    if (!m_failed) {
        m_failed = true;
        m_reason = errno;
    }
    return false;
}

std::string OutputWatch::failureLine() const
{
    if (m_reason == EPIPE)
        return {};
    std::string line = "glintmark-cli: Cannot write to standard output";
    if (m_reason != 0)
        line += std::string(": ") + std::strerror(m_reason);
    return line + "\n";
}

} // namespace glintmark::cli
