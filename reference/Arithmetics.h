// The network's arithmetic as types, so that one model or test runs in each:
// the emulation, whatever this build uses, and x87 where long double is x87's.
// All three must give the same bits for every step.
#pragma once

#include "engine/Precision.h"
#include "engine/detail/SoftExtended.h"
#include "engine/detail/X87Extended.h"

#include <cstdint>

namespace verblinka::reference {

struct TSoftArithmetic {
    static constexpr const char* kName = "emulated";
    static double AddStep(double a, double b) { return softext::AddStep(a, b); }
    static double MultiplyAddStep(double a, std::int32_t i, double w) {
        return softext::MultiplyAddStep(a, i, w);
    }
    static double HalfSumWithBias(double s, double b) { return softext::HalfSumWithBias(s, b); }
    static double InhibitionWeight(std::int32_t m) { return softext::InhibitionWeight(m); }
    static double InhibitionWeight(double f, std::int32_t m) {
        return softext::InhibitionWeight(f, m);
    }
    static double Inhibit(double s, double sum, double e) { return softext::Inhibit(s, sum, e); }
    static bool SumIsTie(double a, double b) { return softext::SumIsTie(a, b); }
    static bool StoreIsTie(double a, double b) {
        return softext::StoreIsTie(softext::AddExtended(a, b));
    }
};

// The arithmetic the engine is built with (one of the others).
struct TBuildArithmetic {
    static constexpr const char* kName = "build";
    static double AddStep(double a, double b) { return precision::AddStep(a, b); }
    static double MultiplyAddStep(double a, std::int32_t i, double w) {
        return precision::MultiplyAddStep(a, i, w);
    }
    static double HalfSumWithBias(double s, double b) { return precision::HalfSumWithBias(s, b); }
    static double InhibitionWeight(std::int32_t m) { return precision::InhibitionWeight(m); }
    static double InhibitionWeight(double f, std::int32_t m) {
        return precision::InhibitionWeight(f, m);
    }
    static double Inhibit(double s, double sum, double e) { return precision::Inhibit(s, sum, e); }
    static bool SumIsTie(double a, double b) { return precision::SumIsTie(a, b); }
    static bool StoreIsTie(double a, double b) {
        return precision::StoreIsTie(precision::AddExtended(a, b));
    }
};

#if VERBLINKA_HAS_X87_EXTENDED
struct TX87Arithmetic {
    static constexpr const char* kName = "x87";
    static double AddStep(double a, double b) { return x87::AddStep(a, b); }
    static double MultiplyAddStep(double a, std::int32_t i, double w) {
        return x87::MultiplyAddStep(a, i, w);
    }
    static double HalfSumWithBias(double s, double b) { return x87::HalfSumWithBias(s, b); }
    static double InhibitionWeight(std::int32_t m) { return x87::InhibitionWeight(m); }
    static double InhibitionWeight(double f, std::int32_t m) { return x87::InhibitionWeight(f, m); }
    static double Inhibit(double s, double sum, double e) { return x87::Inhibit(s, sum, e); }
    static bool SumIsTie(double a, double b) { return x87::SumIsTie(a, b); }
    static bool StoreIsTie(double a, double b) { return x87::StoreIsTie(x87::AddExtended(a, b)); }
};
#endif

} // namespace verblinka::reference
