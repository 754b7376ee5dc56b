// The general exception family.
#include "platform/Exceptions.h"

namespace vantrel {

Exception::Exception(String message) : FMessage(std::move(message)), FUtf8(StringToUtf8(FMessage)) {}

Exception::~Exception() = default;

EListError EListError::IndexOutOfBounds(int64_t index) {
    return EListError(Format(u"List index out of bounds (%d)", {index}));
}

EOSError EOSError::FromCode(int code, const String &systemText) {
    if (code == 0 && systemText.empty()) return EOSError(0, u"A call to an OS function failed");
    return EOSError(code, Format(u"System Error.  Code: %d.\r\n%s%s", {int64_t(code), systemText, String()}));
}

}  // namespace vantrel
