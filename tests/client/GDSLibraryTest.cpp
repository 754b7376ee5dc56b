// Client library binding: the server type registry, loading the real client
// and fake ones of other versions, refusal routines, argument forwarding
// and the per-thread status vector.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "client/GDSLibrary.h"
#include "client/IBErrors.h"
#include "fakeclients/FakeControl.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::ScopedEnv;
using test::TFakeClient;
using test::N;
using test::U;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char *kClientVariable = "VANTREL_CLIENT_LIBRARY";

// Runs a call that must raise EIBClientError and returns the exception.
template <class F>
EIBClientError ClientErrorOf(F call) {
    try {
        call();
    } catch (const EIBClientError &e) {
        return e;
    }
    ADD_FAILURE() << "no EIBClientError raised";
    return EIBClientError(-1, u"");
}

String Upgrade(const char *what, const char *version) {
    return U(std::string(what) + " is an InterBase " + version + " function. Please upgrade to InterBase " +
             version + " to use this functonality");
}

// A fresh binding object loading one fake client.
struct TFakeBinding {
    explicit TFakeBinding(const std::string &name) : Fake(name), Env(kClientVariable, Fake.Path().c_str()) {
        Library.CheckIBLoaded();
    }
    TFakeClient Fake;
    ScopedEnv Env;
    TIBServerLibrary Library;
};

// ---- Registry ----------------------------------------------------------------

TEST(ServerTypeRegistry, HoldsServerAndEmbeddedInThatOrder) {
    const auto &entries = ServerLibraries();
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, u"IBServer");
    EXPECT_EQ(entries[1].first, u"IBEmbedded");
    EXPECT_NE(dynamic_cast<TIBServerLibrary *>(entries[0].second.get()), nullptr);
    EXPECT_NE(dynamic_cast<TIBEmbeddedLibrary *>(entries[1].second.get()), nullptr);
}

TEST(ServerTypeRegistry, MatchReturnsTheRegisteredSpellingWhateverTheCase) {
    EXPECT_EQ(MatchServerType(u"ibserver"), u"IBServer");
    EXPECT_EQ(MatchServerType(u"IBSERVER"), u"IBServer");
    EXPECT_EQ(MatchServerType(u"ibEmbedded"), u"IBEmbedded");
}

TEST(ServerTypeRegistry, MatchOfAnUnknownTypeRaisesInvalidLibraryType) {
    const EIBClientError e = ClientErrorOf([] { MatchServerType(u"Oracle"); });
    EXPECT_EQ(e.SQLCode(), 123);
    EXPECT_EQ(e.Message(), u"Invalid library type assigned.  Valid strings are Oracle");
    // A prefix of a registered name is no match.
    EXPECT_EQ(ClientErrorOf([] { MatchServerType(u"IBServ"); }).SQLCode(), 123);
}

TEST(ServerTypeRegistry, FindGivesOneSharedBindingPerType) {
    const auto server = FindServerLibrary(u"IBServer");
    EXPECT_EQ(FindServerLibrary(u"ibserver"), server);
    EXPECT_NE(FindServerLibrary(u"IBEmbedded"), server);
}

TEST(ServerTypeRegistry, FindOfAnUnknownTypeRaisesItemNotFound) {
    try {
        FindServerLibrary(u"Nothing");
        FAIL() << "no error";
    } catch (const EIBError &) {
        FAIL() << "not a database error";
    } catch (const EListError &e) {
        EXPECT_EQ(e.Message(), u"Item not found");
    }
}

TEST(ServerTypeRegistry, RegisteredTypesAreFoundAndNotRegisteredTwice) {
    auto library = std::make_shared<TIBServerLibrary>();
    RegisterServerLibrary(u"TestServer", library);
    EXPECT_EQ(FindServerLibrary(u"TESTSERVER"), library);
    EXPECT_EQ(MatchServerType(u"testserver"), u"TestServer");
    EXPECT_THROW(RegisterServerLibrary(u"testServer", std::make_shared<TIBServerLibrary>()), EListError);
    EXPECT_EQ(FindServerLibrary(u"TestServer"), library);
}

// ---- The real client library --------------------------------------------------

// Firebird 3 and 4 answer the InterBase version queries with 6.3 (their
// isc_get_client_version texts read "LI-V6.3... Firebird 3.0" and "LI-V6.3...
// Firebird 4.0"): clients with the version 6 functions and without the
// InterBase 7 descriptors.
constexpr int64_t kFirebirdThreeVersion = 63000;

TEST(RealClientLibrary, LoadsByBareNameWithTheVersionTheClientReports) {
    ScopedEnv env(kClientVariable, nullptr);
    TIBServerLibrary library;
    EXPECT_EQ(library.LibraryName(), u"libfbclient.so.2");
    EXPECT_EQ(library.LibraryHandle(), nullptr);
    EXPECT_EQ(library.GetIBClientVersion(), kFirebirdThreeVersion);
    EXPECT_NE(library.LibraryHandle(), nullptr);
    EXPECT_EQ(library.isc_get_client_major_version(), 6);
    EXPECT_EQ(library.isc_get_client_minor_version(), 3);
    char version[64] = {};
    library.isc_get_client_version(version);
    // The installation's version, whose types the binding knows by what the
    // library exports.
    const std::string installed = test::InstalledFirebirdVersion();
    ASSERT_FALSE(installed.empty());
    EXPECT_THAT(version, HasSubstr(installed));
    EXPECT_EQ(library.ClientHasFirebird4Types(), test::InstalledFirebirdMajor() >= 4) << installed;
    // No XML output library here, and that is no failure.
    EXPECT_EQ(library.XMLLibraryHandle(), nullptr);
    EXPECT_THAT(ClientErrorOf([&] { library.isc_dsql_xml_fetch(StatusVector(), nullptr, 1, nullptr, nullptr); })
                    .what(),
                HasSubstr("isc_dsql_xml_fetch"));
}

TEST(RealClientLibrary, RefusesTheInterBaseSevenAndLaterFunctions) {
    ScopedEnv env(kClientVariable, nullptr);
    TIBServerLibrary library;
    library.CheckIBLoaded();
    const EIBClientError sdl = ClientErrorOf(
        [&] { library.isc_array_gen_sdl2(StatusVector(), nullptr, nullptr, nullptr, nullptr); });
    EXPECT_EQ(sdl.SQLCode(), 0);
    EXPECT_EQ(sdl.Message(), Upgrade("isc_array_gen_sdl2 ", "7.0"));
    EXPECT_EQ(ClientErrorOf([&] { library.isc_blob_set_desc2(StatusVector(), nullptr, nullptr, 0, 0, 0, nullptr); })
                  .Message(),
              Upgrade("isc_blob_set_desc2 ", "7.0"));
    EXPECT_EQ(ClientErrorOf([&] { library.isc_start_savepoint(StatusVector(), nullptr, "S"); }).Message(),
              Upgrade("isc_start_savepoint ", "7.1"));
    EXPECT_EQ(ClientErrorOf([&] {
                  library.isc_dsql_batch_execute(StatusVector(), nullptr, nullptr, 3, nullptr, 0, nullptr, nullptr);
              }).Message(),
              Upgrade("isc_dsql_batch_execute", "2007"));
}

TEST(RealClientLibrary, ReportsAServerErrorThroughTheStatusVector) {
    ScopedEnv env(kClientVariable, nullptr);
    test::TempDir dir;
    TIBServerLibrary library;
    library.CheckIBLoaded();
    const std::string file = dir.File("missing.fdb");
    isc_db_handle db = 0;
    const ISC_STATUS code =
        library.isc_attach_database(StatusVector(), 0, file.c_str(), &db, 0, nullptr);
    ASSERT_NE(code, 0);
    EXPECT_EQ(db, 0u);
    EXPECT_EQ(code, StatusVector()[1]);
    try {
        RaiseServerError(&library);
    } catch (const EIBInterBaseError &e) {
        EXPECT_EQ(e.SQLCode(), -902);
        EXPECT_EQ(e.IBErrorCode(), code);
        EXPECT_THAT(StringToUtf8(e.Message()), HasSubstr(file));
        // Several client messages, one per line.
        EXPECT_THAT(N(e.Message()), HasSubstr("\r\n"));
        EXPECT_FALSE(EndsWith(e.Message(), u"."));
        EXPECT_FALSE(EndsWith(e.Message(), u"\r\n"));
        return;
    }
    FAIL() << "no EIBInterBaseError";
}

TEST(RealClientLibrary, AttachesAndDetachesAnEmbeddedDatabase) {
    ScopedEnv env(kClientVariable, nullptr);
    test::TempDir dir;
    const std::string file = dir.File("embedded.fdb");
    test::CreateDatabase(file);
    TIBEmbeddedLibrary library;
    library.CheckIBLoaded();
    const char dpb[] = {isc_dpb_version1, isc_dpb_user_name, 6, 'S', 'Y', 'S', 'D', 'B', 'A'};
    isc_db_handle db = 0;
    ASSERT_EQ(library.isc_attach_database(StatusVector(), 0, file.c_str(), &db, short(sizeof dpb), dpb), 0);
    EXPECT_NE(db, 0u);
    EXPECT_EQ(library.isc_detach_database(StatusVector(), &db), 0);
    EXPECT_EQ(db, 0u);
}

TEST(RealClientLibrary, EmbeddedTypeLoadsTheSameFile) {
    {
        ScopedEnv env(kClientVariable, nullptr);
        TIBEmbeddedLibrary embedded;
        EXPECT_EQ(embedded.LibraryName(), u"libfbclient.so.2");
        EXPECT_EQ(embedded.GetIBClientVersion(), kFirebirdThreeVersion);
    }
    ScopedEnv env(kClientVariable, "libother.so");
    EXPECT_EQ(TIBEmbeddedLibrary().LibraryName(), u"libother.so");
    EXPECT_EQ(TIBServerLibrary().LibraryName(), u"libother.so");
}

TEST(RealClientLibrary, RegisteredBindingIsLoadedOnceAndShared) {
    ScopedEnv env(kClientVariable, nullptr);
    const auto first = FindServerLibrary(u"IBServer");
    first->CheckIBLoaded();
    auto *server = dynamic_cast<TIBServerLibrary *>(first.get());
    ASSERT_NE(server, nullptr);
    void *handle = server->LibraryHandle();
    ASSERT_NE(handle, nullptr);
    const auto second = FindServerLibrary(u"IBSERVER");
    EXPECT_TRUE(second->TryIBLoad());
    EXPECT_EQ(second.get(), first.get());
    EXPECT_EQ(server->LibraryHandle(), handle);
    EXPECT_EQ(second->GetIBClientVersion(), kFirebirdThreeVersion);
}

// ---- Loading failures -------------------------------------------------------------

TEST(ClientLibraryLoading, MissingLibraryRaisesNotFoundNamingItAndIsRetried) {
    ScopedEnv env(kClientVariable, "libvantrel-no-such-client.so.2");
    TIBServerLibrary library;
    EXPECT_EQ(library.LibraryName(), u"libvantrel-no-such-client.so.2");
    EXPECT_FALSE(library.TryIBLoad());
    const EIBClientError e = ClientErrorOf([&] { library.CheckIBLoaded(); });
    EXPECT_EQ(e.SQLCode(), 1);
    EXPECT_EQ(e.Message(), u"InterBase library libvantrel-no-such-client.so.2 not found in the path. Please "
                           u"install InterBase to use this functionality");
    EXPECT_EQ(ClientErrorOf([&] { library.GetIBClientVersion(); }).SQLCode(), 1);

    // The next attempt loads again, and now finds a library.
    TFakeClient fake("clientfull");
    ScopedEnv found(kClientVariable, fake.Path().c_str());
    EXPECT_TRUE(library.TryIBLoad());
    EXPECT_EQ(library.GetIBClientVersion(), 30000);
}

TEST(ClientLibraryLoading, MissingRequiredEntryPointRaisesTheOperatingSystemError) {
    TFakeClient fake("clientnotrinfo");
    ScopedEnv env(kClientVariable, fake.Path().c_str());
    TIBServerLibrary library;
    try {
        library.CheckIBLoaded();
        FAIL() << "the load succeeded";
    } catch (const EIBError &e) {
        FAIL() << "a database error: " << e.what();
    } catch (const EOSError &e) {
        EXPECT_EQ(e.ErrorCode(), 0);
        EXPECT_THAT(N(e.Message()), StartsWith("System Error.  Code: 0.\r\n"));
        EXPECT_THAT(e.what(), HasSubstr("isc_transaction_info"));
    }
    // The library stays loaded but incomplete: no new attempt, what was
    // resolved works, and the missing function refuses instead of crashing.
    void *handle = library.LibraryHandle();
    EXPECT_NE(handle, nullptr);
    EXPECT_TRUE(library.TryIBLoad());
    EXPECT_EQ(library.LibraryHandle(), handle);
    isc_db_handle db = 0;
    EXPECT_EQ(library.isc_attach_database(StatusVector(), 0, "x.fdb", &db, 0, nullptr), 0);
    EXPECT_EQ(fake.LastCall(), "isc_attach_database");
    EXPECT_THAT(ClientErrorOf([&] {
                    isc_tr_handle tr = 0;
                    library.isc_transaction_info(StatusVector(), &tr, 0, nullptr, 0, nullptr);
                }).what(),
                HasSubstr("isc_transaction_info"));
}

TEST(ClientLibraryLoading, UnloadedBindingRefusesCallsInsteadOfCrashing) {
    TIBServerLibrary library;
    const EIBClientError unloaded = ClientErrorOf([&] { library.isc_sqlcode(StatusVector()); });
    EXPECT_EQ(unloaded.SQLCode(), 2);
    EXPECT_EQ(unloaded.Message(), u"Client library function isc_sqlcode is not available");

    TFakeClient fake("clientfull");
    ScopedEnv env(kClientVariable, fake.Path().c_str());
    library.CheckIBLoaded();
    library.FreeIBLibrary();
    EXPECT_EQ(library.LibraryHandle(), nullptr);
    EXPECT_THAT(ClientErrorOf([&] { library.isc_sqlcode(StatusVector()); }).what(), HasSubstr("isc_sqlcode"));
    EXPECT_TRUE(library.TryIBLoad());
    EXPECT_EQ(library.isc_get_client_major_version(), 3);
}

// ---- Version groups ------------------------------------------------------------------

TEST(ClientVersionGroups, WithoutRollbackRetainingTheClientIsFiveAndRefusesVersionSix) {
    TFakeBinding binding("clientv5");
    TIBServerLibrary &library = binding.Library;
    EXPECT_EQ(library.GetIBClientVersion(), 50000);
    isc_tr_handle tr = 0;
    const EIBClientError rollback = ClientErrorOf([&] { library.isc_rollback_retaining(StatusVector(), &tr); });
    EXPECT_EQ(rollback.SQLCode(), 3);
    EXPECT_EQ(rollback.Message(), Upgrade("isc_rollback_retaining", "6"));
    EXPECT_EQ(ClientErrorOf([&] { library.isc_service_detach(StatusVector(), nullptr); }).Message(),
              Upgrade("isc_service_detach", "6"));
    EXPECT_EQ(ClientErrorOf([&] { library.isc_decode_sql_date(nullptr, nullptr); }).Message(),
              Upgrade("isc_decode_sql_date", "6"));
    // isc_encode_timestamp reports itself under another name.
    const EIBClientError encode = ClientErrorOf([&] { library.isc_encode_timestamp(nullptr, nullptr); });
    EXPECT_EQ(encode.SQLCode(), 3);
    EXPECT_EQ(encode.Message(), Upgrade("isc_encode_sql_timestamp", "6"));
    // Later groups are refused too.
    EXPECT_EQ(ClientErrorOf([&] { library.isc_get_client_version(nullptr); }).Message(),
              Upgrade("isc_get_client_version ", "7.0"));
    EXPECT_EQ(ClientErrorOf([&] { library.isc_blob_default_desc2(nullptr, nullptr, nullptr); }).Message(),
              Upgrade("isc_blob_default_desc2 ", "7.0"));
    EXPECT_EQ(ClientErrorOf([&] { library.isc_rollback_savepoint(StatusVector(), &tr, "S", 0); }).Message(),
              Upgrade("isc_rollback_savepoint ", "7.1"));
    EXPECT_EQ(ClientErrorOf([&] {
                  library.isc_dsql_batch_execute_immed(StatusVector(), nullptr, &tr, 3, 0, nullptr, nullptr);
              }).Message(),
              Upgrade("isc_dsql_batch_execute_immed", "2007"));
}

TEST(ClientVersionGroups, WithoutClientVersionTheClientIsSixAndRefusesTheVersionQueries) {
    TFakeBinding binding("clientv6");
    TIBServerLibrary &library = binding.Library;
    EXPECT_EQ(library.GetIBClientVersion(), 60000);
    const EIBClientError major = ClientErrorOf([&] { library.isc_get_client_major_version(); });
    EXPECT_EQ(major.SQLCode(), 0);
    EXPECT_EQ(major.Message(), u"isc_get_client_major_version  is an InterBase 7.0 function. Please upgrade to "
                               u"InterBase 7.0 to use this functonality");
    EXPECT_EQ(ClientErrorOf([&] { library.isc_get_client_minor_version(); }).Message(),
              Upgrade("isc_get_client_minor_version ", "7.0"));
    // The version 6 functions are the client's own.
    isc_tr_handle tr = 0;
    EXPECT_EQ(library.isc_rollback_retaining(StatusVector(), &tr), 0);
    EXPECT_EQ(binding.Fake.LastCall(), "isc_rollback_retaining");
    library.isc_encode_timestamp(nullptr, nullptr);
    EXPECT_EQ(binding.Fake.LastCall(), "isc_encode_timestamp");
}

TEST(ClientVersionGroups, SevenZeroResolvesDescriptorFunctionsButNotSavepoints) {
    TFakeBinding binding("clientv70");
    TIBServerLibrary &library = binding.Library;
    EXPECT_EQ(library.GetIBClientVersion(), 70000);
    EXPECT_EQ(library.isc_array_gen_sdl2(StatusVector(), nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(binding.Fake.LastCall(), "isc_array_gen_sdl2");
    isc_tr_handle tr = 0;
    EXPECT_EQ(ClientErrorOf([&] { library.isc_release_savepoint(StatusVector(), &tr, "S"); }).Message(),
              Upgrade("isc_release_savepoint ", "7.1"));
}

TEST(ClientVersionGroups, SevenOneResolvesSavepointsAndRefusesBatches) {
    TFakeBinding binding("clientv71");
    TIBServerLibrary &library = binding.Library;
    EXPECT_EQ(library.GetIBClientVersion(), 71000);
    isc_tr_handle tr = 5;
    EXPECT_EQ(library.isc_start_savepoint(StatusVector(), &tr, "SP1"), 0);
    EXPECT_EQ(binding.Fake.LastCall(), "isc_start_savepoint");
    EXPECT_EQ(binding.Fake.LastArgs(), "SP1");
    EXPECT_EQ(library.isc_rollback_savepoint(StatusVector(), &tr, "SP1", 0), 0);
    EXPECT_EQ(binding.Fake.LastCall(), "isc_rollback_savepoint");
    const EIBClientError batch = ClientErrorOf([&] {
        library.isc_dsql_batch_execute_immed(StatusVector(), nullptr, &tr, 3, 0, nullptr, nullptr);
    });
    EXPECT_EQ(batch.SQLCode(), 0);
    EXPECT_EQ(batch.Message(), u"isc_dsql_batch_execute_immed is an InterBase 2007 function. Please upgrade to "
                               u"InterBase 2007 to use this functonality");
}

TEST(ClientVersionGroups, EightZeroResolvesBatchExecution) {
    TFakeBinding binding("clientv80");
    TIBServerLibrary &library = binding.Library;
    EXPECT_EQ(library.GetIBClientVersion(), 80000);
    char first[] = "INSERT INTO T VALUES (1)";
    char second[] = "DELETE FROM T";
    ISC_SCHAR *statements[] = {first, second};
    ISC_ULONG rows[2] = {0, 0};
    isc_tr_handle tr = 1;
    EXPECT_EQ(library.isc_dsql_batch_execute_immed(StatusVector(), nullptr, &tr, 3, 2, statements, rows), 0);
    EXPECT_EQ(binding.Fake.LastArgs(), "INSERT INTO T VALUES (1)|DELETE FROM T");
    EXPECT_EQ(rows[0], 1u);
    EXPECT_EQ(rows[1], 2u);
}

// ---- Forwarding -----------------------------------------------------------------------

TEST(ClientCallForwarding, PassesArgumentsAndTheFilledStatusVectorThrough) {
    TFakeBinding binding("clientfull");
    TIBServerLibrary &library = binding.Library;
    isc_db_handle db = 0;
    EXPECT_EQ(library.isc_attach_database(StatusVector(), 6, "db.fdbXYZ", &db, 17, "dpb"), 0);
    EXPECT_EQ(db, 1u);
    EXPECT_EQ(binding.Fake.LastArgs(), "db.fdb|17");

    binding.Fake.SetError({isc_arg_gds, 335544344, isc_arg_end});
    isc_tr_handle tr = 0;
    EXPECT_EQ(library.isc_dsql_execute_immediate(StatusVector(), &db, &tr, 0, "SELECT 1", 3, nullptr), 335544344);
    EXPECT_EQ(binding.Fake.LastArgs(), "SELECT 1|3");
    EXPECT_EQ(StatusVector()[0], 1);
    EXPECT_EQ(StatusVector()[1], 335544344);
}

TEST(ClientCallForwarding, StartTransactionForwardsEveryDatabase) {
    TFakeBinding binding("clientfull");
    TIBServerLibrary &library = binding.Library;
    isc_db_handle first = 11;
    isc_db_handle second = 22;
    isc_tr_handle tr = 0;
    EXPECT_EQ(library.isc_start_transaction(StatusVector(), &tr, 2, &first, 3, "abc", &second, 2, "xy"), 0);
    EXPECT_EQ(binding.Fake.LastCall(), "isc_start_transaction");
    EXPECT_EQ(binding.Fake.LastArgs(), "2|11,3,abc|22,2,xy");
    EXPECT_EQ(tr, 7u);
}

TEST(ClientCallForwarding, EventBlockForwardsEveryName) {
    TFakeBinding binding("clientfull");
    ISC_UCHAR placeholder = 0;
    ISC_UCHAR *events = &placeholder;
    ISC_UCHAR *results = &placeholder;
    EXPECT_EQ(binding.Library.isc_event_block(&events, &results, 3, "ONE", "TWO", "THREE"), 3);
    EXPECT_EQ(binding.Fake.LastArgs(), "ONE|TWO|THREE");
    EXPECT_EQ(events, nullptr);
}

// ---- Status vector -----------------------------------------------------------------------

TEST(ThreadStatusVector, EachThreadHasItsOwn) {
    ISC_STATUS *mine = StatusVector();
    EXPECT_EQ(StatusVector(), mine);
    mine[1] = 4711;
    ISC_STATUS *theirs = nullptr;
    ISC_STATUS theirFirstCode = -1;
    std::thread other([&] {
        theirs = StatusVector();
        theirFirstCode = theirs[1];
        theirs[1] = 815;
    });
    other.join();
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(theirFirstCode, 0);
    EXPECT_EQ(mine[1], 4711);
    mine[1] = 0;
}

}  // namespace
}  // namespace vantrel
