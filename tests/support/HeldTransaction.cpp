// Another connection's transaction that holds its locks (see the header).
#include "support/HeldTransaction.h"

#include "client/IBDatabase.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "support/TestSupport.h"

namespace vantrel::test {

HeldTransaction::HeldTransaction(const std::string &database, const std::vector<std::string> &statements,
                                 const std::vector<std::string> &params) {
    FDatabase = std::make_unique<TIBDatabase>(nullptr);
    FDatabase->SetServerType(u"IBServer");
    FDatabase->SetDatabaseName(U(database));
    FDatabase->Params().Add(u"user_name=SYSDBA");
    FDatabase->Params().Add(U(std::string("password=") + kPassword));
    FDatabase->SetLoginPrompt(false);
    FDatabase->Open();
    FTransaction = std::make_unique<TIBTransaction>(nullptr);
    for (const std::string &line : params) FTransaction->Params().Add(U(line));
    FTransaction->SetDefaultDatabase(FDatabase.get());
    FTransaction->StartTransaction();
    for (const std::string &sql : statements) {
        auto query = std::make_unique<TIBSQL>(nullptr);
        query->SetDatabase(FDatabase.get());
        query->SetTransaction(FTransaction.get());
        query->SetParamCheck(false);
        query->SetSQL(U(sql));
        query->ExecQuery();
        while (!query->Eof()) query->Next();
        FQueries.push_back(std::move(query));
    }
}

HeldTransaction::~HeldTransaction() {
    try {
        Rollback();
    } catch (...) {
        // The connection may be gone with the server; nothing is held then.
    }
    FQueries.clear();
    FTransaction.reset();
    FDatabase.reset();
}

void HeldTransaction::Commit() {
    if (FTransaction->InTransaction()) FTransaction->Commit();
}

void HeldTransaction::Rollback() {
    if (FTransaction->InTransaction()) FTransaction->Rollback();
}

}  // namespace vantrel::test
