// Whether this test binary, and the program built beside it, carry a sanitizer: such
// programs run several times slower and report crashes their own way, so bounds on time are
// not asserted there (the figures are still printed).
#pragma once

namespace qb::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif

} // namespace qb::test
