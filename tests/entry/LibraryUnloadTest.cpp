// Unloading the shared library frees what loading and calling built: a host
// that loads, calls and unloads it again and again leaves nothing behind.
// The check is LeakSanitizer's, in a child process that runs no database
// engine (a fake client library answers), so it needs the sanitizer build.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "support/TestSupport.h"
#include "vantrel/vantrel.h"

using namespace vantrel::test;

// Run by the test below in a child process with leak detection on.
TEST(LibraryUnload, DISABLED_LoadCallAndUnloadThreeTimes) {
    for (int cycle = 0; cycle < 3; ++cycle) {
        void *handle = dlopen(SharedLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        auto check = reinterpret_cast<decltype(&::CheckDBVersionEx)>(dlsym(handle, "CheckDBVersionEx"));
        auto alloc = reinterpret_cast<decltype(&::VantrelSysAllocStringLen)>(dlsym(handle, "VantrelSysAllocStringLen"));
        auto clear = reinterpret_cast<decltype(&::VantrelVariantClear)>(dlsym(handle, "VantrelVariantClear"));
        ASSERT_TRUE(check && alloc && clear);
        // Connecting takes the field metadata cache of the name from the
        // process-wide registry, whatever the fake client answers later.
        VARIANT name{}, error{};
        name.vt = VT_BSTR;
        name.u.bstrVal = alloc(u"unload.fdb", 10);
        int32_t version = 0;
        check(name, &version, &error);
        clear(&error);
        clear(&name);
        dlclose(handle);
        ASSERT_EQ(dlopen(SharedLibraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "still loaded";
    }
}

TEST(LibraryUnload, UnloadingFreesWhatLoadingAndCallingBuilt) {
#ifndef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the leak check is LeakSanitizer's: sanitizer build only";
#endif
    char self[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    ProcessResult r = RunCommand("ASAN_OPTIONS=detect_leaks=1 VANTREL_CLIENT_LIBRARY=" + FakeClientPath("clientfull") +
                                 " " + self +
                                 " --gtest_also_run_disabled_tests --gtest_filter=LibraryUnload.DISABLED_*");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("[  PASSED  ] 1 test"), std::string::npos) << r.Output;
}
