#pragma once

#include <iosfwd>
#include <string>

namespace glintmark::cli {

// Watches the output stream: the first write that fails is remembered with the system's reason.
class OutputWatch
{
public:
    explicit OutputWatch(std::ostream& out) : m_out(out) {}

    // Whether everything written so far went out; remembers errno at the first failure, so it
    // is called straight after every write.
    bool check();

    // The line for a lost report; none when the reader has gone away (a closed pipe), since
    // there is then nobody left to tell.
    std::string failureLine() const;

private:
    std::ostream& m_out;
    bool m_failed = false;
    int m_reason = 0;
};

} // namespace glintmark::cli
