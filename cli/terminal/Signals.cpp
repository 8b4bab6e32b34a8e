#include "cli/terminal/Signals.h"

#include "engine/io/WaitInterrupt.h"

#include <csignal>
#include <cstdio>
#include <initializer_list>

namespace glintmark::cli {
namespace {

volatile std::sig_atomic_t g_stopSignal = 0;
volatile std::sig_atomic_t g_resized = 0;

extern "C" void askToStop(int signal)
{
    if (g_stopSignal == 0)
        g_stopSignal = signal;
    // After the flag: a run that finds its wait interrupted then sees the flag set.
    glintmark::interruptWaits();
}

#ifndef _WIN32
extern "C" void noteResize(int /*signal*/)
{
    g_resized = 1;
}
#endif

} // namespace

void installSignalHandlers()
{
    glintmark::prepareWaitInterrupts();
#ifdef _WIN32
    std::signal(SIGINT, askToStop);
    std::signal(SIGTERM, askToStop);
#else
    struct sigaction stop
    {
    };
    stop.sa_handler = askToStop;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = 0; // no SA_RESTART: a read waiting on a pipe must return and see the request
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &stop, nullptr);
    struct sigaction ignore
    {
    };
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (const int signal : {SIGXFSZ, SIGPIPE})
        sigaction(signal, &ignore, nullptr);
    struct sigaction resize
    {
    };
    resize.sa_handler = noteResize;
    sigemptyset(&resize.sa_mask);
    // Restarted where the system can: a resize asks nothing of the run, and a wait it still cuts
    // short is asked whether to go on, which it does.
    resize.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &resize, nullptr);
#endif
}

bool takeTerminalResized()
{
    if (g_resized == 0)
        return false;
    // A resize landing here is not lost: the caller asks for the width after this.
    g_resized = 0;
    return true;
}

int stopSignal()
{
    return g_stopSignal;
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
#ifndef _WIN32
    case SIGHUP:
        return "SIGHUP";
#endif
    default:
        break;
    }
    static char other[32];
    std::snprintf(other, sizeof other, "signal %d", signal);
    return other;
}

} // namespace glintmark::cli
