// The network view's parts that need no window: the sentences (table-tested
// over made-up traces), the Russian numbers and plural forms, the step texts
// cut around their blank, and the steps model's tab-separated copy.
#include "ui/NetworkStory.h"
#include "dictionary/DictionaryLoad.h"
#include "engine/Precision.h"
#include "reference/TestSupport.h"
#include "search/Search.h"
#include "search/SearchTrace.h"
#include "ui/NetworkCharts.h"
#include "ui/PassSums.h"
#include "ui/SearchStepsModel.h"
#include "ui/ShownText.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <random>

namespace verblinka::test_support {
namespace {

// Digits grouped as the Russian locale groups them, by a no-break space.
QString Grouped(const char* digits) {
    return QString::fromUtf8(digits).replace(QLatin1Char(' '), QChar(0x00A0));
}

// A dictionary's rows as the view names them: row 0 is the empty entry.
std::optional<QString> Names(std::int32_t row) {
    static const QStringList kWords = {QString(),
                                       QStringLiteral("КОТ"),
                                       QStringLiteral("КИТ"),
                                       QStringLiteral("КОД"),
                                       QStringLiteral("ТОК"),
                                       QStringLiteral("КТО"),
                                       QStringLiteral("КОШ"),
                                       QStringLiteral("КОМ")};
    if (row < 0) {
        return std::nullopt;
    }
    return row < kWords.size() ? kWords[row] : QStringLiteral("СЛОВО%1").arg(row);
}

// A recognition of 160 inputs whose leaders have the given first-layer values
// (rows 1, 2, 3, ... in that order) and whose tracked rows then follow
// `passes` (one vector of values per competition pass).
TRecognitionTrace MadeTrace(const std::vector<double>& leaders,
                            const std::vector<std::vector<double>>& passes, TCompetitionEnd end,
                            std::int32_t winner, std::int64_t unitsAtTop = 0) {
    TRecognitionTrace trace;
    trace.PatternCount = 1000;
    trace.InputCount = 160;
    trace.MaxIterations = 5;
    trace.MaxOutput = 100.0;
    trace.Histogram.assign(161, 0);
    for (std::size_t i = 0; i < leaders.size(); ++i) {
        trace.Leaders.push_back(static_cast<std::int32_t>(i + 1));
        trace.TrackedRows.push_back(static_cast<std::int32_t>(i + 1));
        ++trace.Histogram[static_cast<std::size_t>(leaders[i])];
    }
    if (unitsAtTop > 0) {
        trace.Histogram[static_cast<std::size_t>(leaders.front())] = unitsAtTop;
    }
    trace.Passes.push_back({0, false, 1, static_cast<std::int64_t>(leaders.size()), leaders});
    for (std::size_t p = 0; p < passes.size(); ++p) {
        std::int64_t above = 0;
        for (const double value : passes[p]) {
            above += value > 0.0 ? 1 : 0;
        }
        trace.Passes.push_back({static_cast<std::int32_t>(p + 1),
                                end == TCompetitionEnd::Stable && p + 1 == passes.size(), winner,
                                above, passes[p]});
    }
    trace.Winner = winner;
    trace.End = end;
    return trace;
}

TEST(NetworkStory, RussianNumbersAndPluralForms) {
    struct TCase {
        long long N;
        QString Expected;
    };
    const std::vector<TCase> cases = {
        {1, QStringLiteral("1 проход")},
        {2, QStringLiteral("2 прохода")},
        {5, QStringLiteral("5 проходов")},
        {11, QStringLiteral("11 проходов")},
        {12, QStringLiteral("12 проходов")},
        {14, QStringLiteral("14 проходов")},
        {21, QStringLiteral("21 проход")},
        {22, QStringLiteral("22 прохода")},
        {111, QStringLiteral("111 проходов")},
        {0, QStringLiteral("0 проходов")},
        {1001, Grouped("1 001") + QStringLiteral(" проход")},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Plural(c.N, "проход", "прохода", "проходов"), c.Expected) << c.N;
    }
    EXPECT_EQ(RussianNumber(1000000LL), Grouped("1 000 000"));
    EXPECT_EQ(RussianNumber(1e6), RussianNumber(1000000LL)); // never "1e+06"
    EXPECT_EQ(RussianNumber(150.5), QStringLiteral("150,5"));
    EXPECT_EQ(RussianNumber(0.1), QStringLiteral("0,1"));
    // The application's own locale does not matter.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(RussianNumber(1000000LL), Grouped("1 000 000"));
    EXPECT_EQ(HistogramBarTip(57, 1234),
              QStringLiteral("57 совпадений: ") + Grouped("1 234") + QStringLiteral(" единицы"));
    QLocale::setDefault(before);
}

TEST(NetworkStory, NamesRowsAndTheEmptyEntry) {
    EXPECT_EQ(EntryName(1, Names), QStringLiteral("«КОТ»"));
    EXPECT_EQ(RowName(1, Names), QStringLiteral("ряд 1 «КОТ»"));
    EXPECT_EQ(LegendName(1, Names), QStringLiteral("1 «КОТ»"));
    for (const auto& name : {EntryName(0, Names), RowName(0, Names), LegendName(0, Names)}) {
        EXPECT_EQ(name, QStringLiteral("пустая запись (ряд 0)"));
    }
    EXPECT_EQ(RowName(-1, Names), QStringLiteral("ряд -1"));
    EXPECT_EQ(PassesAllowed(5), 7);
    EXPECT_EQ(PassLimitNote(5), QStringLiteral("до 7 проходов"));
    EXPECT_EQ(PassLimitNote(19), QStringLiteral("до 21 прохода"));
}

// The sentences of one recognition, case by case.
TEST(NetworkStory, RecognitionSentences) {
    struct TCase {
        const char* Name;
        TRecognitionTrace Trace;
        std::vector<QString> Contains;
        std::vector<QString> Lacks;
    };
    const std::vector<TCase> cases = {
        {"stable end",
         MadeTrace({120, 100}, {{40, 10}, {30, 0}, {30, 0}}, TCompetitionEnd::Stable, 1),
         {QStringLiteral(" В распознавании №3 после первого слоя впереди ряд 1 «КОТ» (120 "
                         "совпадений из 160)."),
          QStringLiteral("На проходе 3 ничего не изменилось: победил ряд 1 «КОТ».")},
         {QStringLiteral("вровень"), QStringLiteral("предел")}},
        {"pass limit with the winner alone",
         MadeTrace({121, 100}, {{40, 10}, {30, 0}, {20, 0}}, TCompetitionEnd::PassLimit, 1),
         {QStringLiteral("(121 совпадение из 160)"),
          QStringLiteral("С прохода 2 выше нуля остался только ряд 1 «КОТ»; гонку остановил "
                         "предел проходов 5: он допускает до 7 проходов.")},
         {QStringLiteral("вровень")}},
        {"pass limit with rivals",
         MadeTrace({122, 100}, {{40, 10}, {30, 5}}, TCompetitionEnd::PassLimit, 1),
         {QStringLiteral("(122 совпадения из 160)"),
          QStringLiteral(" Ряд 1 «КОТ» впереди, но соперники ещё не погасли; гонку остановил "
                         "предел проходов 5: он допускает до 7 проходов.")},
         {QStringLiteral("остался только")}},
        {"clipped leaders",
         MadeTrace({130, 130, 128}, {{100, 100, 100}, {90, 80, 70}}, TCompetitionEnd::PassLimit, 1),
         {QStringLiteral(", вровень с ним ещё 1: ряд 2 «КИТ»."),
          QStringLiteral("На первом проходе отсечка на 100 уравняла 3 единицы; из равных "
                         "побеждает ряд с меньшим номером, пока их не разведут округления "
                         "сумм.")},
         {QStringLiteral("нижний"), QStringLiteral("и больше")}},
        {"level counted from the histogram, five named",
         MadeTrace(std::vector<double>(10, 140.0), {{50, 50, 50, 50, 50, 50, 50, 50, 50, 50}},
                   TCompetitionEnd::PassLimit, 1, 11),
         {QStringLiteral(", вровень с ним ещё 10: ряд 2 «КИТ», ряд 3 «КОД», ряд 4 «ТОК», ряд "
                         "5 «КТО», ряд 6 «КОШ» и ещё 5.")},
         {QStringLiteral("КОМ"), QStringLiteral("и больше")}},
        {"a half value at the top: a lower bound",
         MadeTrace(std::vector<double>(10, 140.5), {{50, 50, 50, 50, 50, 50, 50, 50, 50, 50}},
                   TCompetitionEnd::PassLimit, 1, 14),
         {QStringLiteral("(140,5 совпадения из 160), вровень с ним ещё не меньше 9: ")},
         {}},
    };
    for (const TCase& c : cases) {
        const QString story = RecognitionStory(c.Trace, 3, Names);
        for (const QString& part : c.Contains) {
            EXPECT_TRUE(story.contains(part)) << c.Name << "\n" << story.toStdString();
        }
        for (const QString& part : c.Lacks) {
            EXPECT_FALSE(story.contains(part)) << c.Name << "\n" << story.toStdString();
        }
    }
}

TEST(NetworkStory, SearchAndReplaySentences) {
    TSearchTrace search;
    search.Status = TSearchStatus::Selected;
    search.Steps.resize(3);
    search.Steps[0].Distance = 4;
    search.Steps[2].Distance = 4;
    search.BestRow = 0;
    search.BestDistance = 4;
    search.ChosenStep = 2;
    const QString story =
        SearchStory(search, QStringLiteral("КТО"), 1000000, QStringLiteral("К␣ТО"), Names);
    EXPECT_TRUE(story.startsWith(QStringLiteral("Поиск «КТО» в словаре из ") +
                                 Grouped("1 000 000") +
                                 QStringLiteral(" записей: выбрана запись 0 — пустая запись (ряд "
                                                "0) (вариант 2 «К␣ТО», расстояние 4).")))
        << story.toStdString();
    EXPECT_TRUE(story.contains(QStringLiteral("расстояние то же, 4")));

    const TRecognitionTrace replay =
        MadeTrace({120, 100}, {{40, 10}, {30, 0}, {30, 0}}, TCompetitionEnd::Stable, 1);
    EXPECT_EQ(ReplayReport(replay, 2, Names),
              QStringLiteral("Повтор с пределом 5 (до 7 проходов): победил ряд 1 «КОТ», 3 прохода "
                             "(в поиске — ряд 2)"));
}

// The step's text as the table shows it: whole while short, and otherwise cut
// with the blank kept in sight; never longer than its bound.
// Every reason a meant entry can lose, each with the pass it fell behind at
// and the sentence that names it; rows 1, 2, 3 hold the leaders in order.
TEST(NetworkStory, WhyTheMeantEntryLost) {
    struct TCase {
        const char* Name;
        TRecognitionTrace Trace;
        std::int32_t Meant;
        TMeantReason Reason;
        std::int32_t FellBehind;
        QString Phrase;
    };
    const auto limit = TCompetitionEnd::PassLimit;
    const auto stable = TCompetitionEnd::Stable;
    const std::vector<TCase> cases = {
        {"won", MadeTrace({150, 140}, {{100, 90}}, stable, 1), 1, TMeantReason::Won, -1,
         QStringLiteral("Задуманная запись ряд 1 «КОТ» победила")},
        {"fewer", MadeTrace({150, 140}, {{100, 90}}, stable, 1), 2, TMeantReason::FewerAgreements,
         0,
         QStringLiteral("Отстала уже после первого слоя. Причина: у неё меньше совпадений с "
                        "входом (140 против 150).")},
        {"adjacent", MadeTrace({150, 150}, {{100, 100}}, stable, 1), 2, TMeantReason::EqualAdjacent,
         0, QStringLiteral("а ряды соседние")},
        // Ahead after the first layer, made level by the clip level.
        {"clipped", MadeTrace({150, 152}, {{100, 100}}, stable, 1), 2, TMeantReason::EqualHigherRow,
         1,
         QStringLiteral("Отстала на проходе 1. Причина: отсечка на 100 сравняла её с "
                        "победителем, и из равных побеждает ряд с меньшим номером (1 < 2).")},
        {"level to the end", MadeTrace({150, 149, 150}, {{90, 50, 90}, {80, 0, 80}}, stable, 1), 3,
         TMeantReason::EqualHigherRow, 0, QStringLiteral("до конца вровень")},
        {"limit while level", MadeTrace({150, 149, 150}, {{90, 50, 90}}, limit, 1), 3,
         TMeantReason::PassLimit, 0,
         QStringLiteral("когда она шла вровень с победителем (90), а из равных побеждает ряд с "
                        "меньшим номером (1 < 3).")},
        {"limit while behind",
         MadeTrace({150, 149, 150}, {{100, 50, 100}, {90, 0, 89.5}}, limit, 1), 3,
         TMeantReason::PassLimit, 2, QStringLiteral("(89,5 против 90)")},
        {"rounding", MadeTrace({150, 149, 150}, {{100, 50, 100}, {90, 0, 0}}, stable, 1), 3,
         TMeantReason::Rounding, 2, QStringLiteral("округлились по-разному")},
    };
    for (const TCase& c : cases) {
        const TMeantVerdict verdict = JudgeMeant(c.Trace, c.Meant);
        EXPECT_EQ(verdict.Reason, c.Reason) << c.Name;
        EXPECT_EQ(verdict.FellBehind, c.FellBehind) << c.Name;
        const QString story = MeantStory(c.Trace, c.Meant, Names);
        EXPECT_TRUE(story.contains(c.Phrase)) << c.Name << ": " << story.toStdString();
    }
    // A row the trace did not follow gets no story.
    EXPECT_TRUE(MeantStory(cases[1].Trace, 7, Names).isEmpty());
}

// The meant entry over the whole search: chosen, passed over on distance
// (closer, or equal and earlier), or never returned.
TEST(NetworkStory, TheMeantEntryInTheSearch) {
    TSearchTrace search;
    search.Status = TSearchStatus::Selected;
    search.Steps = {{0, 7, 1, -1, nullptr}, {1, 9, 2, -1, nullptr}, {2, 4, 1, -1, nullptr}};
    search.BestRow = 4;
    search.BestDistance = 1;
    search.ChosenStep = 2;
    EXPECT_EQ(MeantSearchStory(search, 4), QStringLiteral("Поиск выбрал её."));
    EXPECT_EQ(MeantSearchStory(search, 7),
              QStringLiteral("Сеть вернула её в распознавании №0 (расстояние 1), но выбрано "
                             "распознавание №2 (расстояние 1): при равных расстояниях выбирается "
                             "более поздний вариант."));
    EXPECT_TRUE(MeantSearchStory(search, 9).endsWith(QStringLiteral("оно ближе к введённому.")));
    EXPECT_EQ(MeantSearchStory(search, 5),
              QStringLiteral("Ни одно распознавание поиска её не вернуло."));
}

TEST(NetworkStory, FirstLayerSumAndPassFormula) {
    EXPECT_EQ(FirstLayerSum(64, 88, 108),
              QStringLiteral("совпало 64 бита + 88 пустых позиций × ½ = 108"));
    EXPECT_EQ(FirstLayerSum(21, 1, 21.5),
              QStringLiteral("совпал 21 бит + 1 пустая позиция × ½ = 21,5"));
    EXPECT_EQ(FirstLayerSum(11, 2, 12),
              QStringLiteral("совпало 11 битов + 2 пустые позиции × ½ = 12"));

    TPassStep step;
    step.Row = 1;
    step.Pass = 2;
    step.Previous = 100;
    step.Epsilon = 0.0005;
    step.MaxOutput = 100;
    step.Next = 99.5;
    EXPECT_TRUE(
        PassFormula(step, Names).endsWith(QStringLiteral("Сумма остальных ещё не посчитана.")));
    step.SumOfOthers = 1000;
    step.Inhibited = 99.5;
    step.Clipped = 99.5;
    EXPECT_EQ(PassFormula(step, Names),
              QStringLiteral("Проход 2, ряд 1 «КОТ»: 100 − 0,0005 × %1 = 99,5 → отсечка [0; 100] → "
                             "99,5. Совпадает с записанным значением.")
                  .arg(Grouped("1 000")));
    step.Clipped = 99.25;
    EXPECT_TRUE(PassFormula(step, Names)
                    .endsWith(QStringLiteral("Записано 99,5: расчёт не совпал с записанным!")));
}

// The sums recomputed from a replay reproduce every recorded value of every
// followed row, pass by pass, bit for bit, under the program's constants and
// under others that clip and inhibit harder.
TEST(PassSums, ReproduceEveryRecordedPass) {
    std::string words;
    for (int i = 0; i < 120; ++i) {
        words += "\xEA\xEE\xF2";
        words += static_cast<char>(0xE0 + i % 32);
        words += static_cast<char>(0xE0 + i / 32);
        words += ' ';
    }
    for (const auto& [maxOutput, factor] : {std::pair{100.0, 0.5}, std::pair{30.0, 0.9}}) {
        TDictionary dictionary = DictionaryOf(words);
        dictionary.Network.SetMaxOutput(maxOutput);
        dictionary.Network.SetEpsilonFactor(factor);
        TWordCode code{};
        const TSearchTrace search =
            TraceSearch("\xCA\xCE\xD2\xC0\xC1", dictionary.Entries, dictionary.Network, code, {5});
        ASSERT_EQ(search.Status, TSearchStatus::Selected);
        int checked = 0;
        for (const TTracedStep& step : search.Steps) {
            const TRecognitionTrace& trace = *step.Trace;
            const std::optional<TPassSums> sums =
                ComputePassSums(dictionary.Network, trace, nullptr);
            ASSERT_TRUE(sums.has_value());
            for (const std::int32_t row : trace.TrackedRows) {
                for (std::int32_t pass = 1; pass <= trace.CompetitionPasses(); ++pass) {
                    const std::optional<double> sum = sums->Of(row, pass);
                    ASSERT_TRUE(sum.has_value());
                    const double next = Activation(
                        precision::Inhibit(trace.Value(row, pass - 1), *sum, trace.Epsilon),
                        trace.MaxOutput);
                    EXPECT_EQ(next, trace.Value(row, pass)) << row << ' ' << pass;
                    ++checked;
                }
            }
            EXPECT_FALSE(sums->Of(trace.TrackedRows.front(), trace.CompetitionPasses() + 1));
        }
        EXPECT_GT(checked, 100);
        const std::atomic<bool> cancelled{true};
        EXPECT_FALSE(ComputePassSums(dictionary.Network, *search.Steps.front().Trace, &cancelled));
    }
}

TEST(StepText, IsInsertBlankCutAroundTheBlank) {
    std::mt19937 random(17);
    for (const std::size_t length : {0u, 1u, 5u, 30u, 31u, 32u, 100u, 1000u}) {
        std::string query(length, 'a');
        for (char& c : query) {
            c = static_cast<char>('a' + random() % 26);
        }
        for (std::size_t step = 0; step <= length; ++step) {
            const std::string whole =
                step == 0 ? query : InsertBlank(query, static_cast<int>(step));
            TWordCode code{};
            CodeWord(whole, code);
            EXPECT_EQ(StepCode(query, step), code) << length << ' ' << step;
            const std::string shown = StepBytes(query, step, 32);
            if (whole.size() <= 32) {
                EXPECT_EQ(shown, whole) << length << ' ' << step;
                continue;
            }
            EXPECT_LE(shown.size(), 36u) << length << ' ' << step;
            EXPECT_EQ(shown.find('\x85') != std::string::npos, true);
            if (step > 0) {
                // The blank and a letter on each side of it are shown.
                const std::size_t blank = step - 1;
                const std::string around =
                    whole.substr(blank == 0 ? 0 : blank - 1, blank == 0 ? 2 : 3);
                EXPECT_NE(shown.find(around), std::string::npos)
                    << length << ' ' << step << ' ' << shown;
            }
        }
    }
    EXPECT_EQ(StepText("\xCA\xCE\xD2", 2, 32), QStringLiteral("К␣ОТ"));
    // A hundred million letters: only the bounded parts are copied.
    std::string huge;
    huge.resize(100'000'000, 'a');
    EXPECT_LE(StepText(huge, 50'000'000, kShownCellCharacters).size(),
              static_cast<qsizetype>(kShownCellCharacters) + 4);
}

// The copied table: one field per column whatever the entries hold, the mark
// in a column of its own, cells escaped as the tool escapes them.
TEST(SearchStepsModel, TabSeparatedCopyKeepsItsColumns) {
    auto dictionary = std::make_shared<TDictionary>();
    dictionary->Entries = {
        {"", 1}, {"\xEA\xEE\xF2\t\xF2\xE0\xE1", 1}, {"a\nb\\c\r", 1}, {std::string(5000, 'z'), 1}};
    auto search = std::make_shared<TSearchTrace>();
    search->Status = TSearchStatus::Selected;
    auto trace = std::make_shared<TRecognitionTrace>(
        MadeTrace({120, 100}, {{40, 10}, {30, 0}, {30, 0}}, TCompetitionEnd::Stable, 1));
    for (std::int32_t row = 0; row < 4; ++row) {
        TTracedStep step;
        step.Row = row;
        step.Distance = 8;
        step.Trace = trace;
        step.ReusedFrom = row == 0 ? -1 : 0;
        search->Steps.push_back(step);
    }
    search->ChosenStep = 2;
    TSearchStepsModel model;
    model.Show(search, "\xCA\xCE\x09", dictionary);
    const QStringList lines = model.TabSeparated().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6); // the header, four steps, the final newline's empty rest
    EXPECT_EQ(lines[0], QStringLiteral("✓\t№\tРяд\tТекст\tЗапись\tРасст.\tПроходов\tКонец"));
    for (int i = 1; i <= 4; ++i) {
        const QStringList fields = lines[i].split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), TSearchStepsModel::ColumnCount) << lines[i].toStdString();
        EXPECT_EQ(fields[0], i - 1 == 2 ? QStringLiteral("✓") : QString()) << i;
        EXPECT_EQ(fields[1], QString::number(i - 1)); // a number alone, for a spreadsheet
        EXPECT_LE(fields[4].size(), static_cast<qsizetype>(kShownCellCharacters) + 1);
    }
    EXPECT_EQ(lines[1].split(QLatin1Char('\t'))[3], QStringLiteral("КО\\t"));
    EXPECT_EQ(lines[2].split(QLatin1Char('\t'))[4], QStringLiteral("кот\\tтаб"));
    EXPECT_EQ(lines[3].split(QLatin1Char('\t'))[4], QStringLiteral("a\\nb\\\\c\\r"));
    EXPECT_TRUE(lines[4].split(QLatin1Char('\t'))[4].endsWith(kEllipsis));
    EXPECT_EQ(lines[2].split(QLatin1Char('\t'))[7], QStringLiteral("код как у №0"));
    // The table shows the empty entry by name.
    EXPECT_EQ(model.index(0, TSearchStepsModel::Entry).data().toString(),
              QStringLiteral("(пустая запись)"));
}

} // namespace
} // namespace verblinka::test_support
