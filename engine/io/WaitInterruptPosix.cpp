#include "engine/io/WaitInterrupt.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace glintmark {

namespace {

// A pipe of the process's own: a byte in it means "stop waiting". It is never emptied by a
// wait, so one notice ends every wait that follows, however many there are.
int g_notice[2] = {-1, -1};

bool openNonBlocking(int fds[2])
{
    if (::pipe(fds) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        ::fcntl(fds[i], F_SETFD, FD_CLOEXEC);
        ::fcntl(fds[i], F_SETFL, ::fcntl(fds[i], F_GETFL) | O_NONBLOCK);
    }
    return true;
}

} // namespace

void prepareWaitInterrupts()
{
    if (g_notice[0] < 0)
        openNonBlocking(g_notice);
}

void interruptWaits()
{
    const int saved = errno; // a signal handler leaves errno as it found it
    if (g_notice[1] >= 0) {
        const char byte = 1;
        // A full pipe already holds a notice.
        [[maybe_unused]] const ssize_t put = ::write(g_notice[1], &byte, 1);
    }
    errno = saved;
}

void clearWaitInterrupts()
{
    if (g_notice[0] < 0)
        return;
    char bytes[64];
    while (::read(g_notice[0], bytes, sizeof bytes) > 0) {
    }
}

int waitInterruptDescriptor()
{
    return g_notice[0];
}

} // namespace glintmark
