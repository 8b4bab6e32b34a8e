// The parts of RawFile that are the same on every platform.
#include "engine/io/RawFile.h"

#include <utility>

namespace glintmark {

RawFile::~RawFile()
{
    if (m_fd >= 0)
        closeQuietly(m_fd);
}

RawFile::RawFile(RawFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_waits(std::exchange(other.m_waits, false))
{}

RawFile& RawFile::operator=(RawFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            closeQuietly(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_waits = std::exchange(other.m_waits, false);
    }
    return *this;
}

} // namespace glintmark
