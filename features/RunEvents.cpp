#include "features/RunEvents.h"

namespace glintmark::features {

const char* phaseName(Phase phase)
{
    switch (phase) {
    case Phase::Reading:
        return "reading";
    case Phase::Decoding:
        return "decoding";
    case Phase::Comparing:
        return "comparing";
    case Phase::Writing:
        break;
    }
    return "writing";
}

} // namespace glintmark::features
