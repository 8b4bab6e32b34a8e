#pragma once

// Lets a test see a folder's permissions refuse it, also when the tests run as root: root's
// right to read and search any folder is taken from the calling thread's effective
// capabilities for as long as this lives (the thread that runs the code under test), and given
// back after.

#if defined(__linux__)
#include <cstring>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace glintmark::testsupport {

class NoFileOverride
{
public:
    NoFileOverride()
    {
#if defined(__linux__)
        if (::geteuid() != 0) {
            m_arranged = true;
            return;
        }
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        if (::syscall(SYS_capget, &header, data) != 0)
            return;
        std::memcpy(m_saved, data, sizeof data);
        data[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
        if (::syscall(SYS_capset, &header, data) != 0)
            return;
        m_dropped = true;
        m_arranged = true;
#endif
    }
    ~NoFileOverride()
    {
#if defined(__linux__)
        if (m_dropped) {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            ::syscall(SYS_capset, &header, m_saved);
        }
#endif
    }
    NoFileOverride(const NoFileOverride&) = delete;
    NoFileOverride& operator=(const NoFileOverride&) = delete;

    // Whether a folder's permissions now hold for this thread.
    bool arranged() const
    {
        return m_arranged;
    }

private:
    bool m_arranged = false;
#if defined(__linux__)
    bool m_dropped = false;
    __user_cap_data_struct m_saved[2] = {};
#endif
};

} // namespace glintmark::testsupport
