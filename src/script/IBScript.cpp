// The script executor: runs what the parser hands it, statement by
// statement. DDL goes through a statement object of its own, committed at
// once while AutoDDL is on; DML goes through a statement object that lives
// for one run, in the script's transaction, which the executor never
// commits on its own. As in isql-fb, every statement is let go once it ran
// and a query's rows are fetched to their end; SET TRANSACTION, SET
// PLANONLY, SET MAXROWS and SET KEEP_TRAN_PARAMS are carried out. The
// database directives are in IBScriptDirectives.cpp.
#include "script/IBScript.h"

#include <ibase.h>

#include <algorithm>

#include "client/DirectExecution.h"
#include "client/GDSLibrary.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "client/IBXSQLDA.h"
#include "client/TPB.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Finally.h"

namespace vantrel {

namespace {

// Client versions from which the binding has the savepoint entry points.
constexpr int64_t kSavepointClientVersion = 71000;

// Adds the statement it met to a failure on its way out of the run, unless
// it carries one already (the innermost place that knows wins). Failures
// that are not the library's carry nothing.
void NoteFailedStatement(std::exception_ptr Failure, const TScriptLocation &Where, std::shared_ptr<const String> Text) {
    try {
        std::rethrow_exception(Failure);
    } catch (Exception &e) {
        if (!e.FailedStatement())
            e.SetFailedStatement(std::make_shared<const TFailedStatement>(TFailedStatement{Where, std::move(Text)}));
    }
}

}  // namespace

TIBScript::TIBScript(TComponent *AOwner) : TComponent(AOwner) {
    FSQLParser = new TIBSQLParser(this);
    FSQLParser->SetOnParse([this](TComponent *, TIBParseKind AKind, const String &SQLText) {
        // A failure leaves carrying the statement it met and where that
        // stands, so that whoever reports it need not ask the script.
        try {
            HandleStatement(AKind, SQLText);
        } catch (Exception &) {
            if (!FValidating)
                Quietly([&] {
                    NoteFailedStatement(std::current_exception(), CurrentLocation(), FSQLParser->SharedText(SQLText));
                });
            throw;
        }
    });
    FSQLParser->SetOnError([this](TComponent *, const String &Error, const String &SQLText, int32_t LineIndex) {
        HandleParseError(Error, SQLText, LineIndex);
    });
    FTerminator.clear();
    SetTerminator(u";");
    FDDLTransaction = new TIBTransaction(this);
    // Read committed: the transaction lives on across the statements it
    // commits (retaining), and each statement must see what was committed
    // before it, as a transaction started just for it would.
    FDDLTransaction->Params().Add(u"read_committed");
    FDDLTransaction->Params().Add(u"rec_version");
    FDDLTransaction->Params().Add(u"wait");
    FDDLQuery = new TIBSQL(this);
    FDDLQuery->SetParamCheck(false);
    FAutoDDL = true;
    FStatsOn = true;
    FStats = std::make_unique<TIBScriptStats>();
    FStats->SetDatabase(FDatabase);
    FSQLDialect = 3;
    InBatch = false;
}

TIBScript::~TIBScript() {
    // Owned components (own connection and transaction, statement objects,
    // parser) go while this object can still hear their removal.
    FreeDMLQuery();
    BeginDestruction();
    FStats.reset();
}

TStringList &TIBScript::Script() { return FSQLParser->Script(); }

void TIBScript::SetScript(const TStringList &value) { FSQLParser->SetScript(value); }

void TIBScript::LoadScriptFile(const String &FileName) { FSQLParser->LoadFromFile(FileName); }

void TIBScript::SetReleaseReadLines(bool value) { FSQLParser->SetReleaseReadLines(value); }

void TIBScript::SetTerminator(const String &value) {
    if (value == FTerminator) return;
    FTerminator = value;
    FSQLParser->SetTerminator(value);
}

void TIBScript::SetDatabase(TIBDatabase *value) {
    if (value == FDatabase) return;
    if (FDatabase && FDatabase->Owner() != this) RemoveFreeNotification(FDatabase);
    FDatabase = value;
    if (FDatabase) FreeNotification(FDatabase);
    FDDLQuery->SetDatabase(value);
    FDDLTransaction->SetDefaultDatabase(value);
    FStats->SetDatabase(value);
    if (!FTransaction && value) SetTransaction(value->DefaultTransaction());
    if (FDMLQuery) FDMLQuery->SetDatabase(value);
}

void TIBScript::SetTransaction(TIBTransaction *value) {
    if (value != FTransaction) {
        if (FTransaction && FTransaction->Owner() != this) RemoveFreeNotification(FTransaction);
        FTransaction = value;
        if (FTransaction) FreeNotification(FTransaction);
    }
    if (FDMLQuery) FDMLQuery->SetTransaction(value);
    if (!FDatabase && value) SetDatabase(value->DefaultDatabase());
}

void TIBScript::SetLockTimeout(int32_t Seconds) {
    FLockTimeout = Seconds;
    BoundLockWaits(FDDLTransaction);
    if (FTransaction && FTransaction->Owner() == this) BoundLockWaits(FTransaction);
}

void TIBScript::BoundLockWaits(TIBTransaction *tr) const {
    if (!FLockTimeout || !tr) return;
    TStringList &params = tr->Params();
    // A block without items means the server's defaults; they are spelled
    // out once the block carries the lock timeout.
    if (params.Count() == 0) {
        params.Add(u"concurrency");
        params.Add(u"write");
    }
    SetLockTimeoutParams(params, *FLockTimeout);
}

void TIBScript::SetStatistics(bool value) {
    if (value == FStatsOn) return;
    FStatsOn = value;
    if (!FExecuting) return;
    if (value) FStats->Start();
    else FStats->Stop();
}

bool TIBScript::Paused() const { return FSQLParser->Paused(); }

bool TIBScript::PlanOnly() const { return FSQLParser->PlanOnly(); }

void TIBScript::SetPaused(bool value) {
    if (value || !FSQLParser->Paused()) {
        FSQLParser->SetPaused(value);
        return;
    }
    // Resuming: the statements that follow need the DML statement object,
    // which a pause keeps alive (or which an earlier pause let go).
    RunGuarded([this] {
        EnsureDMLQuery();
        FSQLParser->SetParamMarkersAllowed(static_cast<bool>(OnParamCheck));
        if (FPendingDML) {
            FPendingDML = false;
            bool resume = true;
            GuardStatement(FDMLQuery->SQL().Text(), [this] { RunDMLStatement(); }, &resume);
            if (!resume) return;
        }
        FSQLParser->SetPaused(false);
        RunBatch();
        EndDDLTransaction();
    });
}

TIBXSQLDA &TIBScript::Params() {
    if (!FDMLQuery) RaiseClientError(ClientError::InvalidStatementHandle);
    return FDMLQuery->Params();
}

TIBXSQLVAR *TIBScript::ParamByName(const String &name) {
    if (!FDMLQuery) RaiseClientError(ClientError::InvalidStatementHandle);
    return FDMLQuery->ParamByName(name);
}

const TStringList &TIBScript::CurrentTokens() const { return FSQLParser->CurrentTokens(); }

TScriptLocation TIBScript::CurrentLocation() const {
    return FFailedLocation ? *FFailedLocation : FSQLParser->CurrentLocation();
}

void TIBScript::Notification(TComponent *AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    // Only pointers are compared: the other component is half destroyed.
    if (AComponent == FDatabase) {
        FDatabase = nullptr;
        FStats->SetDatabase(nullptr);
    }
    if (AComponent == FTransaction) FTransaction = nullptr;
    if (AComponent == FDMLQuery) {
        FDMLQuery = nullptr;
        FPendingDML = false;
    }
    if (AComponent == FDDLQuery) FDDLQuery = nullptr;
    if (AComponent == FDDLTransaction) FDDLTransaction = nullptr;
    if (AComponent == FSQLParser) FSQLParser = nullptr;
}

// --- running ---

void TIBScript::EnsureDMLQuery() {
    if (FDMLQuery) return;
    // The script owns the statement object (its connection may be replaced
    // by CONNECT during the run); it is bound to the script's connection and
    // transaction.
    FDMLQuery = new TIBSQL(this);
    FDMLQuery->SetDatabase(FDatabase);
    if (FTransaction) FDMLQuery->SetTransaction(FTransaction);
}

void TIBScript::FreeDMLQuery() {
    FPendingDML = false;
    if (!FDMLQuery) return;
    TIBSQL *query = FDMLQuery;
    FDMLQuery = nullptr;
    delete query;
}

void TIBScript::RollbackOwnTransaction() noexcept {
    // A failed run leaves nothing of its DML behind in a transaction the
    // script owns: nobody else would end it, and its default action when
    // the script goes away would be a commit.
    if (!FTransaction || FTransaction->Owner() != this || !FTransaction->InTransaction()) return;
    try {
        FTransaction->Rollback();
    } catch (...) {
        // The error that ended the run is the one to report.
    }
}

void TIBScript::RunGuarded(const std::function<void()> &run) {
    // A handler may resume the parser from inside a run (pausing and
    // resuming in one callback); only the outermost run cleans up, since
    // the frames below it still use the statement object.
    if (FExecuting) {
        run();
        return;
    }
    FExecuting = true;
    try {
        run();
    } catch (...) {
        FExecuting = false;
        FBatch.Clear();
        EndDDLTransactionQuietly();
        RollbackOwnTransaction();
        FreeDMLQuery();
        throw;
    }
    FExecuting = false;
    // A statement waiting for its parameters keeps its statement object
    // until the run is resumed.
    if (!FPendingDML) FreeDMLQuery();
}

void TIBScript::Measure(const std::function<void()> &step) {
    // The statistics only report on the run: a measurement that cannot be
    // taken leaves them incomplete and the run as it is. Only a failure that
    // cost the connection (which is then closed and its transactions rolled
    // back) is the run's own: the work cannot be committed any more.
    TIBDatabase *db = FDatabase;
    try {
        step();
    } catch (...) {
        if (db && FDatabase == db && !db->Connected()) throw;
    }
}

void TIBScript::ExecuteScript() {
    FContinue = true;
    FStatementCount = 0;
    FCommitted.clear();
    FCharSet.clear();
    FMaxRows = 0;
    FKeepTransactionParams = false;
    FKeptSetTransaction.clear();
    // Values for parameter markers come only from an OnParamCheck handler.
    FSQLParser->SetParamMarkersAllowed(static_cast<bool>(OnParamCheck));
    InBatch = false;
    FBatchBuffer.clear();
    FBatch.Clear();
    FFailedLocation.reset();
    FreeDMLQuery();
    RunGuarded([this] {
        EnsureDMLQuery();
        FStats->Clear();
        if (FStatsOn && FDatabase && FDatabase->Connected()) Measure([this] { FStats->Start(); });
        FSQLParser->Parse();
        RunBatch();
        EndDDLTransaction();
        if (FStatsOn) Measure([this] { FStats->Stop(); });
    });
    // Statements collected for a batch that never ran are dropped.
    InBatch = false;
    FBatchBuffer.clear();
}

bool TIBScript::ValidateScript() {
    FValidating = true;
    FValidate = true;
    // Validation carries nothing out, so the terminator that execution
    // starts from must not be moved by a SET TERM met on the way.
    const String terminator = FSQLParser->Terminator();
    FSQLParser->SetParamMarkersAllowed(static_cast<bool>(OnParamCheck));
    try {
        FSQLParser->Parse();
    } catch (...) {
        FValidating = false;
        FSQLParser->SetTerminator(terminator);
        throw;
    }
    const bool result = FValidate;
    FValidating = false;
    FSQLParser->SetTerminator(terminator);
    return result;
}

void TIBScript::GuardStatement(const String &SQLText, const std::function<void()> &action, bool *resume) {
    try {
        action();
    } catch (const EIBError &e) {
        FContinue = false;
        FValidate = false;
        if (!OnExecuteError) throw;
        bool ignore = false;
        OnExecuteError(this, e.Message(), SQLText, FSQLParser->CurrentLine(), ignore);
        FContinue = ignore;
        if (!ignore) {
            FSQLParser->SetPaused(true);
            if (resume) *resume = false;
        }
    }
}

void TIBScript::HandleStatement(TIBParseKind AKind, const String &SQLText) {
    FCurrentStmt = AKind;
    std::optional<TStatementBatch::TEntry> joining;
    if (!FValidating) {
        FFailedLocation.reset();
        if (Combining() && AKind == stmtDML && FDatabase) {
            const TStatementShape shape = InspectStatement(SQLText);
            if (shape.Joinable) {
                try {
                    joining.emplace();
                    joining->Bytes = StatementBytesAsSent(*FDatabase, SQLText);
                    joining->Contexts = shape.Contexts;
                    joining->Where = FSQLParser->CurrentLocation();
                } catch (const EIBError &) {
                    // Text the connection cannot carry fails when the
                    // statement runs alone, after the ones before it.
                    joining.reset();
                }
            }
        }
        // What waits in the batch runs before anything else happens, so that
        // the order of statements, of their failures and of the events stays
        // that of the script.
        if (!FBatch.Empty() && (!joining || !FBatch.Fits(joining->Bytes.size(), joining->Contexts, joining->Where)))
            RunBatch();
        ++FStatementCount;
        FStatementStarted = std::chrono::steady_clock::now();
        if (OnStatementStart) {
            TIBScriptProgress progress;
            progress.Statement = FStatementCount;
            const TScriptLocation where = FSQLParser->CurrentLocation();
            progress.Line = where.Line;
            progress.Included = where.Included;
            if (where.Included) progress.FileName = where.FileName;
            progress.LinesRead = FSQLParser->LinesRead();
            progress.LineCount = FSQLParser->Script().Count();
            OnStatementStart(this, AKind, SQLText, progress);
        }
        if (joining) {
            joining->Text = FSQLParser->SharedText(SQLText);
            FBatch.Add(std::move(*joining));
            return;
        }
    }
    GuardStatement(SQLText, [&] {
        if (!FValidating) {
            if (FSQLParser->PlanOnly() && PreparedUnderPlanOnly(AKind)) PrepareOnly(SQLText);
            else if (InBatch) HandleBatchStatement(AKind, SQLText);
            else CarryOut(AKind, SQLText);
        }
        if (OnParse) OnParse(this, AKind, SQLText);
    });
}

void TIBScript::HandleParseError(const String &Error, const String &SQLText, int32_t LineIndex) {
    // The statements before the unreadable one run first: a failure among
    // them is the script's first problem.
    if (!FValidating) RunBatch();
    if (OnParseError) OnParseError(this, Error, SQLText, LineIndex);
    FValidate = false;
    FSQLParser->SetPaused(true);
}

void TIBScript::CarryOut(TIBParseKind AKind, const String &SQLText) {
    switch (AKind) {
    case stmtSET:
    case stmtCONNECT:
    case stmtDrop:
    case stmtCREATE:
    case stmtReconnect:
        // These may close or replace the connection, or change how it runs.
        EndDDLTransaction();
        break;
    default: break;
    }
    switch (AKind) {
    case stmtDDL: ExecuteDDL(SQLText); break;
    case stmtDML: ExecuteDML(SQLText); break;
    case stmtSET: ExecuteSetStatement(SQLText); break;
    case stmtCONNECT: ConnectDatabase(SQLText); break;
    case stmtDrop: DropCurrentDatabase(SQLText); break;
    case stmtCREATE: CreateNewDatabase(SQLText); break;
    case stmtReconnect: ReconnectDatabase(SQLText); break;
    case stmtTERM: FTerminator = Trim(SQLText); break;
    case stmtCOMMIT: EndTransactions(TACommit); break;
    case stmtROLLBACK: EndTransactions(TARollback); break;
    case stmtCOMMITRetaining: EndTransactions(TACommitRetaining); break;
    case stmtROLLBACKRetaining: EndTransactions(TARollbackRetaining); break;
    case stmtStartSavepoint: Savepoint(stmtStartSavepoint, CurrentTokens()[1]); break;
    case stmtReleaseSavePoint:
        Savepoint(stmtReleaseSavePoint, CurrentTokens().Count() > 2 ? CurrentTokens()[2] : String());
        break;
    case stmtRollbackSavePoint: Savepoint(stmtRollbackSavePoint, SavepointName()); break;
    case stmtBatchStart:
        InBatch = true;
        FBatchBuffer.clear();
        break;
    case stmtServerSET: ExecuteServerSet(SQLText); break;
    case stmtSetTransaction: ExecuteSetTransaction(SQLText); break;
    case stmtQuit: EndTransactions(TARollback); break;
    default: break;
    }
}

void TIBScript::EndTransactions(int action) {
    auto end = [action](TIBTransaction *tr) {
        if (!tr || !tr->InTransaction()) return;
        switch (action) {
        case TACommit: tr->Commit(); break;
        case TARollback: tr->Rollback(); break;
        case TACommitRetaining: tr->CommitRetaining(); break;
        default: tr->RollbackRetaining(); break;
        }
    };
    end(FTransaction);
    end(FDDLTransaction);
    if (action == TACommit || action == TACommitRetaining) FCommitted.push_back(CurrentLocation());
}

String TIBScript::SavepointName() const {
    // ROLLBACK [WORK] TO [SAVEPOINT] name: the parser let no other form by.
    const TStringList &tokens = CurrentTokens();
    return tokens.Count() > 2 ? tokens[tokens.Count() - 1] : String();
}

TIBTransaction *TIBScript::CheckScriptTransaction() {
    if (!FTransaction) RaiseClientError(ClientError::TransactionNotAssigned);
    return FTransaction;
}

bool TIBScript::ClientHasSavepoints() {
    TIBDatabase *db = FDatabase ? FDatabase : (FTransaction ? FTransaction->FindDefaultDatabase() : nullptr);
    IGDSLibrary *lib = db ? db->GDSLibrary() : nullptr;
    // Without a connection to ask, the client is taken to have them.
    return !lib || lib->GetIBClientVersion() >= kSavepointClientVersion;
}

void TIBScript::Savepoint(int kind, const String &name) {
    TIBTransaction *tr = CheckScriptTransaction();
    // isql's transaction runs from one end to the next: a savepoint right
    // after a COMMIT is one in the next transaction.
    if (!tr->InTransaction()) StartScriptTransaction(tr);
    TIBDatabase *db = FDatabase ? FDatabase : tr->FindDefaultDatabase();
    if (!db) RaiseClientError(ClientError::DatabaseNotAssigned);
    // RELEASE SAVEPOINT name ONLY keeps the savepoints after it, which only
    // the statement can say.
    const TStringList &tokens = CurrentTokens();
    if (kind == stmtReleaseSavePoint && tokens.Count() == 4 && SameTextAscii(tokens[3], u"ONLY")) {
        db->ExecuteImmediate(u"RELEASE SAVEPOINT " + name + u" ONLY", tr);
        return;
    }
    if (ClientHasSavepoints()) {
        if (kind == stmtStartSavepoint) tr->StartSavepoint(name);
        else if (kind == stmtReleaseSavePoint) tr->ReleaseSavepoint(name);
        else tr->RollbackSavepoint(name);
        return;
    }
    // The Firebird client has no savepoint entry points; its server
    // understands the same operations as SQL.
    String sql;
    if (kind == stmtStartSavepoint) sql = u"SAVEPOINT " + name;
    else if (kind == stmtReleaseSavePoint) sql = u"RELEASE SAVEPOINT " + name;
    else sql = u"ROLLBACK TO SAVEPOINT " + name;
    db->ExecuteImmediate(sql, tr);
}

// --- combined DML ---

void TIBScript::RunBatch() {
    if (FBatch.Empty()) return;
    try {
        if (FDMLQuery && FDMLQuery->Open()) FDMLQuery->Close();
        TIBTransaction *tr = CheckScriptTransaction();
        if (!tr->InTransaction()) StartScriptTransaction(tr);
        FBatch.Run(FDatabase, tr);
    } catch (...) {
        const size_t failed = std::min(FBatch.FailedIndex(), FBatch.Count() - 1);
        const std::vector<TStatementBatch::TEntry> entries = FBatch.Entries();
        FBatch.Clear();
        FFailedLocation = entries[failed].Where;
        Quietly([&] { NoteFailedStatement(std::current_exception(), entries[failed].Where, entries[failed].Text); });
        FContinue = false;
        FValidate = false;
        if (OnParse)
            for (size_t k = 0; k < failed; ++k) OnParse(this, stmtDML, *entries[k].Text);
        throw;
    }
    const std::vector<TStatementBatch::TEntry> entries = FBatch.Entries();
    FBatch.Clear();
    if (OnParse)
        for (const auto &entry : entries) OnParse(this, stmtDML, *entry.Text);
}

void TIBScript::EndDDLTransaction() {
    if (FDDLTransaction && FDDLTransaction->InTransaction()) FDDLTransaction->Commit();
}

void TIBScript::EndDDLTransactionQuietly() noexcept {
    if (!FDDLTransaction || !FDDLTransaction->InTransaction()) return;
    // Everything it did is committed already; only the handle is let go,
    // after a commit that fails by rollback (never by a second commit).
    if (FailureOf([this] { FDDLTransaction->Commit(); })) Quietly([this] { FDDLTransaction->EndByRollback(); });
}

// --- batches ---

void TIBScript::HandleBatchStatement(TIBParseKind AKind, const String &SQLText) {
    switch (AKind) {
    case stmtDDL:
    case stmtDML: {
        if (!FDatabase) RaiseClientError(ClientError::DatabaseNotAssigned);
        std::string bytes;
        AppendServerText(*FDatabase->Encoding(), FDatabase->CharacterSet(), SQLText, bytes);
        std::vector<char> buffer(bytes.size() + 1, '\0');
        std::copy(bytes.begin(), bytes.end(), buffer.begin());
        FBatchBuffer.push_back(std::move(buffer));
        break;
    }
    case stmtTERM: FTerminator = Trim(SQLText); break;
    case stmtBatchExecute: ExecuteBatch(); break;
    default: throw EIBError(-1, kBatchOnlyDDLAndDMLMessage);
    }
}

void TIBScript::ExecuteBatch() {
    // Whatever the outcome, the collected statements are gone and batch
    // mode ends.
    TFinally endBatch([this] {
        FBatchBuffer.clear();
        InBatch = false;
    });
    if (!FDatabase) RaiseClientError(ClientError::DatabaseNotAssigned);
    TIBTransaction *tr = CheckScriptTransaction();
    if (!tr->InTransaction()) StartScriptTransaction(tr);
    std::vector<ISC_SCHAR *> statements;
    statements.reserve(FBatchBuffer.size());
    for (auto &buffer : FBatchBuffer) statements.push_back(buffer.data());
    std::vector<ISC_ULONG> results(FBatchBuffer.size() + 1, 0);
    isc_db_handle dbHandle = FDatabase->Handle();
    isc_tr_handle trHandle = tr->Handle();
    IGDSLibrary *lib = FDatabase->GDSLibrary();
    const ISC_STATUS status = lib->isc_dsql_batch_execute_immed(
        StatusVector(), &dbHandle, &trHandle, static_cast<unsigned short>(FDatabase->SQLDialect()),
        static_cast<ISC_ULONG>(statements.size()), statements.data(), results.data());
    tr->Call(status, true);
}

// --- statements ---

void TIBScript::ExecuteDDL(const String &SQLText) {
    TIBTransaction *tr = FAutoDDL ? FDDLTransaction : CheckScriptTransaction();
    FDDLQuery->SetTransaction(tr);
    if (!tr->InTransaction()) {
        if (FAutoDDL) tr->StartTransaction();
        else StartScriptTransaction(tr);
    }
    try {
        // One round trip for the statement (prepared and run at once, so
        // that nothing stays prepared) and one for the commit, which carries
        // out the deferred metadata work as a hard commit does and keeps the
        // transaction for the next one.
        if (HasNonWhite(SQLText) && SQLText.find(u'\0') == String::npos) {
            ExecuteDirectly(FDatabase, tr, SQLText);
        } else {
            FDDLQuery->SetSQL(FSQLParser->SharedText(SQLText));
            FDDLQuery->ExecQuery();
            // A statement left prepared keeps the objects it names in use,
            // and later DDL on them would be refused.
            FDDLQuery->FreeHandle();
        }
        if (FAutoDDL) {
            FDDLTransaction->CommitRetaining();
            FCommitted.push_back(CurrentLocation());
        }
    } catch (...) {
        try {
            FDDLQuery->FreeHandle();
        } catch (...) {
            // The statement's own error is the one to report.
        }
        if (FAutoDDL && FDDLTransaction->InTransaction()) {
            try {
                FDDLTransaction->Rollback();
            } catch (...) {
                // The statement's own error is the one to report.
            }
        }
        throw;
    }
}

// Puts the text into the DML statement object (closing a result set left
// open by an earlier SELECT) and makes sure its transaction runs.
void TIBScript::LoadDMLStatement(const String &SQLText) {
    EnsureDMLQuery();
    if (FDMLQuery->Open()) FDMLQuery->Close();
    FDMLQuery->SetSQL(FSQLParser->SharedText(SQLText));
    TIBTransaction *tr = FDMLQuery->Transaction();
    if (!tr) RaiseClientError(ClientError::TransactionNotAssigned);
    if (!tr->InTransaction()) StartScriptTransaction(tr);
}

void TIBScript::StartScriptTransaction(TIBTransaction *tr) {
    if (tr == FTransaction && FKeepTransactionParams && !FKeptSetTransaction.empty())
        tr->StartTransaction(FKeptSetTransaction);
    else
        tr->StartTransaction();
}

void TIBScript::RunDMLStatement() {
    try {
        FDMLQuery->ExecQuery();
        // A query's rows are fetched, as isql fetches them, so that what
        // fetching does (a generator stepped, a selectable procedure that
        // writes) happens for every row; the rows themselves are dropped.
        if (FDMLQuery->Open())
            while (!FDMLQuery->Eof() && (FMaxRows <= 0 || FDMLQuery->RecordCount() < FMaxRows)) FDMLQuery->Next();
        // A statement left prepared keeps the objects it names in use, and
        // later DDL on them would be refused. Dropping it closes its cursor.
        FDMLQuery->FreeHandle();
    } catch (...) {
        ReleaseDMLStatement();
        throw;
    }
}

void TIBScript::ReleaseDMLStatement() noexcept {
    if (!FDMLQuery) return;
    try {
        FDMLQuery->FreeHandle();
    } catch (...) {
        // The error that ended the statement is the one to report.
    }
}

bool TIBScript::PreparedUnderPlanOnly(TIBParseKind AKind) {
    switch (AKind) {
    case stmtDDL:
    case stmtDML:
    case stmtServerSET:
    case stmtCOMMIT:
    case stmtROLLBACK:
    case stmtCOMMITRetaining:
    case stmtROLLBACKRetaining:
    case stmtStartSavepoint:
    case stmtReleaseSavePoint:
    case stmtRollbackSavePoint:
        return true;
    default:
        // isql carries out its own commands (SET TRANSACTION, CONNECT,
        // CREATE and DROP DATABASE, INPUT, ...) whatever SET PLANONLY says.
        return false;
    }
}

void TIBScript::PrepareOnly(const String &SQLText) {
    LoadDMLStatement(SQLText);
    // As isql prepares it: the text as written, markers for the server.
    FDMLQuery->SetParamCheck(false);
    try {
        FDMLQuery->Prepare();
    } catch (...) {
        FDMLQuery->SetParamCheck(true);
        ReleaseDMLStatement();
        throw;
    }
    FDMLQuery->SetParamCheck(true);
    FDMLQuery->FreeHandle();
}

void TIBScript::ExecuteDML(const String &SQLText) {
    if (InspectStatement(SQLText).Direct) {
        // Nothing to read back and no parameters: prepared and run at once.
        EnsureDMLQuery();
        if (FDMLQuery->Open()) FDMLQuery->Close();
        TIBTransaction *tr = FDMLQuery->Transaction();
        if (!tr) RaiseClientError(ClientError::TransactionNotAssigned);
        if (!tr->InTransaction()) StartScriptTransaction(tr);
        ExecuteDirectly(FDMLQuery->Database(), tr, SQLText);
        return;
    }
    LoadDMLStatement(SQLText);
    FDMLQuery->Prepare();
    if (FDMLQuery->Params().Count() > 0 && OnParamCheck) {
        bool pause = false;
        OnParamCheck(this, pause);
        if (!FDMLQuery) return;  // the handler ended the run
        if (pause) {
            FPendingDML = true;
            FSQLParser->SetPaused(true);
            return;
        }
    }
    RunDMLStatement();
}

void TIBScript::ExecuteServerSet(const String &SQLText) {
    LoadDMLStatement(SQLText);
    RunDMLStatement();
}

void TIBScript::ExecuteSetTransaction(const String &) {
    TIBTransaction *tr = CheckScriptTransaction();
    // As isql-fb carries it out: the work of the transaction that runs is
    // rolled back, and a new one starts with the statement's options (the
    // statement as written, which the server reads).
    const String statement = FSQLParser->StatementText();
    if (tr->InTransaction()) tr->Rollback();
    tr->StartTransaction(statement);
    FKeptSetTransaction = FKeepTransactionParams ? statement : String();
}

void TIBScript::ExecuteSetStatement(const String &) {
    const TStringList &tokens = CurrentTokens();
    const String t1 = tokens.Count() > 1 ? tokens[1] : String();
    const String t2 = tokens.Count() > 2 ? tokens[2] : String();
    // An isql switch toggles when given alone; ON and OFF in any case.
    auto switched = [&](bool current) { return tokens.Count() == 2 ? !current : SameTextAscii(t2, u"ON"); };
    if (AbbreviatesCommand(t1, u"AUTODDL", 4)) {
        SetAutoDDL(switched(FAutoDDL));
    } else if (AbbreviatesCommand(t1, u"KEEP_TRAN_PARAMS", 9)) {
        FKeepTransactionParams = switched(FKeepTransactionParams);
        if (!FKeepTransactionParams) FKeptSetTransaction.clear();
    } else if (SameTextAscii(t1, u"PLANONLY")) {
        // The parser follows it.
    } else if (SameTextAscii(t1, u"MAXROWS") || SameTextAscii(t1, u"ROWCOUNT")) {
        FMaxRows = tokens.Count() > 2 ? StrToInt(t2) : 0;
    } else if (SameTextAscii(t1, u"STATISTICS")) {
        SetStatistics(SameTextAscii(t2, u"ON"));
    } else if (SameTextAscii(t1, u"SQL") && SameTextAscii(t2, u"DIALECT")) {
        FSQLDialect = StrToInt(tokens[3]);
        if (FDatabase && FDatabase->SQLDialect() != FSQLDialect) {
            if (FDatabase->Connected()) {
                FDatabase->Close();
                FDatabase->SetSQLDialect(FSQLDialect);
                FDatabase->Open();
            } else {
                FDatabase->SetSQLDialect(FSQLDialect);
            }
        }
    } else if (SameTextAscii(t1, u"NAMES")) {
        FCharSet = t2;  // none when SET NAMES stands alone
    } else if (SameTextAscii(t1, u"SAVEPOINTS")) {
        if (!FTransaction) return;
        // InterBase's no_savepoint item has the code that Firebird reads as
        // lock_timeout, which makes every later start fail; a client without
        // the savepoint entry points is a Firebird client, whose item for
        // the same wish (no transaction-level undo) is no_auto_undo.
        const String item = ClientHasSavepoints() ? u"no_savepoint" : u"no_auto_undo";
        TStringList &params = FTransaction->Params();
        if (t2 == u"OFF") {
            if (params.IndexOf(item) < 0) params.Add(item);
        } else {
            for (StringView line : {u"no_savepoint", u"no_auto_undo"}) {
                const int index = params.IndexOf(line);
                if (index >= 0) params.Delete(index);
            }
        }
    }
}

}  // namespace vantrel
