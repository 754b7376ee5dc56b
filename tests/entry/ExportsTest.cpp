// The exported functions, called through the real libvantrel.so as a host
// calls them: argument conversion, file checks, the result protocol, and the
// caller's arguments left untouched.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "entry/EntryLibrary.h"
#include "support/TestSupport.h"
#include "vantrel/vantrel.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class Exports : public EntryTest {};

const std::string kMissingScript = "Не найден файл обновления БД";
const std::string kNullText = "Could not convert variant of type (Null) into type (OleStr)";

}  // namespace

TEST_F(Exports, OnlyThePublicInterfaceIsExported) {
    EXPECT_NE(dlsym(L().Handle, "CheckDBVersion"), nullptr);
    EXPECT_NE(dlsym(L().Handle, "UpdateDBEx"), nullptr);
    // Internal names stay hidden.
    EXPECT_EQ(dlsym(L().Handle, "_ZN7vantrel8DMUpdateE"), nullptr);
    EXPECT_EQ(dlsym(L().Handle, "_ZN7vantrel10VarToTextERK10tagVARIANT"), nullptr);
}

TEST_F(Exports, UpdateWithAMissingScriptNamesItRightAfterTheFixedText) {
    std::string script = Dir.File("missing.sql");
    bool nullPointer = true;
    EXPECT_EQ(Update(Text(Dir.File("db.fdb")), Text(script), &nullPointer), U(kMissingScript + script));
    EXPECT_FALSE(nullPointer);
    EXPECT_FALSE(std::filesystem::exists(Dir.File("db.fdb")));
}

TEST_F(Exports, UpdateWithAnEmptyScriptNameReportsTheFixedTextAlone) {
    EXPECT_EQ(Update(Text(Dir.File("db.fdb")), Of(VT_EMPTY)), U(kMissingScript));
}

TEST_F(Exports, UpdateTreatsFoldersAndDanglingLinksAsMissingScripts) {
    EXPECT_EQ(Update(Text("db.fdb"), Text(Dir.Path())), U(kMissingScript + Dir.Path()));
    std::filesystem::create_symlink(Dir.File("gone.sql"), Dir.File("dangling.sql"));
    EXPECT_EQ(Update(Text("db.fdb"), Text(Dir.File("dangling.sql"))), U(kMissingScript + Dir.File("dangling.sql")));
}

TEST_F(Exports, UpdateConvertsNumbersAndReferencesToText) {
    VARIANT number = Of(VT_I4);
    number.u.lVal = -17;
    EXPECT_EQ(Update(Text("db.fdb"), number), U(kMissingScript + "-17"));
    VARIANT real = Of(VT_R8);
    real.u.dblVal = 2.5;
    EXPECT_EQ(Update(Text("db.fdb"), real), U(kMissingScript + "2.5"));
    VARIANT inner = Text(Dir.File("by-ref.sql"));
    VARIANT ref = Of(VT_BSTR | VT_BYREF);
    ref.u.byref = &inner.u.bstrVal;
    EXPECT_EQ(Update(Text("db.fdb"), ref), U(kMissingScript + Dir.File("by-ref.sql")));
}

TEST_F(Exports, UpdateWithNullArgumentsReportsTheConversionError) {
    EXPECT_EQ(Update(Text("db.fdb"), Of(VT_NULL)), U(kNullText));
    WriteFile(Dir.File("s.sql"), "-- nothing\n");
    EXPECT_EQ(Update(Of(VT_NULL), Text(Dir.File("s.sql"))), U(kNullText));
    int32_t n = 0;
    VARIANT nullRef = Of(VT_NULL | VT_BYREF);
    nullRef.u.byref = &n;
    EXPECT_EQ(Update(Text("db.fdb"), nullRef), U(kNullText));
}

TEST_F(Exports, TheCallersArgumentsAreUnchangedAfterACall) {
    VARIANT db = Text(Dir.File("db.fdb"));
    VARIANT script = Text(Dir.File("missing.sql"));
    VARIANT dbBefore = db, scriptBefore = script;
    String dbText(db.u.bstrVal), scriptText(script.u.bstrVal);
    Update(db, script);
    EXPECT_EQ(std::memcmp(&db, &dbBefore, sizeof db), 0);
    EXPECT_EQ(std::memcmp(&script, &scriptBefore, sizeof script), 0);
    EXPECT_EQ(String(db.u.bstrVal), dbText);
    EXPECT_EQ(String(script.u.bstrVal), scriptText);
    EXPECT_EQ(L().SysStringLen(script.u.bstrVal), scriptText.size());
}

TEST_F(Exports, UpdateWithoutAResultVariantDoesNothing) {
    L().UpdateDB(Text("db.fdb"), Text(Dir.File("missing.sql")), nullptr);
    VARIANT unused{};
    EXPECT_EQ(L().UpdateDBEx(Text("db.fdb"), Text("x.sql"), nullptr), 1);
    (void)unused;
}

TEST_F(Exports, CheckWithANullNameRaisesTheConversionError) {
    try {
        L().CheckDBVersion(Of(VT_NULL));
        FAIL() << "no error";
    } catch (const std::exception &e) {
        EXPECT_EQ(std::string(e.what()), kNullText);
    }
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Exports, CheckWithADriveLetterPathThatNamesNoFileRaisesTheRussianMessage) {
    try {
        L().CheckDBVersion(Text("C:\\data\\nope.fdb"));
        FAIL() << "no error";
    } catch (const std::exception &e) {
        EXPECT_EQ(std::string(e.what()), "Файл C:\\data\\nope.fdb не найден");
    }
    EXPECT_TRUE(Messages.empty()) << "no message box for a missing local file";
}

TEST_F(Exports, CheckWithAnEmptyNameShowsTheConnectErrorThenRaisesItAgain) {
    try {
        L().CheckDBVersion(Of(VT_EMPTY));
        FAIL() << "no error";
    } catch (const std::exception &e) {
        EXPECT_EQ(std::string(e.what()), "Database name is missing");
    }
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], u"Database name is missing");
}

TEST_F(Exports, CheckExReturnsTheErrorInsteadOfRaisingIt) {
    VARIANT error;
    std::memset(&error, 0x5A, sizeof error);
    int32_t version = 99;
    EXPECT_EQ(L().CheckDBVersionEx(Of(VT_NULL), &version, &error), 1);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(ResultText(error), U(kNullText));
    L().VariantClear(&error);
}

// A length whose byte count does not fit the 32-bit prefix gives no string
// rather than a block whose prefix reads a wrapped length.
TEST_F(Exports, AStringTooLongForItsLengthPrefixIsNotAllocated) {
    EXPECT_EQ(L().SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(L().SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
}
