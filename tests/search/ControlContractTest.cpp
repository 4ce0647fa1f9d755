// What the window relies on when it runs a load or a search off its thread:
// progress that ends at the whole, a cancel that stops the work without a
// result, and results that do not depend on being watched.
#include "reference/TestSupport.h"
#include "reference/WordLists.h"
#include "reference/WordNetwork.h"

#include "dictionary/DictionaryLoad.h"
#include "search/Search.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <tuple>
#include <utility>

namespace verblinka {
namespace {

class TLoadControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Several read blocks of random words, so that progress has steps.
        std::mt19937 random(12);
        std::string text;
        while (text.size() < 300'000) {
            text += test_support::RandomWord(random, 1, 9, test_support::kUpperLetters1251) + ' ';
        }
        std::ofstream(path_, std::ios::binary) << text;
        size_ = text.size();
    }
    void TearDown() override { std::filesystem::remove(path_); }

    TDictionary Load(const TLoadControl& control) {
        return LoadDictionary(path_.string(), tree_, code_, kProgramMaxIterations, {}, control);
    }

    // One file per process: ctest runs the fixture's tests side by side, and
    // one's TearDown must not remove the file another is reading.
    std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                  ("verblinka-load-control-" + std::to_string(::getpid()) + ".txt");
    std::uint64_t size_ = 0;
    TStringBTree tree_;
    TWordCode code_{};
};

TEST_F(TLoadControlTest, ProgressEndsAtTheFileSizeAndTheDictionaryIsTheSame) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    TLoadControl control;
    control.OnProgress = [&](std::uint64_t read, std::uint64_t total) {
        reports.emplace_back(read, total);
    };
    const TDictionary watched = Load(control);
    ASSERT_FALSE(reports.empty());
    for (const auto& [read, total] : reports) {
        EXPECT_EQ(total, size_);
        EXPECT_LE(read, total);
    }
    EXPECT_EQ(reports.back().first, size_);
    EXPECT_EQ(watched.Entries, Load({}).Entries);
}

TEST_F(TLoadControlTest, CancelStopsTheLoadAndLeavesTheTreeEmpty) {
    std::atomic<bool> cancel{true};
    TLoadControl control;
    control.Cancel = &cancel;
    EXPECT_THROW(Load(control), TLoadCancelled);
    EXPECT_EQ(tree_.NodeCount(), 1u); // the empty root only

    // Cancelled part-way, from the progress report as another thread would.
    cancel = false;
    control.OnProgress = [&](std::uint64_t, std::uint64_t) { cancel = true; };
    EXPECT_THROW(Load(control), TLoadCancelled);
    EXPECT_EQ(tree_.NodeCount(), 1u);

    cancel = false;
    control.OnProgress = nullptr;
    EXPECT_EQ(Load(control).Entries, Load({}).Entries);
}

std::vector<std::tuple<std::string, std::int32_t, std::int32_t>>
Summary(const std::vector<TSearchStep>& steps) {
    std::vector<std::tuple<std::string, std::int32_t, std::int32_t>> summary;
    summary.reserve(steps.size());
    for (const TSearchStep& step : steps) {
        summary.emplace_back(step.Text, step.Row, step.Distance);
    }
    return summary;
}

TEST(SearchControlTest, StepsAndProgressFollowTheVariantsAndCancelGivesNoRow) {
    const std::vector<std::string> words = {"", "\xC4\xCE\xCC", "\xCA\xCE\xD2", "\xCF\xB8\xD1"};
    TDictionaryEntries entries;
    for (const auto& word : words) {
        entries.push_back({word, 1});
    }
    THammingNet network = test_support::WordNetwork(words);
    TWordCode code{};
    const std::string query = "\xEA\xEE\xF2\xFB"; // котЫ in lower case
    const TSearchOutcome plain = SearchWord(query, entries, network, code, true);
    ASSERT_EQ(plain.Status, TSearchStatus::Selected);

    std::vector<TSearchStep> steps;
    std::vector<std::int32_t> indices;
    std::pair<std::int32_t, std::int32_t> lastProgress{0, 0};
    TSearchControl control;
    control.OnStep = [&](const TSearchStep& step, std::int32_t index) {
        steps.push_back(step);
        indices.push_back(index);
    };
    control.OnProgress = [&](std::int32_t done, std::int32_t total) {
        EXPECT_LE(done, total);
        lastProgress = {done, total};
    };
    for (const unsigned threads : {1u, 0u}) {
        steps.clear();
        indices.clear();
        control.Threads = threads;
        const TSearchOutcome watched = SearchWord(query, entries, network, code, false, control);
        EXPECT_EQ(watched.Status, TSearchStatus::Selected);
        EXPECT_EQ(watched.BestRow, plain.BestRow);
        EXPECT_EQ(watched.BestDistance, plain.BestDistance);
        const auto total = static_cast<std::int32_t>(query.size() + 1);
        EXPECT_EQ(lastProgress, std::make_pair(total, total));
        EXPECT_EQ(Summary(steps), Summary(plain.Steps));
        std::vector<std::int32_t> inOrder(plain.Steps.size());
        std::iota(inOrder.begin(), inOrder.end(), 0);
        EXPECT_EQ(indices, inOrder);
    }

    std::atomic<bool> cancel{true};
    TSearchControl cancelled;
    cancelled.Cancel = &cancel;
    const TSearchOutcome none = SearchWord(query, entries, network, code, true, cancelled);
    EXPECT_EQ(none.Status, TSearchStatus::Cancelled);
    EXPECT_TRUE(none.Message().empty());
    // The input checks still come first.
    EXPECT_EQ(SearchWord("  ", entries, network, code, false, cancelled).Status,
              TSearchStatus::NoWord);
}

} // namespace
} // namespace verblinka
