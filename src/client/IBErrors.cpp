// Client messages by id, and the composition of server messages from the
// calling thread's status vector through the client library binding.
#include "client/IBErrors.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "client/GDSLibrary.h"
#include "platform/Encoding.h"

namespace vantrel {

namespace {

// ClientErrorMessages: one text per id, 0 to 126. Ids the client layer does
// not raise belong to the components that are not built (services, events,
// blob streams, batch files, cached updates, trace monitoring).
const std::array<const char16_t *, 127> kClientErrorMessages = {
    /*   0 */ u"Unknown error",
    /*   1 */ u"InterBase library %s not found in the path. Please install InterBase to use this functionality",
    /*   2 */ u"Client library function %s is not available",
    /*   3 */ u"%s is an InterBase 6 function. Please upgrade to InterBase 6 to use this functonality",
    /*   4 */ u"Unsupported feature",
    /*   5 */ u"Not permitted",
    /*   6 */ u"File delete failed",
    /*   7 */ u"File rename failed",
    /*   8 */ u"Unable to open file",
    /*   9 */ u"Unable to write file",
    /*  10 */ u"Operation cancelled at user's request",
    /*  11 */ u"DPB Constant (isc_dpb_%s) is unsupported",
    /*  12 */ u"DPB Constant (isc_dpb_%s) is unknown",
    /*  13 */ u"TPB Constant (isc_tpb_%s) is unsupported",
    /*  14 */ u"TPB Constant (isc_tpb_%s) is unknown",
    /*  15 */ u"Cannot perform operation -- DB is not open",
    /*  16 */ u"Cannot perform operation -- DB is currently open",
    /*  17 */ u"Database name is missing",
    /*  18 */ u"Transaction is not active",
    /*  19 */ u"Transaction is active",
    /*  20 */ u"Timeout values cannot be negative",
    /*  21 */ u"No databases are listed in transaction component",
    /*  22 */ u"Update of the wrong database",
    /*  23 */ u"Update in the wrong transaction",
    /*  24 */ u"Database not assigned",
    /*  25 */ u"Transaction not assigned",
    /*  26 */ u"XSQLDA index out of range",
    /*  27 */ u"Blob is not open",
    /*  28 */ u"Blob cannot be read",
    /*  29 */ u"Blob cannot be written",
    /*  30 */ u"Invalid statement handle",
    /*  31 */ u"IBSQL Open",
    /*  32 */ u"IBSQL Closed",
    /*  33 */ u"Dataset open",
    /*  34 */ u"Unknown plan",
    /*  35 */ u"Unknown SQL Data type (%d)",
    /*  36 */ u"Cannot open a non-select statement",
    /*  37 */ u"No field definitions available",
    /*  38 */ u"Invalid data conversion",
    /*  39 */ u"Dataset is not in edit or insert mode",
    /*  40 */ u"Dataset is in an invalid state for this operation",
    /*  41 */ u"Record refresh failed",
    /*  42 */ u"Empty query",
    /*  43 */ u"Query is not prepared",
    /*  44 */ u"No more records",
    /*  45 */ u"Record was deleted by another user",
    /*  46 */ u"Field \"%s\" not found",
    /*  47 */ u"Buffer is too small",
    /*  48 */ u"Cannot insert into a read-only dataset",
    /*  49 */ u"Cannot update a read-only dataset",
    /*  50 */ u"Cannot delete from a read-only dataset",
    /*  51 */ u"Record was changed by another user",
    /*  52 */ u"Cannot edit a blob field in this mode",
    /*  53 */ u"Invalid blob stream position",
    /*  54 */ u"Blob stream is closed",
    /*  55 */ u"SQL Parse Error:\r\n\r\n%s",
    /*  56 */ u"Service is not active",
    /*  57 */ u"Service is active",
    /*  58 */ u"Server name is missing",
    /*  59 */ u"Service parameter %s is unknown",
    /*  60 */ u"Service start parameter is missing",
    /*  61 */ u"Service query is not supported",
    /*  62 */ u"Can't end a shared transaction unless it is forced and equal to the transaction's TimeoutAction",
    /*  63 */ u"Unsupported Field Type",
    /*  64 */ u"Circular data link",
    /*  65 */ u"Empty SQL Statement",
    /*  66 */ u"use Open for a Select Statement",
    /*  67 */ u"Required Param value not set",
    /*  68 */ u"Invalid cached update action",
    /*  69 */ u"Cached updates are not enabled",
    /*  70 */ u"Too many events registered",
    /*  71 */ u"Event name is too long",
    /*  72 */ u"Events are not registered",
    /*  73 */ u"Cannot register events without a database",
    /*  74 */ u"Batch file is not open",
    /*  75 */ u"No Table Name assigned",
    /*  76 */ u"Cannot read from the batch input file",
    /*  77 */ u"Cannot write to the batch output file",
    /*  78 */ u"Table Name Mismatch",
    /*  79 */ u"Index Field Missing",
    /*  80 */ u"SQL trace monitor could not be started",
    /*  81 */ u"Unsupported type for XML output",
    /*  82 */ u"Field \"%s\" is read-only",
    /*  83 */ u"Field \"%s\" must have a value",
    /*  84 */ u"Parameter \"%s\" not found",
    /*  85 */ u"Invalid parameter index (%d)",
    /*  86 */ u"Cannot change the SQL dialect while connected",
    /*  87 */ u"SQL Dialect Invalid",
    /*  88 */ u"Database is read-only",
    /*  89 */ u"Statement has no result set",
    /*  90 */ u"Cannot prepare a statement without a transaction",
    /*  91 */ u"Generator %s not found",
    /*  92 */ u"Lookup field %s has no lookup dataset",
    /*  93 */ u"Master dataset is closed",
    /*  94 */ u"Circular master-detail link",
    /*  95 */ u"Key field %s not found",
    /*  96 */ u"Bookmark not found",
    /*  97 */ u"Invalid bookmark",
    /*  98 */ u"Record not found",
    /*  99 */ u"Metadata object %s not found",
    /* 100 */ u"Metadata extraction is not supported for this object type",
    /* 101 */ u"User name is missing",
    /* 102 */ u"Password is missing",
    /* 103 */ u"Backup file name is missing",
    /* 104 */ u"Restore file name is missing",
    /* 105 */ u"Invalid page size (%d)",
    /* 106 */ u"Invalid buffer count (%d)",
    /* 107 */ u"Invalid sweep interval (%d)",
    /* 108 */ u"Invalid shutdown mode",
    /* 109 */ u"Server type %s does not support this operation",
    /* 110 */ u"Blob subtype %d is not supported",
    /* 111 */ u"Character set %s is unknown",
    /* 112 */ u"Array dimensions out of range",
    /* 113 */ u"Array element type is not supported",
    /* 114 */ u"DPB Constant (%s) is unknown",
    /* 115 */ u"TPB Constant (%s) is unknown",
    /* 116 */ u"Unknown Error - Can't retrieve plan",
    /* 117 */ u"Size Mismatch - Field %s size is too small for data",
    /* 118 */ u"Cannot create shared resource. (Windows error %d)",
    /* 119 */ u"Trying to store a string of length %d into a field that can only contain %d",
    /* 120 */ u"Event alerter is already registered",
    /* 121 */ u"Event alerter is not registered",
    /* 122 */ u"Statement cannot be executed in a batch",
    /* 123 */ u"Invalid library type assigned.  Valid strings are %s",
    /* 124 */ u"Operation is not supported by the client library version",
    /* 125 */ u"Character %s cannot be represented in character set %s (code page %d)",
    /* 126 */ u"Character %s cannot be represented in the default narrow code page %d",
};

// Size of the buffer the client library writes one message into.
constexpr size_t kMessageBufferSize = 20480;

}  // namespace

const String &ClientErrorMessage(int id) {
    // Built once, on first use, and read-only afterwards.
    static const std::array<String, kClientErrorMessages.size()> messages = [] {
        std::array<String, kClientErrorMessages.size()> result;
        for (size_t i = 0; i < result.size(); ++i) result[i] = kClientErrorMessages[i];
        return result;
    }();
    static const String none;
    if (id < 0 || size_t(id) >= messages.size()) return none;
    return messages[size_t(id)];
}

void RaiseClientError(ClientError id, std::initializer_list<FormatArg> args) {
    // An id without a text still fails; the id stays in SQLCode.
    const String &pattern = ClientErrorMessage(id);
    throw EIBClientError(id, Format(pattern.empty() ? ClientErrorMessage(ClientError::UnknownError) : pattern,
                                    args));
}

void AppendServerText(const TEncoding &Encoding, StringView CharacterSet, StringView Text, std::string &Out) {
    const size_t at = Encoding.Encode(Text, Out);
    if (at != StringView::npos)
        RaiseClientError(ClientError::CharacterNotInCharacterSet,
                         {CodePointName(Text, at), String(CharacterSet), static_cast<int64_t>(Encoding.CodePage())});
}

std::string AnsiServerText(StringView Text) {
    const TEncoding &encoding = *AnsiEncoding();
    std::string bytes;
    const size_t at = encoding.Encode(Text, bytes);
    if (at != StringView::npos)
        RaiseClientError(ClientError::CharacterNotInAnsiCodePage,
                         {CodePointName(Text, at), static_cast<int64_t>(encoding.CodePage())});
    return bytes;
}

String ComposeServerErrorText(IGDSLibrary &library, int32_t &sqlCode, int32_t &errorCode,
                              const TEncoding *Encoding) {
    const TEncoding &decoding = Encoding ? *Encoding : *AnsiEncoding();
    ISC_STATUS *status = StatusVector();
    errorCode = int32_t(status[1]);
    sqlCode = int32_t(library.isc_sqlcode(status));

    const std::unique_ptr<ISC_SCHAR[]> buffer(new ISC_SCHAR[kMessageBufferSize]);
    String text;
    ISC_STATUS *cursor = status;
    // Every message consumes at least one cluster of two entries, so a
    // vector of ISC_STATUS_LENGTH entries cannot yield more messages; the
    // bound keeps a client that never reports the end from looping forever.
    for (int i = 0; i < ISC_STATUS_LENGTH; ++i) {
        if (library.isc_interprete(buffer.get(), &cursor) <= 0) break;
        if (!text.empty() && text.back() != u'\n') text += u"\r\n";
        // A message without a NUL fills the whole buffer.
        const size_t length = strnlen(buffer.get(), kMessageBufferSize);
        text += decoding.GetString(buffer.get(), length);
    }
    if (!text.empty() && text.back() == u'.') text.pop_back();
    return text;
}

bool EIBError::HasStatusCode(int64_t code) const noexcept {
    return std::find(FStatusCodes.begin(), FStatusCodes.end(), code) != FStatusCodes.end();
}

std::optional<int64_t> EIBError::NumberAfter(int64_t code) const noexcept {
    const auto at = std::find(FStatusCodes.begin(), FStatusCodes.end(), code);
    if (at == FStatusCodes.end() || at + 1 == FStatusCodes.end()) return std::nullopt;
    return *(at + 1);
}

namespace {

// Calls each(code) for every error code and number (an operating system's
// error number among them) of the calling thread's status vector, never
// reading past its end whatever its content. With NumericText, a text
// argument made of digits counts as a number too: the server sends numbers
// that may exceed 32 bits (transaction numbers) as text.
template <class Each>
void ForEachStatusCode(bool NumericText, Each each) {
    const ISC_STATUS *status = StatusVector();
    size_t i = 0;
    while (i < ISC_STATUS_LENGTH && status[i] != isc_arg_end) {
        const ISC_STATUS type = status[i];
        if (type == isc_arg_gds || type == isc_arg_number || type == isc_arg_unix) {
            if (i + 1 < ISC_STATUS_LENGTH && each(status[i + 1])) return;
            i += 2;
        } else if (type == isc_arg_cstring) {
            i += 3;
        } else {
            if (type == isc_arg_string && NumericText && i + 1 < ISC_STATUS_LENGTH && status[i + 1] != 0) {
                const char *text = reinterpret_cast<const char *>(status[i + 1]);
                const size_t length = strnlen(text, 20);
                if (length > 0 && length < 19 && strspn(text, "0123456789") == length &&
                    each(static_cast<ISC_STATUS>(std::strtoll(text, nullptr, 10))))
                    return;
            }
            i += 2;
        }
    }
}

}  // namespace

void RaiseServerError(IGDSLibrary *library, const TEncoding *Encoding) {
    std::shared_ptr<IGDSLibrary> fallback;
    if (library == nullptr) {
        fallback = FindServerLibrary(u"IBServer");
        library = fallback.get();
    }
    int32_t sqlCode = 0;
    int32_t errorCode = 0;
    std::vector<int64_t> codes;
    ForEachStatusCode(true, [&codes](ISC_STATUS code) {
        codes.push_back(code);
        return false;
    });
    String text = ComposeServerErrorText(*library, sqlCode, errorCode, Encoding);
    if (sqlCode == -551) {
        EIBInterBaseRoleError error(sqlCode, errorCode, std::move(text));
        error.SetStatusCodes(std::move(codes));
        throw error;
    }
    EIBInterBaseError error(sqlCode, errorCode, std::move(text));
    error.SetStatusCodes(std::move(codes));
    throw error;
}

bool StatusVectorHas(std::initializer_list<ISC_STATUS> codes) {
    bool found = false;
    ForEachStatusCode(false, [&](ISC_STATUS entry) {
        for (ISC_STATUS code : codes)
            if (entry == code) found = true;
        return found;
    });
    return found;
}

}  // namespace vantrel
