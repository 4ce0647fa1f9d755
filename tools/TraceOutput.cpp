#include "tools/TraceOutput.h"

#include "engine/CodePage1251.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <array>
#include <charconv>

namespace verblinka {
namespace {

QString Unicode(std::string_view bytes) {
    const std::string utf8 = Utf8From1251(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

const std::string& EntryAt(const TDictionaryEntries& entries, std::int32_t row) {
    return entries[static_cast<std::size_t>(row)].Word;
}

// The shortest text that reads back to the same double.
std::string Exact(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

const char* EndName(TCompetitionEnd end) {
    return end == TCompetitionEnd::Stable ? "stable" : "pass limit";
}

QJsonObject TraceJson(const TRecognitionTrace& trace, const TDictionaryEntries& entries) {
    QJsonObject object;
    QJsonArray histogram;
    for (const std::int64_t count : trace.Histogram) {
        histogram.append(static_cast<double>(count));
    }
    object["histogram"] = histogram;
    QJsonArray leaders;
    for (const std::int32_t row : trace.Leaders) {
        leaders.append(row);
    }
    object["leaders"] = leaders;
    QJsonArray tracked;
    for (const std::int32_t row : trace.TrackedRows) {
        tracked.append(QJsonObject{{"row", row}, {"entry", Unicode(EntryAt(entries, row))}});
    }
    object["tracked"] = tracked;
    QJsonArray passes;
    for (const TPassRecord& record : trace.Passes) {
        QJsonArray values;
        for (const double value : record.Tracked) {
            values.append(value);
        }
        passes.append(QJsonObject{{"pass", record.Pass},
                                  {"stable", record.Stable},
                                  {"winner", record.Winner},
                                  {"above_zero", static_cast<double>(record.AboveZero)},
                                  {"values", values}});
    }
    object["passes"] = passes;
    object["epsilon"] = trace.Epsilon;
    object["max_output"] = trace.MaxOutput;
    object["max_iterations"] = trace.MaxIterations;
    return object;
}

void PrintTables(std::ostream& out, const TSearchTrace& search, const TDictionaryEntries& entries,
                 const TShowBytes& show) {
    for (std::size_t i = 0; i < search.Steps.size(); ++i) {
        const TTracedStep& step = search.Steps[i];
        const TRecognitionTrace& trace = *step.Trace;
        out << "# recognition " << i << " \"" << show(step.Text) << "\": row " << step.Row
            << " \"" << show(EntryAt(entries, step.Row)) << "\"";
        if (step.ReusedFrom >= 0) {
            out << ", the code of recognition " << step.ReusedFrom << ", not run again\n";
            continue;
        }
        out << ", " << trace.CompetitionPasses() << " passes, ended: " << EndName(trace.End)
            << '\n';
        out << "# first layer (value: units):";
        for (std::size_t v = 0; v < trace.Histogram.size(); ++v) {
            if (trace.Histogram[v] != 0) {
                out << ' ' << v << ": " << trace.Histogram[v];
            }
        }
        out << "\n# pass\tstable\twinner\tabove zero";
        for (const std::int32_t row : trace.TrackedRows) {
            out << '\t' << row << " \"" << show(EntryAt(entries, row)) << '"';
        }
        out << '\n';
        for (const TPassRecord& record : trace.Passes) {
            out << "# " << record.Pass << '\t' << (record.Stable ? "yes" : "no") << '\t'
                << record.Winner << '\t' << record.AboveZero;
            for (const double value : record.Tracked) {
                out << '\t' << Exact(value);
            }
            out << '\n';
        }
    }
}

} // namespace

std::string SearchJson(std::string_view query, const TSearchTrace& search,
                       const TDictionaryEntries& entries, bool withTrace) {
    QJsonObject object{{"query", Unicode(query)}};
    if (search.Status != TSearchStatus::Found) {
        object["error"] = QString::fromStdString(search.Message());
    } else {
        object["row"] = search.BestRow;
        object["entry"] = Unicode(EntryAt(entries, search.BestRow));
        object["distance"] = search.BestDistance;
        object["chosen_step"] = search.ChosenStep;
        QJsonArray steps;
        for (const TTracedStep& step : search.Steps) {
            const TRecognitionTrace& trace = *step.Trace;
            QJsonObject item{{"text", Unicode(step.Text)},
                             {"row", step.Row},
                             {"entry", Unicode(EntryAt(entries, step.Row))},
                             {"distance", step.Distance},
                             {"passes", trace.CompetitionPasses()},
                             {"end", EndName(trace.End)}};
            if (step.ReusedFrom >= 0) {
                item["reused_from"] = step.ReusedFrom;
            } else if (withTrace) {
                item["trace"] = TraceJson(trace, entries);
            }
            steps.append(item);
        }
        object["steps"] = steps;
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

bool PrintTracedLookup(std::ostream& out, std::ostream& err, std::string_view query,
                       TDictionary& dictionary, TWordCode& code,
                       const TTraceOutputOptions& options, const TShowBytes& show) {
    const TSearchTrace search =
        TraceSearch(query, dictionary.Entries, dictionary.Network, code);
    if (options.Json) {
        out << SearchJson(query, search, dictionary.Entries, options.Trace) << '\n';
    }
    if (search.Status != TSearchStatus::Found) {
        out.flush();
        err << search.Message() << '\n';
        return false;
    }
    if (options.Json) {
        return true;
    }
    if (options.Explain) {
        for (std::size_t i = 0; i < search.Steps.size(); ++i) {
            const TTracedStep& step = search.Steps[i];
            out << "# " << (i == 0 ? std::string("word") : "variant " + std::to_string(i))
                << " \"" << show(step.Text) << "\": row " << step.Row << " \""
                << show(EntryAt(dictionary.Entries, step.Row)) << "\", distance "
                << step.Distance
                << (static_cast<std::int32_t>(i) == search.ChosenStep ? " (chosen)" : "") << '\n';
        }
    }
    out << search.BestRow << '\t' << show(EntryAt(dictionary.Entries, search.BestRow)) << '\t'
        << search.BestDistance << '\n';
    if (options.Trace) {
        PrintTables(out, search, dictionary.Entries, show);
    }
    return true;
}

} // namespace verblinka
