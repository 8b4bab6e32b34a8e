#pragma once

namespace glintmark::cli {

// Every source was extracted (or help or version was asked for).
inline constexpr int kExitSuccess = 0;
// At least one source failed; the others were still processed.
inline constexpr int kExitFailure = 1;
// The command line itself was wrong; nothing was processed.
inline constexpr int kExitUsage = 2;

} // namespace glintmark::cli
