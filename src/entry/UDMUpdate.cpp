// The update module and its stored configuration.
#include "entry/UDMUpdate.h"

#include "client/IBDatabase.h"
#include "client/IBTransaction.h"
#include "client/TPB.h"
#include "datasets/Fields.h"
#include "datasets/IBQuery.h"
#include "datasets/IBTable.h"
#include "entry/LockWaits.h"
#include "platform/Exceptions.h"
#include "script/IBScript.h"

namespace vantrel {

thread_local TDMUpdate *DMUpdate = nullptr;

namespace {

// Applies one stored property; a failure becomes the reader's error naming
// the component and the property, as reading a stored form reports it.
template <typename Apply>
void ReadProperty(const TComponent *component, const char16_t *property, Apply apply) {
    try {
        apply();
    } catch (const Exception &e) {
        throw EReadError(Format(kPropertyReadMessage, {component->Name(), String(property), e.Message()}));
    }
}

}  // namespace

TDMUpdate::TDMUpdate(TComponent *AOwner, const TSessionSettings &Settings) : TComponent(AOwner) {
    SetName(u"DMUpdate");
    BeginLoading();

    // Components are created in this order and configured right after
    // creation; DB.DefaultTransaction names Trans, which does not exist yet,
    // so it is resolved once everything exists.
    DB = new TIBDatabase(this);
    DB->SetName(u"DB");
    DB->BeginLoading();
    for (const String &line : Settings.ConnectionParams()) DB->Params().Add(line);
    DB->SetLoginPrompt(false);
    ReadProperty(DB, u"ServerType", [this] { DB->SetServerType(u"IBServer"); });

    Trans = new TIBTransaction(this);
    Trans->SetName(u"Trans");
    Trans->BeginLoading();
    // Read committed rather than the server's default snapshot: Firebird
    // resolves table names in the statement's transaction, so a snapshot
    // begun before the script would not see the tables that the script's
    // own DDL creates (and commits) further on, and "CREATE TABLE T ...;
    // INSERT INTO T ..." would fail with "Table unknown".
    Trans->Params().Add(u"read_committed");
    Trans->Params().Add(u"rec_version");
    // Waits for another connection's locks end after the lock timeout
    // rather than lasting as long as that connection likes (a host updating
    // at start-up would hang for good); the entry points apply the setting.
    SetLockTimeoutParams(Trans->Params(), kDefaultLockTimeout);
    Trans->SetDefaultDatabase(DB);

    IBScript = new TIBScript(this);
    IBScript->SetName(u"IBScript");
    IBScript->BeginLoading();
    IBScript->SetDatabase(DB);
    IBScript->SetTransaction(Trans);
    IBScript->SetTerminator(u";");
    IBScript->SetLockTimeout(kDefaultLockTimeout);
    // A failed update is rolled back whole, so plain DML may go to the
    // server in batches (unless the session's settings say otherwise).
    IBScript->SetCombineDML(Settings.CombineDML);

    TVer = new TIBTable(this);
    TVer->SetName(u"TVer");
    TVer->BeginLoading();
    TVer->SetDatabase(DB);
    TVer->SetTransaction(Trans);
    TVer->SetBufferChunks(1000);
    TVer->SetCachedUpdates(false);
    TVer->FieldDefs().Add(u"ID", ftInteger, 0, false).SetAttributes(TFieldAttributes{faRequired});
    TVer->FieldDefs().Add(u"VERSION", ftInteger, 0, false);
    TVer->FieldDefs().Add(u"SERIAL", ftString, 4000, false);
    TVer->IndexDefs().Add(u"PK_VER", u"ID", TIndexOptions{ixUnique});
    TVer->SetStoreDefs(true);
    TVer->SetTableName(u"VER");
    TVer->SetUniDirectional(false);

    TVerVERSION = new TIntegerField(this);
    TVerVERSION->SetName(u"TVerVERSION");
    TVerVERSION->BeginLoading();
    TVerVERSION->SetFieldName(u"VERSION");
    TVerVERSION->SetDataSet(TVer);

    QVerExists = new TIBQuery(this);
    QVerExists->SetName(u"QVerExists");
    QVerExists->BeginLoading();
    QVerExists->SetDatabase(DB);
    QVerExists->SetTransaction(Trans);
    QVerExists->SetBufferChunks(1000);
    QVerExists->SetCachedUpdates(false);
    QVerExists->SetParamCheck(true);
    QVerExists->SQL().Add(u"SELECT Count(*) as EXIST FROM rdb$relations WHERE rdb$relation_name = 'VER'");

    QVerExistsEXIST = new TIntegerField(this);
    QVerExistsEXIST->SetName(u"QVerExistsEXIST");
    QVerExistsEXIST->BeginLoading();
    QVerExistsEXIST->SetFieldName(u"EXIST");
    QVerExistsEXIST->SetProviderFlags(TProviderFlags{});
    QVerExistsEXIST->SetDataSet(QVerExists);

    DB->SetDefaultTransaction(Trans);

    // Loading has ended, for every component in creation order. Nothing is
    // connected or opened: no stored Connected or Active is set.
    for (TComponent *c : {static_cast<TComponent *>(DB), static_cast<TComponent *>(Trans),
                          static_cast<TComponent *>(IBScript), static_cast<TComponent *>(TVer),
                          static_cast<TComponent *>(TVerVERSION), static_cast<TComponent *>(QVerExists),
                          static_cast<TComponent *>(QVerExistsEXIST)})
        c->EndLoading();
    EndLoading();
}

TDMUpdate::~TDMUpdate() {
    // Owned components go while the module's members are still valid.
    BeginDestruction();
    if (DMUpdate == this) DMUpdate = nullptr;
}

}  // namespace vantrel
