// A network holding the codes of words row by row, as a dictionary load stores them.
#pragma once

#include "engine/HammingMem.h"
#include "text/WordCode.h"

#include <string>
#include <vector>

namespace verblinka::test_support {

inline THammingNet WordNetwork(const std::vector<std::string>& words,
                               std::int32_t maxIterations = 5) {
    THammingNet net;
    net.SetMaxIterations(maxIterations);
    net.SetInputCount(kWordCodeLength);
    net.SetPatternCount(static_cast<std::int32_t>(words.size()));
    TWordCode code{};
    for (std::size_t i = 0; i < words.size(); ++i) {
        CodeWord(words[i], code);
        net.StorePattern(code, static_cast<std::int32_t>(i));
    }
    return net;
}

} // namespace verblinka::test_support
