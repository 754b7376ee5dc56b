// The Ex exports while the library's allocations fail (tests/hosts/
// fault_host.cpp): whatever allocation fails, and whether memory comes back
// or stays exhausted, each call returns 0 or 1 with a VT_BSTR error text
// and the host lives on.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "support/TestSupport.h"

using namespace vantrel::test;

TEST(MemoryExhaustion, NothingEscapesTheExExportsWhateverAllocationFails) {
    TempDir dir;
    const std::string db = dir.File("v.fdb");
    CreateDatabase(db, 1, "WIN1251");
    RunIsql(db, "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER, SERIAL VARCHAR(100));\n"
                "INSERT INTO VER VALUES (1, 7, 'x');\nCREATE TABLE LOG (N INTEGER);\n");
    WriteFile(dir.File("s.sql"), "INSERT INTO LOG VALUES (1);\n");
    ProcessResult r = RunCommand(SanitizerEnvironment() + FaultHostPath() + " " + db + " " + dir.File("s.sql") +
                                 " 7 40");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;

    std::istringstream lines(r.Output);
    std::string line;
    int seen = 0;
    while (std::getline(lines, line)) {
        char name[16] = {}, mode[16] = {};
        long calls = 0, faults = 0, returned0 = 0, returned1 = 0, nullText = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%15s %15s calls=%ld faults=%ld returned0=%ld returned1=%ld nulltext=%ld",
                              name, mode, &calls, &faults, &returned0, &returned1, &nullText),
                  7)
            << line;
        ++seen;
        SCOPED_TRACE(line);
        EXPECT_GE(calls, 20);
        EXPECT_EQ(faults, calls) << "every call met its fault";
        EXPECT_GT(returned1, 0);
        // Memory that stays exhausted leaves even the message unallocated:
        // the text falls back to the null string.
        if (std::string(mode) == "on") {
            EXPECT_GT(nullText, 0);
        }
    }
    EXPECT_EQ(seen, 4) << r.Output;
}
