#include "tools/TraceOutput.h"

#include "text/CodePage1251.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace verblinka {
namespace {

// JSON's escapes of a string's UTF-8 bytes (without the quotes). Besides what
// JSON requires, DEL and the C1 controls (U+0080 ... U+009F, two bytes in
// UTF-8) are escaped too, so that no text drives a terminal.
void EscapeJson(std::string& out, std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const auto byte = static_cast<unsigned char>(c);
        const unsigned next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        const bool c1 = byte == 0xC2 && next >= 0x80 && next <= 0x9F;
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20 || byte == 0x7F || c1) {
            const unsigned code = c1 ? next : byte;
            i += c1 ? 1 : 0;
            std::array<char, 8> escaped{};
            std::snprintf(escaped.data(), escaped.size(), "\\u%04x", code);
            out += escaped.data();
        } else {
            out.push_back(c);
        }
    }
}

// A small JSON writer that streams: objects and arrays in the order written,
// strings as UTF-8 with the characters JSON requires escaped, doubles in the
// shortest form that reads back to the same value.
class TJsonWriter {
public:
    explicit TJsonWriter(std::ostream& out) : out_(out) {}

    TJsonWriter& Begin(char bracket) {
        Separate();
        out_.put(bracket);
        first_ = true;
        return *this;
    }
    TJsonWriter& End(char bracket) {
        out_.put(bracket);
        first_ = false;
        return *this;
    }
    TJsonWriter& Key(std::string_view key) {
        Separate();
        String(key);
        out_.put(':');
        first_ = true;
        return *this;
    }
    TJsonWriter& Text(std::string_view utf8) {
        Separate();
        String(utf8);
        return *this;
    }
    // A string whose escaped form (without quotes) is made already, in parts.
    TJsonWriter& Escaped(std::string_view before, std::string_view middle, std::string_view after) {
        Separate();
        out_.put('"');
        out_ << before << middle << after;
        out_.put('"');
        return *this;
    }
    TJsonWriter& Integer(std::int64_t value) {
        Separate();
        out_ << value;
        return *this;
    }
    TJsonWriter& Real(double value);
    TJsonWriter& Boolean(bool value) {
        Separate();
        out_ << (value ? "true" : "false");
        return *this;
    }

private:
    void Separate() {
        if (!first_) {
            out_.put(',');
        }
        first_ = false;
    }
    void String(std::string_view utf8) {
        scratch_.clear();
        EscapeJson(scratch_, utf8);
        out_.put('"');
        out_ << scratch_;
        out_.put('"');
    }

    std::ostream& out_;
    std::string scratch_;
    bool first_ = true;
};

// The shortest text that reads back to the same double.
std::string Exact(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

TJsonWriter& TJsonWriter::Real(double value) {
    Separate();
    out_ << (std::isfinite(value) ? Exact(value) : std::string("null"));
    return *this;
}

std::string Unicode(std::string_view bytes) {
    return Utf8From1251(bytes);
}

// The query and every variant of it as an output shows them, each made from
// the query's shown form and the blank's, without building the variant: show
// works byte by byte (an escape or a code-page conversion), so the variant
// with the blank before byte p shows as the query's first p - 1 bytes shown,
// the blank shown, and the rest.
class TShownVariants {
public:
    TShownVariants(std::string_view query, const std::function<std::string(std::string_view)>& show)
        : blank_(show(" ")) {
        offsets_.reserve(query.size() + 1);
        for (std::size_t i = 0; i < query.size(); ++i) {
            offsets_.push_back(shown_.size());
            shown_ += show(query.substr(i, 1));
        }
        offsets_.push_back(shown_.size());
    }

    std::string_view Before(std::int32_t position) const {
        return std::string_view(shown_).substr(0, Offset(position));
    }
    std::string_view Blank(std::int32_t position) const {
        return position == 0 ? std::string_view() : std::string_view(blank_);
    }
    std::string_view After(std::int32_t position) const {
        return std::string_view(shown_).substr(Offset(position));
    }
    void Write(std::ostream& out, std::int32_t position) const {
        out << Before(position) << Blank(position) << After(position);
    }

private:
    std::size_t Offset(std::int32_t position) const {
        return position == 0 ? offsets_.back() : offsets_[static_cast<std::size_t>(position - 1)];
    }

    std::string shown_;
    std::string blank_;
    std::vector<std::size_t> offsets_; // where each byte's shown form begins
};

const std::string& EntryAt(const TDictionaryEntries& entries, std::int32_t row) {
    return entries[static_cast<std::size_t>(row)].Word;
}

const char* EndName(TCompetitionEnd end) {
    return end == TCompetitionEnd::Stable ? "stable" : "pass limit";
}

void TraceJson(TJsonWriter& json, const TRecognitionTrace& trace,
               const TDictionaryEntries& entries) {
    json.Begin('{').Key("histogram").Begin('[');
    for (const std::int64_t count : trace.Histogram) {
        json.Integer(count);
    }
    json.End(']').Key("leaders").Begin('[');
    for (const std::int32_t row : trace.Leaders) {
        json.Integer(row);
    }
    json.End(']').Key("tracked").Begin('[');
    for (const std::int32_t row : trace.TrackedRows) {
        json.Begin('{').Key("row").Integer(row);
        json.Key("entry").Text(Unicode(EntryAt(entries, row))).End('}');
    }
    json.End(']').Key("passes").Begin('[');
    for (const TPassRecord& record : trace.Passes) {
        json.Begin('{').Key("pass").Integer(record.Pass).Key("stable").Boolean(record.Stable);
        json.Key("winner").Integer(record.Winner).Key("above_zero").Integer(record.AboveZero);
        json.Key("values").Begin('[');
        for (const double value : record.Tracked) {
            json.Real(value);
        }
        json.End(']').End('}');
    }
    json.End(']').Key("epsilon").Real(trace.Epsilon).Key("max_output").Real(trace.MaxOutput);
    json.Key("max_iterations").Integer(trace.MaxIterations).End('}');
}

void PrintTables(std::ostream& out, const TSearchTrace& search, const TDictionaryEntries& entries,
                 const TShowBytes& show, const TShownVariants& texts) {
    for (std::size_t i = 0; i < search.Steps.size() && out; ++i) {
        const TTracedStep& step = search.Steps[i];
        const TRecognitionTrace& trace = *step.Trace;
        out << "# recognition " << i << " \"";
        texts.Write(out, step.Position);
        out << "\": row " << step.Row << " \"" << show(EntryAt(entries, step.Row)) << "\"";
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

void WriteSearchJson(std::ostream& out, std::string_view query, const TSearchTrace& search,
                     const TDictionaryEntries& entries, bool withTrace) {
    TJsonWriter json(out);
    json.Begin('{').Key("query").Text(Unicode(query));
    if (search.Status != TSearchStatus::Selected) {
        json.Key("error").Text(search.Message());
        json.End('}');
        return;
    }
    json.Key("row").Integer(search.BestRow);
    json.Key("entry").Text(Unicode(EntryAt(entries, search.BestRow)));
    json.Key("distance").Integer(search.BestDistance);
    json.Key("chosen_step").Integer(search.ChosenStep);
    json.Key("steps").Begin('[');
    const TShownVariants texts(search.Query, [](std::string_view bytes) {
        std::string escaped;
        EscapeJson(escaped, Unicode(bytes));
        return escaped;
    });
    for (const TTracedStep& step : search.Steps) {
        if (!out) {
            return; // the output is lost: the caller reports it
        }
        const TRecognitionTrace& trace = *step.Trace;
        json.Begin('{').Key("text");
        json.Escaped(texts.Before(step.Position), texts.Blank(step.Position),
                     texts.After(step.Position));
        json.Key("row").Integer(step.Row);
        json.Key("entry").Text(Unicode(EntryAt(entries, step.Row)));
        json.Key("distance").Integer(step.Distance);
        json.Key("passes").Integer(trace.CompetitionPasses()).Key("end").Text(EndName(trace.End));
        if (step.ReusedFrom >= 0) {
            json.Key("reused_from").Integer(step.ReusedFrom);
        }
        if (withTrace) {
            json.Key("trace");
            TraceJson(json, trace, entries);
        }
        json.End('}');
    }
    json.End(']').End('}');
}

bool PrintTracedLookup(std::ostream& out, std::ostream& err, std::string_view query,
                       TDictionary& dictionary, TWordCode& code, const TTraceOutputOptions& options,
                       const TShowBytes& show, const TSearchControl& control) {
    TSearchControl coded = control;
    if (coded.Coder == nullptr) {
        coded.Coder = &dictionary.Coder; // the code the rows hold
    }
    const TSearchTrace search =
        TraceSearch(query, dictionary.Entries, dictionary.Network, code, {}, coded);
    if (options.Json) {
        WriteSearchJson(out, query, search, dictionary.Entries, options.Trace);
        out << '\n';
    }
    if (search.Status != TSearchStatus::Selected) {
        out.flush();
        err << search.Message() << '\n';
        return false;
    }
    if (options.Json) {
        return true;
    }
    std::optional<TShownVariants> texts;
    if (options.Explain || options.Trace) {
        texts.emplace(search.Query, show);
    }
    if (options.Explain) {
        for (std::size_t i = 0; i < search.Steps.size() && out; ++i) {
            const TTracedStep& step = search.Steps[i];
            out << "# " << (i == 0 ? std::string("word") : "variant " + std::to_string(i)) << " \"";
            texts->Write(out, step.Position);
            out << "\": row " << step.Row << " \"" << show(EntryAt(dictionary.Entries, step.Row))
                << "\", distance " << step.Distance
                << (static_cast<std::int32_t>(i) == search.ChosenStep ? " (chosen)" : "") << '\n';
        }
    }
    out << search.BestRow << '\t' << show(EntryAt(dictionary.Entries, search.BestRow)) << '\t'
        << search.BestDistance << '\n';
    if (options.Trace) {
        PrintTables(out, search, dictionary.Entries, show, *texts);
    }
    return true;
}

namespace {

// One column of the evaluation: a kind of misspelling, the given pairs, or all.
struct TEvaluationColumn {
    std::string Key;   // in JSON
    std::string Title; // in the table
    std::function<const THitCount&(const TConfigResult&)> Count;
};

std::vector<TEvaluationColumn> EvaluationColumns(const std::vector<TConfigResult>& results) {
    static const char* const kKeys[kMisspellingKinds] = {"neighbour", "missing", "extra", "swapped",
                                                         "blank"};
    std::vector<TEvaluationColumn> columns;
    if (results.empty()) {
        return columns;
    }
    for (std::size_t k = 0; k < kMisspellingKinds; ++k) {
        if (results.front().ByKind[k].Total > 0) {
            columns.push_back(
                {kKeys[k], MisspellingKindTitle(static_cast<TMisspellingKind>(k)),
                 [k](const TConfigResult& r) -> const THitCount& { return r.ByKind[k]; }});
        }
    }
    if (results.front().Given.Total > 0) {
        columns.push_back(
            {"given", "пары", [](const TConfigResult& r) -> const THitCount& { return r.Given; }});
    }
    columns.push_back(
        {"overall", "все", [](const TConfigResult& r) -> const THitCount& { return r.Overall; }});
    return columns;
}

// Characters of a UTF-8 text, for aligning columns.
std::size_t Width(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string Padded(std::string_view utf8, std::size_t width, bool right) {
    const std::string pad(width > Width(utf8) ? width - Width(utf8) : 0, ' ');
    return right ? pad + std::string(utf8) : std::string(utf8) + pad;
}

std::string Percent(const THitCount& count) {
    if (count.Total == 0) {
        return "-";
    }
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%.1f",
                  100.0 * static_cast<double>(count.Hits) / static_cast<double>(count.Total));
    return text.data();
}

} // namespace

void PrintEvaluation(std::ostream& out, const std::vector<TConfigResult>& results, bool json) {
    const std::vector<TEvaluationColumn> columns = EvaluationColumns(results);
    if (json) {
        for (const TConfigResult& result : results) {
            for (const TEvaluationColumn& column : columns) {
                const THitCount& count = column.Count(result);
                TJsonWriter writer(out);
                writer.Begin('{');
                writer.Key("config").Text(result.Config.Name);
                writer.Key("code").Text(result.Config.Coder.Name());
                writer.Key("max_output").Real(result.Config.MaxOutput);
                writer.Key("epsilon_factor").Real(result.Config.EpsilonFactor);
                writer.Key("max_iterations").Integer(result.Config.MaxIterations);
                writer.Key("kind").Text(column.Key);
                writer.Key("title").Text(column.Title);
                writer.Key("hits").Integer(static_cast<std::int64_t>(count.Hits));
                writer.Key("total").Integer(static_cast<std::int64_t>(count.Total));
                writer.Key("first_hit")
                    .Real(count.Total == 0
                              ? 0.0
                              : static_cast<double>(count.Hits) / static_cast<double>(count.Total));
                writer.Key("median_ms").Real(result.MedianSeconds * 1e3);
                writer.End('}');
                out << '\n';
            }
        }
        return;
    }
    const std::string firstTitle = "первое попадание, %";
    std::size_t nameWidth = Width(firstTitle);
    for (const TConfigResult& result : results) {
        nameWidth = std::max(nameWidth, Width(result.Config.Name));
    }
    const std::string medianTitle = "медиана, мс";
    out << Padded(firstTitle, nameWidth, false);
    for (const TEvaluationColumn& column : columns) {
        out << "  " << Padded(column.Title, std::max<std::size_t>(Width(column.Title), 5), true);
    }
    out << "  " << medianTitle << '\n';
    for (const TConfigResult& result : results) {
        out << Padded(result.Config.Name, nameWidth, false);
        for (const TEvaluationColumn& column : columns) {
            out << "  "
                << Padded(Percent(column.Count(result)),
                          std::max<std::size_t>(Width(column.Title), 5), true);
        }
        std::array<char, 32> median{};
        std::snprintf(median.data(), median.size(), "%.2f", result.MedianSeconds * 1e3);
        out << "  " << Padded(median.data(), Width(medianTitle), true) << '\n';
    }
}

} // namespace verblinka
