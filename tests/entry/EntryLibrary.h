// The library as a host sees it, for the entry tests: libvantrel.so loaded
// with dlopen and its functions looked up by name.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/TestSupport.h"
#include "vantrel/vantrel.h"

namespace vantrel::test {

// The library as a host sees it: loaded with dlopen, functions by name.
struct Library {
    void *Handle = nullptr;
    decltype(&::CheckDBVersion) CheckDBVersion = nullptr;
    decltype(&::UpdateDB) UpdateDB = nullptr;
    decltype(&::CheckDBVersionEx) CheckDBVersionEx = nullptr;
    decltype(&::UpdateDBEx) UpdateDBEx = nullptr;
    decltype(&::CheckDBVersionWithParams) CheckDBVersionWithParams = nullptr;
    decltype(&::UpdateDBWithParams) UpdateDBWithParams = nullptr;
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
            l.CheckDBVersionWithParams = reinterpret_cast<decltype(l.CheckDBVersionWithParams)>(
                dlsym(l.Handle, "CheckDBVersionWithParams"));
            l.UpdateDBWithParams =
                reinterpret_cast<decltype(l.UpdateDBWithParams)>(dlsym(l.Handle, "UpdateDBWithParams"));
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


// Base of the entry tests: argument builders, result reading, message boxes.
class EntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(L().Handle, nullptr) << dlerror();
        L().SetMessageBoxHandler(&EntryTest::RecordMessage, this);
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
        static_cast<EntryTest *>(context)->Messages.emplace_back(text);
    }

    std::vector<VARIANT> Owned;
    std::vector<String> Messages;
    TempDir Dir;
};

}  // namespace vantrel::test
