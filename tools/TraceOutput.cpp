#include "tools/TraceOutput.h"

#include "text/CodePage1251.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace verblinka {
namespace {

// A small JSON writer: objects and arrays in the order written, strings as
// UTF-8 with the characters JSON requires escaped, doubles in the shortest
// form that reads back to the same value.
class TJsonWriter {
public:
    TJsonWriter& Begin(char bracket) {
        Separate();
        text_.push_back(bracket);
        first_ = true;
        return *this;
    }
    TJsonWriter& End(char bracket) {
        text_.push_back(bracket);
        first_ = false;
        return *this;
    }
    TJsonWriter& Key(std::string_view key) {
        Separate();
        String(key);
        text_.push_back(':');
        first_ = true;
        return *this;
    }
    TJsonWriter& Text(std::string_view utf8) {
        Separate();
        String(utf8);
        return *this;
    }
    TJsonWriter& Integer(std::int64_t value) {
        Separate();
        text_ += std::to_string(value);
        return *this;
    }
    TJsonWriter& Real(double value);
    TJsonWriter& Boolean(bool value) {
        Separate();
        text_ += value ? "true" : "false";
        return *this;
    }
    std::string Take() { return std::move(text_); }

private:
    void Separate() {
        if (!first_) {
            text_.push_back(',');
        }
        first_ = false;
    }
    // Besides what JSON requires, DEL and the C1 controls (U+0080 ... U+009F,
    // two bytes in UTF-8) are escaped too, so that no text drives a terminal.
    void String(std::string_view utf8) {
        text_.push_back('"');
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            const char c = utf8[i];
            const auto byte = static_cast<unsigned char>(c);
            const unsigned next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
            const bool c1 = byte == 0xC2 && next >= 0x80 && next <= 0x9F;
            if (c == '"' || c == '\\') {
                text_.push_back('\\');
                text_.push_back(c);
            } else if (byte < 0x20 || byte == 0x7F || c1) {
                const unsigned code = c1 ? next : byte;
                i += c1 ? 1 : 0;
                std::array<char, 8> escaped{};
                std::snprintf(escaped.data(), escaped.size(), "\\u%04x", code);
                text_ += escaped.data();
            } else {
                text_.push_back(c);
            }
        }
        text_.push_back('"');
    }

    std::string text_;
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
    text_ += std::isfinite(value) ? Exact(value) : std::string("null");
    return *this;
}

std::string Unicode(std::string_view bytes) {
    return Utf8From1251(bytes);
}

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
                 const TShowBytes& show) {
    for (std::size_t i = 0; i < search.Steps.size(); ++i) {
        const TTracedStep& step = search.Steps[i];
        const TRecognitionTrace& trace = *step.Trace;
        out << "# recognition " << i << " \"" << show(step.Text) << "\": row " << step.Row << " \""
            << show(EntryAt(entries, step.Row)) << "\"";
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
    TJsonWriter json;
    json.Begin('{').Key("query").Text(Unicode(query));
    if (search.Status != TSearchStatus::Selected) {
        json.Key("error").Text(search.Message());
        return json.End('}').Take();
    }
    json.Key("row").Integer(search.BestRow);
    json.Key("entry").Text(Unicode(EntryAt(entries, search.BestRow)));
    json.Key("distance").Integer(search.BestDistance);
    json.Key("chosen_step").Integer(search.ChosenStep);
    json.Key("steps").Begin('[');
    for (const TTracedStep& step : search.Steps) {
        const TRecognitionTrace& trace = *step.Trace;
        json.Begin('{').Key("text").Text(Unicode(step.Text)).Key("row").Integer(step.Row);
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
    return json.End(']').End('}').Take();
}

bool PrintTracedLookup(std::ostream& out, std::ostream& err, std::string_view query,
                       TDictionary& dictionary, TWordCode& code, const TTraceOutputOptions& options,
                       const TShowBytes& show) {
    const TSearchTrace search = TraceSearch(query, dictionary.Entries, dictionary.Network, code);
    if (options.Json) {
        out << SearchJson(query, search, dictionary.Entries, options.Trace) << '\n';
    }
    if (search.Status != TSearchStatus::Selected) {
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
            out << "# " << (i == 0 ? std::string("word") : "variant " + std::to_string(i)) << " \""
                << show(step.Text) << "\": row " << step.Row << " \""
                << show(EntryAt(dictionary.Entries, step.Row)) << "\", distance " << step.Distance
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
