#pragma once

namespace glintmark {

// A stop requested from a signal handler must reach a run that is about to wait for input: a
// signal landing between the run's look at its stop flag and the start of a blocking read would
// otherwise be seen only when that read returns, on a silent pipe never. The engine therefore
// waits for input and for this notice together.

// Readies interruptWaits(); called once, before any signal handler may call it.
void prepareWaitInterrupts();

// Makes every wait of the engine for input (a read from a pipe or device, the open of a named
// pipe) end at once as a signal would cut it short, now and until clearWaitInterrupts().
// Safe to call from a signal handler.
void interruptWaits();

// Lets waits for input block again (a program that goes on after a stop).
void clearWaitInterrupts();

// The descriptor that is readable while waits are interrupted; -1 before preparation and where
// the system has no such descriptor.
int waitInterruptDescriptor();

} // namespace glintmark
