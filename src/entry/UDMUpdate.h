// TDMUpdate: the update module both exported functions create for the length
// of one call. It owns one connection, one transaction, the script executor,
// the two version readers and their integer fields, wired together with a
// fixed configuration; a call only changes the connection's DatabaseName.
#pragma once

#include "entry/SessionSettings.h"
#include "platform/Component.h"

namespace vantrel {

// A stored property that cannot be applied: the component, the property and
// the reason ("Error reading DB.ServerType: ...").
inline constexpr const char16_t *kPropertyReadMessage = u"Error reading %s.%s: %s";

class TIBDatabase;
class TIBTransaction;
class TIBScript;
class TIBTable;
class TIBQuery;
class TIntegerField;

class TDMUpdate : public TComponent {
public:
    // Builds and configures every component, the connection logging in as
    // the settings say (the module's own login unless a host gives another).
    // Fails, with nothing left behind, when the client library cannot be
    // loaded: the error is "Error reading DB.ServerType: " and the loader's
    // message.
    explicit TDMUpdate(TComponent *AOwner, const TSessionSettings &Settings = TSessionSettings());
    ~TDMUpdate() override;

    // Members in declaration order; all owned by the module.
    TIBDatabase *DB = nullptr;
    TIBTransaction *Trans = nullptr;
    TIBScript *IBScript = nullptr;
    TIBTable *TVer = nullptr;
    TIBQuery *QVerExists = nullptr;
    TIntegerField *QVerExistsEXIST = nullptr;
    TIntegerField *TVerVERSION = nullptr;
};

// The module of the call in progress on the calling thread; null between
// calls. Each thread has its own, so that calls on several threads at once
// never reach each other's module.
extern thread_local TDMUpdate *DMUpdate;

}  // namespace vantrel
