// Database information items for the script statistics.
#include "client/IBDatabaseInfo.h"

#include <ibase.h>

#include <vector>

#include "client/GDSLibrary.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"

namespace vantrel {

namespace {

constexpr short kIntegerBufferSize = 512;
constexpr short kCountsBufferSize = 20480;

}  // namespace

TIBDatabaseInfo::TIBDatabaseInfo(TComponent *AOwner) : TComponent(AOwner) {}

TIBDatabaseInfo::~TIBDatabaseInfo() { SetDatabase(nullptr); }

void TIBDatabaseInfo::SetDatabase(TIBDatabase *Value) {
    if (Value == FDatabase) return;
    if (FDatabase) RemoveFreeNotification(FDatabase);
    FDatabase = Value;
    if (FDatabase) FreeNotification(FDatabase);
}

void TIBDatabaseInfo::Notification(TComponent *AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == FDatabase) FDatabase = nullptr;
}

void TIBDatabaseInfo::CheckDatabase() {
    if (!FDatabase) RaiseClientError(ClientError::DatabaseNotAssigned);
    FDatabase->CheckActive();
}

int32_t TIBDatabaseInfo::GetLongDatabaseInfo(uint8_t DatabaseInfoCommand) {
    CheckDatabase();
    IGDSLibrary *lib = FDatabase->GDSLibrary();
    const ISC_SCHAR item = static_cast<ISC_SCHAR>(DatabaseInfoCommand);
    std::vector<ISC_SCHAR> buffer(kIntegerBufferSize, 0);
    // The client only reads the handle; a copy keeps the connection's own
    // field out of reach.
    isc_db_handle handle = FDatabase->Handle();
    FDatabase->Call(lib->isc_database_info(StatusVector(), &handle, 1, &item, kIntegerBufferSize, buffer.data()),
                    true);
    const ISC_LONG length = lib->isc_vax_integer(buffer.data() + 1, 2);
    if (length < 0 || length > kIntegerBufferSize - 3) return 0;
    return static_cast<int32_t>(lib->isc_vax_integer(buffer.data() + 3, static_cast<short>(length)));
}

const TStringList &TIBDatabaseInfo::GetOperationCounts(uint8_t DBInfoCommand) {
    CheckDatabase();
    IGDSLibrary *lib = FDatabase->GDSLibrary();
    const ISC_SCHAR item = static_cast<ISC_SCHAR>(DBInfoCommand);
    std::vector<ISC_SCHAR> buffer(kCountsBufferSize, 0);
    isc_db_handle handle = FDatabase->Handle();
    FDatabase->Call(lib->isc_database_info(StatusVector(), &handle, 1, &item, kCountsBufferSize, buffer.data()),
                    true);
    FOperationCounts.Clear();
    ISC_LONG length = lib->isc_vax_integer(buffer.data() + 1, 2);
    // A truncated answer must not lead the walk outside the buffer.
    if (length < 0) length = 0;
    if (length > kCountsBufferSize - 3) length = kCountsBufferSize - 3;
    const int entries = static_cast<int>(length / 6);
    for (int i = 0; i < entries; ++i) {
        const ISC_SCHAR *entry = buffer.data() + 3 + i * 6;
        const ISC_LONG tableId = lib->isc_vax_integer(entry, 2);
        const ISC_LONG count = lib->isc_vax_integer(entry + 2, 4);
        FOperationCounts.Add(IntToStr(tableId) + u"=" + IntToStr(count));
    }
    return FOperationCounts;
}

int32_t TIBDatabaseInfo::NumBuffers() { return GetLongDatabaseInfo(isc_info_num_buffers); }
int32_t TIBDatabaseInfo::Reads() { return GetLongDatabaseInfo(isc_info_reads); }
int32_t TIBDatabaseInfo::Writes() { return GetLongDatabaseInfo(isc_info_writes); }
int32_t TIBDatabaseInfo::Fetches() { return GetLongDatabaseInfo(isc_info_fetches); }
int32_t TIBDatabaseInfo::CurrentMemory() { return GetLongDatabaseInfo(isc_info_current_memory); }
const TStringList &TIBDatabaseInfo::ReadSeqCount() { return GetOperationCounts(isc_info_read_seq_count); }
const TStringList &TIBDatabaseInfo::ReadIdxCount() { return GetOperationCounts(isc_info_read_idx_count); }
const TStringList &TIBDatabaseInfo::InsertCount() { return GetOperationCounts(isc_info_insert_count); }
const TStringList &TIBDatabaseInfo::UpdateCount() { return GetOperationCounts(isc_info_update_count); }
const TStringList &TIBDatabaseInfo::DeleteCount() { return GetOperationCounts(isc_info_delete_count); }

int64_t TIBDatabaseInfo::SumCounts(const TStringList &Counts) {
    int64_t sum = 0;
    for (int i = 0; i < Counts.Count(); ++i) {
        const String value = TStringList::ValuePart(Counts[i]);
        if (value.empty()) continue;
        int32_t v = 0;
        if (!TryStrToInt(value, v)) return 0;
        sum += v;
    }
    return sum;
}

}  // namespace vantrel
