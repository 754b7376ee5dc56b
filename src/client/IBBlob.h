// Whole-blob reading and writing through the client binding: the blob paths
// of the typed reads and writes (AsString, AsBytes, Assign, the stream
// operations) of descriptor variables.
#pragma once

#include <ibase.h>

#include <cstddef>
#include <functional>
#include <string>

namespace vantrel {

class IGDSLibrary;

// The status check of each blob call: raises on a failed call (normally a
// statement's or transaction's Call with raising on).
using TBlobCallCheck = std::function<void(ISC_STATUS)>;

// Reads every segment of the blob BlobID into one byte string.
std::string ReadBlob(IGDSLibrary &Library, isc_db_handle *DBHandle, isc_tr_handle *TRHandle, ISC_QUAD BlobID,
                     const TBlobCallCheck &Check);

// Creates a new blob holding the bytes and returns its id.
ISC_QUAD WriteBlob(IGDSLibrary &Library, isc_db_handle *DBHandle, isc_tr_handle *TRHandle, const char *Data,
                   size_t Length, const TBlobCallCheck &Check);

}  // namespace vantrel
