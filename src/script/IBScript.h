// TIBScript: runs an update script. The parser cuts the script into
// classified statements and calls back for each; the script carries DDL and
// DML out through statement objects on its connection and transactions, and
// handles its own directives (commits, savepoints, SET, batches, and the
// database directives CONNECT, RECONNECT, CREATE and DROP DATABASE).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Component.h"
#include "platform/Strings.h"
#include "platform/Text.h"
#include "script/IBSQLParser.h"
#include "script/IBScriptStats.h"
#include "script/StatementBatch.h"

namespace vantrel {

class TIBDatabase;
class TIBTransaction;
class TIBSQL;
class TIBXSQLDA;
class TIBXSQLVAR;
class TIBScript;

// Event types of the script (OnParse and OnParseError take the parser's
// callback types, with the script as Sender).
using TIBSQLExecuteError = std::function<void(TComponent *Sender, const String &Error,
                                              const String &SQLText, int32_t LineIndex,
                                              bool &Ignore)>;
using TIBScriptParamCheck = std::function<void(TIBScript *Sender, bool &Pause)>;

// Script batches (EIBError with SQL code -1).
inline constexpr const char16_t *kBatchOnlyDDLAndDMLMessage =
    u"Only DDL and DML (excluding Select statements) allowed within a Batch block";

using TIBScriptStatementEvent = std::function<void(TIBScript *Sender, TIBParseKind AKind, const String &SQLText,
                                                   const TIBScriptProgress &Progress)>;

class TIBScript : public TComponent {
public:
    explicit TIBScript(TComponent *AOwner);
    ~TIBScript() override;

    TIBDatabase *Database() const { return FDatabase; }
    void SetDatabase(TIBDatabase *value);
    TIBTransaction *Transaction() const { return FTransaction; }
    void SetTransaction(TIBTransaction *value);

    const String &Terminator() const { return FTerminator; }
    void SetTerminator(const String &value);

    // The parser's line list: a caller may load a file straight into it.
    TStringList &Script();
    void SetScript(const TStringList &value);
    // Loads the file into the script; its INPUT statements name files
    // relative to its folder.
    void LoadScriptFile(const String &FileName);
    // For a script run once: its lines are let go as they are read.
    void SetReleaseReadLines(bool value);

    // Seconds a transaction of the script's own (the DDL transaction, and
    // that of a connection the script opens itself) waits for a lock held
    // by another connection before the statement fails; 0: no wait at all.
    // Unset (the default), they wait as long as the lock is held.
    void SetLockTimeout(int32_t Seconds);
    // Runs of plain DML statements go to the server together, as one request
    // (see StatementBatch.h), while no OnExecuteError handler needs to hear
    // of each statement on its own. A failure is reported as the failing
    // statement alone would report it, but what the statements before it in
    // the same request did is undone with it: for owners that roll back on
    // any failure, as UpdateDB does. Off at creation.
    bool CombineDML() const { return FCombineDML; }
    void SetCombineDML(bool value) { FCombineDML = value; }
    // Requests that carried combined statements in this object's runs.
    size_t CombinedRequests() const { return FBatch.Requests(); }

    bool AutoDDL() const { return FAutoDDL; }
    void SetAutoDDL(bool value) { FAutoDDL = value; }
    bool Statistics() const { return FStatsOn; }
    void SetStatistics(bool value);

    bool Paused() const;
    void SetPaused(bool value);

    // The dialect the script applies to its connection (SET SQL DIALECT).
    int32_t SQLDialect() const { return FSQLDialect; }
    // SET MAXROWS (SET ROWCOUNT): rows fetched of a query at most; 0 for all.
    int32_t MaxRows() const { return FMaxRows; }
    // SET PLANONLY, as the parser follows it.
    bool PlanOnly() const;
    bool Validating() const { return FValidating; }
    bool Executing() const { return FExecuting; }

    TIBScriptStats &Stats() { return *FStats; }
    // The DML statement object's parameters, for OnParamCheck handlers.
    TIBXSQLDA &Params();
    TIBXSQLVAR *ParamByName(const String &name);
    // Tokens of the statement being handled (the parser's list).
    const TStringList &CurrentTokens() const;
    // Where the statement being handled, or the one the run stopped at, is:
    // file, line and first line.
    TScriptLocation CurrentLocation() const;
    // When the statement being handled (or the last one) was handed over.
    std::chrono::steady_clock::time_point StatementStarted() const { return FStatementStarted; }
    // The statements of the last run whose work was committed when they ran
    // and stays whatever happens later: DDL committed on its own (AutoDDL),
    // and the script's COMMIT directives, which commit everything before
    // them (so do CONNECT and RECONNECT, which commit by closing). In the order
    // they ran.
    const std::vector<TScriptLocation> &CommittedStatements() const { return FCommitted; }

    // Runs the script. A database error leaves as the exception unless
    // OnExecuteError is assigned; a parse error ends the run quietly.
    void ExecuteScript();
    // Parses the whole script without carrying anything out.
    bool ValidateScript();

    TIBSQLParseStmt OnParse;
    TIBSQLParseError OnParseError;
    TIBSQLExecuteError OnExecuteError;
    TIBScriptParamCheck OnParamCheck;
    // Before each statement of a run is carried out (not while validating),
    // for hosts that show progress or echo the statements.
    TIBScriptStatementEvent OnStatementStart;

    void Notification(TComponent *AComponent, TOperation Operation) override;

protected:
    virtual void ExecuteDML(const String &SQLText);
    virtual void ExecuteDDL(const String &SQLText);
    virtual void ExecuteSetStatement(const String &SQLText);
    virtual void ConnectDatabase(const String &SQLText);
    virtual void CreateNewDatabase(const String &SQLText);
    virtual void ReconnectDatabase(const String &SQLText);
    virtual void DropCurrentDatabase(const String &SQLText);
    virtual void ExecuteServerSet(const String &SQLText);
    virtual void ExecuteSetTransaction(const String &SQLText);

private:
    void HandleStatement(TIBParseKind AKind, const String &SQLText);
    void HandleParseError(const String &Error, const String &SQLText, int32_t LineIndex);
    // Runs an action under the handling of database errors: OnExecuteError
    // decides, or the error leaves. *resume turns false when the run ends.
    void GuardStatement(const String &SQLText, const std::function<void()> &action, bool *resume = nullptr);
    // Runs (or resumes) a run: on an exception the script's own
    // transaction is rolled back and the DML statement object freed.
    void RunGuarded(const std::function<void()> &run);
    void CarryOut(TIBParseKind AKind, const String &SQLText);
    // Takes a step of the run statistics, whose failure does not fail the
    // run (unless it lost the connection).
    void Measure(const std::function<void()> &step);
    // Statements waiting in the batch run now; a failure names the failing
    // one's place (CurrentLocation) and leaves as any statement's failure.
    void RunBatch();
    bool Combining() const {
        return FCombineDML && !OnExecuteError && !FValidating && !InBatch && !FSQLParser->PlanOnly();
    }
    // The DDL transaction is kept across the statements that AutoDDL
    // commits (retaining); it ends before anything that needs it gone and
    // at the end of a run.
    void EndDDLTransaction();
    void EndDDLTransactionQuietly() noexcept;
    void HandleBatchStatement(TIBParseKind AKind, const String &SQLText);
    void ExecuteBatch();
    void EndTransactions(int action);
    void Savepoint(int kind, const String &name);
    String SavepointName() const;
    bool ClientHasSavepoints();
    TIBTransaction *CheckScriptTransaction();
    void LoadDMLStatement(const String &SQLText);
    // Executes the loaded DML statement, fetches a query's rows to their end
    // (or to MaxRows) and lets the statement go, whatever happens.
    void RunDMLStatement();
    void ReleaseDMLStatement() noexcept;
    // SET PLANONLY: the statement is prepared as it stands, and let go.
    void PrepareOnly(const String &SQLText);
    static bool PreparedUnderPlanOnly(TIBParseKind AKind);
    // Starts the script's transaction, as the last SET TRANSACTION said when
    // SET KEEP_TRAN_PARAMS keeps it.
    void StartScriptTransaction(TIBTransaction *tr);
    void EnsureDMLQuery();
    void FreeDMLQuery();
    void RollbackOwnTransaction() noexcept;
    void BoundLockWaits(TIBTransaction *tr) const;

    // Database directives.
    void CreateOwnConnection();
    void NoteClosingCommit();
    bool HasExtendedCreateOptions() const;
    void AddConnectParams(int first);
    static String StripQuotes(const String &text);

    TIBSQLParser *FSQLParser = nullptr;
    bool FAutoDDL = true;
    bool FStatsOn = true;
    TIBDatabase *FDatabase = nullptr;
    TIBTransaction *FDDLTransaction = nullptr;
    TIBTransaction *FTransaction = nullptr;
    String FTerminator;
    TIBSQL *FDDLQuery = nullptr;
    TIBSQL *FDMLQuery = nullptr;
    bool FContinue = true;
    bool FValidate = false;
    bool FValidating = false;
    std::unique_ptr<TIBScriptStats> FStats;
    int32_t FSQLDialect = 3;
    int32_t FMaxRows = 0;
    // SET KEEP_TRAN_PARAMS, and the SET TRANSACTION statement it keeps.
    bool FKeepTransactionParams = false;
    String FKeptSetTransaction;
    String FCharSet;
    TIBParseKind FCurrentStmt = stmtEMPTY;
    int32_t FStatementCount = 0;  // statements handed over in this run
    bool FExecuting = false;
    // A DML statement whose parameters OnParamCheck wants to fill first;
    // resuming (Paused := false) executes it.
    bool FPendingDML = false;
    bool InBatch = false;
    std::vector<std::vector<char>> FBatchBuffer;
    std::optional<int32_t> FLockTimeout;
    std::chrono::steady_clock::time_point FStatementStarted;
    std::vector<TScriptLocation> FCommitted;
    bool FCombineDML = false;
    TStatementBatch FBatch;
    // Where the statement that failed inside a batch is, when it was not the
    // statement being handled.
    std::optional<TScriptLocation> FFailedLocation;
};

}  // namespace vantrel
