// TIBDatabaseInfo: reads information items of an attached database with
// isc_database_info. Only what the script statistics need is offered: single
// integer items and the per-table operation counts, plus SumCounts.
#pragma once

#include <cstdint>

#include "platform/Component.h"
#include "platform/Strings.h"

namespace vantrel {

class TIBDatabase;

class TIBDatabaseInfo : public TComponent {
public:
    explicit TIBDatabaseInfo(TComponent *AOwner);
    ~TIBDatabaseInfo() override;

    TIBDatabase *Database() const { return FDatabase; }
    void SetDatabase(TIBDatabase *Value);

    // One integer item (isc_info_reads, isc_info_num_buffers, ...), read
    // into a 512-byte buffer. Raises the database error when the call fails
    // and client error 15 when the connection is closed.
    int32_t GetLongDatabaseInfo(uint8_t DatabaseInfoCommand);
    // A per-table count item (isc_info_read_seq_count, ...): the list of
    // "table id=count" lines, owned by this object and refilled on each read.
    const TStringList &GetOperationCounts(uint8_t DBInfoCommand);

    int32_t NumBuffers();
    int32_t Reads();
    int32_t Writes();
    int32_t Fetches();
    int32_t CurrentMemory();
    const TStringList &ReadSeqCount();
    const TStringList &ReadIdxCount();
    const TStringList &InsertCount();
    const TStringList &UpdateCount();
    const TStringList &DeleteCount();

    // Sum of the values of all "id=count" lines with a value; 0 when any
    // value is not a 32-bit decimal integer.
    static int64_t SumCounts(const TStringList &Counts);

    void Notification(TComponent *AComponent, TOperation Operation) override;

private:
    void CheckDatabase();

    TIBDatabase *FDatabase = nullptr;
    TStringList FOperationCounts;
};

}  // namespace vantrel
