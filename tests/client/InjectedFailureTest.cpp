// The client layer when one client call fails that a real server cannot be
// made to fail on demand: through the injecting client library (forwarding
// to the real one), loaded by a binding object of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "SQLFixture.h"
#include "client/GDSLibrary.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"

namespace vantrel {
namespace {

using test::TScratchDatabase;
using test::U;

class TInjectingLibrary : public TIBServerLibrary {
public:
    String LibraryName() const override { return Utf8ToString(test::FakeClientPath("injectingclient")); }
};

constexpr int kOnce = 1;
constexpr int kShutdown = 1, kConnectionLost = 4;

// The injecting client's controls, once the binding has loaded it.
struct TInjector {
    TInjector() {
        static const bool registered = [] {
            RegisterServerLibrary(u"Injecting", std::make_shared<TInjectingLibrary>());
            return true;
        }();
        (void)registered;
    }
    template <class F>
    F *Fn(const char *name) {
        void *h = dlopen(test::FakeClientPath("injectingclient").c_str(), RTLD_NOW | RTLD_NOLOAD);
        EXPECT_NE(h, nullptr);
        auto *f = h ? reinterpret_cast<F *>(dlsym(h, name)) : nullptr;
        if (h) dlclose(h);
        return f;
    }
    // The nth call of the function, counted from now, fails once.
    void FailCall(const char *name, long nth, int kind) {
        Fn<void(const char *, long, int, int)>("inject_arm_call")(name, nth, kOnce, kind);
    }
    long Failures() { return Fn<long()>("inject_failures")(); }
};

const char kTable[] = "CREATE TABLE T (ID INTEGER);\n";

std::string Rows(const TScratchDatabase &s) {
    std::string out = test::RunIsql(s.Path, "SELECT '<' || COUNT(*) || '>' FROM T;");
    const auto a = out.find('<');
    return a == std::string::npos ? "?" : out.substr(a + 1, out.find('>', a) - a - 1);
}

// A transaction whose commit failed can only be rolled back: closing its
// connection (which ends it by its default action, commit) rolls it back.
TEST(InjectedFailure, ATransactionWhoseCommitFailedIsRolledBackWhenItsConnectionCloses) {
    TInjector injector;
    TScratchDatabase s(3, "WIN1251", kTable, std::string(), u"Injecting");
    s.Exec("INSERT INTO T VALUES (1)");
    injector.FailCall("isc_commit_transaction", 1, kShutdown);
    EXPECT_THROW(s.Trans->Commit(), EIBError);
    EXPECT_TRUE(s.Trans->InTransaction());
    EXPECT_TRUE(s.Trans->RollbackOnly());
    s.DB->Close();
    EXPECT_EQ(Rows(s), "0");
}

// A connection taken for lost ends its transactions by rollback: nothing of
// the work whose failure is being reported is committed on the way out.
TEST(InjectedFailure, ALostConnectionCommitsNothing) {
    TInjector injector;
    TScratchDatabase s(3, "WIN1251", kTable, std::string(), u"Injecting");
    s.Exec("INSERT INTO T VALUES (1)");
    injector.FailCall("isc_dsql_prepare", 1, kConnectionLost);
    EXPECT_THROW(s.Exec("INSERT INTO T VALUES (2)"), EIBError);
    EXPECT_FALSE(s.DB->Connected());
    EXPECT_EQ(injector.Failures(), 1);
    EXPECT_EQ(Rows(s), "0");
}

// A statement whose release failed stays known to the client until the
// connection detaches. The client must not write into the statement object
// then, which is gone by that time.
TEST(InjectedFailure, AStatementWhoseReleaseFailedIsNotWrittenToAfterItIsGone) {
    TInjector injector;
    TScratchDatabase s(3, "WIN1251", kTable, std::string(), u"Injecting");
    s.Trans->StartTransaction();
    alignas(TIBSQL) unsigned char storage[sizeof(TIBSQL)];
    auto *q = new (storage) TIBSQL(nullptr);
    q->SetDatabase(s.DB.get());
    q->SetTransaction(s.Trans.get());
    q->SetSQL(u"SELECT COUNT(*) FROM T");
    q->ExecQuery();
    q->Close();
    injector.FailCall("isc_dsql_free_statement", 1, kShutdown);
    q->~TIBSQL();
    EXPECT_EQ(injector.Failures(), 1) << "the release was made and failed";
    std::memset(storage, 0xA5, sizeof storage);
    s.Trans->Commit();
    s.DB->Close();
    size_t changed = 0;
    for (unsigned char byte : storage) changed += byte != 0xA5;
    EXPECT_EQ(changed, 0u);
}

}  // namespace
}  // namespace vantrel
