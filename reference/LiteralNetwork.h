// The network written out as literally as it is described, in any of the
// arithmetics of reference/Arithmetics.h: the first layer as multiply-adds,
// one competition pass as M·(M−1) additions, and a whole recognition (every
// pass, the winner, whether it ended stable). It reads only the network's
// parameters and weights, so every path and kernel of the engine is checked
// against it bit for bit.
#pragma once

#include "engine/HammingMem.h"
#include "reference/Arithmetics.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace verblinka::reference {

// Clipped to [0, maxOutput]; NaN gives 0.
inline double LiteralActivation(double x, double maxOutput) {
    if (x > maxOutput) {
        return maxOutput;
    }
    return x >= 0.0 ? x : 0.0;
}

// Similarity[i] = (sum over j of input[j] * Weight(i, j)) / 2 + Bias, the sum
// from 0.0 in ascending j, every step rounded as the arithmetic rounds it.
template <typename Arithmetic = TBuildArithmetic>
std::vector<double> LiteralFirstLayer(const THammingNet& net, std::span<const std::int32_t> input) {
    std::vector<double> similarity;
    similarity.reserve(static_cast<std::size_t>(net.PatternCount()));
    for (std::int32_t i = 0; i < net.PatternCount(); ++i) {
        double sum = 0.0;
        for (std::int32_t j = 0; j < net.InputCount(); ++j) {
            sum = Arithmetic::MultiplyAddStep(sum, input[static_cast<std::size_t>(j)],
                                              net.Weight(i, j));
        }
        similarity.push_back(Arithmetic::HalfSumWithBias(sum, net.Bias()));
    }
    return similarity;
}

// Each unit's inhibition sum: from 0.0, every other unit's value in ascending order.
template <typename Arithmetic = TBuildArithmetic>
std::vector<double> LiteralInhibitionSums(std::span<const double> values) {
    std::vector<double> sums(values.size());
    for (std::size_t j = 0; j < values.size(); ++j) {
        double sum = 0.0;
        for (std::size_t k = 0; k < values.size(); ++k) {
            if (k != j) {
                sum = Arithmetic::AddStep(sum, values[k]);
            }
        }
        sums[j] = sum;
    }
    return sums;
}

// One competition pass: Activity[j] = Activation(Similarity[j] - sum * epsilon).
template <typename Arithmetic = TBuildArithmetic>
std::vector<double> LiteralPass(std::span<const double> similarity, double epsilon,
                                double maxOutput) {
    const std::vector<double> sums = LiteralInhibitionSums<Arithmetic>(similarity);
    std::vector<double> activity(similarity.size());
    for (std::size_t j = 0; j < similarity.size(); ++j) {
        activity[j] =
            LiteralActivation(Arithmetic::Inhibit(similarity[j], sums[j], epsilon), maxOutput);
    }
    return activity;
}

// One pass with its stability test (every output equals its input) and its
// leader (the first of the largest outputs).
struct TLiteralPassOutcome {
    std::vector<double> Activity;
    bool Stable = true;
    std::size_t Leader = 0;
};

template <typename Arithmetic = TBuildArithmetic>
TLiteralPassOutcome LiteralPassOf(std::span<const double> similarity, double epsilon,
                                  double maxOutput) {
    TLiteralPassOutcome outcome;
    outcome.Activity = LiteralPass<Arithmetic>(similarity, epsilon, maxOutput);
    for (std::size_t i = 0; i < similarity.size(); ++i) {
        outcome.Stable = outcome.Stable && outcome.Activity[i] == similarity[i];
        if (outcome.Activity[i] > outcome.Activity[outcome.Leader]) {
            outcome.Leader = i;
        }
    }
    return outcome;
}

// The constants a recognition runs with: the clip level, the factor of
// epsilon (epsilon = factor / M, formed in the arithmetic itself) and the pass
// limit. Of(net) reads the network's own.
struct TLiteralConstants {
    double MaxOutput = 100.0;
    double EpsilonFactor = 0.5;
    std::int32_t MaxIterations = 5;

    static TLiteralConstants Of(const THammingNet& net) {
        return {net.MaxOutput(), net.EpsilonFactor(), net.MaxIterations()};
    }
};

// A whole recognition: Values[0] is the first layer, then every pass's
// outputs. The competition ends when a pass changes nothing (Stable), or
// after the pass that exceeds MaxIterations; Winner is the first of the
// largest outputs of the last pass that changed something.
struct TLiteralRun {
    std::vector<std::vector<double>> Values;
    std::int32_t Winner = 0;
    bool Stable = false;
};

// The recognition of input by net's rows and bias under constants.
template <typename Arithmetic = TBuildArithmetic>
TLiteralRun LiteralRecognize(const THammingNet& net, std::span<const std::int32_t> input,
                             const TLiteralConstants& constants) {
    std::vector<double> similarity = LiteralFirstLayer<Arithmetic>(net, input);
    TLiteralRun run;
    run.Values.push_back(similarity);
    const double epsilon =
        Arithmetic::InhibitionWeight(constants.EpsilonFactor, net.PatternCount());
    for (std::int32_t pass = 0;; ++pass) {
        std::vector<double> activity =
            LiteralPass<Arithmetic>(similarity, epsilon, constants.MaxOutput);
        run.Values.push_back(activity);
        if (activity == similarity) {
            run.Stable = true;
            return run;
        }
        similarity = std::move(activity);
        run.Winner = 0;
        for (std::size_t i = 0; i < similarity.size(); ++i) {
            if (similarity[i] > similarity[static_cast<std::size_t>(run.Winner)]) {
                run.Winner = static_cast<std::int32_t>(i);
            }
        }
        if (pass > constants.MaxIterations) {
            return run;
        }
    }
}

// The same under the network's own constants.
template <typename Arithmetic = TBuildArithmetic>
TLiteralRun LiteralRecognize(const THammingNet& net, std::span<const std::int32_t> input) {
    return LiteralRecognize<Arithmetic>(net, input, TLiteralConstants::Of(net));
}

} // namespace verblinka::reference
