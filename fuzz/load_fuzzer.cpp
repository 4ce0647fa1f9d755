// File bytes through the reader and the dictionary load, checked against the
// plain reference reading. The first three bytes choose how the file behaves:
// how many bytes one read hands out, whether and where a read fails, and
// whether the file can be read again from its start.
#include "dictionary/DictionaryLoad.h"
#include "fuzz/FuzzCheck.h"
#include "reference/FaultySource.h"
#include "reference/ReferenceModel.h"
#include "text/CodePage1251.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

using namespace verblinka;
using verblinka::fuzzing::Require;
using verblinka::test_support::TFaultySource;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::string file(reinterpret_cast<const char*>(data) + 3, size - 3);
    TFaultySource::TFaults faults;
    faults.Piece = data[0] == 0 ? TFaultySource::kNever : data[0];
    if ((data[1] & 1) != 0) {
        faults.FailAt = file.size() * data[2] / 255;
    }
    faults.OnlyAfterRewind = (data[1] & 2) != 0;
    faults.CannotRewind = (data[1] & 0xF0) == 0xF0;

    // The text conversions on their own.
    const std::string bytes = reference::FileTo1251(file, true);
    const bool marked = file.size() >= 3 && file.compare(0, 3, "\xEF\xBB\xBF") == 0;
    Require(Utf8To1251(marked ? file.substr(3) : file) == bytes, "Utf8To1251 differs");
    Require(Utf8To1251(Utf8From1251(file)) == file, "Windows-1251 does not round-trip");

    TStringBTree tree;
    TWordCode code{};
    try {
        TDictionaryFile dictionaryFile(std::make_unique<TFaultySource>(file, faults));
        Require(!faults.CannotRewind, "a file that cannot be read again was loaded");
        const TDictionary dictionary =
            BuildDictionary(dictionaryFile, tree, code, kProgramMaxIterations);
        const std::string read = file.substr(0, std::min(file.size(), faults.FailAt));
        const TTextEncoding encoding = reference::EncodingOf(faults.OnlyAfterRewind ? file : read);
        Require(dictionaryFile.Encoding() == encoding, "encoding differs");
        Require(dictionary.Entries == reference::Entries(reference::FileTo1251(read, encoding)),
                "entries differ from the reference");
        const std::string network = reference::CheckNetwork(dictionary.Entries, dictionary.Network);
        Require(network.empty(), network);
    } catch (const std::runtime_error&) {
        Require(faults.CannotRewind, "the load failed");
    }
    Require(tree.NodeCount() == 1, "the tree was not emptied");
    return 0;
}
