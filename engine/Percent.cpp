#include "engine/Percent.h"

namespace glintmark {
namespace {

// One step of long division: the next decimal digit of remainder / total, with remainder < total.
// 10 * remainder may not fit in 64 bits, so the digit is gathered by adding without overflow.
int nextDigit(std::uint64_t& remainder, std::uint64_t total)
{
    const std::uint64_t r = remainder;
    std::uint64_t acc = 0;
    int digit = 0;
    for (int i = 0; i < 10; ++i) {
        // acc + r >= total, written so that it cannot overflow (acc and r are both below total)
        if (acc >= total - r) {
            acc -= total - r;
            ++digit;
        } else {
            acc += r;
        }
    }
    remainder = acc;
    return digit;
}

} // namespace

int percentOf(std::uint64_t done, std::uint64_t total)
{
    if (total == 0 || done >= total)
        return 100;
    std::uint64_t remainder = done;
    const int tens = nextDigit(remainder, total);
    const int ones = nextDigit(remainder, total);
    return tens * 10 + ones;
}

} // namespace glintmark
