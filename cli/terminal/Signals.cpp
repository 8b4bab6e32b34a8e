#include "cli/terminal/Signals.h"

#include "engine/io/WaitInterrupt.h"

#include <csignal>
#include <cstdio>
#include <initializer_list>

namespace glintmark::cli {
namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void askToStop(int signal)
{
    if (g_stopSignal == 0)
        g_stopSignal = signal;
    // After the flag: a run that finds its wait interrupted then sees the flag set.
    glintmark::interruptWaits();
}

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
#endif
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
