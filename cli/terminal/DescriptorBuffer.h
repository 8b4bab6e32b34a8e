#pragma once

#include <array>
#include <streambuf>

namespace glintmark::cli {

// A stream buffer that writes to a descriptor of the process (1 for standard output) and
// finishes every write a signal interrupts, so a request to stop never cuts the report short:
// the program ends with the whole report and its signal's exit code, however slow the reader.
class DescriptorBuffer : public std::streambuf
{
public:
    // When bytes go out besides a flush: at once, at the end of each line (for a terminal), or
    // when the buffer is full.
    enum class Gather
    {
        Nothing,
        Lines,
        Blocks
    };

    // Writes to `fd`, gathering bytes as `gather` says.
    DescriptorBuffer(int fd, Gather gather);
    // Writes what is still gathered.
    ~DescriptorBuffer() override;
    DescriptorBuffer(const DescriptorBuffer&) = delete;
    DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char_type* data, std::streamsize count) override;
    int sync() override;

private:
    // Writes `count` bytes out; false at the first failure, with errno telling why.
    bool writeOut(const char* data, std::size_t count);
    bool drain();

    int m_fd;
    bool m_lines;
    bool m_failed = false;
    std::array<char, 16384> m_buffer{};
};

} // namespace glintmark::cli
