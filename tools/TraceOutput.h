// The lookup tool's --trace and --json output: every recognition of a search
// with its passes, as a table of text lines or as one JSON object per word.
// The JSON is written here rather than through Qt: linking QtCore (and ICU
// with it) maps some 40 MB before main, and the tool must still start and say
// "out of memory" in a small address space.
#pragma once

#include "dictionary/DictionaryLoad.h"
#include "search/Experiment.h"
#include "search/SearchTrace.h"

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace verblinka {

struct TTraceOutputOptions {
    bool Trace = false;   // the per-pass tables (text), or the passes and histogram (JSON)
    bool Json = false;    // one JSON object per word instead of the text lines
    bool Explain = false; // the text lines of every recognition before the result
};

// Entry or word bytes (Windows-1251) as the tool prints them in text lines.
using TShowBytes = std::function<std::string(std::string_view)>;

// Looks query up with every recognition traced (control's progress and
// cancel apply) and prints what options ask for, as it goes; false, after
// the message on err, when the search refused the word.
bool PrintTracedLookup(std::ostream& out, std::ostream& err, std::string_view query,
                       TDictionary& dictionary, TWordCode& code, const TTraceOutputOptions& options,
                       const TShowBytes& show, const TSearchControl& control = {});

// The JSON object of one search (compact, one line, no line end), written to
// out as it is made. Texts are Unicode whatever the tool's --raw; doubles
// read back to the same value.
void WriteSearchJson(std::ostream& out, std::string_view query, const TSearchTrace& search,
                     const TDictionaryEntries& entries, bool withTrace);

// An experiment's results (--evaluate, --pairs): as a table, one row per
// configuration and a column per kind of misspelling present (the given
// pairs as one more), then all of them and the median time of a search; or
// as JSON, one object per line for each configuration and kind.
void PrintEvaluation(std::ostream& out, const std::vector<TConfigResult>& results, bool json);

} // namespace verblinka
