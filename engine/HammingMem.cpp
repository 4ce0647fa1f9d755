#include "engine/HammingMem.h"

#include "engine/CheckedMath.h"
#include "engine/Precision.h"
#include "engine/detail/FusedRun.h"
#include "engine/detail/RunCompetition.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VERBLINKA_X86_KERNELS 1
#else
#define VERBLINKA_X86_KERNELS 0
#endif

namespace verblinka {
namespace {

std::size_t ToSize(std::int32_t value) {
    return static_cast<std::size_t>(value);
}

void RequireNonNegative(std::int32_t count) {
    if (count < 0) {
        throw std::length_error("Negative network size");
    }
}

template <std::size_t Words>
[[gnu::always_inline]] inline void CountRows(const std::uint64_t* masks, std::size_t rows,
                                             std::size_t words, const std::uint64_t* input,
                                             const double* outputByAgreement, double* similarity) {
    const std::size_t n = Words == 0 ? words : Words;
    for (std::size_t i = 0; i < rows; ++i, masks += 2 * n) {
        std::int64_t both = 0;
        std::int64_t differ = 0;
        for (std::size_t w = 0; w < n; ++w) {
            const std::uint64_t nonZero = input[w] & masks[w];
            both += std::popcount(nonZero);
            differ += std::popcount(nonZero & (input[n + w] ^ masks[n + w]));
        }
        // The literal sum is (both - differ) agreements minus differ disagreements.
        similarity[i] = outputByAgreement[both - 2 * differ];
    }
}

// Every row's first-layer output from its masks and the input's.
[[gnu::always_inline]] inline void CountAgreementsIn(const std::uint64_t* masks, std::size_t rows,
                                                     std::size_t words, const std::uint64_t* input,
                                                     const double* outputByAgreement,
                                                     double* similarity) {
    if (words == 3) { // 160 inputs, the word code's length
        CountRows<3>(masks, rows, words, input, outputByAgreement, similarity);
    } else {
        CountRows<0>(masks, rows, words, input, outputByAgreement, similarity);
    }
}

// Agreement classes (the literal sum plus N) of rows [first, end) for several
// inputs at once: each row's masks are read once. Inputs with the same
// non-zero mask (the blank variants of one word) share that half of the count.
// Per input of inputs (masks of n words each), whether its non-zero mask is
// the one before's: that input shares the count of agreeing positions.
inline std::vector<char> SameNonZeroAsBefore(const std::uint64_t* inputs, std::size_t count,
                                             std::size_t n) {
    std::vector<char> same(count, 0);
    for (std::size_t k = 1; k < count; ++k) {
        same[k] = std::equal(inputs + 2 * n * k, inputs + 2 * n * k + n, inputs + 2 * n * (k - 1))
                      ? 1
                      : 0;
    }
    return same;
}

template <std::size_t Words>
[[gnu::always_inline]] inline void CountClassRows(const std::uint64_t* masks, std::size_t first,
                                                  std::size_t end, std::size_t words,
                                                  const std::uint64_t* inputs, std::size_t count,
                                                  std::int64_t columns, std::uint16_t* const* out) {
    const std::size_t n = Words == 0 ? words : Words;
    const std::vector<char> sameNonZero = SameNonZeroAsBefore(inputs, count, n);
    masks += 2 * n * first;
    for (std::size_t i = first; i < end; ++i, masks += 2 * n) {
        std::int64_t both = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint64_t* input = inputs + 2 * n * k;
            if (sameNonZero[k] == 0) {
                both = 0;
                for (std::size_t w = 0; w < n; ++w) {
                    both += std::popcount(input[w] & masks[w]);
                }
            }
            std::int64_t differ = 0;
            for (std::size_t w = 0; w < n; ++w) {
                differ += std::popcount(input[w] & masks[w] & (input[n + w] ^ masks[n + w]));
            }
            out[k][i] = static_cast<std::uint16_t>(both - 2 * differ + columns);
        }
    }
}

[[gnu::always_inline]] inline void CountClassesIn(const std::uint64_t* masks, std::size_t first,
                                                  std::size_t end, std::size_t words,
                                                  const std::uint64_t* inputs, std::size_t count,
                                                  std::int64_t columns, std::uint16_t* const* out) {
    if (words == 3) {
        CountClassRows<3>(masks, first, end, words, inputs, count, columns, out);
    } else {
        CountClassRows<0>(masks, first, end, words, inputs, count, columns, out);
    }
}

// The scalar loops, compiled for the baseline instruction set.
void CountAgreementsScalar(const std::uint64_t* masks, std::size_t rows, std::size_t words,
                           const std::uint64_t* input, const double* outputByAgreement,
                           double* similarity) {
    CountAgreementsIn(masks, rows, words, input, outputByAgreement, similarity);
}

void CountClassesScalar(const std::uint64_t* masks, std::size_t first, std::size_t end,
                        std::size_t words, const std::uint64_t* inputs, std::size_t count,
                        std::int64_t columns, std::uint16_t* const* out) {
    CountClassesIn(masks, first, end, words, inputs, count, columns, out);
}

#if VERBLINKA_X86_KERNELS
// The same loops again, compiled with POPCNT: baseline x86-64 lacks it.
__attribute__((target("popcnt"))) void CountAgreementsPopcount(const std::uint64_t* masks,
                                                               std::size_t rows, std::size_t words,
                                                               const std::uint64_t* input,
                                                               const double* outputByAgreement,
                                                               double* similarity) {
    CountAgreementsIn(masks, rows, words, input, outputByAgreement, similarity);
}

__attribute__((target("popcnt"))) void
CountClassesPopcount(const std::uint64_t* masks, std::size_t first, std::size_t end,
                     std::size_t words, const std::uint64_t* inputs, std::size_t count,
                     std::int64_t columns, std::uint16_t* const* out) {
    CountClassesIn(masks, first, end, words, inputs, count, columns, out);
}

// CountClassRows<3> eight rows at a time, a row per 64-bit lane: the block's
// masks are transposed once into one vector per mask word, and each input then
// costs three ternary logic operations and population counts, its words
// broadcast; its eight classes take one store. Inputs with the same non-zero
// mask as the one before share that half of the count, as in the scalar loop.
// The counts are exact integers either way.
__attribute__((target("avx512f,avx512bw,avx512vpopcntdq"))) void
CountClassRowsWide(const std::uint64_t* masks, std::size_t first, std::size_t end,
                   const std::uint64_t* inputs, std::size_t count, std::int64_t columns,
                   std::uint16_t* const* out) {
    constexpr std::size_t kWords = 3;
    constexpr std::size_t kRowWords = 2 * kWords;
    // Word w of row r (of four) lies at 6r + w of three consecutive vectors:
    // the first two give it through a two-source permutation (from[w]), the
    // third, where it lies there, through a masked one (fromThird[w], third[w]).
    // Rows 4 ... 7 repeat the pattern in the next three vectors.
    __m512i from[kRowWords];
    __m512i fromThird[kRowWords];
    __mmask8 third[kRowWords];
    for (std::size_t w = 0; w < kRowWords; ++w) {
        alignas(64) std::int64_t pair[8];
        alignas(64) std::int64_t last[8];
        unsigned mask = 0;
        for (std::size_t r = 0; r < 8; ++r) {
            const std::size_t at = kRowWords * (r % 4) + w;
            pair[r] = static_cast<std::int64_t>(at < 16 ? at : 0);
            last[r] = static_cast<std::int64_t>(at % 8);
            mask |= at >= 16 ? 1u << r : 0u;
        }
        from[w] = _mm512_load_si512(pair);
        fromThird[w] = _mm512_load_si512(last);
        third[w] = static_cast<__mmask8>(mask);
    }
    const std::vector<char> sameNonZero = SameNonZeroAsBefore(inputs, count, kWords);
    const __m512i offset = _mm512_set1_epi64(columns);
    // The rows are read once per batch, a few nanoseconds apart: asked for
    // this far ahead, they arrive before the counts need them (a prefetch past
    // the last row touches nothing).
    constexpr std::size_t kPrefetchRows = 128;
    std::size_t i = first;
    for (; i + 8 <= end; i += 8) {
        const std::uint64_t* block = masks + kRowWords * i;
        for (std::size_t v = 0; v < kRowWords; ++v) {
            _mm_prefetch(reinterpret_cast<const char*>(block + kPrefetchRows * kRowWords + 8 * v),
                         _MM_HINT_T0);
        }
        __m512i loaded[kRowWords];
#pragma GCC unroll 6
        for (std::size_t v = 0; v < kRowWords; ++v) {
            loaded[v] = _mm512_loadu_si512(block + 8 * v);
        }
        __m512i row[kRowWords]; // word w of the eight rows
#pragma GCC unroll 6
        for (std::size_t w = 0; w < kRowWords; ++w) {
            __m512i low = _mm512_permutex2var_epi64(loaded[0], from[w], loaded[1]);
            low = _mm512_mask_permutexvar_epi64(low, third[w], fromThird[w], loaded[2]);
            __m512i high = _mm512_permutex2var_epi64(loaded[3], from[w], loaded[4]);
            high = _mm512_mask_permutexvar_epi64(high, third[w], fromThird[w], loaded[5]);
            row[w] = _mm512_mask_blend_epi64(0xF0, low, high);
        }
        __m512i nonZero[kWords] = {};
        __m512i both = offset; // agreements and disagreements, plus columns
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint64_t* input = inputs + kRowWords * k;
            if (sameNonZero[k] == 0) {
                both = offset;
#pragma GCC unroll 3
                for (std::size_t w = 0; w < kWords; ++w) {
                    nonZero[w] = _mm512_and_si512(
                        row[w], _mm512_set1_epi64(static_cast<long long>(input[w])));
                    both = _mm512_add_epi64(both, _mm512_popcnt_epi64(nonZero[w]));
                }
            }
            __m512i differ = _mm512_setzero_si512();
#pragma GCC unroll 3
            for (std::size_t w = 0; w < kWords; ++w) {
                // nonZero & (row's sign ^ input's sign)
                const __m512i signs = _mm512_ternarylogic_epi64(
                    nonZero[w], row[kWords + w],
                    _mm512_set1_epi64(static_cast<long long>(input[kWords + w])), 0x60);
                differ = _mm512_add_epi64(differ, _mm512_popcnt_epi64(signs));
            }
            // both - 2 * differ + columns: from 0 to 2 * columns, below 2^16.
            // (The zero-masking form: GCC 12 warns of the other's undefined start.)
            const __m128i classes = _mm512_maskz_cvtepi64_epi16(
                0xFF, _mm512_sub_epi64(both, _mm512_add_epi64(differ, differ)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out[k] + i), classes);
        }
    }
    if (i < end) {
        CountClassRows<kWords>(masks, i, end, kWords, inputs, count, columns, out);
    }
}

// A plain check, asked once: no ifunc resolver, which would run before a
// sanitizer's run-time starts.
bool HasPopcount() {
    static const bool kSupported = __builtin_cpu_supports("popcnt");
    return kSupported;
}

bool HasWidePopcount() {
    static const bool kSupported = HasPopcount() && __builtin_cpu_supports("avx512f") &&
                                   __builtin_cpu_supports("avx512bw") &&
                                   __builtin_cpu_supports("avx512vpopcntdq");
    return kSupported;
}
#endif

void RequireAvailable(TFirstLayerKernel kernel) {
    if (!FirstLayerKernelAvailable(kernel)) {
        throw std::invalid_argument("This processor lacks the first-layer kernel " +
                                    std::string(FirstLayerKernelName(kernel)));
    }
}

// The kernel to run for `kernel`: never one that the processor lacks.
TFirstLayerKernel Runnable(TFirstLayerKernel kernel) {
    RequireAvailable(kernel);
    return ResolveFirstLayerKernel(kernel);
}

void CountAgreements(TFirstLayerKernel kernel, const std::uint64_t* masks, std::size_t rows,
                     std::size_t words, const std::uint64_t* input, const double* outputByAgreement,
                     double* similarity) {
    [[maybe_unused]] const TFirstLayerKernel run = Runnable(kernel);
#if VERBLINKA_X86_KERNELS
    // One input at a time: Avx512 has nothing to put in its lanes.
    if (run != TFirstLayerKernel::Scalar) {
        CountAgreementsPopcount(masks, rows, words, input, outputByAgreement, similarity);
        return;
    }
#endif
    CountAgreementsScalar(masks, rows, words, input, outputByAgreement, similarity);
}

void CountAgreementClasses(TFirstLayerKernel kernel, const std::uint64_t* masks, std::size_t first,
                           std::size_t end, std::size_t words, const std::uint64_t* inputs,
                           std::size_t count, std::int64_t columns, std::uint16_t* const* out) {
    [[maybe_unused]] const TFirstLayerKernel run = Runnable(kernel);
#if VERBLINKA_X86_KERNELS
    if (run == TFirstLayerKernel::Avx512 && words == 3 && count >= 2) {
        CountClassRowsWide(masks, first, end, inputs, count, columns, out);
        return;
    }
    if (run != TFirstLayerKernel::Scalar) {
        CountClassesPopcount(masks, first, end, words, inputs, count, columns, out);
        return;
    }
#endif
    CountClassesScalar(masks, first, end, words, inputs, count, columns, out);
}

} // namespace

std::string_view FirstLayerKernelName(TFirstLayerKernel kernel) {
    switch (kernel) {
    case TFirstLayerKernel::Auto:
        return "auto";
    case TFirstLayerKernel::Scalar:
        return "scalar";
    case TFirstLayerKernel::Popcount:
        return "popcnt";
    case TFirstLayerKernel::Avx512:
        return "avx512";
    }
    return "unknown";
}

bool FirstLayerKernelAvailable(TFirstLayerKernel kernel) {
    switch (kernel) {
    case TFirstLayerKernel::Auto:
    case TFirstLayerKernel::Scalar:
        return true;
#if VERBLINKA_X86_KERNELS
    case TFirstLayerKernel::Popcount:
        return HasPopcount();
    case TFirstLayerKernel::Avx512:
        return HasWidePopcount();
#else
    case TFirstLayerKernel::Popcount:
    case TFirstLayerKernel::Avx512:
        return false;
#endif
    }
    return false;
}

TFirstLayerKernel ResolveFirstLayerKernel(TFirstLayerKernel kernel) {
    if (kernel != TFirstLayerKernel::Auto) {
        return kernel;
    }
    for (const TFirstLayerKernel best : {TFirstLayerKernel::Avx512, TFirstLayerKernel::Popcount}) {
        if (FirstLayerKernelAvailable(best)) {
            return best;
        }
    }
    return TFirstLayerKernel::Scalar;
}

std::string_view SweepKernelName(TSweepKernel kernel) {
    switch (kernel) {
    case TSweepKernel::Auto:
        return "auto";
    case TSweepKernel::Scalar:
        return "scalar";
    case TSweepKernel::Avx512:
        return "avx512";
    }
    return "unknown";
}

bool SweepKernelAvailable(TSweepKernel kernel) {
    return kernel != TSweepKernel::Avx512 || WideSweepAvailable();
}

void THammingNet::SetInputCount(std::int32_t n) {
    RequireNonNegative(n);
    InputCount_ = n;
    Resize();
}

void THammingNet::SetPatternCount(std::int32_t m) {
    RequireNonNegative(m);
    PatternCount_ = m;
    Resize();
}

void THammingNet::Resize() {
    const std::size_t rows = ToSize(PatternCount_);
    Weights_.Resize(rows, ToSize(InputCount_));
    // Written values keep their rows, as a resized array does; never written,
    // they stay a view of zeros.
    if (!Similarity_.empty()) {
        Similarity_.resize(rows, 0.0);
        Activity_.resize(rows, 0.0);
    }
    zeros_ = TZeroPages(rows);
}

void THammingNet::StorePattern(std::span<const std::int32_t> pattern, std::int32_t row) {
    if (row < 0 || row >= PatternCount_) {
        throw std::out_of_range("Pattern row out of range");
    }
    if (pattern.size() < ToSize(InputCount_)) {
        throw std::invalid_argument("Pattern shorter than the network's input");
    }
    Weights_.StoreRow(ToSize(row), pattern);
    Bias_ = static_cast<double>(InputCount_);
    Epsilon_ = precision::InhibitionWeight(epsilonFactor_, PatternCount_);
}

void THammingNet::StorePatternMasks(std::span<const std::uint64_t> masks, std::int32_t row) {
    if (row < 0 || row >= PatternCount_) {
        throw std::out_of_range("Pattern row out of range");
    }
    Weights_.StoreRowMasks(ToSize(row), masks);
    Bias_ = static_cast<double>(InputCount_);
    Epsilon_ = precision::InhibitionWeight(epsilonFactor_, PatternCount_);
}

void THammingNet::SetMaxOutput(double maxOutput) {
    if (!std::isfinite(maxOutput) || !(maxOutput > 0.0)) {
        throw std::invalid_argument("The clip level must be a finite number above 0");
    }
    MaxOutput_ = maxOutput;
}

void THammingNet::SetEpsilonFactor(double factor) {
    if (!std::isfinite(factor) || !(factor >= 0.0)) {
        throw std::invalid_argument("The factor of epsilon must be a finite number of at least 0");
    }
    epsilonFactor_ = factor;
    if (PatternCount_ > 0) {
        Epsilon_ = precision::InhibitionWeight(epsilonFactor_, PatternCount_);
    }
}

void THammingNet::SetFirstLayerKernel(TFirstLayerKernel kernel) {
    RequireAvailable(kernel);
    firstLayerKernel_ = kernel;
}

void THammingNet::SetSweepKernel(TSweepKernel kernel) {
    if (!SweepKernelAvailable(kernel)) {
        throw std::invalid_argument("This processor lacks the sweep kernel " +
                                    std::string(SweepKernelName(kernel)));
    }
    sweepKernel_ = kernel;
}

bool THammingNet::WideSweep() const {
    return sweepKernel_ == TSweepKernel::Avx512 ||
           (sweepKernel_ == TSweepKernel::Auto && WideSweepAvailable());
}

double THammingNet::Weight(std::int32_t row, std::int32_t column) const {
    if (row < 0 || column < 0) {
        throw std::out_of_range("Weight index out of range");
    }
    return Weights_.At(ToSize(row), ToSize(column));
}

double THammingNet::Activation(double x) const {
    return verblinka::Activation(x, MaxOutput_);
}

bool THammingNet::IsStable() const {
    for (std::size_t i = 0; i < Activity_.size(); ++i) {
        if (Activity_[i] != Similarity_[i]) {
            return false;
        }
    }
    return true;
}

// The masks of an input for the rows' masks: false when the rows are not held
// as masks or the input holds a value other than -1, 0 and +1.
bool THammingNet::MasksOf(std::span<const std::int32_t> input,
                          std::vector<std::uint64_t>& masks) const {
    const std::size_t columns = ToSize(InputCount_);
    if (!Weights_.IsCompact() ||
        !std::all_of(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(columns),
                     [](std::int32_t value) { return value >= -1 && value <= 1; })) {
        return false;
    }
    const std::size_t words = Weights_.WordsPerMask();
    masks.assign(2 * words, 0);
    for (std::size_t column = 0; column < columns; ++column) {
        const std::uint64_t bit = std::uint64_t{1} << (column % 64);
        if (input[column] != 0) {
            masks[column / 64] |= bit;
        }
        if (input[column] < 0) {
            masks[words + column / 64] |= bit;
        }
    }
    return true;
}

// Every possible sum -N ... N mapped to its output once.
std::vector<double> THammingNet::FirstLayerOutputs() const {
    const std::size_t columns = ToSize(InputCount_);
    std::vector<double> outputs(2 * columns + 1);
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        const auto sum =
            static_cast<double>(static_cast<std::int64_t>(k) - static_cast<std::int64_t>(columns));
        outputs[k] = precision::HalfSumWithBias(sum, Bias_);
    }
    return outputs;
}

// Where every weight and input is -1, 0 or +1, every product is too and every
// partial sum is a small integer, held exactly: the literal sum equals
// agreements minus disagreements over the positions where both are non-zero,
// which two masks and a population count give.
bool THammingNet::FirstLayerOnMasks(std::span<const std::int32_t> input,
                                    TRecognitionScratch& s) const {
    if (!MasksOf(input, s.inputMasks_)) {
        return false;
    }
    const std::size_t columns = ToSize(InputCount_);
    const std::vector<double> outputs = FirstLayerOutputs();
    CountAgreements(firstLayerKernel_, Weights_.MasksOf(0), ToSize(PatternCount_),
                    Weights_.WordsPerMask(), s.inputMasks_.data(), outputs.data() + columns,
                    s.Similarity_.data());
    return true;
}

// The first layer as one agreement class per row: the state of the passes
// over classes.
bool THammingNet::FirstLayerAsClasses(std::span<const std::int32_t> input,
                                      TRecognitionScratch& s) const {
    s.input_.Classes.resize(ToSize(PatternCount_));
    const std::span<const std::int32_t> inputs[] = {input};
    std::uint16_t* const out[] = {s.input_.Classes.data()};
    if (!FirstLayerClasses(inputs, 0, ToSize(PatternCount_), out)) {
        return false;
    }
    s.input_.Values = FirstLayerOutputs();
    return true;
}

bool THammingNet::FirstLayerClasses(std::span<const std::span<const std::int32_t>> inputs,
                                    std::size_t firstRow, std::size_t endRow,
                                    std::span<std::uint16_t* const> out) const {
    if (2 * static_cast<std::size_t>(InputCount_) + 1 > 65536) {
        return false;
    }
    const std::size_t words = Weights_.WordsPerMask();
    std::vector<std::uint64_t> masks;
    std::vector<std::uint64_t> all;
    for (const auto input : inputs) {
        if (input.size() < ToSize(InputCount_) || !MasksOf(input, masks)) {
            return false;
        }
        all.insert(all.end(), masks.begin(), masks.end());
    }
    CountAgreementClasses(firstLayerKernel_, Weights_.MasksOf(0), firstRow, endRow, words,
                          all.data(), inputs.size(), static_cast<std::int64_t>(InputCount_),
                          out.data());
    return true;
}

void THammingNet::FirstLayer(std::span<const std::int32_t> input, TRecognitionScratch& s) const {
    if (path_ != TCompetitionPath::Literal && FirstLayerOnMasks(input, s)) {
        return;
    }
    const std::size_t columns = ToSize(InputCount_);
    s.rowScratch_.resize(columns);
    for (std::size_t i = 0; i < ToSize(PatternCount_); ++i) {
        Weights_.CopyRow(i, s.rowScratch_);
        double sum = 0.0;
        for (std::size_t j = 0; j < columns; ++j) {
            sum = precision::MultiplyAddStep(sum, input[j], s.rowScratch_[j]);
        }
        s.Similarity_[i] = precision::HalfSumWithBias(sum, Bias_);
    }
}

std::int32_t THammingNet::Recognize(std::span<const std::int32_t> input,
                                    const TPassObserver& observer) {
    // The network's own Similarity and Activity serve as the scratch's.
    scratch_.Similarity_.swap(Similarity_);
    scratch_.Activity_.swap(Activity_);
    struct TSwapBack {
        THammingNet& Net;
        ~TSwapBack() {
            Net.scratch_.Similarity_.swap(Net.Similarity_);
            Net.scratch_.Activity_.swap(Net.Activity_);
        }
    } swapBack{*this};
    return RecognizeIn(input, scratch_, observer, true);
}

std::int32_t THammingNet::Recognize(std::span<const std::int32_t> input,
                                    TRecognitionScratch& scratch) const {
    return RecognizeIn(input, scratch, nullptr, false);
}

std::int32_t THammingNet::Recognize(std::span<const std::int32_t> input,
                                    TRecognitionScratch& scratch, TPassRecorder& recorder) const {
    return RecognizeIn(input, scratch, nullptr, false, &recorder);
}

std::int32_t THammingNet::RecognizeWith(std::span<const std::int32_t> input,
                                        const TCompetitionSettings& settings,
                                        TRecognitionScratch& scratch,
                                        TPassRecorder& recorder) const {
    if (settings.MaxIterations < 0) {
        throw std::invalid_argument("A negative pass limit");
    }
    if (settings.InputCount != InputCount_ || settings.PatternCount != PatternCount_) {
        throw std::invalid_argument("Settings of another network");
    }
    return RecognizeIn(input, scratch, nullptr, false, &recorder, &settings);
}

std::vector<double> THammingNet::FirstLayerValues(std::span<const std::int32_t> input) const {
    if (PatternCount_ == 0) {
        return {};
    }
    TRecognitionScratch s;
    // The path Recognize takes, so that the values are the ones it starts from.
    if (FirstLayerIn(input, s)) {
        std::vector<double> values(ToSize(PatternCount_));
        s.input_.Materialise(values);
        return values;
    }
    return std::move(s.Similarity_);
}

std::int32_t THammingNet::FromClasses(std::span<const std::uint16_t> firstLayer,
                                      TRecognitionScratch& scratch, TPassRecorder* recorder,
                                      std::span<const std::uint32_t> counts) const {
    if (PatternCount_ == 0) {
        return 0;
    }
    if (firstLayer.size() != ToSize(PatternCount_)) {
        throw std::invalid_argument("First layer of another size than the network");
    }
    scratch.input_.Values = FirstLayerOutputs();
    scratch.classPass_.SetWide(WideSweep());
    // The first pass reads the classes where they are; they are copied only
    // if it cannot take them.
    return RunCompetition(scratch, TCompetitionSettings::Of(*this), TCompetitionPath::Classes,
                          {nullptr, recorder, false}, firstLayer, counts);
}

TRecognitionScratch& TRecognitionPools::ScratchFor(std::size_t worker) {
    if (workers_.size() <= worker) {
        workers_.resize(worker + 1);
    }
    return workers_[worker];
}

std::vector<std::uint16_t>& TRecognitionPools::FirstLayerBuffer(std::size_t index,
                                                                std::size_t rows) {
    if (firstLayers_.size() <= index) {
        firstLayers_.resize(index + 1);
    }
    firstLayers_[index].resize(rows);
    return firstLayers_[index];
}

TRecognitionScratch& THammingNet::ScratchFor(std::size_t worker) {
    return pools_.ScratchFor(worker);
}

std::vector<std::uint16_t>& THammingNet::FirstLayerBuffer(std::size_t index) {
    return pools_.FirstLayerBuffer(index, ToSize(PatternCount_));
}

TCompetitionSettings TCompetitionSettings::Of(const THammingNet& network) {
    return {network.InputCount(), network.PatternCount(), network.MaxIterations(),
            network.Epsilon(), network.MaxOutput()};
}

// The first layer of input into s: as classes (true) on the paths over
// classes where they apply, as values in s's Similarity otherwise.
bool THammingNet::FirstLayerIn(std::span<const std::int32_t> input, TRecognitionScratch& s) const {
    if (input.size() < ToSize(InputCount_)) {
        throw std::invalid_argument("Input shorter than the network's input");
    }
    if (ClassPasses() && FirstLayerAsClasses(input, s)) {
        return true;
    }
    s.Similarity_.resize(ToSize(PatternCount_));
    s.Activity_.resize(ToSize(PatternCount_));
    FirstLayer(input, s);
    return false;
}

std::int32_t THammingNet::RecognizeIn(std::span<const std::int32_t> input, TRecognitionScratch& s,
                                      const TPassObserver& observer, bool keepState,
                                      TPassRecorder* recorder,
                                      const TCompetitionSettings* given) const {
    if (PatternCount_ == 0) {
        return 0;
    }
    const bool classes = FirstLayerIn(input, s);
    s.classPass_.SetWide(WideSweep());
    const TCompetitionSettings settings =
        given != nullptr ? *given : TCompetitionSettings::Of(*this);
    const TCompetitionPath path = classes                              ? TCompetitionPath::Classes
                                  : path_ == TCompetitionPath::Literal ? TCompetitionPath::Literal
                                                                       : TCompetitionPath::Values;
    return RunCompetition(s, settings, path, {observer ? &observer : nullptr, recorder, keepState});
}

std::int32_t RunCompetition(TRecognitionScratch& s, const TCompetitionSettings& settings,
                            TCompetitionPath path, const TCompetitionWatch& watch,
                            std::span<const std::uint16_t> firstClasses,
                            std::span<const std::uint32_t> firstCounts) {
    const auto rows = static_cast<std::size_t>(std::max(settings.PatternCount, 0));
    if (rows == 0) {
        return 0;
    }
    const TPassObserver* observer =
        watch.Observer != nullptr && *watch.Observer ? watch.Observer : nullptr;
    TPassRecorder* recorder = watch.Recorder;
    const bool keepState = watch.KeepState;
    const bool literal = path == TCompetitionPath::Literal;
    bool classes = path == TCompetitionPath::Classes || path == TCompetitionPath::Auto;
    if (!firstClasses.empty() && (observer != nullptr || keepState || !classes)) {
        s.input_.Classes.assign(firstClasses.begin(), firstClasses.end());
        firstClasses = {};
    }
    if (observer != nullptr || keepState || !classes) {
        s.Similarity_.resize(rows);
        s.Activity_.resize(rows);
    }
    if (observer != nullptr) {
        if (classes) {
            s.input_.Materialise(s.Similarity_);
        }
        (*observer)(0, s.Similarity_);
    }
    if (recorder != nullptr) {
        if (classes) {
            recorder->FirstLayer({{},
                                  firstClasses.empty()
                                      ? std::span<const std::uint16_t>(s.input_.Classes)
                                      : firstClasses,
                                  s.input_.Values});
        } else {
            recorder->FirstLayer({s.Similarity_, {}, {}});
        }
    }
    std::int32_t winner = 0;
    std::int32_t pass = 0;
    bool chained = false; // the last pass was a class pass on this scratch
    for (;;) {
        bool stable = true;
        std::size_t leader = 0;
        if (classes) {
            TPassSummary summary;
            bool done = false;
            // A pass after the limit's is the last: nothing to prepare for,
            // and only its leader and stability matter unless someone hears
            // of its values.
            const bool last = pass > settings.MaxIterations;
            const bool heard = observer != nullptr || recorder != nullptr || keepState;
            // Where nobody hears of the passes after this one (to MaxIterations
            // + 1), a unit that leads this pass's output and each of them is the
            // winner, whichever of them is the last to change a value.
            const std::size_t unheard =
                heard || last ? 0
                              : static_cast<std::size_t>(std::int64_t{settings.MaxIterations} + 1 -
                                                         std::int64_t{pass});
            const TPassLink link{chained, !last, !last || heard, unheard};
            chained = true;
            if (!firstClasses.empty()) {
                done =
                    s.classPass_.ExactPass({firstClasses, s.input_.Values, firstCounts}, s.output_,
                                           settings.Epsilon, settings.MaxOutput, summary, link);
                if (!done) {
                    s.input_.Classes.assign(firstClasses.begin(), firstClasses.end());
                }
                firstClasses = {};
            }
            if (!done && !s.classPass_.Pass(s.input_, s.output_, settings.Epsilon,
                                            settings.MaxOutput, summary, link)) {
                // Values the method cannot take: go on with one double per unit.
                s.Similarity_.resize(rows);
                s.Activity_.resize(rows);
                s.input_.Materialise(s.Similarity_);
                classes = false;
                continue;
            }
            if (summary.Settled) {
                return static_cast<std::int32_t>(summary.Leader);
            }
            stable = summary.Stable;
            leader = summary.Leader;
            if (observer != nullptr) {
                s.output_.Materialise(s.Activity_);
                (*observer)(CheckedAdd(pass, 1), s.Activity_);
            }
            if (recorder != nullptr) {
                recorder->Pass(CheckedAdd(pass, 1), {{}, s.output_.Classes, s.output_.Values},
                               stable, leader);
            }
        } else {
            // The fast pass over values where its preconditions hold, the literal one otherwise.
            if (literal ||
                !s.fast_.Pass(s.Similarity_, s.Activity_, settings.Epsilon, settings.MaxOutput)) {
                PlainCompetitionPass(s.Similarity_, s.Activity_, settings.Epsilon,
                                     settings.MaxOutput);
            }
            if (observer != nullptr) {
                (*observer)(CheckedAdd(pass, 1), s.Activity_);
            }
            const TPassSummary summary = SummarisePass(s.Similarity_, s.Activity_);
            stable = summary.Stable;
            leader = summary.Leader;
            if (recorder != nullptr) {
                recorder->Pass(CheckedAdd(pass, 1), {s.Activity_, {}, {}}, stable, leader);
            }
        }
        if (stable) {
            if (classes && keepState) {
                s.input_.Materialise(s.Similarity_);
                s.output_.Materialise(s.Activity_);
            }
            return winner;
        }
        // The output becomes the next pass's input. Swapping spares the copy;
        // the next pass overwrites every output value anyway.
        if (classes) {
            std::swap(s.input_, s.output_);
        } else {
            s.Similarity_.swap(s.Activity_);
        }
        winner = static_cast<std::int32_t>(leader);
        if (pass > settings.MaxIterations) {
            if (classes && keepState) {
                s.input_.Materialise(s.Similarity_);
            }
            if (!classes || keepState) {
                std::copy(s.Similarity_.begin(), s.Similarity_.end(), s.Activity_.begin());
            }
            return winner;
        }
        pass = CheckedAdd(pass, 1);
    }
}

std::int32_t RunCompetition(std::span<const double> firstLayer,
                            const TCompetitionSettings& settings, TCompetitionPath path,
                            const TCompetitionWatch& watch) {
    TRecognitionScratch s;
    s.Similarity_.assign(firstLayer.begin(), firstLayer.end());
    TCompetitionSettings own = settings;
    own.PatternCount = static_cast<std::int32_t>(firstLayer.size());
    return RunCompetition(s, own, path, watch);
}

} // namespace verblinka
