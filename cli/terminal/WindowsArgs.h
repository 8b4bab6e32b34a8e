#pragma once

#ifdef _WIN32

#include <string>
#include <vector>

namespace glintmark::cli {

// The command line as UTF-8, converted from the UTF-16 one Windows hands to wmain, so names in
// any script reach the extractor whole (the ANSI argv would mangle or best-fit them).
class Utf8Arguments
{
public:
    Utf8Arguments(int argc, const wchar_t* const* argv);

    // How many arguments, the program's name included.
    int count() const { return static_cast<int>(m_pointers.size()); }
    // The arguments, for runCli.
    const char* const* data() const { return m_pointers.data(); }

private:
    std::vector<std::string> m_texts;
    std::vector<const char*> m_pointers;
};

// Switches the console to UTF-8 output for as long as it lives, then restores its code page;
// does nothing when the output is not a console.
class Utf8Console
{
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    unsigned int m_previous = 0;
};

// UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(const std::wstring& text);

} // namespace glintmark::cli

#endif
