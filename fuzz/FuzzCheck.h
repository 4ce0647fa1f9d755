// What the fuzz targets share: a failed check prints what went wrong and
// aborts, which libFuzzer and the replay program both report as a failure.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace verblinka::fuzzing {

inline void Require(bool condition, const std::string& what) {
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what.c_str());
        std::abort();
    }
}

} // namespace verblinka::fuzzing
