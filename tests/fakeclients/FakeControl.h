// Test side of the fake client libraries: opens a fake by name (the same
// module the binding loads, so both see one state) and drives its fake_*
// control functions.
#pragma once

#include <dlfcn.h>
#include <ibase.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace vantrel::test {

class TFakeClient {
public:
    explicit TFakeClient(const std::string &name) : FPath(FakeClientPath(name)) {
        FHandle = dlopen(FPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (FHandle == nullptr) throw std::runtime_error("cannot open fake client " + FPath);
        Resolve("fake_reset", FReset);
        Resolve("fake_set_message", FSetMessage);
        Resolve("fake_set_sqlcode", FSetSqlCode);
        Resolve("fake_set_error", FSetError);
        Resolve("fake_set_unterminated", FSetUnterminated);
        Resolve("fake_last_call", FLastCall);
        Resolve("fake_last_args", FLastArgs);
        FReset();
    }
    ~TFakeClient() { dlclose(FHandle); }
    TFakeClient(const TFakeClient &) = delete;
    TFakeClient &operator=(const TFakeClient &) = delete;

    // The file name to put into VANTREL_CLIENT_LIBRARY.
    const std::string &Path() const { return FPath; }

    void SetMessage(ISC_STATUS code, const std::string &text) { FSetMessage(code, text.c_str()); }
    void SetSqlCode(ISC_LONG sqlCode) { FSetSqlCode(sqlCode); }
    // Every later call with a status vector fills it with these entries.
    void SetError(const std::vector<ISC_STATUS> &vector) { FSetError(vector.data(), int(vector.size())); }
    void SetUnterminated(bool on) { FSetUnterminated(on ? 1 : 0); }
    std::string LastCall() const { return FLastCall(); }
    std::string LastArgs() const { return FLastArgs(); }

private:
    template <class T>
    void Resolve(const char *name, T *&entry) {
        entry = reinterpret_cast<T *>(dlsym(FHandle, name));
        if (entry == nullptr) throw std::runtime_error(std::string("fake client lacks ") + name);
    }

    std::string FPath;
    void *FHandle = nullptr;
    void (*FReset)() = nullptr;
    void (*FSetMessage)(ISC_STATUS, const char *) = nullptr;
    void (*FSetSqlCode)(ISC_LONG) = nullptr;
    void (*FSetError)(const ISC_STATUS *, int) = nullptr;
    void (*FSetUnterminated)(int) = nullptr;
    const char *(*FLastCall)() = nullptr;
    const char *(*FLastArgs)() = nullptr;
};

}  // namespace vantrel::test
