// Plain DML statements of a script sent to the server together: a run of
// INSERT, UPDATE, DELETE and MERGE statements that need nothing back goes out
// as one EXECUTE BLOCK holding them in order, prepared and run as one request
// instead of a prepare and an execute each. What a block cannot hold exactly
// as the statement alone would run (context values fixed per request,
// parameter markers, RETURNING, positioned updates, text PSQL would read
// otherwise) never joins one; such a statement runs alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "script/IBSQLParser.h"

namespace vantrel {

class TIBDatabase;
class TIBTransaction;

// What a statement's text allows.
struct TStatementShape {
    // It may run inside a block with its neighbours.
    bool Joinable = false;
    // It returns nothing and has no parameter markers: it may run without a
    // separate prepare.
    bool Direct = false;
    // The relation contexts its request takes, counted from above (a request
    // takes at most 256).
    int Contexts = 0;
};

TStatementShape InspectStatement(StringView Text);

class TStatementBatch {
public:
    struct TEntry {
        std::shared_ptr<const String> Text;
        TScriptLocation Where;
        std::string Bytes;  // as a statement object would send it
        int Contexts = 0;
    };

    // Below the limits of one request on Firebird 3 and later: statement
    // text under 64 KB, at most 256 relation contexts.
    static constexpr size_t kTextLimit = 60000;
    static constexpr int kContextLimit = 255;

    bool Empty() const { return FEntries.empty(); }
    size_t Count() const { return FEntries.size(); }
    const std::vector<TEntry> &Entries() const { return FEntries; }
    // Whether a statement of that size, from that place, can still join: the
    // block stays within the limits and within one file.
    bool Fits(size_t Bytes, int Contexts, const TScriptLocation &Where) const;
    void Add(TEntry Entry);
    void Clear();

    // Runs the statements in order, in as few requests as the server takes:
    // a block the server does not accept is split in halves, and a single
    // statement runs alone. A failure leaves with the error the failing
    // statement gives alone, FailedIndex() naming it; what the failing
    // request had done is undone by the server, what earlier requests did
    // stays.
    void Run(TIBDatabase *Database, TIBTransaction *Transaction);
    size_t FailedIndex() const { return FFailedIndex; }
    // Requests sent by the runs so far (for tests and measurements).
    size_t Requests() const { return FRequests; }

private:
    void RunRange(TIBDatabase *Database, TIBTransaction *Transaction, size_t First, size_t Last);
    void RunAlone(TIBDatabase *Database, TIBTransaction *Transaction, size_t Index);

    std::vector<TEntry> FEntries;
    size_t FBytes = 0;
    int FContexts = 0;
    size_t FFailedIndex = 0;
    size_t FRequests = 0;
};

}  // namespace vantrel
