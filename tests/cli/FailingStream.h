#pragma once

// Output streams that fail as standard output does when its disk fills or its reader leaves.

#include <cerrno>
#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>

namespace glintmark::clitest {

// Takes the first `room` bytes, then fails every write with `error` in errno, as a write(2) to
// a full disk (ENOSPC) or a closed pipe (EPIPE) does. Unbuffered: each write reaches it at once.
class FailingBuffer : public std::streambuf
{
public:
    FailingBuffer(std::size_t room, int error) : m_room(room), m_error(error) {}

    const std::string& taken() const { return m_taken; }

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }

    std::streamsize xsputn(const char* data, std::streamsize count) override
    {
        const auto left = static_cast<std::streamsize>(m_room - m_taken.size());
        if (count > left) {
            errno = m_error;
            return 0;
        }
        m_taken.append(data, static_cast<std::size_t>(count));
        return count;
    }

private:
    std::size_t m_room;
    int m_error;
    std::string m_taken;
};

// Counts how often the stream was flushed, to see that lines leave as soon as they are due.
class CountingBuffer : public std::streambuf
{
public:
    const std::string& taken() const { return m_taken; }
    int flushes() const { return m_flushes; }

protected:
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            m_taken += traits_type::to_char_type(c);
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char* data, std::streamsize count) override
    {
        m_taken.append(data, static_cast<std::size_t>(count));
        return count;
    }

    int sync() override
    {
        ++m_flushes;
        return 0;
    }

private:
    std::string m_taken;
    int m_flushes = 0;
};

} // namespace glintmark::clitest
