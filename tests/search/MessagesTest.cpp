// The texts that the window and the tool show, and how a failure becomes one.
#include "search/Messages.h"

#include "dictionary/DictionaryLoad.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <stdexcept>

namespace verblinka {
namespace {

TEST(ErrorText, AFullStopIsAppendedOnlyAfterBytesAboveIt) {
    EXPECT_EQ(WithFullStop(""), "");
    EXPECT_EQ(WithFullStop("Cannot open file /tmp/a"), "Cannot open file /tmp/a.");
    EXPECT_EQ(WithFullStop("Cannot open file /tmp/"), "Cannot open file /tmp/.");
    EXPECT_EQ(WithFullStop("Cannot open file /tmp/a."), "Cannot open file /tmp/a.");
    EXPECT_EQ(WithFullStop("ends with a dash -"), "ends with a dash -");
    EXPECT_EQ(WithFullStop("\xCA\xCE\xD2"), "\xCA\xCE\xD2.");
}

TEST(ErrorText, FailureTextIsTheFailuresOwnOrOneOfTheProgramsTexts) {
    const std::string missing =
        (std::filesystem::temp_directory_path() / "verblinka-no-such-file.txt").string();
    TStringBTree tree;
    TWordCode code{};
    std::exception_ptr openFailure;
    try {
        LoadDictionary(missing, tree, code, kProgramMaxIterations);
    } catch (...) {
        openFailure = std::current_exception();
    }
    ASSERT_TRUE(openFailure);
    EXPECT_EQ(FailureText(openFailure), "Cannot open file " + missing + ".");

    const auto outOfMemory = std::make_exception_ptr(std::bad_alloc());
    EXPECT_EQ(FailureText(outOfMemory), "Недостаточно памяти для выполнения команды.");
    EXPECT_EQ(FailureText(outOfMemory, kMessageDictionaryOutOfMemory),
              "Недостаточно памяти для словаря.");
    EXPECT_EQ(FailureText(std::make_exception_ptr(std::runtime_error("Integer overflow"))),
              "Integer overflow.");
    EXPECT_EQ(FailureText(std::make_exception_ptr(42)), "Неизвестная ошибка.");
}

} // namespace
} // namespace verblinka
