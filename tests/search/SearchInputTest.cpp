// The input checks that a search makes before any work, asked on their own
// and as part of the search.
#include "search/Messages.h"
#include "search/Search.h"

#include "dictionary/DictionaryLoad.h"
#include "text/CodePage1251.h"

#include <gtest/gtest.h>

namespace verblinka {
namespace {

TEST(SearchInput, BlankQueryComesBeforeAMissingDictionary) {
    const TDictionaryEntries none;
    const TDictionaryEntries some = {{"", 0}, {"КОТ", 1}};
    EXPECT_EQ(CheckSearchInput("", none), TSearchStatus::NoWord);
    EXPECT_EQ(CheckSearchInput(std::string(" \t\r\n\x01\0 ", 7), some), TSearchStatus::NoWord);
    EXPECT_EQ(CheckSearchInput("кот", none), TSearchStatus::NoDictionary);
    EXPECT_EQ(CheckSearchInput(" к ", some), std::nullopt);
    // A byte above the blank makes a word, even one the control range lacks.
    EXPECT_EQ(CheckSearchInput("\x7F", some), std::nullopt);
}

TEST(SearchInput, SearchReportsTheSameRefusalsWithTheirMessages) {
    THammingNet network;
    TWordCode code{};
    const TDictionaryEntries none;
    const TSearchOutcome noWord = SearchWord("  ", none, network, code);
    EXPECT_EQ(noWord.Status, TSearchStatus::NoWord);
    EXPECT_EQ(noWord.Message(), "Ошибка: не введено слово для поиска");
    const TSearchOutcome noDictionary = SearchWord("кот", none, network, code);
    EXPECT_EQ(noDictionary.Status, TSearchStatus::NoDictionary);
    EXPECT_EQ(noDictionary.Message(), "Ошибка: не загружен словарь");
    EXPECT_EQ(SearchMessage(TSearchStatus::Failed), "Ошибка при поиске");
    EXPECT_EQ(SearchMessage(TSearchStatus::Selected), "");
}

TEST(SearchInput, ACharacterTheCodePageLacksIsACharacterATypedControlOneIsNot) {
    const TDictionaryEntries some = {{"", 0}, {"\x1A", 1}};
    for (const char* typed : {"\u2713", " \u03BB\u03CC ", "\u4E2D", "\xFF"}) {
        bool substituted = false;
        const std::string query = Utf8To1251(typed, substituted);
        EXPECT_TRUE(substituted) << typed;
        EXPECT_EQ(CheckSearchInput(query, some, substituted), std::nullopt) << typed;
    }
    for (const char* typed : {"\x1A", " \x1A\t", "\u2003"}) { // U+001A and a wide blank
        bool substituted = true;
        const std::string query = Utf8To1251(typed, substituted);
        EXPECT_FALSE(substituted) << typed;
        EXPECT_EQ(CheckSearchInput(query, some, substituted), TSearchStatus::NoWord) << typed;
    }
    // The search itself takes the substitute byte for a character.
    THammingNet network;
    network.SetInputCount(kWordCodeLength);
    network.SetPatternCount(2);
    TWordCode code{};
    StoreEntries(some, network, code);
    const TSearchOutcome outcome = SearchWord("\x1A", some, network, code);
    EXPECT_EQ(outcome.Status, TSearchStatus::Selected);
    EXPECT_EQ(outcome.BestRow, 1);
}

TEST(SearchInput, Utf8ValidityOfWholeTexts) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("\u043A\u043E\u0442 \u2713"));
    EXPECT_FALSE(IsValidUtf8("\xEA\xEE\xF2")); // Windows-1251 letters
    EXPECT_FALSE(IsValidUtf8("\u043A\xD0"));   // cut in the middle of a letter
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));     // overlong
}

} // namespace
} // namespace verblinka
