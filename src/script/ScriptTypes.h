// The words the script runner and its users share: the kinds of
// statements, where a statement stands in its script, how far a run has
// come, and the statement that a failure met, which travels in the failure.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Text.h"

namespace vantrel {

// Statement kinds. The ordinals are fixed; stmtUNK is never produced but
// keeps its place.
enum TIBParseKind : int32_t {
    stmtDDL,
    stmtDML,
    stmtSET,
    stmtCONNECT,
    stmtDrop,
    stmtCREATE,
    stmtINPUT,
    stmtUNK,
    stmtEMPTY,
    stmtTERM,
    stmtERR,
    stmtCOMMIT,
    stmtROLLBACK,
    stmtReconnect,
    stmtRollbackSavePoint,
    stmtReleaseSavePoint,
    stmtStartSavepoint,
    stmtCOMMITRetaining,
    stmtROLLBACKRetaining,
    stmtBatchStart,
    stmtBatchExecute,
    stmtServerSET,
    stmtSetTransaction,
    // Never handed on: an isql session command that only shapes isql's own
    // output (SET ECHO, SHOW ..., OUTPUT ...), skipped; and EXIT, which
    // ends the script as its end would.
    stmtIsqlCommand,
    stmtExit,
    // QUIT: handed on (the owner rolls back what is not committed), then the
    // script ends.
    stmtQuit
};

// Where a statement stands in the script: the file (the main script or a
// file named by INPUT), the 1-based line of its first word in that file and
// that line from the first word on, shortened when long.
struct TScriptLocation {
    String FileName;        // as loaded or resolved; empty for lines not read from a file
    bool Included = false;  // in a file named by INPUT rather than the main script
    int32_t Line = 0;       // 0: no statement read yet
    String FirstLine;
};

// What follows a problem's text wherever one is shown: " at line 12: MERGE
// INTO T ..." or, with the file, " in "a.sql" at line 3: ...".
String LocationText(const TScriptLocation &Where, bool WithFile);
// The text of a problem the parser reports, one line: the problem, the file
// when it is not the main script, the line and the statement's first line.
String ParseProblemText(const String &Error, const TScriptLocation &Where);

// The name a listing gives a kind ("DDL", "SET TERM", "ROLLBACK TO
// SAVEPOINT").
const char *ParseKindName(TIBParseKind Kind);

// Where a run stands when a statement is about to be carried out.
struct TIBScriptProgress {
    int32_t Statement = 0;  // 1 for the first statement of the run
    // Where the statement is: its first word's line in the file holding it,
    // the main script or a file it included.
    int32_t Line = 0;
    bool Included = false;
    String FileName;        // the included file's name (empty for the main script)
    int32_t LinesRead = 0;  // lines of the main script read so far
    int32_t LineCount = 0;  // lines of the main script
};

// The statement a failure met while a script ran: where it stands and its
// text. The script runner adds it to the failure (Exception::FailedStatement)
// as the failure passes through; the failure keeps its type and message.
struct TFailedStatement {
    TScriptLocation Where;
    std::shared_ptr<const String> Text;
};

}  // namespace vantrel
