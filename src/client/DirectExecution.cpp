// Statements run in fewer round trips: without a separate prepare, and as
// blocks of statements in one request whose failures are told as the
// failing statement itself would tell them.
#include "client/DirectExecution.h"

#include <ibase.h>

#include <cstring>
#include <vector>

#include "client/GDSLibrary.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBTransaction.h"
#include "client/OwnedHandles.h"
#include "platform/Encoding.h"

namespace vantrel {

namespace {

// What a statement object checks before it prepares.
void CheckConnectionAndTransaction(TIBDatabase *Database, TIBTransaction *Transaction) {
    if (!Database) RaiseClientError(ClientError::DatabaseNotAssigned);
    Database->CheckActive();
    if (!Transaction) RaiseClientError(ClientError::TransactionNotAssigned);
    Transaction->CheckInTransaction();
}

IGDSLibrary &LibraryOf(TIBDatabase &Database) {
    IGDSLibrary *lib = Database.GDSLibrary();
    if (!lib) RaiseClientError(ClientError::DatabaseNotAssigned);
    return *lib;
}

constexpr char kBlockFramePrefix[] = "At block line: ";

// The string argument of the status cluster at index i (an isc_arg_string
// or isc_arg_cstring entry), or null.
const char *StringArgument(const ISC_STATUS *status, size_t i, size_t &length) {
    if (i + 1 >= ISC_STATUS_LENGTH) return nullptr;
    if (status[i] == isc_arg_string || status[i] == isc_arg_interpreted || status[i] == isc_arg_sql_state) {
        const char *text = reinterpret_cast<const char *>(status[i + 1]);
        length = text ? std::strlen(text) : 0;
        return text;
    }
    if (status[i] == isc_arg_cstring && i + 2 < ISC_STATUS_LENGTH) {
        length = static_cast<size_t>(status[i + 1]);
        return reinterpret_cast<const char *>(status[i + 2]);
    }
    return nullptr;
}

size_t ClusterSize(const ISC_STATUS *status, size_t i) { return status[i] == isc_arg_cstring ? 3 : 2; }

// Reads "At block line: N, col: M" at the start of text; N, or 0.
int32_t BlockLineOf(const char *text, size_t length) {
    const size_t prefix = sizeof kBlockFramePrefix - 1;
    if (length <= prefix || std::memcmp(text, kBlockFramePrefix, prefix) != 0) return 0;
    int64_t line = 0;
    size_t i = prefix;
    for (; i < length && text[i] >= '0' && text[i] <= '9' && line < 1000000000; ++i) line = line * 10 + (text[i] - '0');
    if (i == prefix || i >= length || text[i] != ',') return 0;
    return static_cast<int32_t>(line);
}

// The outermost frame of a stack trace names the block's line: the trace is
// one text whose lines are the frames, innermost first. Finds it in the
// calling thread's status vector and takes it out (the whole trace entry when
// it was the only frame); the shortened trace text is kept in Kept, which
// the vector then points to. Returns the block line, or 0 when there is none.
int32_t TakeOutBlockFrame(std::string &Kept) {
    ISC_STATUS *status = StatusVector();
    size_t i = 0;
    while (i + 1 < ISC_STATUS_LENGTH && status[i] != isc_arg_end) {
        if (status[i] == isc_arg_gds && status[i + 1] == isc_stack_trace) {
            const size_t argument = i + 2;
            size_t length = 0;
            const char *text = argument < ISC_STATUS_LENGTH ? StringArgument(status, argument, length) : nullptr;
            if (!text) return 0;
            const std::string trace(text, length);
            const size_t lastBreak = trace.rfind('\n');
            const size_t frameStart = lastBreak == std::string::npos ? 0 : lastBreak + 1;
            const int32_t line = BlockLineOf(trace.data() + frameStart, trace.size() - frameStart);
            if (line == 0) return 0;
            const size_t next = argument + ClusterSize(status, argument);
            if (lastBreak == std::string::npos) {
                // Only the block's frame: the entry goes, the rest moves up.
                size_t to = i, from = next;
                while (from < ISC_STATUS_LENGTH && status[from] != isc_arg_end) status[to++] = status[from++];
                while (to < ISC_STATUS_LENGTH) status[to++] = isc_arg_end;
            } else {
                Kept.assign(trace, 0, lastBreak);
                // The argument becomes a plain string of the same place; a
                // counted one takes one entry more, which is freed.
                const bool counted = status[argument] == isc_arg_cstring;
                status[argument] = isc_arg_string;
                status[argument + 1] = reinterpret_cast<ISC_STATUS>(Kept.c_str());
                if (counted) {
                    size_t to = argument + 2, from = next;
                    while (from < ISC_STATUS_LENGTH && status[from] != isc_arg_end) status[to++] = status[from++];
                    while (to < ISC_STATUS_LENGTH) status[to++] = isc_arg_end;
                }
            }
            return line;
        }
        const size_t step = status[i] == isc_arg_gds || status[i] == isc_arg_number ? 2 : ClusterSize(status, i);
        i += step;
    }
    return 0;
}

}  // namespace

std::string StatementBytesAsSent(const TIBDatabase &Database, StringView Text) {
    std::shared_ptr<const TEncoding> encoding = Database.Encoding() ? Database.Encoding() : AnsiEncoding();
    std::string bytes;
    bytes.reserve(Text.size() + 2);
    TLineReader reader(Text);
    StringView line;
    while (reader.Next(line)) {
        AppendServerText(*encoding, Database.CharacterSet(), line, bytes);
        bytes += "\r\n";
    }
    return bytes;
}

void ExecuteDirectly(TIBDatabase *Database, TIBTransaction *Transaction, StringView Text) {
    CheckConnectionAndTransaction(Database, Transaction);
    IGDSLibrary &lib = LibraryOf(*Database);
    const std::string bytes = StatementBytesAsSent(*Database, Text);
    isc_db_handle db = Database->Handle();
    isc_tr_handle tr = Transaction->Handle();
    Transaction->Call(lib.isc_dsql_execute_immediate(StatusVector(), &db, &tr, 0, bytes.c_str(),
                                                     static_cast<unsigned short>(Database->SQLDialect()), nullptr),
                      true);
}

TBlockRun RunStatementBlock(TIBDatabase *Database, TIBTransaction *Transaction, const std::string &BlockBytes,
                            int32_t &FailedLine) {
    FailedLine = 0;
    CheckConnectionAndTransaction(Database, Transaction);
    IGDSLibrary &lib = LibraryOf(*Database);
    const auto dialect = static_cast<unsigned short>(Database->SQLDialect());
    isc_db_handle db = Database->Handle();
    isc_tr_handle tr = Transaction->Handle();
    // The statement is never left prepared, whatever happens below.
    TStatementHandle statement(lib, *Database);
    Transaction->Call(lib.isc_dsql_allocate_statement(StatusVector(), &db, statement.Address()), true);
    TBlockRun run;
    const ISC_STATUS prepared =
        lib.isc_dsql_prepare(StatusVector(), &tr, statement.Address(), 0, BlockBytes.c_str(), dialect, nullptr);
    if (prepared != 0) {
        // A lost connection is reported as such; any other refusal means
        // that the block did not compile, and nothing ran.
        if (StatusVectorHas({kConnectionLost, kNetworkError, kNetworkReadError, kNetworkWriteError}))
            Transaction->Call(prepared, true);
        return run;
    }
    run.Prepared = true;
    const ISC_STATUS result = lib.isc_dsql_execute(StatusVector(), &tr, statement.Address(), dialect, nullptr);
    if (result == 0) return run;
    std::string kept;
    FailedLine = TakeOutBlockFrame(kept);
    Transaction->Call(result, true);
    return run;
}

}  // namespace vantrel
