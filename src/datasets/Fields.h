// The small field layer of the version readers: field types and their
// compatibility groups, field and index definitions, and the field objects
// through which a result set's current row is read. Only what the readers
// need; no generic data-access framework.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "client/SQLTypes.h"
#include "platform/Component.h"
#include "platform/Exceptions.h"
#include "platform/Text.h"

namespace vantrel {

class TIBCustomDataSet;

// Field types of the result sets.
enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftFMTBcd,
    ftFixedWideChar,
    ftWideMemo,
    ftShortint,
    ftByte,
    ftLongWord,
};

// The field type of an unscaled value of a column type (ftUnknown for the
// types a result set gives no field).
TFieldType UnscaledFieldType(const TSQLTypeTraits &Type);

// Texts of the result sets and their fields (EDatabaseError, after the
// result set's name).
inline constexpr const char16_t *kDataSetOpenMessage = u"Cannot perform this operation on an open dataset";
inline constexpr const char16_t *kDataSetFieldNotFoundMessage = u"Field '%s' not found";
inline constexpr const char16_t *kDataSetTypeMismatchMessage =
    u"Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char16_t *kDataSetSizeMismatchMessage =
    u"Size mismatch for field '%s', expecting: %d actual: %d";
inline constexpr const char16_t *kDataSetIndexNotFoundMessage = u"Index '%s' not found";
inline constexpr const char16_t *kDataSetParameterNotFoundMessage = u"Parameter '%s' not found";

// A set over a small enumeration (the Pascal "set of" of the component model).
template <typename E>
class TSet {
public:
    TSet() = default;
    TSet(std::initializer_list<E> items) {
        for (E item : items) Include(item);
    }
    bool Contains(E item) const { return (FBits & Bit(item)) != 0; }
    void Include(E item) { FBits |= Bit(item); }
    void Exclude(E item) { FBits &= ~Bit(item); }
    void Clear() { FBits = 0; }
    bool Empty() const { return FBits == 0; }
    bool operator==(const TSet &other) const = default;

private:
    static uint32_t Bit(E item) { return uint32_t{1} << static_cast<unsigned>(item); }
    uint32_t FBits = 0;
};

// The name a type-mismatch message shows ("Integer", "LargeInt", ...).
String FieldTypeName(TFieldType type);

// Types that can be bound to each other share a compatibility group.
enum class TFieldTypeGroup {
    Integer,    // 32-bit and smaller integers
    LargeInt,   // 64-bit integers
    Float,      // floating point and currency
    DateTime,   // date, time, date-time
    AnsiText,   // 8-bit text
    WideText,   // UTF-16 text
    LargeObject,
    Bytes,
    BCD,
    FMTBcd,
    Boolean,
    Unknown,
};
TFieldTypeGroup FieldTypeGroup(TFieldType type);

enum TFieldAttribute { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using TFieldAttributes = TSet<TFieldAttribute>;

enum TIndexOption { ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression, ixNonMaintained };
using TIndexOptions = TSet<TIndexOption>;

enum TProviderFlag { pfInUpdate, pfInWhere, pfInKey, pfHidden };
using TProviderFlags = TSet<TProviderFlag>;

enum TDataSetState { dsInactive, dsBrowse };

// One column of a result set as described by the server (or, for a table,
// by the catalogue before the select is prepared).
class TFieldDef {
public:
    const String &Name() const { return FName; }
    void SetName(const String &value) { FName = value; }
    TFieldType DataType() const { return FDataType; }
    void SetDataType(TFieldType value) { FDataType = value; }
    int Size() const { return FSize; }
    void SetSize(int value) { FSize = value; }
    int Precision() const { return FPrecision; }
    void SetPrecision(int value) { FPrecision = value; }
    bool Required() const { return FRequired; }
    void SetRequired(bool value);
    const TFieldAttributes &Attributes() const { return FAttributes; }
    void SetAttributes(const TFieldAttributes &value);
    int FieldNo() const { return FFieldNo; }
    void SetFieldNo(int value) { FFieldNo = value; }
    bool InternalCalcField() const { return FInternalCalcField; }
    void SetInternalCalcField(bool value) { FInternalCalcField = value; }

private:
    String FName;
    TFieldType FDataType = ftUnknown;
    int FSize = 0;
    int FPrecision = 0;
    bool FRequired = false;
    TFieldAttributes FAttributes;
    int FFieldNo = 0;
    bool FInternalCalcField = false;
};

// The list behind the field and the index definitions: owned items found by
// position or by name (letter case ignored), with a change notification.
template <class Def>
class TDefinitionList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    Def &operator[](int index) const {
        if (index < 0 || index >= Count()) throw EListError::IndexOutOfBounds(index);
        return *FItems[static_cast<size_t>(index)];
    }
    Def &Items(int index) const { return (*this)[index]; }
    // Position of the definition of that name, or -1.
    int IndexOf(StringView name) const {
        for (int i = 0; i < Count(); ++i)
            if (SameTextAscii(FItems[static_cast<size_t>(i)]->Name(), name)) return i;
        return -1;
    }
    Def *Find(StringView name) const {
        const int index = IndexOf(name);
        return index < 0 ? nullptr : FItems[static_cast<size_t>(index)].get();
    }
    void Clear() {
        if (FItems.empty()) return;
        FItems.clear();
        Changed();
    }
    // Filled from the server or the catalogue (not merely from stored
    // configuration).
    bool Updated() const { return FUpdated; }
    void SetUpdated(bool value) { FUpdated = value; }
    // Called on every change of the list.
    std::function<void()> OnChange;

protected:
    Def &Append() {
        FItems.push_back(std::make_unique<Def>());
        return *FItems.back();
    }
    void Changed() {
        if (OnChange) OnChange();
    }

private:
    std::vector<std::unique_ptr<Def>> FItems;
    bool FUpdated = false;
};

class TFieldDefs : public TDefinitionList<TFieldDef> {
public:
    // Adds a definition; FieldNo is its 1-based position in the list.
    TFieldDef &Add(const String &name, TFieldType dataType, int size = 0, bool required = false);
    TFieldDef &AddFieldDef();
};

class TIndexDef {
public:
    const String &Name() const { return FName; }
    void SetName(const String &value) { FName = value; }
    // Column names separated by ";".
    const String &Fields() const { return FFields; }
    void SetFields(const String &value) { FFields = value; }
    const TIndexOptions &Options() const { return FOptions; }
    void SetOptions(const TIndexOptions &value) { FOptions = value; }
    const String &DescFields() const { return FDescFields; }
    void SetDescFields(const String &value) { FDescFields = value; }

private:
    String FName;
    String FFields;
    TIndexOptions FOptions;
    String FDescFields;
};

class TIndexDefs : public TDefinitionList<TIndexDef> {
public:
    TIndexDef &Add(const String &name, const String &fields, const TIndexOptions &options);
    TIndexDef &AddIndexDef() { return Append(); }
};

// A field of a result set. Persistent fields are created by their owner
// (the update module) and attached with SetDataSet; they stay attached
// across close and reopen and are bound to a column at every open.
class TField : public TComponent {
public:
    TField(TComponent *AOwner, TFieldType dataType);
    ~TField() override;

    const String &FieldName() const { return FFieldName; }
    void SetFieldName(const String &value);
    const String &DisplayLabel() const { return FDisplayLabel; }
    void SetDisplayLabel(const String &value) { FDisplayLabel = value; }
    // The display label, else the field name.
    const String &DisplayName() const;
    TFieldType DataType() const { return FDataType; }
    int Size() const { return FSize; }
    void SetSize(int value) { FSize = value; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }
    const TProviderFlags &ProviderFlags() const { return FProviderFlags; }
    void SetProviderFlags(const TProviderFlags &value) { FProviderFlags = value; }

    TIBCustomDataSet *DataSet() const { return FDataSet; }
    // Attaches the field to a result set (detaching it from the former one).
    // The result set must be closed.
    void SetDataSet(TIBCustomDataSet *value);
    // Created by the result set itself because it had no persistent fields.
    bool Automatic() const { return FAutomatic; }

    // The 1-based number of the bound field definition; 0 when unbound.
    int FieldNo() const { return FFieldNo; }
    bool Bound() const { return FFieldNo > 0; }

    // No current row, or the column is NULL.
    bool IsNull() const;
    // The value of the current row; 0 when the field has no value.
    virtual int32_t AsInteger() const;

private:
    friend class TIBCustomDataSet;
    TFieldType FDataType;
    String FFieldName;
    String FDisplayLabel;
    int FSize = 0;
    bool FReadOnly = false;
    TProviderFlags FProviderFlags{pfInUpdate, pfInWhere};
    TIBCustomDataSet *FDataSet = nullptr;
    bool FAutomatic = false;
    int FFieldNo = 0;
};

// An integer field: accepts the 32-bit-and-smaller integer columns.
class TIntegerField : public TField {
public:
    explicit TIntegerField(TComponent *AOwner);
    int32_t MinValue() const { return FMinValue; }
    void SetMinValue(int32_t value) { FMinValue = value; }
    int32_t MaxValue() const { return FMaxValue; }
    void SetMaxValue(int32_t value) { FMaxValue = value; }

private:
    int32_t FMinValue = 0;
    int32_t FMaxValue = 0;
};

}  // namespace vantrel
