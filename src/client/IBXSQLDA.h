// Descriptor areas of a prepared statement: TIBXSQLDA (one per direction,
// parameters or columns) laid out in the client library's XSQLDA format,
// TIBXSQLVAR (one variable with its value and NULL buffers, names and typed
// reads and writes) and TSQLVAR, the accessor of one variable record in
// either record layout: version 1 is the published XSQLVAR, version 2 the
// wider-named layout used with clients of version 7.0 and later.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <algorithm>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "client/Decimal.h"
#include "client/DecimalFloat.h"
#include "client/SQLTypes.h"
#include "platform/DateTime.h"
#include "platform/Encoding.h"
#include "platform/Text.h"
#include "vantrel/vantrel.h"

namespace vantrel {

class IGDSLibrary;
class TIBSQL;
class TIBXSQLDA;

// Version-2 variable record: 16-bit fields with a precision, pointers, and
// four 68-byte names (a 16-bit length before each).
inline constexpr int kSQLDAVersion1 = SQLDA_VERSION1;
inline constexpr int kSQLDAVersion2 = 2;
inline constexpr int kNameFieldV1 = 32;
inline constexpr int kNameFieldV2 = 68;

struct TWideSQLVarRecord {
    ISC_SHORT sqltype;
    ISC_SHORT sqlscale;
    ISC_SHORT sqlprecision;
    ISC_SHORT sqlsubtype;
    ISC_SHORT sqllen;
    ISC_SCHAR *sqldata;
    ISC_SHORT *sqlind;
    ISC_SHORT sqlname_length;
    ISC_SCHAR sqlname[kNameFieldV2];
    ISC_SHORT relname_length;
    ISC_SCHAR relname[kNameFieldV2];
    ISC_SHORT ownname_length;
    ISC_SCHAR ownname[kNameFieldV2];
    ISC_SHORT aliasname_length;
    ISC_SCHAR aliasname[kNameFieldV2];
};

struct TWideSQLDABlock {
    ISC_SHORT version;
    ISC_SCHAR sqldaid[8];
    ISC_LONG sqldabc;
    ISC_SHORT sqln;
    ISC_SHORT sqld;
    TWideSQLVarRecord sqlvar[1];
};

// Bytes of a descriptor block of n records in a layout version.
size_t XSQLDALength(int layoutVersion, int n);
// Layout chosen for a client version (x 10000): 2 from 7.0 on, else 1.
int LayoutVersionForClient(int64_t clientVersion);

using TBytes = std::vector<uint8_t>;

// Accessor of one variable record. The record lives in the area's block;
// the value buffer and the NULL indicator belong to the accessor, which
// points the record at them. The fields both layouts share (type, scale,
// subtype, length, data and indicator) are reached through pointers bound to
// the record, so reading and writing values costs no dispatch; the names and
// the precision differ by layout and are virtual.
class TSQLVAR {
public:
    virtual ~TSQLVAR() = default;
    TSQLVAR(const TSQLVAR &) = delete;
    TSQLVAR &operator=(const TSQLVAR &) = delete;

    virtual String AliasName() const = 0;
    virtual String OwnName() const = 0;
    virtual String RelName() const = 0;
    virtual String SqlName() const = 0;
    virtual int16_t SqlPrecision() const = 0;
    virtual void *XSqlVar() const = 0;
    virtual void SetAliasName(const String &Value) = 0;
    virtual void SetOwnName(const String &Value) = 0;
    virtual void SetRelName(const String &Value) = 0;
    virtual void SetSqlName(const String &Value) = 0;
    // Raises "Unsupported feature" (4) on a version-1 record.
    virtual void SetSqlPrecision(int16_t Value) = 0;
    // Points the accessor at another record of its layout.
    virtual void SetXSqlVar(void *Value) = 0;
    // The relation name is set / starts with the bytes "RDB$" (no decoding).
    virtual bool HasRelName() const = 0;
    virtual bool RelNameIsSystem() const = 0;
    // The sqlname bytes equal the ASCII text (no decoding).
    virtual bool SqlNameIs(const char *ascii) const = 0;

    char *SqlData() const { return *FDataField; }
    int16_t *SqlInd() const { return *FIndField; }
    uint16_t SqlLen() const { return static_cast<uint16_t>(*FLenField); }
    int16_t SqlScale() const { return *FScaleField; }
    int16_t SqlSubtype() const { return *FSubtypeField; }
    uint16_t SqlType() const { return static_cast<uint16_t>(*FTypeField); }
    // Type code without the nullable bit.
    uint16_t SqlDef() const { return static_cast<uint16_t>(*FTypeField & ~1); }
    void SetSqlData(char *Value) { *FDataField = Value; }
    void SetSqlInd(int16_t *Value) { *FIndField = Value; }
    void SetSqlLen(uint16_t Value) { *FLenField = static_cast<ISC_SHORT>(Value); }
    void SetSqlScale(int16_t Value) { *FScaleField = Value; }
    void SetSqlSubtype(int16_t Value) { *FSubtypeField = Value; }
    void SetSqlType(uint16_t Value) { *FTypeField = static_cast<ISC_SHORT>(Value); }

    // Resize the value buffer / indicator: bytes from the old size up to the
    // new one are zero; an indicator of size 0 is released. The buffers keep
    // their capacity, so a statement of the same shape allocates nothing new.
    void SetDataSize(int OldSize, int NewSize);
    void SetIndSize(int OldSize, int NewSize);
    int DataCapacity() const { return static_cast<int>(FData.size()); }

    // The server writes names in the connection's character set; the area
    // sets its encoding here (null: the default narrow code page).
    void SetNameEncoding(const TEncoding *Value) { FNameEncoding = Value; }
    const TEncoding &NameEncoding() const { return FNameEncoding ? *FNameEncoding : *AnsiEncoding(); }

    // The bytes of a text value (CHAR or VARCHAR).
    std::string_view TextBytes() const { return vantrel::TextBytes(SQLTypeTraits(SqlDef()), SqlData(), SqlLen()); }

protected:
    // Names are bytes of the connection's character set; the length field
    // counts them. A name never overflows its field.
    static void WriteNameBytes(const TEncoding &Encoding, ISC_SCHAR *Field, ISC_SHORT &Length, int FieldSize,
                               const String &Value);
    [[noreturn]] static void RaiseUnsupported();
    TSQLVAR() = default;
    template <class Record>
    void Bind(Record *r) {
        FTypeField = &r->sqltype;
        FScaleField = &r->sqlscale;
        FSubtypeField = &r->sqlsubtype;
        FLenField = &r->sqllen;
        FDataField = &r->sqldata;
        FIndField = &r->sqlind;
    }

private:
    ISC_SHORT *FTypeField = nullptr;
    ISC_SHORT *FScaleField = nullptr;
    ISC_SHORT *FSubtypeField = nullptr;
    ISC_SHORT *FLenField = nullptr;
    ISC_SCHAR **FDataField = nullptr;
    ISC_SHORT **FIndField = nullptr;
    std::vector<char> FData;
    int16_t FIndicator = 0;
    const TEncoding *FNameEncoding = nullptr;
};

// The accessor of one record layout: XSQLVAR (version 1, 32-byte names, no
// precision) or TWideSQLVarRecord (version 2).
template <class Record, int NameSize>
class TSQLVARRecord final : public TSQLVAR {
public:
    explicit TSQLVARRecord(Record *Value) { SetXSqlVar(Value); }
    String AliasName() const override { return ReadName(FRecord->aliasname, FRecord->aliasname_length); }
    String OwnName() const override { return ReadName(FRecord->ownname, FRecord->ownname_length); }
    String RelName() const override { return ReadName(FRecord->relname, FRecord->relname_length); }
    String SqlName() const override { return ReadName(FRecord->sqlname, FRecord->sqlname_length); }
    int16_t SqlPrecision() const override {
        if constexpr (kHasPrecision)
            if (FRecord->sqlprecision != 0) return FRecord->sqlprecision;
        return SQLTypeTraits(SqlDef()).DefaultPrecision;
    }
    void *XSqlVar() const override { return FRecord; }
    void SetAliasName(const String &Value) override { WriteName(FRecord->aliasname, FRecord->aliasname_length, Value); }
    void SetOwnName(const String &Value) override { WriteName(FRecord->ownname, FRecord->ownname_length, Value); }
    void SetRelName(const String &Value) override { WriteName(FRecord->relname, FRecord->relname_length, Value); }
    void SetSqlName(const String &Value) override { WriteName(FRecord->sqlname, FRecord->sqlname_length, Value); }
    void SetSqlPrecision(int16_t Value) override {
        if constexpr (kHasPrecision)
            FRecord->sqlprecision = Value;
        else
            RaiseUnsupported();
    }
    void SetXSqlVar(void *Value) override {
        FRecord = static_cast<Record *>(Value);
        if (FRecord) Bind(FRecord);
    }
    bool HasRelName() const override { return FRecord->relname_length > 0; }
    bool RelNameIsSystem() const override { return NameBytes(FRecord->relname, FRecord->relname_length).starts_with("RDB$"); }
    bool SqlNameIs(const char *ascii) const override { return NameBytes(FRecord->sqlname, FRecord->sqlname_length) == ascii; }

private:
    static constexpr bool kHasPrecision = requires(Record r) { r.sqlprecision; };
    // The name bytes the length field counts, never beyond the field.
    static std::string_view NameBytes(const ISC_SCHAR *field, ISC_SHORT length) {
        return {field, static_cast<size_t>(std::clamp<int>(length, 0, NameSize))};
    }
    String ReadName(const ISC_SCHAR *field, ISC_SHORT length) const {
        const std::string_view bytes = NameBytes(field, length);
        return NameEncoding().GetString(bytes.data(), bytes.size());
    }
    void WriteName(ISC_SCHAR *field, ISC_SHORT &length, const String &value) const {
        WriteNameBytes(NameEncoding(), field, length, NameSize, value);
    }
    Record *FRecord = nullptr;
};

using TSQLVAR_V1 = TSQLVARRecord<XSQLVAR, kNameFieldV1>;
using TSQLVAR_V2 = TSQLVARRecord<TWideSQLVarRecord, kNameFieldV2>;

// One variable of an area: a parameter or a column of the current row.
class TIBXSQLVAR {
public:
    TIBXSQLVAR(TIBXSQLDA *Parent, TIBSQL *Query);
    TIBXSQLVAR(const TIBXSQLVAR &) = delete;
    TIBXSQLVAR &operator=(const TIBXSQLVAR &) = delete;

    // --- typed reads (NULL reads as 0, false, empty, zero date) ---
    int32_t AsInteger() const;
    int32_t AsLong() const { return AsInteger(); }
    int64_t AsInt64() const;
    int16_t AsShort() const;
    String AsString() const;
    String AsTrimString() const;
    double AsDouble() const;
    float AsFloat() const;
    Currency AsCurrency() const;
    TDateTime AsDate() const { return AsDateTime(); }
    TDateTime AsTime() const { return AsDateTime(); }
    TDateTime AsDateTime() const;
    bool AsBoolean() const;
    ISC_QUAD AsQuad() const;
    // The value buffer, or null when NULL.
    void *AsPointer() const;
    // A VARIANT the caller owns (VariantClear it): VT_NULL for NULL, VT_BSTR
    // for text and blobs, VT_I2/VT_I4/VT_I8 for unscaled integers, VT_CY for
    // scales -1..-4, VT_R8 for smaller scales and floating point, VT_DATE for
    // dates and times, VT_BOOL for booleans.
    VARIANT AsVariant() const;
    VARIANT Value() const { return AsVariant(); }
    // Raw bytes of text and blob values (no character set conversion).
    TBytes AsBytes() const;
    // Exact decimal text of numbers ("-123.45", scaled integers keep all
    // their decimals).
    String AsBcd() const;

    // --- typed writes (applied to every variable of the same name) ---
    void SetAsInteger(int32_t Value);
    void SetAsLong(int32_t Value) { SetAsInteger(Value); }
    void SetAsInt64(int64_t Value);
    void SetAsShort(int16_t Value);
    void SetAsString(const String &Value);
    void SetAsTrimString(const String &Value);
    void SetAsDouble(double Value);
    void SetAsFloat(float Value);
    void SetAsCurrency(Currency Value);
    void SetAsDate(TDateTime Value);
    void SetAsTime(TDateTime Value);
    void SetAsDateTime(TDateTime Value);
    void SetAsBoolean(bool Value);
    void SetAsQuad(const ISC_QUAD &Value);
    void SetAsVariant(const VARIANT &Value);
    void SetValue(const VARIANT &Value) { SetAsVariant(Value); }
    // Blob: a new blob of these bytes; text and other types: SQL_TEXT with
    // the bytes unconverted.
    void SetAsBytes(const TBytes &Value);
    // Decimal text stored as a scaled 64-bit integer (at most 18 digits).
    void SetAsBcd(const String &Value);

    // --- NULL ---
    bool IsNull() const;
    void SetIsNull(bool Value);
    bool IsNullable() const { return (FXSQLVAR->SqlType() & 1) != 0; }
    void SetIsNullable(bool Value);
    void Clear() { SetIsNull(true); }

    // --- read-only properties ---
    const String &Name() const { return FName; }
    int Index() const { return FIndex; }
    bool Modified() const { return FModified; }
    void SetModified(bool Value) { FModified = Value; }
    int Size() const { return FXSQLVAR->SqlLen(); }
    int SQLType() const { return FXSQLVAR->SqlDef(); }
    // The indicator value (0 without one).
    int16_t SQLInd() const;
    int CharSetSize() const;
    TSQLVAR &SqlVar() const { return *FXSQLVAR; }
    TSQLVAR &Data() const { return *FXSQLVAR; }
    uint16_t MaxLen() const { return FMaxLen; }
    TIBXSQLDA *Parent() const { return FParent; }

    // Copies the value of Source (type, scale, length and bytes; blobs
    // through the blob reader and writer).
    void Assign(const TIBXSQLVAR &Source);

    void LoadFromStream(std::istream &Stream);
    void SaveToStream(std::ostream &Stream) const;
    void LoadFromFile(const std::string &FileName);
    void SaveToFile(const std::string &FileName) const;

private:
    friend class TIBXSQLDA;

    // The variables of the area that share this one's name (this one
    // included).
    const std::vector<TIBXSQLVAR *> &SameName() const;
    // Every typed write of a fixed-size value: clear NULL, then for each
    // variable of the same name set type (keeping its nullable bit; a
    // negative Type keeps the type), length and scale (kept when KeepScale),
    // resize the buffer, store the bytes and mark it modified.
    void WriteFixed(int Type, uint16_t Len, int Scale, bool KeepScale, const void *Value);
    // Text bytes (already in the right code page) as SQL_TEXT.
    void WriteText(const char *Bytes, size_t Length);
    bool IsDBKey() const { return FIsDBKey; }
    IGDSLibrary &Library() const;
    void WriteBlob(const char *Bytes, size_t Length);
    const TSQLTypeTraits &Type() const { return SQLTypeTraits(FXSQLVAR->SqlDef()); }
    std::string ReadBlobBytes() const;
    String DecodeText(const char *Bytes, size_t Length, bool CutToChars) const;
    int64_t ScaledValue() const;
    // The integer of an Integer or Int128 class value, and whether 64 bits
    // hold it.
    __int128 WideValue() const;
    bool FitsInt64() const;
    // A scaled 64-bit value as the nearest double to its decimal value.
    double ScaledAsDouble(int64_t Value) const;
    TDecimalFloat DecimalFloatValue() const;
    // A zoned value as the wall clock of its own zone.
    TDateTime ZonedDateTime() const;
    [[noreturn]] void RaiseConversion() const;

    TIBXSQLDA *FParent;
    TIBSQL *FSQL;
    int FIndex = 0;
    bool FModified = false;
    String FName;
    std::unique_ptr<TSQLVAR> FXSQLVAR;
    uint16_t FMaxLen = 0;
    bool FIsDBKey = false;  // named DB_KEY or RDB$DB_KEY (set after describe)
};

// Steps an index from before the first variable to the last one.
class TIBXSQLDAEnumerator {
public:
    explicit TIBXSQLDAEnumerator(TIBXSQLDA *Area) : FArea(Area) {}
    bool MoveNext();
    TIBXSQLVAR *GetCurrent() const;

private:
    TIBXSQLDA *FArea;
    int FIndex = -1;
};

// The descriptor block of one direction of a statement and its variables.
class TIBXSQLDA {
public:
    explicit TIBXSQLDA(TIBSQL *Query);
    ~TIBXSQLDA();
    TIBXSQLDA(const TIBXSQLDA &) = delete;
    TIBXSQLDA &operator=(const TIBXSQLDA &) = delete;

    // What the conversions need of the connection: its binding (date codecs,
    // blobs), the client version (record layout), the SQL dialect (name
    // rules, dates) and the character set encoding of text values. The
    // statement sets it before every prepare; tests set it directly. A
    // change of layout releases the variables and the block.
    void SetContext(IGDSLibrary *Library, int64_t ClientVersion, int SQLDialect,
                    std::shared_ptr<const TEncoding> Encoding);
    IGDSLibrary *GDSLibrary() const { return FGDSLibrary; }
    int64_t ClientVersion() const { return FClientVersion; }
    int SQLDialect() const { return FSQLDialect; }
    const TEncoding &Encoding() const { return *FEncoding; }
    // The encoding keeps ASCII as single bytes (text of ASCII characters
    // converts byte for byte).
    bool EncodingKeepsAscii() const { return FEncodingKeepsAscii; }
    TIBSQL *SQL() const { return FSQL; }
    // The layout version of the records (1 or 2).
    int LayoutVersion() const { return FLayoutVersion; }

    int Count() const { return FCount; }
    // Resizes the area: the name list is cleared; the block grows (never
    // shrinks) and sqln = sqld = n.
    void SetCount(int Value);
    // The descriptor block for the client library; null until first sized.
    XSQLDA *AsXSQLDA() const { return FSize > 0 ? reinterpret_cast<XSQLDA *>(FXSQLDA.get()) : nullptr; }
    // The names, each followed by CR LF.
    String Names() const;
    bool Modified() const;
    const String &UniqueRelationName() const { return FUniqueRelationName; }
    // Block size for the allocated records + 4.
    int RecordSize() const;
    // Header fields of the block (0 while there is none).
    int SqlN() const;
    int SqlD() const;

    void AddName(const String &FieldName, int Idx);
    TIBXSQLVAR *FindVar(StringView Name) const;
    // FindVar, or "Field "%s" not found" (46) with the name as given.
    TIBXSQLVAR *ByName(StringView Name) const;
    // "XSQLDA index out of range" (26) outside 0..Count-1.
    TIBXSQLVAR *GetSQLVAR(int Idx) const;
    TIBXSQLVAR &operator[](int Idx) const { return *GetSQLVAR(Idx); }
    TIBXSQLVAR *Vars(int Idx) const { return GetSQLVAR(Idx); }
    int GetFieldIndex(StringView Name) const;

    // After a describe: relation tracking, generated names, buffers.
    void PrepareBuffers();

    TIBXSQLDAEnumerator GetEnumerator() { return TIBXSQLDAEnumerator(this); }

    // Name normalisation of this area's dialect.
    String NormalizeIdentifier(StringView Name) const;

private:
    friend class TIBXSQLVAR;

    // The variables named like the variable at Idx, rebuilt after names change.
    // Every variable (index below FSize) has a group.
    const std::vector<TIBXSQLVAR *> &Siblings(int Idx) const {
        if (!FSiblingsValid) BuildSiblings();
        return FSiblings[static_cast<size_t>(Idx)];
    }
    void BuildSiblings() const;
    void ReleaseAll();

    TIBSQL *FSQL;
    int FCount = 0;
    std::vector<String> FNames;
    int FSize = 0;
    std::unique_ptr<uint64_t[]> FXSQLDA;
    size_t FBlockBytes = 0;
    std::vector<std::unique_ptr<TIBXSQLVAR>> FXSQLVARs;
    String FUniqueRelationName;
    IGDSLibrary *FGDSLibrary = nullptr;
    int64_t FClientVersion = 0;
    int FSQLDialect = 3;
    std::shared_ptr<const TEncoding> FEncoding;
    bool FEncodingKeepsAscii = true;
    int FLayoutVersion = kSQLDAVersion1;
    // A text value encoded for the server on its way into the variables.
    std::string FTextBytes;

    mutable std::vector<std::vector<TIBXSQLVAR *>> FSiblings;
    mutable bool FSiblingsValid = false;
};

// Code pages whose bytes below 0x80 are ASCII.
bool CodePageKeepsAscii(int CodePage);

// Bytes per character of a character set id (the low byte of a text
// variable's subtype), with the UNICODE_FSS rule for system relations.
int CharSetSizeOf(int CharSetId, bool SystemRelation, int SqlLen);

}  // namespace vantrel
