// The exit statuses every program ends with.
#pragma once

namespace zaptor {

inline constexpr int kExitOk = 0;       // done
inline constexpr int kExitFailure = 1;  // a file or the run failed; a message says why
inline constexpr int kExitUsage = 2;    // a wrong command line; the usage text is printed

}  // namespace zaptor
