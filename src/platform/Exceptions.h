// The library's general exception family. Every error carries a UTF-16
// message; what() gives the same text as UTF-8 for C++ hosts.
#pragma once

#include <exception>
#include <memory>
#include <string>

#include "platform/Text.h"

#define VANTREL_VISIBLE __attribute__((visibility("default")))

namespace vantrel {

// The statement a failure met in a script (defined by the script runner,
// which adds it).
struct TFailedStatement;

// Texts of the platform layer's failures.
inline constexpr const char16_t *kCannotOpenFileMessage = u"Cannot open file \"%s\". %s";  // full path, reason
inline constexpr const char16_t *kCannotCreateFileMessage = u"Cannot create file \"%s\". %s";
inline constexpr const char16_t *kCannotReadFileMessage = u"Cannot read file \"%s\". Line %d holds %s";
inline constexpr const char16_t *kFileNameHasNulMessage = u"File name contains a NUL character";
inline constexpr const char16_t *kNotARegularFileReason = u"Not a regular file";
inline constexpr const char16_t *kInvalidIntegerMessage = u"'%s' is not a valid integer value";
inline constexpr const char16_t *kInvalidFloatMessage = u"'%s' is not a valid floating point value";
inline constexpr const char16_t *kVariantToTextMessage = u"Could not convert variant of type (%s) into type (OleStr)";
inline constexpr const char16_t *kListDuplicateMessage = u"Duplicates not allowed";
inline constexpr const char16_t *kListItemNotFoundMessage = u"Item not found";
inline constexpr const char16_t *kListIndexMessage = u"List index out of bounds (%d)";
inline constexpr const char16_t *kSystemErrorMessage = u"System Error.  Code: %d.\r\n%s";  // code, system text
inline constexpr const char16_t *kOSCallFailedMessage = u"A call to an OS function failed";

class VANTREL_VISIBLE Exception : public std::exception {
public:
    explicit Exception(String message);
    ~Exception() override;
    const String &Message() const noexcept { return FMessage; }
    const char *what() const noexcept override { return FUtf8.c_str(); }

    // The statement the failure met, when it met one in a script: added by
    // the script runner as the failure passes through (it is rethrown as it
    // is, with its own type and message); null otherwise.
    const TFailedStatement *FailedStatement() const noexcept { return FFailedStatement.get(); }
    void SetFailedStatement(std::shared_ptr<const TFailedStatement> Statement) noexcept {
        FFailedStatement = std::move(Statement);
    }

private:
    String FMessage;
    std::string FUtf8;
    std::shared_ptr<const TFailedStatement> FFailedStatement;
};

// A text that cannot be converted to a number.
class VANTREL_VISIBLE EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A VARIANT that cannot be turned into text.
class VANTREL_VISIBLE EVariantTypeCastError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be opened or read.
class VANTREL_VISIBLE EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A text file holding bytes that its encoding cannot decode.
class VANTREL_VISIBLE EEncodingError : public Exception {
public:
    using Exception::Exception;
};

// An index outside a list: "List index out of bounds (%d)".
class VANTREL_VISIBLE EListError : public Exception {
public:
    using Exception::Exception;
    static EListError IndexOutOfBounds(int64_t index);
};

// An operating-system call that failed; carries the error code.
class VANTREL_VISIBLE EOSError : public Exception {
public:
    EOSError(int code, String message) : Exception(std::move(message)), FErrorCode(code) {}
    int ErrorCode() const noexcept { return FErrorCode; }
    // "System Error.  Code: %d.\r\n%s"; "A call to an OS function failed" when
    // neither a code nor a system text is known.
    static EOSError FromCode(int code, const String &systemText);

private:
    int FErrorCode;
};

// Reading a component's stored configuration failed.
class VANTREL_VISIBLE EReadError : public Exception {
public:
    using Exception::Exception;
};

// General database error, the base of the client layer's EIBError family and
// the error the result sets raise for field binding problems.
class VANTREL_VISIBLE EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace vantrel
