// The one failure channel of the client layer: the EIBError family, the
// table of client messages by id, and the composition of server messages
// from the calling thread's status vector.
#pragma once

#include <ibase.h>

#include <initializer_list>
#include <optional>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Text.h"

namespace vantrel {

class IGDSLibrary;
class TEncoding;

// Ids of the client messages (ClientErrorMessages); the value is the
// SQLCode of the raised EIBClientError.
enum class ClientError : int32_t {
    UnknownError = 0,
    InterBaseMissing = 1,
    FunctionNotAvailable = 2,
    IB60Feature = 3,
    NotSupported = 4,
    NotPermitted = 5,
    OperationCancelled = 10,
    DPBConstantNotSupported = 11,
    TPBConstantNotSupported = 13,
    DatabaseClosed = 15,
    DatabaseOpen = 16,
    DatabaseNameMissing = 17,
    NotInTransaction = 18,
    InTransaction = 19,
    TimeoutNegative = 20,
    NoDatabasesInTransaction = 21,
    DatabaseNotAssigned = 24,
    TransactionNotAssigned = 25,
    DescriptorIndexOutOfRange = 26,
    InvalidStatementHandle = 30,
    SQLOpen = 31,
    SQLClosed = 32,
    DatasetOpen = 33,
    UnknownSQLDataType = 35,
    InvalidDataConversion = 38,
    EmptyQuery = 42,
    FieldNotFound = 46,
    SQLParseError = 55,
    CannotEndSharedTransaction = 62,
    FieldUnsupportedType = 63,
    EmptySQLStatement = 65,
    IsASelectStatement = 66,
    RequiredParamNotSet = 67,
    NoTableName = 75,
    TableNameMismatch = 78,
    IndexFieldMissing = 79,
    SQLDialectInvalid = 87,
    DPBConstantUnknown = 114,
    TPBConstantUnknown = 115,
    CannotRetrievePlan = 116,
    SizeMismatch = 117,
    StringTooLarge = 119,
    InvalidLibraryType = 123,
    CharacterNotInCharacterSet = 125,
    CharacterNotInAnsiCodePage = 126,
};

class VANTREL_VISIBLE EIBError : public EDatabaseError {
public:
    EIBError(int32_t sqlCode, String message)
        : EDatabaseError(std::move(message)), FSQLCode(sqlCode), FIBErrorCode(0) {}
    EIBError(int32_t sqlCode, int32_t ibErrorCode, String message)
        : EDatabaseError(std::move(message)), FSQLCode(sqlCode), FIBErrorCode(ibErrorCode) {}
    int32_t SQLCode() const noexcept { return FSQLCode; }
    int32_t IBErrorCode() const noexcept { return FIBErrorCode; }

    // The error codes and numbers of the status vector a server error was
    // raised from, in order (empty for client errors), so that a caller
    // far from the failed call can still tell what kind of failure it was.
    const std::vector<int64_t> &StatusCodes() const noexcept { return FStatusCodes; }
    void SetStatusCodes(std::vector<int64_t> codes) { FStatusCodes = std::move(codes); }
    bool HasStatusCode(int64_t code) const noexcept;
    // The number that follows the code in the status vector (the argument
    // of its message), if any.
    std::optional<int64_t> NumberAfter(int64_t code) const noexcept;

private:
    int32_t FSQLCode;
    int32_t FIBErrorCode;
    std::vector<int64_t> FStatusCodes;
};

// A server error (any SQL code but -551), or a lost connection.
class VANTREL_VISIBLE EIBInterBaseError : public EIBError {
public:
    using EIBError::EIBError;
};

// A server error with SQL code -551 (no permission).
class VANTREL_VISIBLE EIBInterBaseRoleError : public EIBError {
public:
    using EIBError::EIBError;
};

// A check of the client layer failed; SQLCode is the message id.
class VANTREL_VISIBLE EIBClientError : public EIBError {
public:
    using EIBError::EIBError;
    EIBClientError(ClientError id, String message) : EIBError(static_cast<int32_t>(id), std::move(message)) {}
};

// The access plan of a statement could not be read.
class VANTREL_VISIBLE EIBPlanError : public EIBError {
public:
    using EIBError::EIBError;
    EIBPlanError(ClientError id, String message) : EIBError(static_cast<int32_t>(id), std::move(message)) {}
};


// Texts raised beside the table, with SQLCode 0 (the id of client errors
// whose text is not one of the table's).
// A function of a later client: name, version, version.
inline constexpr const char16_t *kLaterClientFunctionMessage =
    u"%s is an InterBase %s function. Please upgrade to InterBase %s to use this functonality";
inline constexpr const char16_t *kXmlLibraryMissingMessage = u"%s needs the XML output library %s, which is not loaded";
// Library file, the loader's reason (a file that is there but cannot be
// loaded; SQLCode 1 as for a missing file).
inline constexpr const char16_t *kLibraryNotLoadableMessage = u"InterBase library %s cannot be loaded: %s";
// What a statement's text lacks (the argument of ClientError::SQLParseError).
inline constexpr const char16_t *kParameterNameExpected = u"Parameter name expected";
inline constexpr const char16_t *kCommentNotClosed = u"EOF in comment detected";
inline constexpr const char16_t *kStringNotClosed = u"EOF in string detected";
// Connection names and parameter blocks.
inline constexpr const char16_t *kDatabaseNameTooLongMessage = u"Database name is too long (%d bytes)";
inline constexpr const char16_t *kDatabaseNameHasNulMessage = u"Database name contains a NUL character";
// "DPB" or "TPB", "dpb" or "tpb", the parameter, its length.
inline constexpr const char16_t *kParameterValueTooLongMessage =
    u"%s Constant (isc_%s_%s) value is too long (%d bytes, at most 255)";
// "Database" or "Transaction", the block's length.
inline constexpr const char16_t *kParameterBlockTooLongMessage =
    u"%s parameter block is too long (%d bytes, at most 32767)";
inline constexpr const char16_t *kNoLoginHandlerMessage =
    u"Can not find default login prompt dialog.  Please assign an OnLogin handler.";
// Raised as a general Exception.
inline constexpr const char16_t *kServerTypeFixedMessage = u"ServerType can not be changed on an active connection";
// Message text of an id (0..126); empty for ids without a text.
const String &ClientErrorMessage(int id);
inline const String &ClientErrorMessage(ClientError id) { return ClientErrorMessage(static_cast<int>(id)); }

// Raises EIBClientError(SQLCode = id) with the message's %s/%d placeholders
// filled in order.
[[noreturn]] void RaiseClientError(ClientError id, std::initializer_list<FormatArg> args = {});

// Text for the server, appended to Out in the code page of a connection
// (Encoding, of its CharacterSet). Nothing is ever sent in place of a
// character: one that the code page cannot represent raises client error
// 125, naming it, the character set and the code page.
void AppendServerText(const TEncoding &Encoding, StringView CharacterSet, StringView Text, std::string &Out);
// Text sent in the default narrow code page (database names, parameter
// blocks, the statement that creates a database); a character that the
// page cannot represent raises client error 126.
std::string AnsiServerText(StringView Text);

// The calling thread's status vector composed into text: the client's
// messages one per line (CR LF between them), one trailing full stop
// removed. Also returns the SQL code and the first error code. The server
// writes names and values into its messages in the connection's character
// set: Encoding decodes them (null: the default narrow code page, for
// messages that belong to no attached connection).
String ComposeServerErrorText(IGDSLibrary &library, int32_t &sqlCode, int32_t &errorCode,
                              const TEncoding *Encoding = nullptr);

// Raises EIBInterBaseError, or EIBInterBaseRoleError for SQL code -551, from
// the calling thread's status vector, decoded as ComposeServerErrorText
// does. Without a library the binding registered as "IBServer" is used.
[[noreturn]] void RaiseServerError(IGDSLibrary *library = nullptr, const TEncoding *Encoding = nullptr);

// True when an error-code or number entry of the calling thread's status
// vector equals one of the codes.
bool StatusVectorHas(std::initializer_list<ISC_STATUS> codes);

// Codes the layer reacts to.
inline constexpr ISC_STATUS kNetworkReadError = 335544726;   // isc_net_read_err
inline constexpr ISC_STATUS kNetworkWriteError = 335544727;  // isc_net_write_err
inline constexpr ISC_STATUS kConnectionLost = 335544741;     // isc_lost_db_connection
inline constexpr ISC_STATUS kNetworkError = 335544721;       // isc_network_error
inline constexpr ISC_STATUS kBadStatementHandle = 335544485; // isc_bad_stmt_handle
inline constexpr ISC_STATUS kDsqlCursorCloseError = 335544577;
inline constexpr ISC_STATUS kSegmentOrEndOfStream = 335544572;
inline constexpr ISC_STATUS kCancelled = 335544794;          // isc_cancelled
inline constexpr ISC_STATUS kBadDbKey = 335544322;           // isc_bad_dbkey
inline constexpr ISC_STATUS kDeadlock = 335544336;           // isc_deadlock
inline constexpr ISC_STATUS kIOError = 335544344;            // isc_io_error
inline constexpr ISC_STATUS kIOOpenError = 335544734;        // isc_io_open_err (the OS error number follows)
inline constexpr ISC_STATUS kLoginRefused = 335544472;       // isc_login
inline constexpr ISC_STATUS kHostLookupError = 335544704;    // isc_net_lookup_err
inline constexpr ISC_STATUS kConnectError = 335544722;       // isc_net_connect_err
inline constexpr ISC_STATUS kConnectListenError = 335544723; // isc_net_connect_listen_err
inline constexpr ISC_STATUS kLockConflict = 335544345;       // isc_lock_conflict (no wait)
inline constexpr ISC_STATUS kRelationNotDefined = 335544395; // isc_relnotdef ("table id %d is not defined")
inline constexpr ISC_STATUS kUpdateConflict = 335544451;     // isc_update_conflict
inline constexpr ISC_STATUS kObjectInUse = 335544453;        // isc_obj_in_use
inline constexpr ISC_STATUS kLockTimeout = 335544510;        // isc_lock_timeout
inline constexpr ISC_STATUS kConcurrentTransaction = 335544878;  // isc_concurrent_transaction (a number follows)

}  // namespace vantrel
