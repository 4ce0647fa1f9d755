// The network's fast paths beside their plain references, on the same input,
// compared bit for bit. Input byte 0 picks the check:
//  - even: one competition pass, fast against plain, on values built from the
//    bytes (small integers, quarters, powers of two and their neighbours,
//    zeros, the clipping level, repeats, raw doubles), and the inhibition sums;
//  - odd: whole recognitions of a network built from the bytes (word-code
//    values, sometimes others, which turn the compact weights into doubles),
//    fast against reference mode and both against the literal network of
//    reference/LiteralNetwork.h: the row and every value of every pass, and
//    the rows of the same inputs recognized as one batch.
// An input that starts with "lab:" gives the constants in its next three
// bytes (the clip level, the factor of epsilon, the pass limit) before the
// byte that picks the check; any other input runs with the program's own.
#include "engine/HammingMem.h"
#include "engine/Precision.h"
#include "engine/RecognizeBatch.h"
#include "engine/detail/ClassCompetition.h"
#include "engine/detail/Competition.h"
#include "fuzz/FuzzCheck.h"
#include "reference/LiteralNetwork.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

using namespace verblinka;
using verblinka::fuzzing::Require;

namespace {

class TBytes {
public:
    TBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return position_ >= size_; }
    std::uint8_t Next() { return position_ < size_ ? data_[position_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// The constants of a configuration; the defaults are the program's.
struct TConstants {
    double MaxOutput = 100.0;
    double EpsilonFactor = 0.5;
    std::int32_t MaxIterations = -1; // the check's own choice
    bool Given = false;
};

// Each from a byte: the lab's typical values, the edges, or a spread.
TConstants ConstantsOf(TBytes& bytes) {
    constexpr double kClipLevels[] = {1.0, 7.5, 80.0, 100.0, 100.25, 160.0, 1e6, 0x1p-1000};
    constexpr double kFactors[] = {0.0, 0.01, 0.5, 0.99, 1.0, 1.5, 3.0, 40.0, 0x1p-1000, 1e6};
    const std::uint8_t clip = bytes.Next();
    const std::uint8_t factor = bytes.Next();
    const std::uint8_t limit = bytes.Next();
    TConstants constants;
    constants.Given = true;
    constants.MaxOutput =
        clip < 128 ? kClipLevels[clip % std::size(kClipLevels)] : (clip - 127) / 4.0;
    constants.EpsilonFactor =
        factor < 128 ? kFactors[factor % std::size(kFactors)] : (factor - 128) / 32.0;
    constants.MaxIterations = limit < 250 ? limit % 60 : 1000;
    return constants;
}

bool SameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

std::vector<double> Values(TBytes& bytes, double clip) {
    std::vector<double> values;
    while (!bytes.Empty() && values.size() < 400) {
        const std::uint8_t kind = bytes.Next();
        const std::uint8_t b = bytes.Next();
        double value = 0.0;
        switch (kind % 8) {
        case 0:
            value = b;
            break;
        case 1:
            value = b / 4.0;
            break;
        case 2:
            value = std::ldexp(1.0, b % 80 - 40);
            break;
        case 3:
            value = std::nextafter(std::ldexp(1.0, b % 16), (b & 0x80) != 0 ? 0.0 : 1e9);
            break;
        case 4:
            value = 0.0;
            break;
        case 5:
            value = clip;
            break;
        case 6:
            value = values.empty() ? 1.0 : values.back();
            break;
        default: {
            std::uint64_t bits = 0;
            for (int i = 0; i < 8; ++i) {
                bits = (bits << 8) | bytes.Next();
            }
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value) || (kind & 0x10) == 0) {
                value = std::fabs(std::fmod(value, 1e6));
            }
            if (!std::isfinite(value)) {
                value = 0.0;
            }
        }
        }
        values.push_back(value);
    }
    return values;
}

void CheckCompetitionPass(TBytes& bytes, const TConstants& constants) {
    const std::uint8_t epsilonChoice = bytes.Next();
    const std::vector<double> similarity = Values(bytes, constants.MaxOutput);
    const auto units = static_cast<std::int32_t>(similarity.size() + 1 + epsilonChoice % 4);
    const double epsilon = epsilonChoice == 0 && !constants.Given ? 0.25
                           : constants.Given
                               ? precision::InhibitionWeight(constants.EpsilonFactor, units)
                               : precision::InhibitionWeight(units);
    const double maxOutput = constants.MaxOutput;
    std::vector<double> plain(similarity.size());
    std::vector<double> fast(similarity.size());
    PlainCompetitionPass(similarity, plain, epsilon, maxOutput);
    TFastCompetition competition;
    const bool applies = TFastCompetition::Applies(similarity);
    Require(competition.Pass(similarity, fast, epsilon, maxOutput) == applies,
            "the fast pass ran where it must not, or refused where it should run");
    // The pass over classes: one class per distinct bit pattern.
    TClassState state;
    for (const double value : similarity) {
        std::size_t c = 0;
        while (c < state.Values.size() && !SameBits(state.Values[c], value)) {
            ++c;
        }
        if (c == state.Values.size()) {
            state.Values.push_back(value);
        }
        state.Classes.push_back(static_cast<std::uint16_t>(c));
    }
    TClassCompetition classPass;
    TClassState classOut;
    TPassSummary summary;
    Require(classPass.Pass(state, classOut, epsilon, maxOutput, summary) == applies,
            "the pass over classes ran where it must not, or refused where it should run");
    const reference::TLiteralPassOutcome literal =
        reference::LiteralPassOf(similarity, epsilon, maxOutput);
    for (std::size_t j = 0; j < similarity.size(); ++j) {
        Require(SameBits(plain[j], literal.Activity[j]),
                "plain pass differs from the literal one at unit " + std::to_string(j));
    }
    if (!applies) {
        return;
    }
    std::vector<double> byClass(similarity.size());
    classOut.Materialise(byClass);
    for (std::size_t j = 0; j < similarity.size(); ++j) {
        Require(SameBits(plain[j], byClass[j]),
                "pass over classes differs at unit " + std::to_string(j));
    }
    Require(similarity.empty() ||
                (summary.Stable == literal.Stable && summary.Leader == literal.Leader),
            "pass over classes: wrong leader or stability");
    for (std::size_t j = 0; j < similarity.size(); ++j) {
        Require(SameBits(plain[j], fast[j]), "fast pass differs at unit " + std::to_string(j));
    }
    std::vector<double> sums(similarity.size());
    Require(competition.InhibitionSums(similarity, sums), "inhibition sums refused");
    const std::vector<double> literalSums = reference::LiteralInhibitionSums(similarity);
    for (std::size_t j = 0; j < similarity.size(); ++j) {
        Require(SameBits(literalSums[j], sums[j]),
                "inhibition sum differs at unit " + std::to_string(j));
    }
}

using TTrace = std::vector<std::vector<double>>;

bool SameTrace(const TTrace& a, const TTrace& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t pass = 0; pass < a.size(); ++pass) {
        if (a[pass].size() != b[pass].size()) {
            return false;
        }
        for (std::size_t i = 0; i < a[pass].size(); ++i) {
            if (!SameBits(a[pass][i], b[pass][i])) {
                return false;
            }
        }
    }
    return true;
}

void CheckRecognitions(TBytes& bytes, const TConstants& constants) {
    constexpr std::int32_t kInputs = 160;
    const std::int32_t rows = 1 + bytes.Next() % 48;
    const std::uint8_t iterations = bytes.Next();
    const bool otherValues = (iterations & 0x80) != 0;
    THammingNet fast;
    fast.SetMaxIterations(constants.MaxIterations >= 0 ? constants.MaxIterations : iterations % 12);
    fast.SetMaxOutput(constants.MaxOutput);
    fast.SetEpsilonFactor(constants.EpsilonFactor);
    fast.SetInputCount(kInputs);
    fast.SetPatternCount(rows);
    const auto pattern = [&](bool mayBeOther) {
        std::vector<std::int32_t> values(kInputs);
        for (std::int32_t j = 0; j < kInputs; ++j) {
            const std::uint8_t b = bytes.Next();
            values[static_cast<std::size_t>(j)] =
                mayBeOther && b >= 250 ? b - 252 : static_cast<std::int32_t>(b % 3) - 1;
        }
        return values;
    };
    for (std::int32_t row = 0; row < rows; ++row) {
        fast.StorePattern(pattern(otherValues && row == rows - 1), row);
    }
    THammingNet reference = fast;
    reference.SetPath(TCompetitionPath::Literal);
    std::vector<std::vector<std::int32_t>> inputs;
    std::vector<std::int32_t> winners;
    for (int round = 0; round < 3 && !bytes.Empty(); ++round) {
        const std::vector<std::int32_t> input = pattern(true);
        inputs.push_back(input);
        TTrace fastTrace;
        TTrace referenceTrace;
        const auto record = [](TTrace& trace) {
            return [&trace](std::int32_t, std::span<const double> values) {
                trace.emplace_back(values.begin(), values.end());
            };
        };
        const std::int32_t fastRow = fast.Recognize(input, record(fastTrace));
        const std::int32_t referenceRow = reference.Recognize(input, record(referenceTrace));
        Require(fastRow == referenceRow, "the fast recognition chose another row");
        const reference::TLiteralRun literal = reference::LiteralRecognize(
            reference, input,
            {constants.MaxOutput, constants.EpsilonFactor, reference.MaxIterations()});
        Require(referenceRow == literal.Winner,
                "reference mode chose another row than the literal network");
        Require(SameTrace(referenceTrace, literal.Values),
                "reference mode's passes differ from the literal network's");
        winners.push_back(literal.Winner);
        Require(fastTrace.size() == referenceTrace.size(), "a different number of passes");
        for (std::size_t pass = 0; pass < fastTrace.size(); ++pass) {
            for (std::size_t i = 0; i < fastTrace[pass].size(); ++i) {
                Require(SameBits(fastTrace[pass][i], referenceTrace[pass][i]),
                        "pass " + std::to_string(pass) + " differs at row " + std::to_string(i));
            }
        }
    }
    // The same inputs as a search's batch, their first layers in one sweep.
    TBatchControl control;
    control.Threads = 1 + ((iterations >> 6) & 1);
    const std::vector<std::span<const std::int32_t>> codes(inputs.begin(), inputs.end());
    const TBatchResult batch = RecognizeBatch(fast, codes, control);
    Require(batch.Rows == winners, "the batch chose another row than the literal network");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TConstants constants;
    if (size >= 4 && std::memcmp(data, "lab:", 4) == 0) {
        TBytes head(data + 4, size - 4);
        constants = ConstantsOf(head);
        const std::size_t used = std::min<std::size_t>(size, 7);
        data += used;
        size -= used;
    }
    if (size < 2) {
        return 0;
    }
    TBytes bytes(data + 1, size - 1);
    if ((data[0] & 1) == 0) {
        CheckCompetitionPass(bytes, constants);
    } else {
        CheckRecognitions(bytes, constants);
    }
    return 0;
}
