// The connection's view of the field metadata cache: an abstract cache
// object with its four operations, and the process-wide hook through which
// a connection obtains the cache object of its database name. Until a cache
// implementation installs the hook, connections hold no cache object and
// answer false to every question.
#pragma once

#include <functional>

#include "platform/Text.h"

namespace vantrel {

class TIBDatabase;

class TIBSchema {
public:
    virtual ~TIBSchema() = default;
    virtual void FreeNodes() = 0;
    virtual bool Has_DEFAULT_VALUE(TIBDatabase *Database, const String &Relation, const String &Field) = 0;
    virtual bool Has_COMPUTED_BLR(TIBDatabase *Database, const String &Relation, const String &Field) = 0;
    virtual bool In_Key(TIBDatabase *Database, const String &Relation, const String &Field) = 0;
};

// Get-or-create of the cache object for a database name. The cache owns its
// objects for the life of the process; connections keep plain pointers.
using TSchemaProvider = std::function<TIBSchema *(const String &DatabaseName)>;

inline TSchemaProvider &SchemaProvider() {
    static TSchemaProvider provider;
    return provider;
}

}  // namespace vantrel
