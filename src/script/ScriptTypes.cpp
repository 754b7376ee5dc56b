// The names a listing gives the statement kinds.
#include "script/ScriptTypes.h"

namespace vantrel {

const char *ParseKindName(TIBParseKind Kind) {
    switch (Kind) {
    case stmtDDL: return "DDL";
    case stmtDML: return "DML";
    case stmtSET: return "SET";
    case stmtCONNECT: return "CONNECT";
    case stmtDrop: return "DROP DATABASE";
    case stmtCREATE: return "CREATE DATABASE";
    case stmtINPUT: return "INPUT";
    case stmtUNK: return "UNKNOWN";
    case stmtEMPTY: return "EMPTY";
    case stmtTERM: return "SET TERM";
    case stmtERR: return "ERROR";
    case stmtCOMMIT: return "COMMIT";
    case stmtROLLBACK: return "ROLLBACK";
    case stmtReconnect: return "RECONNECT";
    case stmtRollbackSavePoint: return "ROLLBACK TO SAVEPOINT";
    case stmtReleaseSavePoint: return "RELEASE SAVEPOINT";
    case stmtStartSavepoint: return "SAVEPOINT";
    case stmtCOMMITRetaining: return "COMMIT RETAINING";
    case stmtROLLBACKRetaining: return "ROLLBACK RETAINING";
    case stmtBatchStart: return "BATCH START";
    case stmtBatchExecute: return "BATCH EXECUTE";
    case stmtServerSET: return "SERVER SET";
    case stmtSetTransaction: return "SET TRANSACTION";
    case stmtIsqlCommand: return "ISQL COMMAND";
    case stmtExit: return "EXIT";
    case stmtQuit: return "QUIT";
    }
    return "?";
}

}  // namespace vantrel
