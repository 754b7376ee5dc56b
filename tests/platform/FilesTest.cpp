// File existence, whole-file reading and text file decoding.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

TEST(FileExists, AcceptsFilesAndRejectsFoldersAndMissingPaths) {
    TempDir dir;
    WriteFile(dir.File("a.sql"), "x");
    EXPECT_TRUE(FileExists(U(dir.File("a.sql"))));
    EXPECT_FALSE(FileExists(U(dir.Path())));
    EXPECT_FALSE(FileExists(U(dir.File("missing.sql"))));
    EXPECT_FALSE(FileExists(U(dir.File("a.sql/inner"))));  // ENOTDIR
    EXPECT_FALSE(FileExists(U("")));
    EXPECT_FALSE(FileExists(U(dir.File(std::string(5000, 'n')))));  // ENAMETOOLONG
}

TEST(FileExists, FollowsSymbolicLinks) {
    TempDir dir;
    WriteFile(dir.File("target.sql"), "x");
    std::filesystem::create_symlink(dir.File("target.sql"), dir.File("link.sql"));
    std::filesystem::create_symlink(dir.File("gone.sql"), dir.File("dangling.sql"));
    std::filesystem::create_directory_symlink(dir.Path(), dir.File("dirlink"));
    EXPECT_TRUE(FileExists(U(dir.File("link.sql"))));
    EXPECT_FALSE(FileExists(U(dir.File("dangling.sql"))));
    EXPECT_FALSE(FileExists(U(dir.File("dirlink"))));
}

TEST(ReadWholeFile, ReadsEveryByte) {
    TempDir dir;
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    WriteFile(dir.File("b.bin"), bytes);
    auto data = ReadWholeFile(U(dir.File("b.bin")));
    ASSERT_EQ(data.size(), bytes.size());
    EXPECT_EQ(std::string(data.begin(), data.end()), bytes);
}

TEST(ReadWholeFile, MissingFileNamesTheFullPath) {
    TempDir dir;
    try {
        ReadWholeFile(U(dir.File("nope.sql")));
        FAIL();
    } catch (const EFOpenError &e) {
        EXPECT_EQ(e.Message(), U("Cannot open file \"" + dir.File("nope.sql") + "\". No such file or directory"));
    }
}

TEST(ReadWholeFile, HoldsASharedLockWhileReading) {
    // A writer holding an exclusive lock makes the reader wait; we only check
    // that a shared lock is compatible with other readers and that the lock
    // is released afterwards.
    TempDir dir;
    WriteFile(dir.File("c.sql"), "abc");
    int fd = open(dir.File("c.sql").c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_SH | LOCK_NB), 0);
    EXPECT_EQ(ReadWholeFile(U(dir.File("c.sql"))).size(), 3u);
    flock(fd, LOCK_UN);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "the reader left its lock behind";
    close(fd);
}

namespace {

std::vector<uint8_t> Bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// The decoding error of a file, as both decoding functions raise it.
String DecodingError(const std::string &path, const std::string &bytes) {
    TStringList lines{u"kept"};
    String message;
    try {
        LoadLinesFromFile(U(path), lines);
        ADD_FAILURE() << "loaded " << path;
    } catch (const EEncodingError &e) {
        message = e.Message();
    }
    EXPECT_EQ(lines.Text(), u"kept\r\n") << "a failed load changes nothing";
    try {
        DecodeTextFile(Bytes(bytes), U(path));
        ADD_FAILURE() << "decoded " << path;
    } catch (const EEncodingError &e) {
        EXPECT_EQ(e.Message(), message);
    }
    return message;
}

}  // namespace

TEST(DecodeTextFile, ByteOrderMarksSelectTheDecoding) {
    EXPECT_EQ(DecodeTextFile(Bytes("\xEF\xBB\xBF\xD0\xB6"), u"f"), u"ж");
    EXPECT_EQ(DecodeTextFile(Bytes(std::string("\xFF\xFE\x36\x04", 4)), u"f"), u"ж");
    EXPECT_EQ(DecodeTextFile(Bytes(std::string("\xFE\xFF\x04\x36", 4)), u"f"), u"ж");
    EXPECT_EQ(DecodeTextFile(Bytes(std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6)), u"f"), u"\U0001F600");
    EXPECT_EQ(DecodeTextFile(Bytes(""), u"f"), u"");
}

TEST(DecodeTextFile, UnmarkedTextIsUtf8WhenValidElseWindows1251) {
    if (AnsiCodePageConfigured()) GTEST_SKIP() << "VANTREL_ANSI_CODEPAGE decides";
    EXPECT_EQ(DecodeTextFile(Bytes("\xD0\xB6 \xF0\x9F\x98\x80"), u"f"), u"ж \U0001F600");
    EXPECT_EQ(DecodeTextFile(Bytes("\xCF\xF0\xE8\xE2\xE5\xF2"), u"f"), u"Привет");
    // One sequence that is no UTF-8 makes the whole file Windows-1251.
    EXPECT_EQ(DecodeTextFile(Bytes("\xD0\xB6 \xE6"), u"f"), u"Р¶ ж");
    EXPECT_EQ(DecodeTextFile(Bytes("ab\xD0"), u"f"), u"abР");
}

TEST(LoadLinesFromFile, UndecodableTextNamesTheFileAndTheLine) {
    const struct {
        std::string Bytes;
        std::string Holds;
    } cases[] = {
        {"\xEF\xBB\xBF" "a;\r\nb;\n\xC0\x80;", "Line 3 holds byte 0xC0, which UTF-8 cannot decode"},
        {std::string("\xFF\xFE" "a\0\r\0\n\0\r\0\x3D\xD8x\0", 14), "Line 3 holds an unpaired surrogate (U+D83D)"},
        {std::string("\xFE\xFF\0a\0\n\xDC\x00", 8), "Line 2 holds an unpaired surrogate (U+DC00)"},
        {std::string("\xFF\xFE" "a\0\n\0b", 7), "Line 2 holds byte 0x62, which UTF-16LE cannot decode"},
        // A NUL ends nothing: it is refused wherever it stands.
        {std::string("SELECT 1;\r\nSELECT\0 2;", 21), "Line 2 holds a NUL character (U+0000)"},
        {std::string("a;\nb;\n\0", 7), "Line 3 holds a NUL character (U+0000)"},
        {std::string("\xEF\xBB\xBF" "a\0\xC0", 6), "Line 1 holds a NUL character (U+0000)"},
        {std::string("\xFF\xFE" "A\0\n\0\0\0B\0", 10), "Line 2 holds a NUL character (U+0000)"},
        {std::string("\xC6\xE6\n\0", 4), "Line 2 holds a NUL character (U+0000)"},
    };
    TempDir dir;
    for (const auto &c : cases) {
        WriteFile(dir.File("bad.sql"), c.Bytes);
        EXPECT_EQ(DecodingError(dir.File("bad.sql"), c.Bytes),
                  U("Cannot read file \"" + dir.File("bad.sql") + "\". " + c.Holds));
    }
}

// VANTREL_ANSI_CODEPAGE is read once per process: a child process runs the
// check under each setting.
TEST(LoadLinesFromFile, AConfiguredCodePageDecidesForUnmarkedFiles) {
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    for (const char *codePage : {"65001", "20127"}) {
        ProcessResult r = RunCommand(SanitizerEnvironment() + "VANTREL_ANSI_CODEPAGE=" + codePage + " '" + self +
                                     "' --gtest_also_run_disabled_tests "
                                     "--gtest_filter='LoadLinesFromFile.DISABLED_ChildWithConfiguredCodePage'");
        EXPECT_EQ(r.ExitCode, 0) << codePage << "\n" << r.Output;
        EXPECT_NE(r.Output.find("[  PASSED  ] 1 test"), std::string::npos) << r.Output;
    }
}

// Runs only as the child of the test above: bytes the configured page does
// not define fail instead of falling back to Windows-1251.
TEST(LoadLinesFromFile, DISABLED_ChildWithConfiguredCodePage) {
    ASSERT_TRUE(AnsiCodePageConfigured());
    TempDir dir;
    const std::string bytes = "SELECT 1;\n-- \xE6\n";
    WriteFile(dir.File("s.sql"), bytes);
    const std::string decoding = DefaultAnsiCodePage() == 65001 ? "UTF-8" : "code page 20127";
    EXPECT_EQ(DecodingError(dir.File("s.sql"), bytes),
              U("Cannot read file \"" + dir.File("s.sql") + "\". Line 2 holds byte 0xE6, which " + decoding +
                " cannot decode"));
}

TEST(LoadLinesFromFile, CutsLinesAtEveryBreak) {
    TempDir dir;
    WriteFile(dir.File("s.sql"), "a;\r\nb;\rc;\n");
    TStringList lines;
    LoadLinesFromFile(U(dir.File("s.sql")), lines);
    ASSERT_EQ(lines.Count(), 3);
    EXPECT_EQ(lines[2], u"c;");
}
