// An executable procedure whose prepared request the server no longer knows
// (335544485): the statement prepares its text again and executes once more;
// and executes cancelled by the server (335544794) mark the statement. The
// failures come from a client library shim that forwards to the real one,
// loaded through a binding object of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "SQLFixture.h"
#include "client/GDSLibrary.h"
#include "client/IBSQL.h"

namespace vantrel {
namespace {

using test::TScratchDatabase;
using test::U;

class TStaleStatementLibrary : public TIBServerLibrary {
public:
    String LibraryName() const override { return Utf8ToString(test::FakeClientPath("stalestatement")); }
};

struct TShim {
    TShim() {
        static const bool registered = [] {
            RegisterServerLibrary(u"StaleStatement", std::make_shared<TStaleStatementLibrary>());
            return true;
        }();
        (void)registered;
    }
    // The shim's controls, once the binding has loaded it.
    template <class F>
    F *Fn(const char *name) {
        void *h = dlopen(test::FakeClientPath("stalestatement").c_str(), RTLD_NOW | RTLD_NOLOAD);
        EXPECT_NE(h, nullptr);
        auto *f = h ? reinterpret_cast<F *>(dlsym(h, name)) : nullptr;
        if (h) dlclose(h);
        return f;
    }
    void Arm(int n) { Fn<void(int)>("StaleStatementArm")(n); }
    void ArmCancel(int n) { Fn<void(int)>("StaleStatementArmCancel")(n); }
    void FailFree(long code) { Fn<void(long)>("StaleStatementFailFree")(code); }
    void FailFetch(long code) { Fn<void(long)>("StaleStatementFailFetch")(code); }
    void ForceType(int type) { Fn<void(int)>("StaleStatementForceType")(type); }
    int Failures() { return Fn<int()>("StaleStatementFailures")(); }
    int Prepares() { return Fn<int()>("StaleStatementPrepares")(); }
};

const char *kProcedure =
    "SET TERM ^;\n"
    "CREATE PROCEDURE TWICE (A INTEGER) RETURNS (B INTEGER) AS BEGIN B = A * 2; END^\n"
    "SET TERM ;^\n";

TEST(ExecuteFailure, StaleHandleIsPreparedAgainAndExecutedOnce) {
    TShim shim;
    TScratchDatabase s(3, "WIN1251", kProcedure, std::string(), u"StaleStatement");
    s.Trans->StartTransaction();
    auto q = s.Query("EXECUTE PROCEDURE TWICE :A");
    q->ParamByName(u"A")->SetAsInteger(21);
    int preparesBefore = shim.Prepares();
    int failuresBefore = shim.Failures();
    shim.Arm(1);
    q->ExecQuery();
    EXPECT_EQ(shim.Failures() - failuresBefore, 1);
    EXPECT_EQ(shim.Prepares() - preparesBefore, 1);
    EXPECT_EQ(q->FieldByName(u"B")->AsInteger(), 42);
    EXPECT_FALSE(q->Canceled());

    // Unarmed, the same statement runs without preparing again.
    q->ParamByName(u"A")->SetAsInteger(5);
    q->ExecQuery();
    EXPECT_EQ(q->FieldByName(u"B")->AsInteger(), 10);
    EXPECT_EQ(shim.Prepares() - preparesBefore, 1);
}

TEST(ExecuteFailure, ASecondFailureIsRaised) {
    TShim shim;
    TScratchDatabase s(3, "WIN1251", kProcedure, std::string(), u"StaleStatement");
    s.Trans->StartTransaction();
    auto q = s.Query("EXECUTE PROCEDURE TWICE 1");
    q->Prepare();
    shim.Arm(2);
    try {
        q->ExecQuery();
        ADD_FAILURE() << "the second failure must be raised";
    } catch (const EIBInterBaseError &e) {
        EXPECT_EQ(e.IBErrorCode(), isc_bad_stmt_handle);
    }
    shim.Arm(0);
}

TEST(ExecuteFailure, QueriesAreNotRetried) {
    TShim shim;
    TScratchDatabase s(3, "WIN1251", std::string(), std::string(), u"StaleStatement");
    s.Trans->StartTransaction();
    auto q = s.Query("SELECT 1 FROM RDB$DATABASE");
    shim.Arm(1);
    q->ExecQuery();  // no output descriptor at execute: the shim lets it through
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 1);
    shim.Arm(0);
}

TEST(ExecuteFailure, CancelledExecutesAreMarked) {
    TShim shim;
    TScratchDatabase s(3, "WIN1251", kProcedure, std::string(), u"StaleStatement");
    s.Trans->StartTransaction();
    for (const char *sql : {"SELECT 1 FROM RDB$DATABASE", "EXECUTE PROCEDURE TWICE 2", "DELETE FROM RDB$DATABASE WHERE 1 = 0"}) {
        auto q = s.Query(sql);
        q->Prepare();
        shim.ArmCancel(1);
        try {
            q->ExecQuery();
            ADD_FAILURE() << sql;
        } catch (const EIBInterBaseError &e) {
            EXPECT_EQ(e.IBErrorCode(), isc_cancelled) << sql;
        }
        EXPECT_TRUE(q->Canceled()) << sql;
        EXPECT_FALSE(q->Open()) << sql;
        q->ExecQuery();
        EXPECT_FALSE(q->Canceled()) << sql;
    }
}

TEST(ExecuteFailure, SegmentStatementsAreRefused) {
    TShim shim;
    TScratchDatabase s(3, "WIN1251", std::string(), std::string(), u"StaleStatement");
    s.Trans->StartTransaction();
    for (int type : {SQLGetSegment, SQLPutSegment}) {
        auto q = s.Query("SELECT 1 FROM RDB$DATABASE");
        shim.ForceType(type);
        EXPECT_CLIENT_ERROR(q->Prepare(), 5, "Not permitted");
        EXPECT_EQ(q->Handle(), 0u);
        EXPECT_FALSE(q->Prepared());
    }
}

TEST(ExecuteFailure, ClosingToleratesAStaleOrClosedCursorAndAlwaysResets) {
    TShim shim;
    TScratchDatabase s(3, "WIN1251", std::string(), std::string(), u"StaleStatement");
    s.Trans->StartTransaction();
    auto q = s.Query("SELECT 1 FROM RDB$DATABASE");
    for (long tolerated : {335544485L, 335544577L}) {
        q->ExecQuery();
        shim.FailFree(tolerated);
        EXPECT_NO_THROW(q->Close()) << tolerated;
        EXPECT_FALSE(q->Open());
    }
    q->ExecQuery();
    shim.FailFree(isc_dsql_error);
    EXPECT_THROW(q->Close(), EIBInterBaseError);
    EXPECT_FALSE(q->Open());
    EXPECT_TRUE(q->Eof());
    EXPECT_EQ(q->RecordCount(), 0);
}

TEST(ExecuteFailure, ReleasingToleratesStaleHandlesAndAlwaysResets) {
    TShim shim;
    TScratchDatabase s(3, "WIN1251", std::string(), std::string(), u"StaleStatement");
    s.Trans->StartTransaction();
    auto q = s.Query("SELECT 1 FROM RDB$DATABASE");
    q->Prepare();
    shim.FailFree(isc_bad_stmt_handle);
    EXPECT_NO_THROW(q->FreeHandle());
    EXPECT_FALSE(q->Prepared());
    q->Prepare();
    shim.FailFree(isc_dsql_error);
    EXPECT_THROW(q->Unprepare(), EIBInterBaseError);
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(q->Handle(), 0u);
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 1);
}

TEST(ExecuteFailure, EndOfStreamAtFetchEndsTheRows) {
    TShim shim;
    TScratchDatabase s(3, "WIN1251", std::string(), std::string(), u"StaleStatement");
    s.Trans->StartTransaction();
    auto q = s.Query("SELECT 1 FROM RDB$DATABASE");
    q->SetGoToFirstRecordOnExecute(false);
    q->ExecQuery();
    shim.FailFetch(335544572L);
    EXPECT_EQ(q->Next(), nullptr);
    EXPECT_TRUE(q->Eof());
    EXPECT_TRUE(q->Open());
    q->Close();
}

}  // namespace
}  // namespace vantrel
