// TIBSQL: prepare, execute and fetch of one statement; the parameter marker
// scan; rows affected and plan; the hooks that close cursors when the
// transaction ends and release the statement when the connection goes.
#include "client/IBSQL.h"

#include <algorithm>
#include <cstring>

#include "client/GDSLibrary.h"
#include "client/IBBase.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBTransaction.h"
#include "client/ParamMarkers.h"
#include "client/TransientTransaction.h"
#include "platform/Finally.h"

namespace vantrel {

namespace {

// True when the lines hold nothing but blanks; a large statement is not
// joined and trimmed to learn it.
bool Blank(const std::vector<String> &lines) {
    return std::none_of(lines.begin(), lines.end(), [](const String &line) { return HasNonWhite(line); });
}

bool SameLines(const std::vector<String> &lines, StringView text) {
    TLineReader reader(text);
    StringView line;
    for (const String &own : lines)
        if (!reader.Next(line) || line != own) return false;
    return !reader.Next(line);
}

bool SameLines(StringView a, StringView b) {
    TLineReader readerA(a), readerB(b);
    StringView lineA, lineB;
    for (;;) {
        const bool moreA = readerA.Next(lineA);
        if (moreA != readerB.Next(lineB)) return false;
        if (!moreA) return true;
        if (lineA != lineB) return false;
    }
}

// Every line break is CR LF: the text reads as its lines each followed by
// CR LF once a last one is added (when it does not end with one).
bool BreaksAreCRLF(StringView text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') return false;
        if (text[i] == u'\r') {
            if (i + 1 == text.size() || text[i + 1] != u'\n') return false;
            ++i;
        }
    }
    return true;
}

}  // namespace

TIBSQL::TIBSQL(TComponent *AOwner)
    : TComponent(AOwner),
      FBase(std::make_unique<TIBBase>(this)),
      FSQLParams(std::make_unique<TIBXSQLDA>(this)),
      FSQLRecord(std::make_unique<TIBXSQLDA>(this)) {
    FBase->BeforeDatabaseDisconnect = [this](TIBBase *) { DoBeforeDatabaseDisconnect(); };
    FBase->BeforeTransactionEnd = [this](TIBBase *) { DoBeforeTransactionEnd(); };
    FBase->OwnerSetDatabase = [this](TIBDatabase *Value) { SetDatabase(Value); };
    FSQL.OnChanging = [this] { SQLChanging(); };
    if (auto *db = dynamic_cast<TIBDatabase *>(AOwner))
        SetDatabase(db);
    else if (auto *tr = dynamic_cast<TIBTransaction *>(AOwner))
        SetTransaction(tr);
}

TIBSQL::~TIBSQL() {
    if (FOpen) Quietly([this] { CloseCursor(false); });
    if (FHandle) Quietly([this] { DropHandle(false); });
    FSQL.OnChanging = nullptr;
    FBase.reset();
}

// ---------------------------------------------------------------------------
// Properties

TIBDatabase *TIBSQL::Database() const { return FBase->Database(); }

void TIBSQL::SetDatabase(TIBDatabase *Value) {
    if (FBase->Database() != Value) FBase->SetDatabase(Value);
}

TIBTransaction *TIBSQL::Transaction() const { return FBase->Transaction(); }

void TIBSQL::SetTransaction(TIBTransaction *Value) {
    if (FBase->Transaction() == Value) return;
    if (FPrepared) DropHandle(true);
    FBase->SetTransaction(Value);
}

void TIBSQL::SetSQL(const TStringList &Value) {
    if (FSQLText ? SameLines(Value.Items(), *FSQLText) : FSQL.Items() == Value.Items()) return;
    LeaveSharedText();
    FSQL.Assign(Value);
}

void TIBSQL::SetSQL(StringView Text) {
    if (SQLIs(Text)) return;
    LeaveSharedText();
    FSQL.SetLines(TStringList::SplitLines(Text));
}

void TIBSQL::SetSQL(std::shared_ptr<const String> Text) {
    if (!Text || !BreaksAreCRLF(*Text)) {
        SetSQL(Text ? StringView(*Text) : StringView());
        return;
    }
    if (SQLIs(*Text)) return;
    LeaveSharedText();
    FSQL.SetLines({});  // notifies the change, as every replacement does
    FSQLText = std::move(Text);
}

void TIBSQL::SplitSharedText() const {
    if (!FSQLText) return;
    const std::shared_ptr<const String> text = std::move(FSQLText);
    // The SQL stays what it is: no change is notified.
    auto changing = std::move(FSQL.OnChanging);
    auto changed = std::move(FSQL.OnChange);
    TFinally restore([&] {
        FSQL.OnChanging = std::move(changing);
        FSQL.OnChange = std::move(changed);
    });
    FSQL.SetLines(TStringList::SplitLines(*text));
}

void TIBSQL::LeaveSharedText() {
    // A handler of the change may read the SQL being replaced.
    if (OnSQLChanging) SplitSharedText();
    else FSQLText.reset();
}

bool TIBSQL::SQLIs(StringView Text) const {
    return FSQLText ? SameLines(*FSQLText, Text) : SameLines(FSQL.Items(), Text);
}

bool TIBSQL::SQLIsBlank() const { return FSQLText ? !HasNonWhite(*FSQLText) : Blank(FSQL.Items()); }

void TIBSQL::SQLChanging() {
    FProcessedSQL.Clear();
    FProcessedIsSQL = false;
    if (OnSQLChanging) OnSQLChanging(this);
    if (FHandle) DropHandle(true);
}

isc_db_handle *TIBSQL::DBHandle() { return FBase->DBHandle(); }

isc_tr_handle *TIBSQL::TRHandle() { return FBase->TRHandle(); }

IGDSLibrary &TIBSQL::Library() {
    if (FGDSLibrary) return *FGDSLibrary;
    FBase->CheckDatabase();
    IGDSLibrary *lib = Database()->GDSLibrary();
    if (!lib) RaiseClientError(ClientError::DatabaseNotAssigned);
    return *lib;
}

[[noreturn]] void TIBSQL::RaiseServerErrorHere() {
    TIBDatabase *db = Database();
    RaiseServerError(FGDSLibrary ? FGDSLibrary : (db ? db->GDSLibrary() : nullptr),
                     db ? db->MessageEncoding() : nullptr);
}

TIBXSQLDA &TIBSQL::Params() {
    if (!FPrepared) {
        if (TIBTransaction *tr = Transaction()) {
            // The prepare needs a running transaction; one started for it
            // alone ends with it.
            TTransientTransaction forPrepare(*tr);
            Prepare();
            forPrepare.Commit();
        } else {
            Prepare();
        }
    }
    return *FSQLParams;
}

String TIBSQL::GetUniqueRelationName() const {
    if (FPrepared && HasCursor()) return FSQLRecord->UniqueRelationName();
    return String();
}

// ---------------------------------------------------------------------------
// Checks and the call check

void TIBSQL::CheckClosed() {
    if (FOpen) RaiseClientError(ClientError::SQLOpen);
}

void TIBSQL::CheckOpen() {
    if (!FOpen) RaiseClientError(ClientError::SQLClosed);
}

void TIBSQL::CheckValidStatement() {
    FBase->CheckTransaction();
    if (!FHandle) RaiseClientError(ClientError::InvalidStatementHandle);
}

ISC_STATUS TIBSQL::Call(ISC_STATUS ErrCode, bool RaiseError) {
    if (TIBTransaction *tr = Transaction()) return tr->Call(ErrCode, RaiseError);
    if (RaiseError && ErrCode > 0) RaiseServerErrorHere();
    return ErrCode;
}

// ---------------------------------------------------------------------------
// Parameter markers

void TIBSQL::ProcessParamMarkers() {
    const std::vector<String> &lines = FSQL.Items();
    TParamMarkerScan scan = FSQLText ? ScanParamMarkers(*FSQLText) : ScanParamMarkers(lines);
    int generated = 0;
    for (TParamMarker &marker : scan.Markers) {
        if (!marker.Name.empty()) continue;
        if (!FGenerateParamNames) RaiseClientError(ClientError::SQLParseError, {String(kParameterNameExpected)});
        marker.Name = u"VantrelParam" + IntToStr(generated++);
    }
    if (!scan.Problem.empty()) RaiseClientError(ClientError::SQLParseError, {scan.Problem});

    FSQLParams->SetCount(static_cast<int>(scan.Markers.size()));
    for (size_t k = 0; k < scan.Markers.size(); ++k) FSQLParams->AddName(scan.Markers[k].Name, static_cast<int>(k));
    // Text without markers goes to the server as it stands: a large
    // statement is not copied for it.
    const bool hasNul = FSQLText ? FSQLText->find(u'\0') != String::npos
                                 : std::any_of(lines.begin(), lines.end(), [](const String &line) {
                                       return line.find(u'\0') != String::npos;
                                   });
    if (scan.Markers.empty() && !hasNul) {
        FProcessedSQL.Clear();
        FProcessedIsSQL = true;
        return;
    }
    String out = FSQLText ? ReplaceParamMarkers(*FSQLText, scan.Markers) : ReplaceParamMarkers(lines, scan.Markers);
    const size_t nul = out.find(u'\0');
    if (nul != String::npos) out.resize(nul);
    FProcessedSQL.SetText(out);
}

// ---------------------------------------------------------------------------
// Prepare

void TIBSQL::RefreshContext() {
    TIBDatabase *db = Database();
    IGDSLibrary *lib = db->GDSLibrary();
    if (!lib) RaiseClientError(ClientError::DatabaseNotAssigned);
    FGDSLibrary = lib;
    int64_t version = lib->GetIBClientVersion();
    FSQLParams->SetContext(lib, version, db->SQLDialect(), db->Encoding());
    FSQLRecord->SetContext(lib, version, db->SQLDialect(), db->Encoding());
}

std::string TIBSQL::EncodedProcessedSQL() const {
    const TIBDatabase *db = Database();
    std::shared_ptr<const TEncoding> enc = db && db->Encoding() ? db->Encoding() : AnsiEncoding();
    const StringView characterSet = db ? StringView(db->CharacterSet()) : StringView(u"NONE");
    // Line by line, each followed by CR LF, as the joined text would be:
    // the code pages of connections keep no state across characters, and a
    // large statement is then never held joined beside its lines. The
    // string's own terminating NUL ends the text for the client.
    std::string bytes;
    if (FProcessedIsSQL && FSQLText) {
        bytes.reserve(FSQLText->size() + 2);
        AppendServerText(*enc, characterSet, *FSQLText, bytes);
        if (!FSQLText->empty() && !EndsWith(*FSQLText, u"\r\n")) bytes += "\r\n";
        return bytes;
    }
    const std::vector<String> &lines = FProcessedIsSQL ? FSQL.Items() : FProcessedSQL.Items();
    size_t total = 0;
    for (const String &line : lines) total += line.size() + 2;
    bytes.reserve(total);
    for (const String &line : lines) {
        AppendServerText(*enc, characterSet, line, bytes);
        bytes += "\r\n";
    }
    return bytes;
}

void TIBSQL::DescribeInput(IGDSLibrary &lib, unsigned short dialect) {
    if (XSQLDA *block = FSQLParams->AsXSQLDA()) {
        if (lib.isc_dsql_describe_bind(StatusVector(), &FHandle, dialect, block) > 0) RaiseServerErrorHere();
        int described = FSQLParams->SqlD();
        if (FSQLParams->Count() != described) {
            FSQLParams->SetCount(described);
            if (lib.isc_dsql_describe_bind(StatusVector(), &FHandle, dialect, FSQLParams->AsXSQLDA()) > 0)
                RaiseServerErrorHere();
        }
    } else if (!FParamCheck) {
        // Markers were not scanned: learn the parameters from the server.
        FSQLParams->SetCount(1);
        if (lib.isc_dsql_describe_bind(StatusVector(), &FHandle, dialect, FSQLParams->AsXSQLDA()) > 0)
            RaiseServerErrorHere();
        int described = FSQLParams->SqlD();
        if (described > FSQLParams->SqlN()) {
            FSQLParams->SetCount(described);
            if (lib.isc_dsql_describe_bind(StatusVector(), &FHandle, dialect, FSQLParams->AsXSQLDA()) > 0)
                RaiseServerErrorHere();
        } else if (described == 0) {
            FSQLParams->SetCount(0);
        }
    }
    FSQLParams->PrepareBuffers();
}

void TIBSQL::DescribeOutput(IGDSLibrary &lib, unsigned short dialect) {
    FSQLRecord->SetCount(1);
    Call(lib.isc_dsql_describe(StatusVector(), &FHandle, dialect, FSQLRecord->AsXSQLDA()), true);
    int described = FSQLRecord->SqlD();
    if (described > FSQLRecord->SqlN()) {
        FSQLRecord->SetCount(described);
        Call(lib.isc_dsql_describe(StatusVector(), &FHandle, dialect, FSQLRecord->AsXSQLDA()), true);
    } else if (described == 0) {
        FSQLRecord->SetCount(0);
    }
    FSQLRecord->PrepareBuffers();
}

void TIBSQL::Prepare() {
    CheckClosed();
    FBase->CheckDatabase();
    FBase->CheckTransaction();
    if (FPrepared) return;
    if (SQLIsBlank()) RaiseClientError(ClientError::EmptyQuery);
    RefreshContext();
    FProcessedIsSQL = false;
    if (FParamCheck) {
        ProcessParamMarkers();
    } else {
        FProcessedSQL.Clear();
        FProcessedIsSQL = true;
        FSQLParams->SetCount(0);
    }
    if (FProcessedIsSQL ? SQLIsBlank() : Blank(FProcessedSQL.Items())) RaiseClientError(ClientError::EmptyQuery);

    IGDSLibrary &lib = *FGDSLibrary;
    const auto dialect = static_cast<unsigned short>(Database()->SQLDialect());
    {
        // A failed prepare leaves no handle behind; the prepare's failure is
        // the one the caller hears.
        TOnFailure release([this] {
            if (FHandle) DropHandle(false);
        });
        std::string sql = EncodedProcessedSQL();
        // Not isc_dsql_alloc_statement2: the client keeps the address of the
        // handle given to it and writes 0 there when the connection
        // detaches. A statement whose release failed would then have the
        // client write into this object after it is gone.
        Call(lib.isc_dsql_allocate_statement(StatusVector(), DBHandle(), &FHandle), true);
        Call(lib.isc_dsql_prepare(StatusVector(), TRHandle(), &FHandle, 0, sql.data(), dialect, nullptr), true);

        const ISC_SCHAR typeItem[] = {isc_info_sql_stmt_type};
        ISC_SCHAR reply[8] = {};
        Call(lib.isc_dsql_sql_info(StatusVector(), &FHandle, sizeof typeItem, typeItem, sizeof reply, reply), true);
        if (reply[0] != isc_info_sql_stmt_type) RaiseClientError(ClientError::UnknownError);
        short len = static_cast<short>(lib.isc_vax_integer(reply + 1, 2));
        if (len < 0 || len > 4) RaiseClientError(ClientError::UnknownError);
        FSQLType = static_cast<TIBSQLTypes>(lib.isc_vax_integer(reply + 3, len) & 0xFF);

        switch (FSQLType) {
        case SQLGetSegment:
        case SQLPutSegment:
        case SQLStartTransaction:
            DropHandle(true);
            RaiseClientError(ClientError::NotPermitted);
        case SQLSelect:
        case SQLExecProcedure:
        case SQLSelectForUpdate:
            DescribeInput(lib, dialect);
            DescribeOutput(lib, dialect);
            break;
        case SQLInsert:
        case SQLUpdate:
        case SQLDelete:
        case SQLDDL:
        case SQLCommit:
        case SQLRollback:
        case SQLSetGenerator:
            DescribeInput(lib, dialect);
            FSQLRecord->SetCount(0);
            break;
        default:
            FSQLRecord->SetCount(0);
            break;
        }
        FPrepared = true;
    }
}

// ---------------------------------------------------------------------------
// Execute and fetch

void TIBSQL::ExecQuery() {
    CheckClosed();
    if (!FPrepared) Prepare();
    CheckValidStatement();
    FCanceled = false;
    IGDSLibrary &lib = *FGDSLibrary;
    const auto dialect = static_cast<unsigned short>(Database()->SQLDialect());
    isc_tr_handle *tr = TRHandle();
    const XSQLDA *in = FSQLParams->AsXSQLDA();

    switch (FSQLType) {
    case SQLSelect:
    case SQLSelectForUpdate: {
        ISC_STATUS r = Call(lib.isc_dsql_execute2(StatusVector(), tr, &FHandle, dialect, in, nullptr), false);
        if (r != 0) {
            if (r == kCancelled) FCanceled = true;
            RaiseServerErrorHere();
        }
        FOpen = true;
        FBOF = true;
        FEOF = false;
        FRecordCount = 0;
        if (FGoToFirstRecordOnExecute) Next();
        break;
    }
    case SQLExecProcedure: {
        const XSQLDA *out = FSQLRecord->AsXSQLDA();
        ISC_STATUS r = Call(lib.isc_dsql_execute2(StatusVector(), tr, &FHandle, dialect, in, out), false);
        if (r == kBadStatementHandle) {
            // The server lost the prepared request (for example after the
            // procedure was altered): prepare the same text again and retry.
            std::string sql = EncodedProcessedSQL();
            ISC_STATUS ignored[ISC_STATUS_LENGTH];
            lib.isc_dsql_prepare(ignored, tr, &FHandle, 0, sql.data(), dialect, nullptr);
            Call(lib.isc_dsql_execute2(StatusVector(), tr, &FHandle, dialect, in, out), true);
        } else if (r != 0) {
            if (r == kCancelled) FCanceled = true;
            RaiseServerErrorHere();
        }
        break;
    }
    default: {
        ISC_STATUS r = Call(lib.isc_dsql_execute(StatusVector(), tr, &FHandle, dialect, in), false);
        if (r != 0) {
            if (r == kCancelled) FCanceled = true;
            RaiseServerErrorHere();
        }
        break;
    }
    }
}

TIBXSQLDA *TIBSQL::Next() {
    if (FEOF) return nullptr;
    CheckOpen();
    IGDSLibrary &lib = *FGDSLibrary;
    const auto dialect = static_cast<unsigned short>(Database()->SQLDialect());
    ISC_STATUS r = Call(lib.isc_dsql_fetch(StatusVector(), &FHandle, dialect, FSQLRecord->AsXSQLDA()), false);
    if (r == 100 || (r != 0 && StatusVectorHas({kSegmentOrEndOfStream}))) {
        FEOF = true;
        return nullptr;
    }
    if (r > 0) {
        // The cursor is closed once the error was read from the status
        // vector; the fetch's error is the one that leaves.
        TOnFailure close([this] { CloseCursor(false); });
        RaiseServerErrorHere();
    }
    ++FRecordCount;
    FBOF = false;
    return FSQLRecord.get();
}

void TIBSQL::CloseCursor(bool RaiseError) {
    TFinally reset([this] {
        FEOF = false;
        FBOF = false;
        FOpen = false;
        FRecordCount = 0;
    });
    if (FHandle && HasCursor() && FOpen && Database() && Database()->Connected()) {
        IGDSLibrary &lib = Library();
        ISC_STATUS r = Call(lib.isc_dsql_free_statement(StatusVector(), &FHandle, DSQL_close), false);
        if (StatusVector()[0] == 1 && r > 0 && !StatusVectorHas({kBadStatementHandle, kDsqlCursorCloseError}) &&
            RaiseError) {
            if (r == kConnectionLost && Transaction())
                Transaction()->Call(r, true);
            else
                RaiseServerErrorHere();
        }
    }
}

void TIBSQL::DropHandle(bool RaiseError) {
    TFinally reset([this] {
        FPrepared = false;
        FHandle = 0;
        // The server closes the cursor of a dropped statement.
        FOpen = false;
        FEOF = false;
        FBOF = false;
        FRecordCount = 0;
    });
    if (FHandle && Database() && Database()->Connected()) {
        IGDSLibrary &lib = Library();
        ISC_STATUS r = Call(lib.isc_dsql_free_statement(StatusVector(), &FHandle, DSQL_drop), false);
        if (StatusVector()[0] == 1 && r > 0 && r != kBadStatementHandle && r != kConnectionLost && RaiseError)
            RaiseServerErrorHere();
    }
}

// ---------------------------------------------------------------------------
// Information

int TIBSQL::RowsAffected() {
    if (!FPrepared) return -1;
    IGDSLibrary &lib = Library();
    const ISC_SCHAR items[] = {isc_info_sql_records};
    ISC_SCHAR reply[1049] = {};
    if (lib.isc_dsql_sql_info(StatusVector(), &FHandle, sizeof items, items, sizeof reply, reply) > 0)
        RaiseServerErrorHere();
    if (reply[0] != isc_info_sql_records) return -1;
    int wanted;
    switch (FSQLType) {
    case SQLUpdate: wanted = isc_info_req_update_count; break;
    case SQLDelete: wanted = isc_info_req_delete_count; break;
    case SQLInsert: wanted = isc_info_req_insert_count; break;
    default: return -1;
    }
    // The counts follow as clusters of a tag, a 2-byte length and the value;
    // they are found by their tags.
    int total = lib.isc_vax_integer(reply + 1, 2);
    int pos = 3;
    const int end = std::min<int>(3 + total, static_cast<int>(sizeof reply));
    while (pos + 3 <= end && reply[pos] != isc_info_end) {
        int tag = static_cast<unsigned char>(reply[pos]);
        int len = lib.isc_vax_integer(reply + pos + 1, 2);
        if (len < 0 || pos + 3 + len > end) break;
        if (tag == wanted) return lib.isc_vax_integer(reply + pos + 3, static_cast<short>(len));
        pos += 3 + len;
    }
    return 0;
}

String TIBSQL::Plan() {
    if (!FPrepared || !(FSQLType == SQLSelect || FSQLType == SQLUpdate || FSQLType == SQLDelete ||
                        FSQLType == SQLSelectForUpdate))
        return String();
    IGDSLibrary &lib = Library();
    const ISC_SCHAR items[] = {isc_info_sql_get_plan};
    std::string reply(16385, '\0');
    Call(lib.isc_dsql_sql_info(StatusVector(), &FHandle, sizeof items, items, static_cast<short>(reply.size()),
                               reply.data()),
         true);
    if (reply[0] != isc_info_sql_get_plan)
        throw EIBPlanError(ClientError::CannotRetrievePlan, ClientErrorMessage(ClientError::CannotRetrievePlan));
    int len = lib.isc_vax_integer(reply.data() + 1, 2);
    if (len <= 1) return String();
    size_t count = std::min<size_t>(static_cast<size_t>(len - 1), reply.size() - 4);
    // The plan names relations in the connection's character set.
    const TIBDatabase *db = Database();
    return (db && db->Encoding() ? *db->Encoding() : *AnsiEncoding()).GetString(reply.data() + 4, count);
}

// ---------------------------------------------------------------------------
// Variables by name and index

TIBXSQLVAR *TIBSQL::FieldByName(StringView FieldName) {
    TIBXSQLVAR *v = FindField(FieldName);
    if (!v) RaiseClientError(ClientError::FieldNotFound, {String(FieldName)});
    return v;
}

TIBXSQLVAR *TIBSQL::FindField(StringView FieldName) { return FSQLRecord->FindVar(FieldName); }

int TIBSQL::GetFieldIndex(StringView FieldName) {
    int i = FSQLRecord->GetFieldIndex(FieldName);
    return i < FSQLRecord->Count() ? i : -1;
}

TIBXSQLVAR *TIBSQL::GetFields(int Idx) {
    if (Idx < 0 || Idx >= FSQLRecord->Count()) RaiseClientError(ClientError::FieldNotFound, {IntToStr(Idx)});
    return FSQLRecord->GetSQLVAR(Idx);
}

TIBXSQLVAR *TIBSQL::ParamByName(StringView Idx) {
    if (!FPrepared) Prepare();
    return FSQLParams->ByName(Idx);
}

// ---------------------------------------------------------------------------
// Hooks

void TIBSQL::DoBeforeDatabaseDisconnect() {
    if (FHandle) {
        Close();
        FreeHandle();
    }
}

void TIBSQL::DoBeforeTransactionEnd() {
    if (FOpen) Close();
}

}  // namespace vantrel
