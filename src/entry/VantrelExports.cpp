// The exported functions CheckDBVersion and UpdateDB (their Ex variants for
// hosts that cannot catch C++ exceptions, and the WithParams variants for
// hosts that connect with a login of their own), and the BSTR/VARIANT
// helpers a host needs to build arguments and release results.
#include <cstring>

#include "entry/UpdateSession.h"
#include "platform/Finally.h"
#include "platform/MessageBox.h"
#include "platform/Variant.h"
#include "vantrel/vantrel.h"

namespace vantrel {

namespace {

void SetResultText(VARIANT *result, const String &text) {
    VariantClear(result);
    result->vt = VT_BSTR;
    result->u.bstrVal = SysAllocString(text);
}

// The message of a failure as the result text. Nothing may leave: when even
// the message cannot be allocated, the result is the null string.
void SetResultToError(VARIANT *result, std::exception_ptr error) noexcept {
    if (FailureOf([&] { SetResultText(result, MessageOf(error)); })) {
        VariantClear(result);
        result->vt = VT_BSTR;
    }
}

// The result VARIANT on entry: its 16 bytes zeroed (what it held is not
// released), then the empty string.
void ResetResult(VARIANT *result) {
    std::memset(result, 0, sizeof *result);
    result->vt = VT_BSTR;
    result->u.bstrVal = nullptr;
}

int32_t RunCheckDBVersion(const VARIANT &DatabaseName, const TSessionSettings &Settings = TSessionSettings()) {
    TVariantCopy name(DatabaseName);
    TUpdateSession session(Settings);
    return session.CheckVersion(name.Value());
}

// The module's settings with the host's connection parameter lines in place
// of the module's lines of the same name.
TSessionSettings SettingsWithParams(const VARIANT &Params) {
    TVariantCopy params(Params);
    TSessionSettings settings;
    settings.ApplyConnectionParams(VarToText(params.Value()));
    return settings;
}

// UpdateDB's work on a result VARIANT that the caller gave: the result is
// reset before anything can fail, so that it never holds what the caller
// left in it when an error is reported.
void RunUpdateDB(const VARIANT &DatabaseName, const VARIANT &ScriptFile, VARIANT *ErrorText,
                 const TSessionSettings &Settings = TSessionSettings()) {
    ResetResult(ErrorText);
    TVariantCopy database(DatabaseName);
    TVariantCopy script(ScriptFile);
    const TUpdateOutcome outcome = UpdateDatabase(database.Value(), script.Value(), TUpdateHooks(), Settings);
    if (outcome.Failed) SetResultText(ErrorText, outcome.ErrorText);
}

}  // namespace

}  // namespace vantrel

using namespace vantrel;

extern "C" {

VANTREL_API BSTR VantrelSysAllocStringLen(const VANTREL_WCHAR *text, uint32_t length) {
    BSTR result = nullptr;
    if (FailureOf([&] { result = SysAllocStringLen(text, length); })) return nullptr;
    return result;
}

VANTREL_API void VantrelSysFreeString(BSTR text) { SysFreeString(text); }

VANTREL_API uint32_t VantrelSysStringLen(BSTR text) { return SysStringLen(text); }

VANTREL_API void VantrelVariantInit(VARIANT *value) { VariantInit(value); }

VANTREL_API void VantrelVariantClear(VARIANT *value) { VariantClear(value); }

VANTREL_API void VantrelSetMessageBoxHandler(VantrelMessageBoxHandler handler, void *context) {
    SetMessageBoxHandler(handler, context);
}

VANTREL_API int32_t CheckDBVersion(VARIANT DatabaseName) { return RunCheckDBVersion(DatabaseName); }

VANTREL_API void UpdateDB(VARIANT DatabaseName, VARIANT ScriptFile, VARIANT *ErrorText) {
    // Without a result VARIANT there is nowhere to report to, so nothing is
    // done at all rather than an update whose outcome nobody can learn.
    if (!ErrorText) return;
    RunUpdateDB(DatabaseName, ScriptFile, ErrorText);
}

VANTREL_API int32_t CheckDBVersionEx(VARIANT DatabaseName, int32_t *Version, VARIANT *ErrorText) {
    if (ErrorText) ResetResult(ErrorText);
    if (Version) *Version = 0;
    int32_t version = 0;
    if (const std::exception_ptr failure = FailureOf([&] { version = RunCheckDBVersion(DatabaseName); })) {
        if (ErrorText) SetResultToError(ErrorText, failure);
        return 1;
    }
    if (Version) *Version = version;
    return 0;
}

VANTREL_API int32_t UpdateDBEx(VARIANT DatabaseName, VARIANT ScriptFile, VARIANT *ErrorText) {
    if (!ErrorText) return 1;
    if (const std::exception_ptr failure = FailureOf([&] { RunUpdateDB(DatabaseName, ScriptFile, ErrorText); })) {
        SetResultToError(ErrorText, failure);
        return 1;
    }
    return 0;
}

VANTREL_API int32_t CheckDBVersionWithParams(VARIANT DatabaseName, VARIANT Params, int32_t *Version,
                                             VARIANT *ErrorText) {
    if (ErrorText) ResetResult(ErrorText);
    if (Version) *Version = 0;
    int32_t version = 0;
    if (const std::exception_ptr failure =
            FailureOf([&] { version = RunCheckDBVersion(DatabaseName, SettingsWithParams(Params)); })) {
        if (ErrorText) SetResultToError(ErrorText, failure);
        return 1;
    }
    if (Version) *Version = version;
    return 0;
}

VANTREL_API int32_t UpdateDBWithParams(VARIANT DatabaseName, VARIANT ScriptFile, VARIANT Params,
                                       VARIANT *ErrorText) {
    if (!ErrorText) return 1;
    ResetResult(ErrorText);
    if (const std::exception_ptr failure = FailureOf(
            [&] { RunUpdateDB(DatabaseName, ScriptFile, ErrorText, SettingsWithParams(Params)); })) {
        SetResultToError(ErrorText, failure);
        return 1;
    }
    return 0;
}

}  // extern "C"
