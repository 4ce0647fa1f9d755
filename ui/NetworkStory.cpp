#include "ui/NetworkStory.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace verblinka {
namespace {

// Entries named beside the leader before the rest are only counted.
constexpr int kNamedLevelEntries = 5;

QLocale Russian() {
    QLocale locale(QLocale::Russian, QLocale::Russia);
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale;
}

} // namespace

QString RussianNumber(long long value) {
    return Russian().toString(value);
}

QString RussianNumber(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15) {
        return RussianNumber(static_cast<long long>(value));
    }
    return Russian().toString(value, 'f', QLocale::FloatingPointShortest);
}

QString Plural(long long n, const char* one, const char* few, const char* many) {
    const long long tens = std::llabs(n) % 100;
    const long long units = std::llabs(n) % 10;
    const char* word = many;
    if (tens < 11 || tens > 14) {
        word = units == 1 ? one : (units >= 2 && units <= 4 ? few : many);
    }
    return QStringLiteral("%1 %2").arg(RussianNumber(n), QString::fromUtf8(word));
}

QString EntryName(std::int32_t row, const TEntryText& text) {
    const std::optional<QString> shown = text ? text(row) : std::nullopt;
    if (!shown) {
        return QStringLiteral("ряд %1").arg(RussianNumber(static_cast<long long>(row)));
    }
    if (shown->isEmpty()) {
        return QStringLiteral("пустая запись (ряд %1)")
            .arg(RussianNumber(static_cast<long long>(row)));
    }
    return QStringLiteral("«%1»").arg(*shown);
}

QString RowName(std::int32_t row, const TEntryText& text) {
    const std::optional<QString> shown = text ? text(row) : std::nullopt;
    if (!shown || shown->isEmpty()) {
        return EntryName(row, text);
    }
    return QStringLiteral("ряд %1 «%2»").arg(RussianNumber(static_cast<long long>(row)), *shown);
}

QString LegendName(std::int32_t row, const TEntryText& text) {
    const std::optional<QString> shown = text ? text(row) : std::nullopt;
    if (!shown || shown->isEmpty()) {
        return EntryName(row, text);
    }
    return QStringLiteral("%1 «%2»").arg(RussianNumber(static_cast<long long>(row)), *shown);
}

std::int32_t PassesAllowed(std::int32_t passLimit) {
    return passLimit + 2;
}

QString PassLimitNote(std::int32_t passLimit) {
    return QStringLiteral("до %1").arg(
        Plural(PassesAllowed(passLimit), "прохода", "проходов", "проходов"));
}

QString EndText(TCompetitionEnd end) {
    return end == TCompetitionEnd::Stable ? QStringLiteral("устойчиво")
                                          : QStringLiteral("предел проходов");
}

std::int32_t PassAlone(const TRecognitionTrace& trace) {
    for (const TPassRecord& record : trace.Passes) {
        if (record.Pass > 0 && record.AboveZero == 1) {
            return record.Pass;
        }
    }
    return -1;
}

TLevelCount LevelWithLeader(const TRecognitionTrace& trace) {
    if (trace.Leaders.empty() || trace.Passes.empty()) {
        return {};
    }
    const double lead = trace.Value(trace.Leaders.front(), 0);
    long long level = 0;
    for (const std::int32_t row : trace.Leaders) {
        level += trace.Value(row, 0) == lead ? 1 : 0;
    }
    if (level < static_cast<long long>(trace.Leaders.size()) || trace.Histogram.empty()) {
        return {level, true}; // a smaller leader follows: every equal one is listed
    }
    // Every leader is level: the histogram counts the rest. Its bin [v, v + 1)
    // holds only the top value when that value is whole (nothing is larger).
    const double bin =
        std::clamp(std::floor(lead), 0.0, static_cast<double>(trace.Histogram.size() - 1));
    const long long inBin = trace.Histogram[static_cast<std::size_t>(bin)];
    if (lead == std::floor(lead) || inBin == level) {
        return {std::max(level, inBin), true};
    }
    return {level, false};
}

QString SearchStory(const TSearchTrace& search, const QString& queryText, long long dictionarySize,
                    const QString& chosenText, const TEntryText& text) {
    const std::optional<QString> best = text ? text(search.BestRow) : std::nullopt;
    const QString chosenEntry = best && !best->isEmpty()
                                    ? EntryName(search.BestRow, text)
                                    : QStringLiteral("— ") + EntryName(search.BestRow, text);
    QString story =
        QStringLiteral("Поиск «%1» в словаре из %2: выбрана запись %3 %4 (%5, расстояние %6).")
            .arg(queryText, Plural(dictionarySize, "записи", "записей", "записей"),
                 RussianNumber(static_cast<long long>(search.BestRow)), chosenEntry,
                 search.ChosenStep == 0
                     ? QStringLiteral("само слово")
                     : QStringLiteral("вариант %1 «%2»").arg(search.ChosenStep).arg(chosenText),
                 RussianNumber(static_cast<long long>(search.BestDistance)));
    if (search.Steps.empty()) {
        return story;
    }
    const std::int32_t own = search.Steps.front().Distance;
    if (search.ChosenStep > 0) {
        story += own == search.BestDistance
                     ? QStringLiteral(" У самого слова расстояние то же, %1, но при равных "
                                      "расстояниях выбирается более поздний вариант.")
                           .arg(RussianNumber(static_cast<long long>(own)))
                     : QStringLiteral(" Вариант ближе, чем кандидат самого слова (%1 против "
                                      "%2); при равных расстояниях выбирается более поздний.")
                           .arg(RussianNumber(static_cast<long long>(search.BestDistance)),
                                RussianNumber(static_cast<long long>(own)));
    } else if (search.Steps.size() > 1) {
        story += QStringLiteral(" Ни один вариант с пробелом не оказался ближе.");
    }
    return story;
}

QString RecognitionStory(const TRecognitionTrace& trace, int step, const TEntryText& text) {
    if (trace.Passes.empty() || trace.Leaders.empty()) {
        return {};
    }
    const std::int32_t leader = trace.Leaders.front();
    const double lead = trace.Value(leader, 0);
    QString story =
        QStringLiteral(" В распознавании №%1 после первого слоя впереди %2 (%3 из %4)")
            .arg(QString::number(step), RowName(leader, text),
                 lead == std::floor(lead) ? Plural(static_cast<long long>(lead), "совпадение",
                                                   "совпадения", "совпадений")
                                          : RussianNumber(lead) + QStringLiteral(" совпадения"),
                 RussianNumber(static_cast<long long>(trace.InputCount)));
    const TLevelCount level = LevelWithLeader(trace);
    if (level.Count > 1) {
        QStringList named;
        for (std::size_t i = 1; i < trace.Leaders.size() && named.size() < kNamedLevelEntries;
             ++i) {
            if (trace.Value(trace.Leaders[i], 0) == lead) {
                named << RowName(trace.Leaders[i], text);
            }
        }
        const long long others = level.Count - 1;
        story += QStringLiteral(", вровень с ним %1%2: %3")
                     .arg(level.Exact ? QStringLiteral("ещё ") : QStringLiteral("ещё не меньше "),
                          RussianNumber(others), named.join(QStringLiteral(", ")));
        if (others > named.size()) {
            story += QStringLiteral(" и ещё %1").arg(RussianNumber(others - named.size()));
        }
    }
    story += QLatin1Char('.');
    if (trace.Passes.size() > 1) {
        int clipped = 0;
        for (const double value : trace.Passes[1].Tracked) {
            clipped += value == trace.MaxOutput ? 1 : 0;
        }
        if (clipped > 1) {
            story += QStringLiteral(" На первом проходе отсечка на %1 уравняла %2; из равных "
                                    "побеждает ряд с меньшим номером, пока их не разведут "
                                    "округления сумм.")
                         .arg(RussianNumber(trace.MaxOutput),
                              Plural(clipped, "единицу", "единицы", "единиц"));
        }
    }
    if (trace.End == TCompetitionEnd::Stable) {
        story += QStringLiteral(" На проходе %1 ничего не изменилось: победил %2.")
                     .arg(RussianNumber(static_cast<long long>(trace.CompetitionPasses())),
                          RowName(trace.Winner, text));
    } else {
        const std::int32_t alone = PassAlone(trace);
        if (alone > 0) {
            story +=
                QStringLiteral(" С прохода %1 выше нуля остался только %2; ")
                    .arg(RussianNumber(static_cast<long long>(alone)), RowName(trace.Winner, text));
        } else {
            QString name = RowName(trace.Winner, text);
            name[0] = name[0].toUpper(); // it begins the sentence
            story += QStringLiteral(" %1 впереди, но соперники ещё не погасли; ").arg(name);
        }
        story += QStringLiteral("гонку остановил предел проходов %1: он допускает %2.")
                     .arg(RussianNumber(static_cast<long long>(trace.MaxIterations)),
                          PassLimitNote(trace.MaxIterations));
    }
    return story;
}

QString ReplayReport(const TRecognitionTrace& replay, std::int32_t searchWinner,
                     const TEntryText& text) {
    return QStringLiteral("Повтор с пределом %1 (%2): победил %3, %4 (в поиске — ряд %5)")
        .arg(RussianNumber(static_cast<long long>(replay.MaxIterations)),
             PassLimitNote(replay.MaxIterations), RowName(replay.Winner, text),
             Plural(replay.CompetitionPasses(), "проход", "прохода", "проходов"),
             RussianNumber(static_cast<long long>(searchWinner)));
}

} // namespace verblinka

namespace verblinka {

TMeantVerdict JudgeMeant(const TRecognitionTrace& trace, std::int32_t meant) {
    TMeantVerdict verdict;
    const std::int32_t winner = trace.Winner;
    if (meant == winner || trace.Passes.empty()) {
        return verdict;
    }
    const std::int32_t last = trace.CompetitionPasses();
    // Below the winner from some pass on; or, level at the end, behind it by
    // its row from some pass on.
    const auto below = [&](std::int32_t pass) {
        return trace.Value(meant, pass) < trace.Value(winner, pass);
    };
    const auto behind = [&](std::int32_t pass) {
        return below(pass) ||
               (trace.Value(meant, pass) == trace.Value(winner, pass) && meant > winner);
    };
    const bool strictly = below(last);
    verdict.FellBehind = last;
    for (std::int32_t pass = last; pass >= 0 && (strictly ? below(pass) : behind(pass)); --pass) {
        verdict.FellBehind = pass;
    }
    for (std::int32_t pass = 1; pass <= last; ++pass) {
        verdict.Clipped = verdict.Clipped || (trace.Value(meant, pass) == trace.MaxOutput &&
                                              trace.Value(winner, pass) == trace.MaxOutput);
    }
    const double ownFirst = trace.Value(meant, 0);
    const double bestFirst = trace.Value(winner, 0);
    const double ownLast = trace.Value(meant, last);
    const double bestLast = trace.Value(winner, last);
    const bool stillRunning = trace.End == TCompetitionEnd::PassLimit && ownLast > 0.0;
    if (ownFirst < bestFirst) {
        verdict.Reason = TMeantReason::FewerAgreements;
    } else if (ownLast == bestLast) {
        if (ownFirst == bestFirst && (meant - winner == 1 || winner - meant == 1)) {
            verdict.Reason = TMeantReason::EqualAdjacent;
        } else if (!verdict.Clipped && stillRunning) {
            verdict.Reason = TMeantReason::PassLimit;
        } else {
            verdict.Reason = TMeantReason::EqualHigherRow;
        }
    } else {
        verdict.Reason = stillRunning ? TMeantReason::PassLimit : TMeantReason::Rounding;
    }
    return verdict;
}

QString MeantStory(const TRecognitionTrace& trace, std::int32_t meant, const TEntryText& text) {
    if (trace.Passes.empty() || trace.TrackedIndex(meant) < 0) {
        return {};
    }
    const std::int32_t winner = trace.Winner;
    const QString name = RowName(meant, text);
    const double ownFirst = trace.Value(meant, 0);
    const double bestFirst = trace.Value(winner, 0);
    const TMeantVerdict verdict = JudgeMeant(trace, meant);
    if (verdict.Reason == TMeantReason::Won) {
        return QStringLiteral("Задуманная запись %1 победила в этом распознавании (первый слой: "
                              "%2).")
            .arg(name, RussianNumber(ownFirst));
    }
    const std::int32_t last = trace.CompetitionPasses();
    const QString lastValues =
        QStringLiteral("%1 против %2")
            .arg(RussianNumber(trace.Value(meant, last)), RussianNumber(trace.Value(winner, last)));
    QString story =
        QStringLiteral("Задуманная запись %1: первый слой %2, у победителя %3 — %4. ")
            .arg(name, RussianNumber(ownFirst), RowName(winner, text), RussianNumber(bestFirst));
    story += verdict.FellBehind == 0
                 ? QStringLiteral("Отстала уже после первого слоя. ")
                 : QStringLiteral("Отстала на проходе %1. ")
                       .arg(RussianNumber(static_cast<long long>(verdict.FellBehind)));
    const QString rows =
        QStringLiteral("%1 < %2").arg(RussianNumber(static_cast<long long>(winner)),
                                      RussianNumber(static_cast<long long>(meant)));
    switch (verdict.Reason) {
    case TMeantReason::Won:
        break;
    case TMeantReason::FewerAgreements:
        story += QStringLiteral("Причина: у неё меньше совпадений с входом (%1 против %2).")
                     .arg(RussianNumber(ownFirst), RussianNumber(bestFirst));
        break;
    case TMeantReason::EqualAdjacent:
        story += QStringLiteral("Причина: совпадений столько же, а ряды соседние: каждый проход "
                                "тормозит обе записи одной и той же суммой, они остаются равны, а "
                                "из равных побеждает ряд с меньшим номером (%1).")
                     .arg(rows);
        break;
    case TMeantReason::EqualHigherRow:
        story += verdict.Clipped
                     ? QStringLiteral("Причина: отсечка на %1 сравняла её с победителем, и из "
                                      "равных побеждает ряд с меньшим номером (%2).")
                           .arg(RussianNumber(trace.MaxOutput), rows)
                     : QStringLiteral("Причина: до конца вровень с победителем, а из равных "
                                      "побеждает ряд с меньшим номером (%1).")
                           .arg(rows);
        break;
    case TMeantReason::PassLimit:
        story += trace.Value(meant, last) == trace.Value(winner, last)
                     ? QStringLiteral("Причина: предел проходов %1 остановил соревнование после "
                                      "прохода %2, когда она шла вровень с победителем (%3), а из "
                                      "равных побеждает ряд с меньшим номером (%4).")
                           .arg(RussianNumber(static_cast<long long>(trace.MaxIterations)),
                                RussianNumber(static_cast<long long>(last)),
                                RussianNumber(trace.Value(meant, last)), rows)
                     : QStringLiteral("Причина: предел проходов %1 остановил соревнование после "
                                      "прохода %2, когда она была ещё выше нуля (%3).")
                           .arg(RussianNumber(static_cast<long long>(trace.MaxIterations)),
                                RussianNumber(static_cast<long long>(last)), lastValues);
        break;
    case TMeantReason::Rounding:
        story += QStringLiteral("Причина: начала не хуже победителя, но суммы остальных у них "
                                "округлились по-разному, и она отстала (в конце %1).")
                     .arg(lastValues);
        break;
    }
    return story;
}

QString MeantSearchStory(const TSearchTrace& search, std::int32_t meant) {
    if (search.BestRow == meant) {
        return QStringLiteral("Поиск выбрал её.");
    }
    for (std::size_t step = 0; step < search.Steps.size(); ++step) {
        const TTracedStep& traced = search.Steps[step];
        if (traced.Row != meant) {
            continue;
        }
        const QString found =
            QStringLiteral("Сеть вернула её в распознавании №%1 (расстояние %2), но выбрано "
                           "распознавание №%3 (расстояние %4): ")
                .arg(QString::number(step), RussianNumber(static_cast<long long>(traced.Distance)),
                     QString::number(search.ChosenStep),
                     RussianNumber(static_cast<long long>(search.BestDistance)));
        return found + (traced.Distance > search.BestDistance
                            ? QStringLiteral("оно ближе к введённому.")
                            : QStringLiteral("при равных расстояниях выбирается более поздний "
                                             "вариант."));
    }
    return QStringLiteral("Ни одно распознавание поиска её не вернуло.");
}

QString FirstLayerSum(int agreeingBits, int blanks, double value) {
    const long long tens = agreeingBits % 100;
    const bool one = agreeingBits % 10 == 1 && tens != 11;
    return QStringLiteral("%1 %2 + %3 × ½ = %4")
        .arg(one ? QStringLiteral("совпал") : QStringLiteral("совпало"),
             Plural(agreeingBits, "бит", "бита", "битов"),
             Plural(blanks, "пустая позиция", "пустые позиции", "пустых позиций"),
             RussianNumber(value));
}

QString PassFormula(const TPassStep& step, const TEntryText& text) {
    const QString head =
        QStringLiteral("Проход %1, %2: ")
            .arg(RussianNumber(static_cast<long long>(step.Pass)), RowName(step.Row, text));
    const QString limit = QStringLiteral("отсечка [0; %1]").arg(RussianNumber(step.MaxOutput));
    if (!step.SumOfOthers || !step.Inhibited || !step.Clipped) {
        return head + QStringLiteral("%1 − %2 × (сумма остальных) → %3 → %4. Сумма остальных "
                                     "ещё не посчитана.")
                          .arg(RussianNumber(step.Previous), RussianNumber(step.Epsilon), limit,
                               RussianNumber(step.Next));
    }
    QString formula =
        head + QStringLiteral("%1 − %2 × %3 = %4 → %5 → %6.")
                   .arg(RussianNumber(step.Previous), RussianNumber(step.Epsilon),
                        RussianNumber(*step.SumOfOthers), RussianNumber(*step.Inhibited), limit,
                        RussianNumber(*step.Clipped));
    // The same bits, +0 and -0 alike.
    formula += *step.Clipped == step.Next
                   ? QStringLiteral(" Совпадает с записанным значением.")
                   : QStringLiteral(" Записано %1: расчёт не совпал с записанным!")
                         .arg(RussianNumber(step.Next));
    return formula;
}

} // namespace verblinka
