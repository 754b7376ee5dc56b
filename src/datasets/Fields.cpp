// Field types, definitions and field objects of the version readers.
#include "datasets/Fields.h"

#include "datasets/IBCustomDataSet.h"
#include "platform/Exceptions.h"

namespace vantrel {

TFieldType UnscaledFieldType(const TSQLTypeTraits &Type) {
    if (!Type.HasField) return ftUnknown;
    switch (Type.Class) {
    case TValueClass::FixedText:
    case TValueClass::VarText: return ftWideString;
    case TValueClass::Integer:
        return Type.StorageSize == 2 ? ftSmallint : Type.StorageSize == 4 ? ftInteger : ftLargeint;
    case TValueClass::Int128: return ftLargeint;
    case TValueClass::Float: return ftFloat;
    case TValueClass::DecFloat: return ftFMTBcd;
    case TValueClass::Timestamp:
    case TValueClass::TimestampZoned: return ftDateTime;
    case TValueClass::Date: return ftDate;
    case TValueClass::Time:
    case TValueClass::TimeZoned: return ftTime;
    case TValueClass::Blob: return ftBlob;
    case TValueClass::Boolean: return ftBoolean;
    default: return ftUnknown;
    }
}

String FieldTypeName(TFieldType type) {
    switch (type) {
    case ftUnknown: return u"Unknown";
    case ftString: return u"String";
    case ftSmallint: return u"SmallInt";
    case ftInteger: return u"Integer";
    case ftWord: return u"Word";
    case ftBoolean: return u"Boolean";
    case ftFloat: return u"Float";
    case ftCurrency: return u"Currency";
    case ftBCD: return u"BCD";
    case ftDate: return u"Date";
    case ftTime: return u"Time";
    case ftDateTime: return u"DateTime";
    case ftBytes: return u"Bytes";
    case ftVarBytes: return u"VarBytes";
    case ftAutoInc: return u"AutoInc";
    case ftBlob: return u"Blob";
    case ftMemo: return u"Memo";
    case ftGraphic: return u"Graphic";
    case ftFmtMemo: return u"FmtMemo";
    case ftFixedChar: return u"FixedChar";
    case ftWideString: return u"WideString";
    case ftLargeint: return u"LargeInt";
    case ftFMTBcd: return u"FMTBcdField";
    case ftFixedWideChar: return u"FixedWideChar";
    case ftWideMemo: return u"WideMemo";
    case ftShortint: return u"ShortInt";
    case ftByte: return u"Byte";
    case ftLongWord: return u"LongWord";
    }
    return u"Unknown";
}

TFieldTypeGroup FieldTypeGroup(TFieldType type) {
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftShortint:
    case ftByte:
        return TFieldTypeGroup::Integer;
    case ftLargeint:
    case ftLongWord:
        return TFieldTypeGroup::LargeInt;
    case ftFloat:
    case ftCurrency:
        return TFieldTypeGroup::Float;
    case ftDate:
    case ftTime:
    case ftDateTime:
        return TFieldTypeGroup::DateTime;
    case ftString:
    case ftFixedChar:
        return TFieldTypeGroup::AnsiText;
    case ftWideString:
    case ftFixedWideChar:
        return TFieldTypeGroup::WideText;
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftWideMemo:
        return TFieldTypeGroup::LargeObject;
    case ftBytes:
    case ftVarBytes:
        return TFieldTypeGroup::Bytes;
    case ftBCD:
        return TFieldTypeGroup::BCD;
    case ftFMTBcd:
        return TFieldTypeGroup::FMTBcd;
    case ftBoolean:
        return TFieldTypeGroup::Boolean;
    case ftUnknown:
        break;
    }
    return TFieldTypeGroup::Unknown;
}

// ---- TFieldDef / TFieldDefs -------------------------------------------------

void TFieldDef::SetRequired(bool value) {
    FRequired = value;
    if (value)
        FAttributes.Include(faRequired);
    else
        FAttributes.Exclude(faRequired);
}

void TFieldDef::SetAttributes(const TFieldAttributes &value) {
    FAttributes = value;
    FRequired = value.Contains(faRequired);
}

TFieldDef &TFieldDefs::Add(const String &name, TFieldType dataType, int size, bool required) {
    TFieldDef &def = AddFieldDef();
    def.SetName(name);
    def.SetDataType(dataType);
    def.SetSize(size);
    def.SetRequired(required);
    Changed();
    return def;
}

TFieldDef &TFieldDefs::AddFieldDef() {
    TFieldDef &def = Append();
    def.SetFieldNo(Count());
    return def;
}

// ---- TIndexDefs ---------------------------------------------------------------

TIndexDef &TIndexDefs::Add(const String &name, const String &fields, const TIndexOptions &options) {
    TIndexDef &def = AddIndexDef();
    def.SetName(name);
    def.SetFields(fields);
    def.SetOptions(options);
    Changed();
    return def;
}

// ---- TField -------------------------------------------------------------------

TField::TField(TComponent *AOwner, TFieldType dataType) : TComponent(AOwner), FDataType(dataType) {}

TField::~TField() {
    if (FDataSet) FDataSet->RemoveField(this);
}

void TField::SetFieldName(const String &value) { FFieldName = value; }

const String &TField::DisplayName() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }

void TField::SetDataSet(TIBCustomDataSet *value) {
    if (value == FDataSet) return;
    if (FDataSet) FDataSet->RemoveField(this);
    if (value) value->AddField(this);
}

bool TField::IsNull() const { return !FDataSet || FDataSet->FieldIsNull(this); }

int32_t TField::AsInteger() const {
    int32_t value = 0;
    if (!FDataSet || !FDataSet->GetFieldInteger(this, value)) return 0;
    return value;
}

TIntegerField::TIntegerField(TComponent *AOwner) : TField(AOwner, ftInteger) {}

}  // namespace vantrel
