// The input checks that a search makes before any work, asked on their own
// and as part of the search.
#include "search/Search.h"

#include <gtest/gtest.h>

namespace verblinka {
namespace {

TEST(SearchInput, BlankQueryComesBeforeAMissingDictionary) {
    const TDictionaryEntries none;
    const TDictionaryEntries some = {{"", 0}, {"КОТ", 1}};
    EXPECT_EQ(CheckSearchInput("", none), TSearchStatus::NoWord);
    EXPECT_EQ(CheckSearchInput(std::string(" \t\r\n\x01\0 ", 7), some), TSearchStatus::NoWord);
    EXPECT_EQ(CheckSearchInput("кот", none), TSearchStatus::NoDictionary);
    EXPECT_EQ(CheckSearchInput(" к ", some), TSearchStatus::Found);
    // A byte above the blank makes a word, even one the control range lacks.
    EXPECT_EQ(CheckSearchInput("\x7F", some), TSearchStatus::Found);
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
    EXPECT_EQ(TSearchOutcome::SearchMessage(TSearchStatus::Failed), "Ошибка при поиске");
    EXPECT_EQ(TSearchOutcome::SearchMessage(TSearchStatus::Found), "");
}

} // namespace
} // namespace verblinka
