// The exported functions CheckDBVersion and UpdateDB (and their Ex variants
// for hosts that cannot catch C++ exceptions), and the BSTR/VARIANT helpers
// a host needs to build arguments and release results.
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "client/ClientShutdown.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQLMonitor.h"
#include "client/IBTransaction.h"
#include "datasets/Fields.h"
#include "datasets/IBQuery.h"
#include "datasets/IBTable.h"
#include "entry/LockWaits.h"
#include "entry/UDMUpdate.h"
#include "entry/UpdateDatabase.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Variant.h"
#include "script/IBScript.h"
#include "vantrel/vantrel.h"

namespace vantrel {

namespace {

using Clock = std::chrono::steady_clock;

// The message of whatever was thrown.
String MessageOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception &e) {
        return e.Message();
    } catch (const std::bad_alloc &) {
        return kOutOfMemoryMessage;
    } catch (const std::exception &e) {
        return Utf8ToString(e.what());
    } catch (...) {
        return kUnknownErrorMessage;
    }
}

// Creates the module of this call and publishes it in DMUpdate.
std::unique_ptr<TDMUpdate> CreateModule() {
    auto module = std::make_unique<TDMUpdate>(nullptr);
    DMUpdate = module.get();
    return module;
}

// Destroys the module whatever happens while its components close.
void DestroyModule(std::unique_ptr<TDMUpdate> &module) {
    module.reset();
    DMUpdate = nullptr;
}

void SetResultText(VARIANT *result, const String &text) {
    VariantClear(result);
    result->vt = VT_BSTR;
    result->u.bstrVal = SysAllocString(text);
}

// The message of the error in flight as the result text. Runs in catch
// handlers, where nothing may escape: when even the message cannot be
// allocated, the result is the null string.
void SetResultToError(VARIANT *result, std::exception_ptr error) noexcept {
    try {
        SetResultText(result, MessageOf(error));
    } catch (...) {
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

int32_t RunCheckDBVersion(const VARIANT &DatabaseName) {
    TVariantCopy name(DatabaseName);
    std::unique_ptr<TDMUpdate> module = CreateModule();

    int32_t result = 0;
    std::exception_ptr failure;
    try {
        String text = VarToText(name.Value());
        // A local path with a drive letter is tested before connecting;
        // server-qualified names, aliases and relative paths are not.
        if (text.size() >= 2 && text[1] == u':' && !FileExists(text))
            throw Exception(Format(kDatabaseFileMissingMessage, {VarToText(name.Value())}));
        const int32_t lockTimeout = LockTimeoutSetting();
        BoundModuleLockWaits(*module, lockTimeout);
        module->DB->SetDatabaseName(VarToText(name.Value()));
        try {
            module->DB->Open();
        } catch (...) {
            // The first connection failure is shown and the call goes on; the
            // query's open tries once more and lets a second failure leave.
            ShowMessageBox(MessageOf(std::current_exception()));
        }
        auto readVersion = [&module]() -> int64_t {
            module->QVerExists->Open();
            if (module->QVerExistsEXIST->AsInteger() == 0) return 0;
            module->TVer->Open();
            const int32_t version = module->TVerVERSION->AsInteger();
            module->TVer->Close();
            return version;
        };
        auto endFailedRead = [&module] {
            module->QVerExists->Close();
            module->TVer->Close();
            if (module->Trans->InTransaction()) module->Trans->Commit();
        };
        result = static_cast<int32_t>(
            ReadPastVersionTableRedefinition(*module->DB, lockTimeout, readVersion, endFailedRead));
    } catch (...) {
        failure = std::current_exception();
    }

    // Clean-up in every case: close the query, close the connection (which
    // commits the module's transaction), destroy the module. The module is
    // destroyed even when closing fails; the first error of the clean-up
    // then leaves in place of an earlier one.
    try {
        module->QVerExists->Close();
        module->DB->Close();
    } catch (...) {
        DestroyModule(module);
        throw;
    }
    DestroyModule(module);
    if (failure) std::rethrow_exception(failure);
    return result;
}

// UpdateDB's work on a result VARIANT that the caller gave: the result is
// reset before anything can fail, so that it never holds what the caller
// left in it when an error is reported.
void RunUpdateDB(const VARIANT &DatabaseName, const VARIANT &ScriptFile, VARIANT *ErrorText) {
    ResetResult(ErrorText);
    TVariantCopy database(DatabaseName);
    TVariantCopy script(ScriptFile);
    const TUpdateOutcome outcome = UpdateDatabase(database.Value(), script.Value());
    if (outcome.Failed) SetResultText(ErrorText, outcome.ErrorText);
}

}  // namespace

String InterruptedUpdateText(const std::vector<TScriptLocation> &Committed) {
    String text = kInterruptedMessage;
    if (Committed.empty()) return text + u"\r\n" + kInterruptedNothingCommittedMessage;
    text += String(u"\r\n") + kInterruptedCommittedMessage;
    for (const TScriptLocation &where : Committed) text += u"\r\n  the statement" + LocationText(where, where.Included);
    return text;
}

namespace {

// The text for a failed update: the error's own, or with the lock wait
// said first when the error was one.
String FailureText(std::exception_ptr error, TIBDatabase *db, std::optional<Clock::time_point> waitStarted) {
    if (waitStarted) {
        try {
            std::rethrow_exception(error);
        } catch (const EIBError &e) {
            if (std::optional<String> text = LockWaitText(e, db, SecondsSince(*waitStarted))) return *text;
        } catch (...) {
        }
    }
    return MessageOf(error);
}

}  // namespace

TUpdateOutcome UpdateDatabase(const VARIANT &DatabaseName, const VARIANT &ScriptFile, const TUpdateHooks *Hooks) {
    TUpdateOutcome outcome;
    std::unique_ptr<TDMUpdate> module = CreateModule();
    TIBScript *script = module->IBScript;
    // Creating the module loaded the client library: from now on a signal
    // that makes it shut the connections down is known to this call.
    WatchForSignalShutdown(*module->DB->GDSLibrary());
    const uint64_t shutdownsBefore = SignalShutdownCount();
    // A statement that cannot be read ends the run as a failure; the
    // executor on its own would stop there quietly, and the commit below
    // would report a half-applied script as applied.
    String parseProblem;
    script->OnParseError = [&parseProblem, script](TComponent *, const String &Error, const String &, int32_t) {
        parseProblem = ParseProblemText(Error, script->CurrentLocation());
        throw Exception(parseProblem);
    };
    bool running = false, ran = false;
    // When the step that failed began, for the report of a lock wait: the
    // statement being run, or the final commit.
    std::optional<Clock::time_point> waitStarted;
    bool interrupted = false;

    try {
        const String scriptName = VarToText(ScriptFile);
        CheckFileName(scriptName);
        if (!FileExists(scriptName)) throw Exception(Format(kScriptFileMissingMessage, {scriptName}));
        // A FIFO or device is refused here, before the database is attached
        // and a transaction holds it, rather than blocking in the read.
        CheckRegularFile(scriptName);
        BoundModuleLockWaits(*module, LockTimeoutSetting());
        module->DB->SetDatabaseName(VarToText(DatabaseName));
        Clock::time_point commitStarted;
        try {
            module->DB->Open();
            if (!module->Trans->InTransaction()) module->Trans->StartTransaction();
            script->LoadScriptFile(scriptName);
            script->SetReleaseReadLines(true);
            if (Hooks && Hooks->BeforeRun) Hooks->BeforeRun(*module);
            running = ran = true;
            script->ExecuteScript();
            running = false;
            commitStarted = Clock::now();
            if (module->Trans->InTransaction()) module->Trans->Commit();
        } catch (...) {
            if (running && script->StatementStarted() != Clock::time_point()) waitStarted = script->StatementStarted();
            else if (ran) waitStarted = commitStarted;
            interrupted = SignalShutdownCount() != shutdownsBefore;
            // Nothing of a failed run stays pending; a failing rollback
            // replaces the earlier error. After a shutdown there is nothing
            // left to roll back here: closing the connections made the
            // server roll the transactions back.
            if (interrupted) {
                try {
                    if (module->Trans->InTransaction()) module->Trans->Rollback();
                } catch (...) {
                }
            } else if (module->Trans->InTransaction()) {
                module->Trans->Rollback();
            }
            throw;
        }
    } catch (...) {
        outcome.Failed = true;
        interrupted = interrupted || SignalShutdownCount() != shutdownsBefore;
        const std::exception_ptr error = std::current_exception();
        if (interrupted) {
            outcome.Interrupted = true;
            outcome.ErrorText = InterruptedUpdateText(script->CommittedStatements());
        } else {
            TIBDatabase *db = script->Database() ? script->Database() : module->DB;
            outcome.ErrorText = FailureText(error, db, waitStarted);
        }
        if (running) outcome.Location = script->CurrentLocation();
        outcome.LocationInText = !parseProblem.empty() && outcome.ErrorText == parseProblem;
    }
    try {
        outcome.Committed = script->CommittedStatements();
    } catch (...) {
        // Out of memory for the list: it only reports, the outcome stands.
    }

    // Final clean-up: tracing off for the process, close the connection,
    // destroy the module (also when closing fails). A connection that a
    // shutdown has closed (also one that came after the commit) is let go
    // without a word: the outcome stands. So does a committed update whose
    // clean-up fails (a statement that cannot be freed, a detach refused,
    // memory running out): the work is committed and the caller is told so;
    // the failure is only mentioned.
    try {
        if (ran && Hooks && Hooks->AfterRun) Hooks->AfterRun(*module);
        MonitorHook().SetEnabled(false);
        if (outcome.Interrupted) module->DB->ForceClose();
        else module->DB->Close();
    } catch (...) {
        if (!outcome.Failed) {
            try {
                outcome.CleanupProblem = MessageOf(std::current_exception());
            } catch (...) {
            }
            DestroyModule(module);
            return outcome;
        }
        DestroyModule(module);
        if (SignalShutdownCount() == shutdownsBefore) throw;
        if (outcome.Interrupted) AwaitSignalShutdownEnd(std::chrono::seconds(10));
        return outcome;
    }
    DestroyModule(module);
    // The host is likely to end its process next: not while the client is
    // still closing down.
    if (outcome.Interrupted) AwaitSignalShutdownEnd(std::chrono::seconds(10));
    return outcome;
}

TUpdateOutcome UpdateDatabaseEx(const VARIANT &DatabaseName, const VARIANT &ScriptFile,
                                const TUpdateHooks *Hooks) noexcept {
    try {
        return UpdateDatabase(DatabaseName, ScriptFile, Hooks);
    } catch (...) {
        TUpdateOutcome outcome;
        outcome.Failed = true;
        try {
            outcome.ErrorText = MessageOf(std::current_exception());
        } catch (...) {
            // Out of memory even for the message: the failure stands without it.
        }
        return outcome;
    }
}

}  // namespace vantrel

using namespace vantrel;

extern "C" {

VANTREL_API BSTR VantrelSysAllocStringLen(const VANTREL_WCHAR *text, uint32_t length) {
    try {
        return SysAllocStringLen(text, length);
    } catch (...) {
        return nullptr;
    }
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
    try {
        int32_t v = RunCheckDBVersion(DatabaseName);
        if (Version) *Version = v;
        return 0;
    } catch (...) {
        if (ErrorText) SetResultToError(ErrorText, std::current_exception());
        return 1;
    }
}

VANTREL_API int32_t UpdateDBEx(VARIANT DatabaseName, VARIANT ScriptFile, VARIANT *ErrorText) {
    if (!ErrorText) return 1;
    try {
        RunUpdateDB(DatabaseName, ScriptFile, ErrorText);
        return 0;
    } catch (...) {
        SetResultToError(ErrorText, std::current_exception());
        return 1;
    }
}

}  // extern "C"
