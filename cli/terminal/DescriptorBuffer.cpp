#include "cli/terminal/DescriptorBuffer.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace glintmark::cli {

DescriptorBuffer::DescriptorBuffer(int fd, Gather gather)
    : m_fd(fd), m_lines(gather == Gather::Lines)
{
    if (gather != Gather::Nothing)
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

DescriptorBuffer::~DescriptorBuffer()
{
    drain();
}

bool DescriptorBuffer::writeOut(const char* data, std::size_t count)
{
    if (m_failed)
        return false;
    while (count > 0) {
#ifdef _WIN32
        const int put =
            ::_write(m_fd, data, static_cast<unsigned>(count > 1u << 30 ? 1u << 30 : count));
#else
        const ssize_t put = ::write(m_fd, data, count);
#endif
        if (put < 0 && errno == EINTR)
            continue; // the signal has been noted; the report still goes out whole
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            m_failed = true;
            return false;
        }
        data += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

bool DescriptorBuffer::drain()
{
    const auto pending = static_cast<std::size_t>(pptr() - pbase());
    if (pending == 0)
        return !m_failed;
    const bool written = writeOut(pbase(), pending);
    setp(pbase(), epptr());
    return written;
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c)
{
    if (!drain())
        return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    if (pptr() != nullptr && pptr() < epptr()) {
        *pptr() = byte;
        pbump(1);
        return (m_lines && byte == '\n' && !drain()) ? traits_type::eof() : c;
    }
    return writeOut(&byte, 1) ? c : traits_type::eof();
}

std::streamsize DescriptorBuffer::xsputn(const char_type* data, std::streamsize count)
{
    const auto size = static_cast<std::size_t>(count);
    if (pptr() != nullptr && size <= static_cast<std::size_t>(epptr() - pptr())) {
        std::memcpy(pptr(), data, size);
        pbump(static_cast<int>(count));
        if (m_lines && std::memchr(data, '\n', size) != nullptr && !drain())
            return 0;
        return count;
    }
    if (!drain() || !writeOut(data, size))
        return 0;
    return count;
}

int DescriptorBuffer::sync()
{
    return drain() ? 0 : -1;
}

} // namespace glintmark::cli
