// The exported functions, called through the real libvantrel.so as a host
// calls them: argument conversion, file checks, the result protocol, and the
// caller's arguments left untouched.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "support/TestSupport.h"
#include "vantrel/vantrel.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// The library as a host sees it: loaded with dlopen, functions by name.
struct Library {
    void *Handle = nullptr;
    decltype(&::CheckDBVersion) CheckDBVersion = nullptr;
    decltype(&::UpdateDB) UpdateDB = nullptr;
    decltype(&::CheckDBVersionEx) CheckDBVersionEx = nullptr;
    decltype(&::UpdateDBEx) UpdateDBEx = nullptr;
    decltype(&::VantrelSysAllocStringLen) SysAllocStringLen = nullptr;
    decltype(&::VantrelSysStringLen) SysStringLen = nullptr;
    decltype(&::VantrelVariantClear) VariantClear = nullptr;
    decltype(&::VantrelSetMessageBoxHandler) SetMessageBoxHandler = nullptr;

    static Library &Get() {
        static Library lib = [] {
            Library l;
            l.Handle = dlopen(SharedLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!l.Handle) return l;
            l.CheckDBVersion = reinterpret_cast<decltype(l.CheckDBVersion)>(dlsym(l.Handle, "CheckDBVersion"));
            l.UpdateDB = reinterpret_cast<decltype(l.UpdateDB)>(dlsym(l.Handle, "UpdateDB"));
            l.CheckDBVersionEx = reinterpret_cast<decltype(l.CheckDBVersionEx)>(dlsym(l.Handle, "CheckDBVersionEx"));
            l.UpdateDBEx = reinterpret_cast<decltype(l.UpdateDBEx)>(dlsym(l.Handle, "UpdateDBEx"));
            l.SysAllocStringLen =
                reinterpret_cast<decltype(l.SysAllocStringLen)>(dlsym(l.Handle, "VantrelSysAllocStringLen"));
            l.SysStringLen = reinterpret_cast<decltype(l.SysStringLen)>(dlsym(l.Handle, "VantrelSysStringLen"));
            l.VariantClear = reinterpret_cast<decltype(l.VariantClear)>(dlsym(l.Handle, "VantrelVariantClear"));
            l.SetMessageBoxHandler =
                reinterpret_cast<decltype(l.SetMessageBoxHandler)>(dlsym(l.Handle, "VantrelSetMessageBoxHandler"));
            return l;
        }();
        return lib;
    }
};

class Exports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(L().Handle, nullptr) << dlerror();
        L().SetMessageBoxHandler(&Exports::RecordMessage, this);
    }
    void TearDown() override {
        if (L().Handle) L().SetMessageBoxHandler(nullptr, nullptr);
        for (auto &v : Owned) L().VariantClear(&v);
    }
    static Library &L() { return Library::Get(); }

    VARIANT Text(const std::string &utf8) {
        String s = U(utf8);
        VARIANT v{};
        v.vt = VT_BSTR;
        v.u.bstrVal = L().SysAllocStringLen(s.data(), static_cast<uint32_t>(s.size()));
        Owned.push_back(v);
        return v;
    }
    static VARIANT Of(VARTYPE vt) {
        VARIANT v{};
        v.vt = vt;
        return v;
    }
    String ResultText(const VARIANT &v) {
        EXPECT_EQ(v.vt, VT_BSTR);
        if (v.vt != VT_BSTR || !v.u.bstrVal) return String();
        return String(v.u.bstrVal, L().SysStringLen(v.u.bstrVal));
    }
    // Runs UpdateDB and returns its result text (the result released).
    String Update(VARIANT db, VARIANT script, bool *nullPointer = nullptr) {
        VARIANT result;
        std::memset(&result, 0xAB, sizeof result);  // garbage: the call must zero it
        L().UpdateDB(db, script, &result);
        EXPECT_EQ(result.vt, VT_BSTR);
        if (nullPointer) *nullPointer = result.u.bstrVal == nullptr;
        String text = ResultText(result);
        L().VariantClear(&result);
        return text;
    }
    static void RecordMessage(const char16_t *text, void *context) {
        static_cast<Exports *>(context)->Messages.emplace_back(text);
    }

    std::vector<VARIANT> Owned;
    std::vector<String> Messages;
    TempDir Dir;
};

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
