// Every text that the window and the tool show a user about a search or a
// failure, and the one way a failure becomes its text, so that both faces
// word them alike.
#pragma once

#include "search/Search.h"

#include <exception>
#include <string>
#include <string_view>

namespace verblinka {

// A configuration's constants that the network does not take.
inline constexpr const char* kMessageBadMaxOutput =
    "Уровень ограничения (МаксВыход) должен быть числом больше 0";
inline constexpr const char* kMessageBadEpsilonFactor =
    "Множитель ε должен быть числом не меньше 0";
inline constexpr const char* kMessageBadMaxIterations =
    "Предел проходов должен быть целым числом от 0 до 1000";

// The search's messages.
inline constexpr const char* kMessageNoWord = "Ошибка: не введено слово для поиска";
inline constexpr const char* kMessageNoDictionary = "Ошибка: не загружен словарь";
inline constexpr const char* kMessageSearchFailed = "Ошибка при поиске";

// Memory ran out: in a command of the window, in the tool's load.
inline constexpr const char* kMessageCommandOutOfMemory =
    "Недостаточно памяти для выполнения команды";
inline constexpr const char* kMessageDictionaryOutOfMemory = "Недостаточно памяти для словаря.";
// A failure that carries no description.
inline constexpr const char* kMessageUnknownError = "Неизвестная ошибка";

// The message for a search's outcome; empty when it selected a row or was
// cancelled.
std::string SearchMessage(TSearchStatus status);

// An error's text as the error box shows it: a full stop is appended unless
// the text is empty or its last byte is not above the full stop's.
std::string WithFullStop(std::string text);

// The text of failure, a full stop appended: its own description (file names
// as the file system spells them), outOfMemory when memory ran out, or
// kMessageUnknownError when it carries none.
std::string FailureText(std::exception_ptr failure,
                        std::string_view outOfMemory = kMessageCommandOutOfMemory);

} // namespace verblinka
