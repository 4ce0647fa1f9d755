#include "search/Messages.h"

#include <cstdint>
#include <new>

namespace verblinka {

std::string SearchMessage(TSearchStatus status) {
    switch (status) {
    case TSearchStatus::Selected:
    case TSearchStatus::Cancelled:
        return {};
    case TSearchStatus::NoWord:
        return kMessageNoWord;
    case TSearchStatus::NoDictionary:
        return kMessageNoDictionary;
    case TSearchStatus::Failed:
        break;
    }
    return kMessageSearchFailed;
}

std::string WithFullStop(std::string text) {
    if (!text.empty() && static_cast<std::uint8_t>(text.back()) > 0x2E) {
        text.push_back('.');
    }
    return text;
}

std::string FailureText(std::exception_ptr failure, std::string_view outOfMemory) {
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const std::bad_alloc&) {
        return WithFullStop(std::string(outOfMemory));
    } catch (const std::exception& error) {
        return WithFullStop(error.what());
    } catch (...) {
        return WithFullStop(kMessageUnknownError);
    }
}

} // namespace verblinka
