#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace glintmark::testsupport {

// Sets (or, given nothing, removes) a variable of this process's environment for as long as it
// lives, and puts back what was there before.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value) : m_name(name)
    {
        if (const char* before = std::getenv(name))
            m_before = before;
        set(value);
    }
    ~ScopedEnvironment() { set(m_before); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void set(const std::optional<std::string>& value) const
    {
#ifdef _WIN32
        _putenv_s(m_name.c_str(), value ? value->c_str() : "");
#else
        if (value)
            ::setenv(m_name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
#endif
    }

    std::string m_name;
    std::optional<std::string> m_before;
};

} // namespace glintmark::testsupport
