#include "cli/terminal/WholeLines.h"

#include <ostream>

namespace glintmark::cli {

WholeLines::WholeLines(std::ostream& target, std::function<void()> beforeLines)
    : m_target(target), m_beforeLines(std::move(beforeLines))
{}

WholeLines::~WholeLines()
{
    if (pass(m_waiting.size()))
        m_target.flush();
}

bool WholeLines::pass(std::size_t count)
{
    if (count == 0)
        return m_target.good();
    if (m_beforeLines)
        m_beforeLines();
    m_target.write(m_waiting.data(), static_cast<std::streamsize>(count));
    m_waiting.erase(0, count);
    return m_target.good();
}

bool WholeLines::passLines()
{
    const std::size_t end = m_waiting.rfind('\n');
    return pass(end == std::string::npos ? 0 : end + 1);
}

WholeLines::int_type WholeLines::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    m_waiting += byte;
    if (byte == '\n' && !passLines())
        return traits_type::eof();
    return c;
}

std::streamsize WholeLines::xsputn(const char_type* data, std::streamsize count)
{
    m_waiting.append(data, static_cast<std::size_t>(count));
    if (m_waiting.find('\n', m_waiting.size() - static_cast<std::size_t>(count)) !=
            std::string::npos &&
        !passLines())
        return 0;
    return count;
}

int WholeLines::sync()
{
    if (!passLines())
        return -1;
    m_target.flush();
    return m_target.good() ? 0 : -1;
}

} // namespace glintmark::cli
