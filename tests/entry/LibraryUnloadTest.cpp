// Unloading the shared library frees what loading and calling built: a host
// that loads, calls and unloads it again and again leaves nothing behind.
// The leak check is LeakSanitizer's, in a child process that runs no
// database engine (a fake client library answers), so it needs the
// sanitizer build. That the library really goes away is checked in both
// builds.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "support/TestSupport.h"
#include "vantrel/vantrel.h"

using namespace vantrel::test;

namespace {

struct TUnloadCycle {
    int32_t Result = -1;
    int32_t Version = 0;
    bool StillLoaded = true;
};

// Loads the library, runs its version check on the database named, and
// unloads it again.
void LoadCheckAndUnload(const std::u16string &database, TUnloadCycle &cycle) {
    void *handle = dlopen(SharedLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto check = reinterpret_cast<decltype(&::CheckDBVersionEx)>(dlsym(handle, "CheckDBVersionEx"));
    auto alloc = reinterpret_cast<decltype(&::VantrelSysAllocStringLen)>(dlsym(handle, "VantrelSysAllocStringLen"));
    auto clear = reinterpret_cast<decltype(&::VantrelVariantClear)>(dlsym(handle, "VantrelVariantClear"));
    ASSERT_TRUE(check && alloc && clear);
    VARIANT name{}, error{};
    name.vt = VT_BSTR;
    name.u.bstrVal = alloc(database.data(), static_cast<uint32_t>(database.size()));
    cycle.Result = check(name, &cycle.Version, &error);
    clear(&error);
    clear(&name);
    dlclose(handle);
    cycle.StillLoaded = dlopen(SharedLibraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD) != nullptr;
}

// Runs one disabled test of this binary in a child process.
void RunChildTest(const std::string &environment, const std::string &test) {
    char self[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    ProcessResult r =
        RunCommand(environment + self + " --gtest_also_run_disabled_tests --gtest_filter=LibraryUnload." + test);
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("[  PASSED  ] 1 test"), std::string::npos) << r.Output;
}

}  // namespace

// Run by the test below in a child process with leak detection on.
TEST(LibraryUnload, DISABLED_LoadCallAndUnloadThreeTimes) {
    for (int cycle = 0; cycle < 3; ++cycle) {
        // Connecting takes the field metadata cache of the name from the
        // process-wide registry, whatever the fake client answers later.
        TUnloadCycle result;
        ASSERT_NO_FATAL_FAILURE(LoadCheckAndUnload(u"unload.fdb", result));
        ASSERT_FALSE(result.StillLoaded) << "still loaded";
    }
}

TEST(LibraryUnload, UnloadingFreesWhatLoadingAndCallingBuilt) {
#ifndef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the leak check is LeakSanitizer's: sanitizer build only";
#endif
    RunChildTest("ASAN_OPTIONS=detect_leaks=1 VANTREL_CLIENT_LIBRARY=" + FakeClientPath("clientfull") + " ",
                 "DISABLED_LoadCallAndUnloadThreeTimes");
}

// Run by the test below in a child process, which has not loaded the
// library otherwise.
TEST(LibraryUnload, DISABLED_UnloadsAfterACallOnThisThread) {
    const char *database = std::getenv("VANTREL_UNLOAD_TEST_DATABASE");
    ASSERT_NE(database, nullptr);
    TUnloadCycle result;
    ASSERT_NO_FATAL_FAILURE(LoadCheckAndUnload(vantrel::test::U(database), result));
    EXPECT_EQ(result.Result, 0);
    EXPECT_EQ(result.Version, 7);
    EXPECT_FALSE(result.StillLoaded) << "still loaded";
}

// The version check on a real VER table writes text parameters (the
// relation name of the catalogue queries) on the calling thread; nothing
// of that may hold the library in memory until the thread ends.
TEST(LibraryUnload, ACallThatWroteTextParametersLeavesNothingThatKeepsTheLibraryLoaded) {
    TempDir dir;
    const std::string db = dir.File("unload.fdb");
    CreateDatabase(db, 1);
    RunIsql(db, "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                "INSERT INTO VER VALUES (1, 7);");
    RunChildTest(SanitizerEnvironment() + "VANTREL_UNLOAD_TEST_DATABASE=" + db + " ",
                 "DISABLED_UnloadsAfterACallOnThisThread");
}

// Run by the test below in a child process.
TEST(LibraryUnload, DISABLED_UnloadsAfterAnUpdateAndTheClientsShutdownCallsNothingOfIt) {
    const char *database = std::getenv("VANTREL_UNLOAD_TEST_DATABASE");
    const char *script = std::getenv("VANTREL_UNLOAD_TEST_SCRIPT");
    ASSERT_TRUE(database && script);
    void *handle = dlopen(SharedLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto update = reinterpret_cast<decltype(&::UpdateDBEx)>(dlsym(handle, "UpdateDBEx"));
    auto alloc = reinterpret_cast<decltype(&::VantrelSysAllocStringLen)>(dlsym(handle, "VantrelSysAllocStringLen"));
    auto clear = reinterpret_cast<decltype(&::VantrelVariantClear)>(dlsym(handle, "VantrelVariantClear"));
    ASSERT_TRUE(update && alloc && clear);
    auto text = [alloc](const std::u16string &s) {
        VARIANT v{};
        v.vt = VT_BSTR;
        v.u.bstrVal = alloc(s.data(), static_cast<uint32_t>(s.size()));
        return v;
    };
    VARIANT db = text(U(database)), file = text(U(script)), error{};
    // The update asks the client to report a shutdown by a signal.
    EXPECT_EQ(update(db, file, &error), 0);
    EXPECT_EQ(error.u.bstrVal, nullptr);
    clear(&error);
    clear(&db);
    clear(&file);
    dlclose(handle);
    ASSERT_EQ(dlopen(SharedLibraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "still loaded";
    // What the client does on SIGTERM: a report still asked for would call
    // into the unloaded library.
    void *client = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(client, nullptr);
    auto shutdown = reinterpret_cast<int (*)(unsigned int, const int)>(dlsym(client, "fb_shutdown"));
    ASSERT_NE(shutdown, nullptr);
    EXPECT_EQ(shutdown(0, -5 /* fb_shutrsn_signal */), 0);
}

TEST(LibraryUnload, AClientShutdownAfterTheLibraryWasUnloadedCallsNothingOfIt) {
    TempDir dir;
    const std::string db = dir.File("unload.fdb");
    CreateDatabase(db, 1);
    WriteFile(dir.File("s.sql"), "CREATE TABLE T (ID INTEGER);\n");
    RunChildTest(SanitizerEnvironment() + "VANTREL_UNLOAD_TEST_DATABASE=" + db +
                     " VANTREL_UNLOAD_TEST_SCRIPT=" + dir.File("s.sql") + " ",
                 "DISABLED_UnloadsAfterAnUpdateAndTheClientsShutdownCallsNothingOfIt");
}
