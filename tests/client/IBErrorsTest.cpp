// Error reporting: client messages by id, server messages composed from the
// status vector through a (fake or real) client library, and the status
// vector search.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "client/GDSLibrary.h"
#include "client/IBErrors.h"
#include "fakeclients/FakeControl.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::ScopedEnv;
using test::TFakeClient;
using test::U;

constexpr ISC_STATUS kDsqlError = 335544569;
constexpr ISC_STATUS kTokenUnknown = 335544634;
constexpr ISC_STATUS kNoPermission = 335544352;

void SetStatus(const std::vector<ISC_STATUS> &entries) {
    ISC_STATUS *status = StatusVector();
    std::fill(status, status + ISC_STATUS_LENGTH, 0);
    std::copy(entries.begin(), entries.end(), status);
}

// ---- Client errors ----------------------------------------------------------------

TEST(ClientErrorMessages, RaisedIdsCarryTheirExactTexts) {
    const std::vector<std::pair<int, const char16_t *>> expected = {
        {0, u"Unknown error"},
        {1, u"InterBase library %s not found in the path. Please install InterBase to use this functionality"},
        {3, u"%s is an InterBase 6 function. Please upgrade to InterBase 6 to use this functonality"},
        {4, u"Unsupported feature"},
        {5, u"Not permitted"},
        {10, u"Operation cancelled at user's request"},
        {11, u"DPB Constant (isc_dpb_%s) is unsupported"},
        {13, u"TPB Constant (isc_tpb_%s) is unsupported"},
        {15, u"Cannot perform operation -- DB is not open"},
        {16, u"Cannot perform operation -- DB is currently open"},
        {17, u"Database name is missing"},
        {18, u"Transaction is not active"},
        {19, u"Transaction is active"},
        {20, u"Timeout values cannot be negative"},
        {21, u"No databases are listed in transaction component"},
        {24, u"Database not assigned"},
        {25, u"Transaction not assigned"},
        {26, u"XSQLDA index out of range"},
        {30, u"Invalid statement handle"},
        {31, u"IBSQL Open"},
        {32, u"IBSQL Closed"},
        {33, u"Dataset open"},
        {35, u"Unknown SQL Data type (%d)"},
        {38, u"Invalid data conversion"},
        {42, u"Empty query"},
        {46, u"Field \"%s\" not found"},
        {55, u"SQL Parse Error:\r\n\r\n%s"},
        {62, u"Can't end a shared transaction unless it is forced and equal to the transaction's TimeoutAction"},
        {63, u"Unsupported Field Type"},
        {65, u"Empty SQL Statement"},
        {66, u"use Open for a Select Statement"},
        {67, u"Required Param value not set"},
        {75, u"No Table Name assigned"},
        {78, u"Table Name Mismatch"},
        {79, u"Index Field Missing"},
        {87, u"SQL Dialect Invalid"},
        {114, u"DPB Constant (%s) is unknown"},
        {115, u"TPB Constant (%s) is unknown"},
        {116, u"Unknown Error - Can't retrieve plan"},
        {117, u"Size Mismatch - Field %s size is too small for data"},
        {119, u"Trying to store a string of length %d into a field that can only contain %d"},
        {123, u"Invalid library type assigned.  Valid strings are %s"},
        {125, u"Character %s cannot be represented in character set %s (code page %d)"},
        {126, u"Character %s cannot be represented in the default narrow code page %d"},
    };
    for (const auto &[id, text] : expected) EXPECT_EQ(ClientErrorMessage(id), text) << "id " << id;
}

TEST(ClientErrorMessages, EveryIdOfTheTableHasATextAndNoOtherDoes) {
    for (int id = 0; id <= 126; ++id) EXPECT_FALSE(ClientErrorMessage(id).empty()) << "id " << id;
    EXPECT_TRUE(ClientErrorMessage(-1).empty());
    EXPECT_TRUE(ClientErrorMessage(127).empty());
}

// The exception a call raises, as class E.
template <class E, class F>
E RaisedBy(F call) {
    try {
        call();
    } catch (const E &e) {
        return e;
    }
    ADD_FAILURE() << "nothing raised";
    return E(-1, u"");
}

TEST(RaiseClientError, FillsPlaceholdersAndCarriesTheIdAsSqlCode) {
    const auto field = RaisedBy<EIBClientError>([] { RaiseClientError(ClientError::FieldNotFound, {U("NAME")}); });
    EXPECT_EQ(field.SQLCode(), 46);
    EXPECT_EQ(field.IBErrorCode(), 0);
    EXPECT_EQ(field.Message(), u"Field \"NAME\" not found");
    EXPECT_STREQ(field.what(), "Field \"NAME\" not found");

    const auto length =
        RaisedBy<EIBClientError>([] { RaiseClientError(ClientError::StringTooLarge, {int64_t(12), int64_t(10)}); });
    EXPECT_EQ(length.SQLCode(), 119);
    EXPECT_EQ(length.Message(), u"Trying to store a string of length 12 into a field that can only contain 10");

    const auto parse =
        RaisedBy<EIBError>([] { RaiseClientError(ClientError::SQLParseError, {U("EOF in comment detected")}); });
    EXPECT_EQ(parse.Message(), u"SQL Parse Error:\r\n\r\nEOF in comment detected");
}

TEST(RaiseClientError, AnIdWithoutTextStillRaisesWithTheId) {
    const auto e = RaisedBy<EIBClientError>([] { RaiseClientError(ClientError{500}); });
    EXPECT_EQ(e.SQLCode(), 500);
    EXPECT_EQ(e.Message(), u"Unknown error");
}

// ---- Server errors through a fake client ------------------------------------------

class ServerErrorText : public ::testing::Test {
protected:
    ServerErrorText() : Fake("clientfull"), Env("VANTREL_CLIENT_LIBRARY", Fake.Path().c_str()) {
        Library.CheckIBLoaded();
    }
    ~ServerErrorText() override { SetStatus({}); }

    // Makes the next client call fail with these clusters and runs it, as
    // the client layer does before it raises.
    void FailCall(const std::vector<ISC_STATUS> &status) {
        Fake.SetError(status);
        isc_db_handle db = 1;
        isc_tr_handle tr = 1;
        ASSERT_EQ(Library.isc_dsql_execute_immediate(StatusVector(), &db, &tr, 0, "SELECT", 3, nullptr), status[1]);
    }

    // The exception RaiseServerError raises, as its base class.
    template <class E = EIBError>
    E Raised() {
        try {
            RaiseServerError(&Library);
        } catch (const E &e) {
            return e;
        }
        ADD_FAILURE() << "nothing raised";
        return E(0, u"");
    }

    TFakeClient Fake;
    ScopedEnv Env;
    TIBServerLibrary Library;
};

TEST_F(ServerErrorText, FourMessagesBecomeFourLines) {
    Fake.SetMessage(kDsqlError, "Dynamic SQL Error");
    Fake.SetMessage(kTokenUnknown, "SQL error code = -104");
    Fake.SetMessage(1, "Token unknown - line 1, column 8");
    Fake.SetMessage(2, "FROMM");
    Fake.SetSqlCode(-104);
    FailCall({isc_arg_gds, kDsqlError, isc_arg_gds, kTokenUnknown, isc_arg_number, -104, isc_arg_gds, 1,
              isc_arg_gds, 2, isc_arg_end});
    const EIBInterBaseError e = Raised<EIBInterBaseError>();
    EXPECT_EQ(e.Message(), u"Dynamic SQL Error\r\nSQL error code = -104\r\nToken unknown - line 1, column 8\r\nFROMM");
    EXPECT_EQ(e.SQLCode(), -104);
    EXPECT_EQ(e.IBErrorCode(), kDsqlError);
}

TEST_F(ServerErrorText, MessageEndingInLineFeedIsFollowedDirectly) {
    Fake.SetMessage(1, "first line\n");
    Fake.SetMessage(2, "second line");
    Fake.SetMessage(3, "third line");
    FailCall({isc_arg_gds, 1, isc_arg_gds, 2, isc_arg_gds, 3, isc_arg_end});
    EXPECT_EQ(Raised().Message(), u"first line\nsecond line\r\nthird line");
}

TEST_F(ServerErrorText, OnlyOneFinalFullStopIsRemoved) {
    Fake.SetMessage(1, "Statement failed.");
    Fake.SetMessage(2, "Try again..");
    FailCall({isc_arg_gds, 1, isc_arg_gds, 2, isc_arg_end});
    EXPECT_EQ(Raised().Message(), u"Statement failed.\r\nTry again.");

    FailCall({isc_arg_gds, 1, isc_arg_end});
    EXPECT_EQ(Raised().Message(), u"Statement failed");
}

TEST_F(ServerErrorText, NoPermissionRaisesTheRoleErrorOnly) {
    Fake.SetMessage(kNoPermission, "no permission for read/select access to TABLE VER");
    Fake.SetSqlCode(-551);
    FailCall({isc_arg_gds, kNoPermission, isc_arg_end});
    try {
        RaiseServerError(&Library);
        FAIL() << "nothing raised";
    } catch (const EIBError &e) {
        EXPECT_NE(dynamic_cast<const EIBInterBaseRoleError *>(&e), nullptr);
        EXPECT_EQ(dynamic_cast<const EIBInterBaseError *>(&e), nullptr);
        EXPECT_EQ(e.SQLCode(), -551);
        EXPECT_EQ(e.IBErrorCode(), kNoPermission);
        EXPECT_EQ(e.Message(), u"no permission for read/select access to TABLE VER");
    }
}

TEST_F(ServerErrorText, MessagesAreDecodedInTheNarrowCodePage) {
    Fake.SetMessage(1, "Ошибка «ввода»");
    FailCall({isc_arg_gds, 1, isc_arg_end});
    EXPECT_EQ(Raised().Message(), U("Ошибка «ввода»"));
}

TEST_F(ServerErrorText, EmptyFirstMessageStillRaises) {
    Fake.SetMessage(1, "");
    Fake.SetMessage(2, "never read");
    FailCall({isc_arg_gds, 1, isc_arg_gds, 2, isc_arg_end});
    const EIBInterBaseError e = Raised<EIBInterBaseError>();
    EXPECT_EQ(e.Message(), u"");
    EXPECT_EQ(e.IBErrorCode(), 1);
}

TEST_F(ServerErrorText, MessageWithoutNulIsTakenWhole) {
    Fake.SetUnterminated(true);
    FailCall({isc_arg_gds, 1, isc_arg_end});
    EXPECT_EQ(Raised().Message(), String(20480, u'A'));
}

TEST_F(ServerErrorText, ComposeReportsTheCodesWithoutRaising) {
    Fake.SetMessage(kDsqlError, "Dynamic SQL Error.");
    Fake.SetSqlCode(-104);
    FailCall({isc_arg_gds, kDsqlError, isc_arg_end});
    int32_t sqlCode = 0;
    int32_t errorCode = 0;
    EXPECT_EQ(ComposeServerErrorText(Library, sqlCode, errorCode), u"Dynamic SQL Error");
    EXPECT_EQ(sqlCode, -104);
    EXPECT_EQ(errorCode, kDsqlError);
}

TEST_F(ServerErrorText, ThreadsComposeTheirOwnVectors) {
    Fake.SetMessage(1, "one");
    Fake.SetMessage(2, "two");
    SetStatus({isc_arg_gds, 1, isc_arg_end});
    String other;
    std::thread thread([&] {
        SetStatus({isc_arg_gds, 2, isc_arg_end});
        try {
            RaiseServerError(&Library);
        } catch (const EIBError &e) {
            other = e.Message();
        }
    });
    thread.join();
    EXPECT_EQ(other, u"two");
    EXPECT_EQ(Raised().Message(), u"one");
}

// ---- Server errors through the registered binding and the real client ----------------

TEST(RealServerError, WithoutABindingTheRegisteredServerBindingComposes) {
    ScopedEnv env("VANTREL_CLIENT_LIBRARY", nullptr);
    const auto server = FindServerLibrary(u"IBServer");
    server->CheckIBLoaded();
    SetStatus({isc_arg_gds, kConnectionLost, isc_arg_end});
    const ISC_LONG expectedSqlCode = server->isc_sqlcode(StatusVector());
    try {
        RaiseServerError();
        FAIL() << "nothing raised";
    } catch (const EIBInterBaseError &e) {
        EXPECT_EQ(e.IBErrorCode(), kConnectionLost);
        EXPECT_EQ(e.SQLCode(), expectedSqlCode);
        EXPECT_NE(e.SQLCode(), 0);
        EXPECT_EQ(e.Message(), u"connection lost to database");
    }
    SetStatus({});
}

// ---- Status vector search ------------------------------------------------------------------

TEST(StatusVectorHas, ComparesErrorCodesAndNumbersOnly) {
    static const char text[] = "TABLE";
    const auto textAddress = static_cast<ISC_STATUS>(reinterpret_cast<intptr_t>(text));
    SetStatus({isc_arg_gds, kDsqlError, isc_arg_string, textAddress, isc_arg_number, 1234, isc_arg_cstring, 5,
               textAddress, isc_arg_gds, kConnectionLost, isc_arg_end});
    EXPECT_TRUE(StatusVectorHas({kConnectionLost}));
    EXPECT_TRUE(StatusVectorHas({kNetworkReadError, kDsqlError}));
    EXPECT_TRUE(StatusVectorHas({1234}));
    // Text addresses and lengths are skipped, not compared.
    EXPECT_FALSE(StatusVectorHas({textAddress}));
    EXPECT_FALSE(StatusVectorHas({5}));
    EXPECT_FALSE(StatusVectorHas({kNetworkWriteError}));
    EXPECT_FALSE(StatusVectorHas({}));
    SetStatus({});
}

TEST(StatusVectorHas, StopsAtTheEndOfTheVector) {
    SetStatus({isc_arg_gds, kDsqlError, isc_arg_end, isc_arg_gds, kConnectionLost});
    EXPECT_FALSE(StatusVectorHas({kConnectionLost}));
    SetStatus({isc_arg_end, kConnectionLost});
    EXPECT_FALSE(StatusVectorHas({kConnectionLost}));
    SetStatus({});
}

}  // namespace
}  // namespace vantrel
