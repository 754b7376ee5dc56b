// Whole-blob reading and writing. A failed call leaves the blob handle
// closed (reading) or cancelled (writing) before the error propagates.
#include "client/IBBlob.h"

#include <algorithm>

#include "client/GDSLibrary.h"
#include "client/OwnedHandles.h"

namespace vantrel {

namespace {

// Largest segment the client accepts (an unsigned 16-bit length).
constexpr unsigned short kSegmentSize = 65535;
constexpr unsigned short kWriteSegment = 32768;

// Total length of an open blob, or 0 when the server does not say.
size_t BlobLength(IGDSLibrary &lib, isc_blob_handle *blob) {
    const ISC_SCHAR items[] = {isc_info_blob_total_length};
    ISC_SCHAR reply[32] = {};
    if (lib.isc_blob_info(StatusVector(), blob, sizeof items, items, sizeof reply, reply) != 0) return 0;
    if (reply[0] != isc_info_blob_total_length) return 0;
    short len = static_cast<short>(lib.isc_vax_integer(reply + 1, 2));
    if (len <= 0 || len > 8) return 0;
    ISC_LONG total = lib.isc_vax_integer(reply + 3, len);
    return total > 0 ? static_cast<size_t>(total) : 0;
}

}  // namespace

std::string ReadBlob(IGDSLibrary &Library, isc_db_handle *DBHandle, isc_tr_handle *TRHandle, ISC_QUAD BlobID,
                     const TBlobCallCheck &Check) {
    TBlobHandle blob(Library, TBlobHandle::abClose);
    Check(Library.isc_open_blob2(StatusVector(), DBHandle, TRHandle, blob.Address(), &BlobID, 0, nullptr));
    std::string bytes;
    size_t total = BlobLength(Library, blob.Address());
    if (total > 0) bytes.reserve(total);
    std::string segment(kSegmentSize, '\0');
    while (true) {
        unsigned short got = 0;
        ISC_STATUS r = Library.isc_get_segment(StatusVector(), blob.Address(), &got, kSegmentSize, segment.data());
        if (r == isc_segstr_eof) break;
        // isc_segment: the segment was longer than the buffer; the rest
        // comes with the next call.
        if (r != 0 && r != isc_segment) {
            Check(r);
            break;
        }
        bytes.append(segment.data(), got);
    }
    Check(blob.Close());
    return bytes;
}

ISC_QUAD WriteBlob(IGDSLibrary &Library, isc_db_handle *DBHandle, isc_tr_handle *TRHandle, const char *Data,
                   size_t Length, const TBlobCallCheck &Check) {
    TBlobHandle blob(Library, TBlobHandle::abCancel);
    ISC_QUAD id = {0, 0};
    Check(Library.isc_create_blob2(StatusVector(), DBHandle, TRHandle, blob.Address(), &id, 0, nullptr));
    size_t pos = 0;
    while (pos < Length) {
        auto n = static_cast<unsigned short>(std::min<size_t>(kWriteSegment, Length - pos));
        Check(Library.isc_put_segment(StatusVector(), blob.Address(), n, Data + pos));
        pos += n;
    }
    Check(blob.Close());
    return id;
}

}  // namespace vantrel
