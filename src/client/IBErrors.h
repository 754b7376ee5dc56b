// The one failure channel of the client layer: the EIBError family, the
// table of client messages by id, and the composition of server messages
// from the calling thread's status vector.
#pragma once

#include <ibase.h>

#include <initializer_list>

#include "platform/Exceptions.h"
#include "platform/Text.h"

namespace vantrel {

class IGDSLibrary;
class TEncoding;

class VANTREL_VISIBLE EIBError : public EDatabaseError {
public:
    EIBError(int32_t sqlCode, String message)
        : EDatabaseError(std::move(message)), FSQLCode(sqlCode), FIBErrorCode(0) {}
    EIBError(int32_t sqlCode, int32_t ibErrorCode, String message)
        : EDatabaseError(std::move(message)), FSQLCode(sqlCode), FIBErrorCode(ibErrorCode) {}
    int32_t SQLCode() const noexcept { return FSQLCode; }
    int32_t IBErrorCode() const noexcept { return FIBErrorCode; }

private:
    int32_t FSQLCode;
    int32_t FIBErrorCode;
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
};

// The access plan of a statement could not be read.
class VANTREL_VISIBLE EIBPlanError : public EIBError {
public:
    using EIBError::EIBError;
};

// Ids of the client messages (ClientErrorMessages).
enum TIBClientError : int {
    ibxeUnknownError = 0,
    ibxeInterBaseMissing = 1,
    ibxeIB60feature = 3,
    ibxeNotSupported = 4,
    ibxeNotPermitted = 5,
    ibxeOperationCancelled = 10,
    ibxeDPBConstantNotSupported = 11,
    ibxeTPBConstantNotSupported = 13,
    ibxeDatabaseClosed = 15,
    ibxeDatabaseOpen = 16,
    ibxeDatabaseNameMissing = 17,
    ibxeNotInTransaction = 18,
    ibxeInTransaction = 19,
    ibxeTimeoutNegative = 20,
    ibxeNoDatabasesInTransaction = 21,
    ibxeDatabaseNotAssigned = 24,
    ibxeTransactionNotAssigned = 25,
    ibxeXSQLDAIndexOutOfRange = 26,
    ibxeInvalidStatementHandle = 30,
    ibxeSQLOpen = 31,
    ibxeSQLClosed = 32,
    ibxeDatasetOpen = 33,
    ibxeUnknownSQLDataType = 35,
    ibxeInvalidDataConversion = 38,
    ibxeEmptyQuery = 42,
    ibxeFieldNotFound = 46,
    ibxeSQLParseError = 55,
    ibxeCantEndSharedTransaction = 62,
    ibxeFieldUnsupportedType = 63,
    ibxeEmptySQLStatement = 65,
    ibxeIsASelectStatement = 66,
    ibxeRequiredParamNotSet = 67,
    ibxeNoTableName = 75,
    ibxeTableNameMismatch = 78,
    ibxeIndexFieldMissing = 79,
    ibxeSQLDialectInvalid = 87,
    ibxeDPBConstantUnknown = 114,
    ibxeTPBConstantUnknown = 115,
    ibxeCannotRetrievePlan = 116,
    ibxeSizeMismatch = 117,
    ibxeStringTooLarge = 119,
    ibxeInvalidLibraryType = 123,
    ibxeCharacterNotInCharacterSet = 125,
    ibxeCharacterNotInAnsiCodePage = 126,
};

// Message text of an id (0..126); empty for ids without a text.
const String &ClientErrorMessage(int id);

// Raises EIBClientError(SQLCode = id) with the message's %s/%d placeholders
// filled in order.
[[noreturn]] void RaiseClientError(int id, std::initializer_list<FormatArg> args = {});

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

}  // namespace vantrel
