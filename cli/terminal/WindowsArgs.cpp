#include "cli/terminal/WindowsArgs.h"

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace glintmark::cli {

std::string toUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int wide = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

Utf8Arguments::Utf8Arguments(int argc, const wchar_t* const* argv)
{
    for (int i = 0; i < argc; ++i)
        m_texts.push_back(toUtf8(argv[i]));
    for (const std::string& text : m_texts)
        m_pointers.push_back(text.c_str());
}

Utf8Console::Utf8Console() : m_previous(GetConsoleOutputCP())
{
    if (m_previous != 0)
        SetConsoleOutputCP(CP_UTF8);
}

Utf8Console::~Utf8Console()
{
    if (m_previous != 0)
        SetConsoleOutputCP(m_previous);
}

} // namespace glintmark::cli

#endif
