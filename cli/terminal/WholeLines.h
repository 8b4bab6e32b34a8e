#pragma once

#include <functional>
#include <iosfwd>
#include <streambuf>
#include <string>

namespace glintmark::cli {

// A stream buffer in front of a terminal's stream that lets whole lines through and nothing
// else, calling `beforeLines` each time some go out: a progress bar on the same terminal wipes
// itself there, so a line is never drawn over, nor written on behind the bar. Text after the last
// line end waits for the next one (a flush does not push it out), or for the buffer to go.
class WholeLines : public std::streambuf
{
public:
    // Passes lines on to `target`, calling `beforeLines` (may be empty) first each time.
    WholeLines(std::ostream& target, std::function<void()> beforeLines);
    // Passes on what still waits, a line end or not.
    ~WholeLines() override;
    WholeLines(const WholeLines&) = delete;
    WholeLines& operator=(const WholeLines&) = delete;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char_type* data, std::streamsize count) override;
    int sync() override;

private:
    // Passes on the first `count` bytes waiting; false once the target has failed.
    bool pass(std::size_t count);
    // Passes on the waiting text up to its last line end.
    bool passLines();

    std::ostream& m_target;
    std::function<void()> m_beforeLines;
    std::string m_waiting;
};

} // namespace glintmark::cli
