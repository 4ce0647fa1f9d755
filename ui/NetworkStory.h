// The sentences of the network view: pure functions from a search's traces to
// Russian text. Numbers are written as a Russian reader writes them
// ("1 000 000", "150,5"), whatever the application's locale; entries come in
// through an TEntryText already cut to a bounded length.
#pragma once

#include "engine/RecognitionTrace.h"
#include "search/SearchTrace.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace verblinka {

// The shown text of a dictionary row (cut as ShownText cuts it), or nothing
// for a row outside the dictionary.
using TEntryText = std::function<std::optional<QString>(std::int32_t row)>;

QString RussianNumber(long long value);
// An integral value as an integer, any other in its shortest exact form.
QString RussianNumber(double value);

// n and the word's form for it: one («1 проход», «21 проход»), few
// («2 прохода»), many («5 проходов», «11 проходов», «111 проходов»).
QString Plural(long long n, const char* one, const char* few, const char* many);

// «кот»; «пустая запись (ряд 0)»; «ряд 7» for a row outside the dictionary.
QString EntryName(std::int32_t row, const TEntryText& text);
// «ряд 5 «кот»»; «пустая запись (ряд 0)»; «ряд 7».
QString RowName(std::int32_t row, const TEntryText& text);
// The chart legend's name of a row: «5 «кот»», «пустая запись (ряд 0)».
QString LegendName(std::int32_t row, const TEntryText& text);

// A competition stops once it is stable, or after the pass that exceeds the
// limit: a limit of n allows up to n + 2 competition passes.
std::int32_t PassesAllowed(std::int32_t passLimit);
// «до 7 проходов», the note beside the pass limit.
QString PassLimitNote(std::int32_t passLimit);
// The table's «Конец» of a recognition.
QString EndText(TCompetitionEnd end);

// The search as a whole: the query, the choice, and why a variant won.
// queryText and chosenText are the shown texts of the query and of the
// chosen step.
QString SearchStory(const TSearchTrace& search, const QString& queryText, long long dictionarySize,
                    const QString& chosenText, const TEntryText& text);

// One recognition (step is its number in the table): the first layer's
// leader and the entries level with it, the clipping of the first pass, and
// how the race ended.
QString RecognitionStory(const TRecognitionTrace& trace, int step, const TEntryText& text);

// The report of a replay with another pass limit.
QString ReplayReport(const TRecognitionTrace& replay, std::int32_t searchWinner,
                     const TEntryText& text);

// How many units share the first layer's largest value (the leader
// included), from the leaders and the histogram; Exact is false when only a
// lower bound is known.
struct TLevelCount {
    long long Count = 0;
    bool Exact = true;
};
TLevelCount LevelWithLeader(const TRecognitionTrace& trace);

// The first pass after which the winner was the only unit above zero, or -1.
std::int32_t PassAlone(const TRecognitionTrace& trace);

// Why the entry a user meant did not win one recognition.
enum class TMeantReason {
    Won,             // it is the recognition's winner
    FewerAgreements, // its first-layer value is below the winner's
    EqualAdjacent,   // equal first layers in neighbouring rows: the same sums, the lower row wins
    EqualHigherRow,  // level with the winner at the end, in a higher row
    PassLimit,       // the limit stopped the race while it was still above zero
    Rounding,        // no worse at first, it fell behind on a rounded sum
};

struct TMeantVerdict {
    TMeantReason Reason = TMeantReason::Won;
    // The pass (0 = the first layer) from which on it stayed behind the
    // winner: below it, or level in a higher row; -1 when it won.
    std::int32_t FellBehind = -1;
    // Level with the winner at the clip level on some pass.
    bool Clipped = false;
};

// meant must be one of trace's tracked rows (the winner always is).
TMeantVerdict JudgeMeant(const TRecognitionTrace& trace, std::int32_t meant);

// The meant entry's first-layer value beside the winner's, where it fell
// behind, and the reason, as sentences.
QString MeantStory(const TRecognitionTrace& trace, std::int32_t meant, const TEntryText& text);

// The meant entry across the whole search: chosen, returned by some
// recognition but passed over on distance, or returned by none.
QString MeantSearchStory(const TSearchTrace& search, std::int32_t meant);

// The first layer's value of a pair of codes in its parts: «совпало 64 бита
// + 88 пустых позиций × ½ = 108» (blanks: positions where either code holds 0).
QString FirstLayerSum(int agreeingBits, int blanks, double value);

// One unit's step through one competition pass, with the pass's real numbers.
struct TPassStep {
    std::int32_t Row = 0;
    std::int32_t Pass = 1; // 1, 2, ...: the pass that computes Next
    double Previous = 0.0; // the row's value before the pass
    double Epsilon = 0.0;
    double MaxOutput = 0.0;
    double Next = 0.0; // as the trace recorded it
    // The literal ascending sum of every other unit's previous value, the
    // value before clipping and after it as recomputed from that sum; empty
    // until computed.
    std::optional<double> SumOfOthers;
    std::optional<double> Inhibited;
    std::optional<double> Clipped;
};

// «Проход 2, ряд 5 «кот»: 98,5 − 0,0005 × 1 234,5 = 97,88 → отсечка [0; 100] → 97,88»,
// and whether the recomputed value is the recorded one.
QString PassFormula(const TPassStep& step, const TEntryText& text);

} // namespace verblinka
