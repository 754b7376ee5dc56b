// The general exception family.
#include "platform/Exceptions.h"

namespace vantrel {

Exception::Exception(String message) : FMessage(std::move(message)), FUtf8(StringToUtf8(FMessage)) {}

Exception::~Exception() = default;

EListError EListError::IndexOutOfBounds(int64_t index) {
    return EListError(Format(kListIndexMessage, {index}));
}

EOSError EOSError::FromCode(int code, const String &systemText) {
    if (code == 0 && systemText.empty()) return EOSError(0, kOSCallFailedMessage);
    return EOSError(code, Format(kSystemErrorMessage, {int64_t(code), systemText}));
}

}  // namespace vantrel
