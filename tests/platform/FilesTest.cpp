// File existence, whole-file reading and text file decoding.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

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

TEST(DecodeTextFile, ByteOrderMarksSelectTheDecoding) {
    auto bytes = [](const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    EXPECT_EQ(DecodeTextFile(bytes("\xEF\xBB\xBF\xD0\xB6")), u"ж");
    EXPECT_EQ(DecodeTextFile(bytes(std::string("\xFF\xFE\x36\x04", 4))), u"ж");
    EXPECT_EQ(DecodeTextFile(bytes(std::string("\xFE\xFF\x04\x36", 4))), u"ж");
    EXPECT_EQ(DecodeTextFile(bytes("")), u"");
    // An odd trailing byte of UTF-16 is dropped, not read past the end.
    EXPECT_EQ(DecodeTextFile(bytes(std::string("\xFF\xFE\x41\x00\x42", 5))), u"A");
}

TEST(DecodeTextFile, FirstNulEndsTheText) {
    std::string s("SELECT 1;\0DROP", 14);
    EXPECT_EQ(DecodeTextFile(std::vector<uint8_t>(s.begin(), s.end())), u"SELECT 1;");
    std::string w("\xFF\xFE" "A\0\0\0B\0", 8);
    EXPECT_EQ(DecodeTextFile(std::vector<uint8_t>(w.begin(), w.end())), u"A");
}

TEST(LoadLinesFromFile, CutsLinesAtEveryBreak) {
    TempDir dir;
    WriteFile(dir.File("s.sql"), "a;\r\nb;\rc;\n");
    TStringList lines;
    LoadLinesFromFile(U(dir.File("s.sql")), lines);
    ASSERT_EQ(lines.Count(), 3);
    EXPECT_EQ(lines[2], u"c;");
}
