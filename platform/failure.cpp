#include "platform/failure.h"

#include "platform/text.h"

namespace {

// What the host is shown for a failure that carries no text of its own.
const char16_t* const UnknownFailureText = u"Неизвестная ошибка";

}  // namespace

std::u16string ExceptionMessage(const std::exception& e) {
    if (const auto* failure = dynamic_cast<const EFailure*>(&e)) return failure->Message();
    const char* what = e.what();
    return what != nullptr ? text::FromUtf8(what) : std::u16string(UnknownFailureText);
}

int32_t FailureCode(std::exception_ptr caught) noexcept {
    if (!caught) return 0;
    try {
        std::rethrow_exception(caught);
    } catch (const EFailure& e) {
        return e.Code();
    } catch (...) {
        return 0;
    }
}

std::u16string FailureMessage(std::exception_ptr caught) {
    if (!caught) return UnknownFailureText;
    try {
        std::rethrow_exception(caught);
    } catch (const std::exception& e) {
        return ExceptionMessage(e);
    } catch (...) {
        return UnknownFailureText;
    }
}
