// Statements run with fewer round trips to the server than a statement
// object's prepare and execute: a statement that returns nothing in one call
// (the server prepares and runs it at once), and a group of statements
// written as one EXECUTE BLOCK, prepared and run as one request.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Strings.h"

namespace vantrel {

class TIBDatabase;
class TIBTransaction;

// The bytes a statement object sends for this text: its lines, each followed
// by CR LF, in the connection's character set. A character the character set
// cannot represent raises client error 125, as a statement object's prepare
// does.
std::string StatementBytesAsSent(const TIBDatabase &Database, StringView Text);

// Runs a statement that returns nothing in Transaction, without a separate
// prepare. The checks (connection assigned and open, transaction assigned and
// active) and the errors are those of a statement object's prepare and
// execute, and the text goes out as such an object sends it.
void ExecuteDirectly(TIBDatabase *Database, TIBTransaction *Transaction, StringView Text);

// What became of a block of statements.
struct TBlockRun {
    // False when the server did not accept the block as a statement (too
    // large a request, or a statement in it that does not compile): nothing
    // of it ran.
    bool Prepared = false;
};

// Prepares the encoded EXECUTE BLOCK text and runs it in Transaction. When
// running fails, the error is raised without the block's own frame ("At block
// line: N, col: M"), which is what the statement it names would have given
// run alone; FailedLine receives N first (0 when the error names no line of
// the block, and then the error is raised as the server gave it).
TBlockRun RunStatementBlock(TIBDatabase *Database, TIBTransaction *Transaction, const std::string &BlockBytes,
                            int32_t &FailedLine);

}  // namespace vantrel
