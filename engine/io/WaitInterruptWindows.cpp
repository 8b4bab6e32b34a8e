#include "engine/io/WaitInterrupt.h"

namespace glintmark {

void prepareWaitInterrupts() {}
void interruptWaits() {}
void clearWaitInterrupts() {}
int waitInterruptDescriptor()
{
    return -1;
}

} // namespace glintmark
