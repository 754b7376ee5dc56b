// Descriptor areas: the block in the client's XSQLDA layout, the two record
// accessors, variable names and their normalisation, buffers after describe
// and NULL handling. The typed conversions are in IBXSQLVARConvert.cpp.
#include "client/IBXSQLDA.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstring>

#include "client/IBErrors.h"
#include "client/GDSLibrary.h"

namespace vantrel {

static_assert(offsetof(TWideSQLDABlock, sqlvar) == offsetof(XSQLDA, sqlvar), "both layouts share the header");

size_t XSQLDALength(int layoutVersion, int n) {
    if (n <= 0) return 0;
    if (layoutVersion == kSQLDAVersion2)
        return offsetof(TWideSQLDABlock, sqlvar) + static_cast<size_t>(n) * sizeof(TWideSQLVarRecord);
    return XSQLDA_LENGTH(static_cast<size_t>(n));
}

int LayoutVersionForClient(int64_t clientVersion) {
    return clientVersion >= 70000 ? kSQLDAVersion2 : kSQLDAVersion1;
}

// ---------------------------------------------------------------------------
// TSQLVAR

void TSQLVAR::SetDataSize(int OldSize, int NewSize) {
    if (NewSize < 0) NewSize = 0;
    if (OldSize < 0) OldSize = 0;
    FData.resize(static_cast<size_t>(NewSize));
    if (NewSize > OldSize) std::memset(FData.data() + OldSize, 0, static_cast<size_t>(NewSize - OldSize));
    SetSqlData(NewSize > 0 ? FData.data() : nullptr);
}

void TSQLVAR::SetIndSize(int OldSize, int NewSize) {
    if (NewSize <= 0) {
        SetSqlInd(nullptr);
        return;
    }
    if (OldSize <= 0) FIndicator = 0;
    SetSqlInd(&FIndicator);
}

void TSQLVAR::WriteNameBytes(const TEncoding &Encoding, ISC_SCHAR *Field, ISC_SHORT &Length, int FieldSize,
                             const String &Value) {
    std::string bytes = Encoding.GetBytes(Value);
    size_t n = std::min(bytes.size(), static_cast<size_t>(FieldSize));
    std::memset(Field, 0, static_cast<size_t>(FieldSize));
    std::memcpy(Field, bytes.data(), n);
    Length = static_cast<ISC_SHORT>(n);
}

void TSQLVAR::RaiseUnsupported() { RaiseClientError(ClientError::NotSupported); }

// ---------------------------------------------------------------------------
// Character sets

int CharSetSizeOf(int CharSetId, bool SystemRelation, int SqlLen) {
    switch (CharSetId) {
    case 3:  // UNICODE_FSS: system tables store one byte per character
        if (SystemRelation) return 1;
        return SqlLen % 3 == 0 ? 3 : 1;
    case 4:  // UTF8 (Firebird)
        return 4;
    case 5: case 6: case 8: case 44: case 56: case 57: case 64:
        return 2;
    case 59:  // UTF8 (InterBase)
        return 4;
    default:
        return 1;
    }
}

int TIBXSQLVAR::CharSetSize() const {
    return CharSetSizeOf(FXSQLVAR->SqlSubtype() & 0xFF, FXSQLVAR->RelNameIsSystem(), FXSQLVAR->SqlLen());
}

// ---------------------------------------------------------------------------
// TIBXSQLVAR: construction and NULL handling

TIBXSQLVAR::TIBXSQLVAR(TIBXSQLDA *Parent, TIBSQL *Query) : FParent(Parent), FSQL(Query) {}

const std::vector<TIBXSQLVAR *> &TIBXSQLVAR::SameName() const { return FParent->Siblings(FIndex); }

bool TIBXSQLVAR::IsNull() const {
    uint16_t type = FXSQLVAR->SqlType();
    if (SQLTypeTraits(type).Class == TValueClass::Null) return true;  // untyped until written
    if (!(type & 1)) return false;
    const int16_t *ind = FXSQLVAR->SqlInd();
    return ind && *ind < 0;
}

int16_t TIBXSQLVAR::SQLInd() const {
    const int16_t *ind = FXSQLVAR->SqlInd();
    return ind ? *ind : 0;
}

void TIBXSQLVAR::SetIsNull(bool Value) {
    if (Value) {
        if (!IsNullable()) SetIsNullable(true);
        for (TIBXSQLVAR *v : SameName()) {
            if (int16_t *ind = v->FXSQLVAR->SqlInd()) *ind = -1;
            v->FModified = true;
        }
    } else if (IsNullable()) {
        for (TIBXSQLVAR *v : SameName()) {
            if (int16_t *ind = v->FXSQLVAR->SqlInd()) *ind = 0;
            v->FModified = true;
        }
    }
}

void TIBXSQLVAR::SetIsNullable(bool Value) {
    for (TIBXSQLVAR *v : SameName()) {
        TSQLVAR &r = *v->FXSQLVAR;
        if (v->IsNullable() == Value) continue;
        if (Value) {
            r.SetSqlType(static_cast<uint16_t>(r.SqlType() | 1));
            r.SetIndSize(0, 2);
        } else {
            r.SetSqlType(static_cast<uint16_t>(r.SqlType() & ~1u));
            r.SetIndSize(2, 0);
        }
    }
}

// ---------------------------------------------------------------------------
// TIBXSQLDAEnumerator

bool TIBXSQLDAEnumerator::MoveNext() {
    if (FIndex < FArea->Count() - 1) {
        ++FIndex;
        return true;
    }
    return false;
}

TIBXSQLVAR *TIBXSQLDAEnumerator::GetCurrent() const { return FArea->GetSQLVAR(FIndex); }

// ---------------------------------------------------------------------------
// TIBXSQLDA

TIBXSQLDA::TIBXSQLDA(TIBSQL *Query)
    : FSQL(Query), FEncoding(AnsiEncoding()), FEncodingKeepsAscii(CodePageKeepsAscii(FEncoding->CodePage())) {}

bool CodePageKeepsAscii(int CodePage) {
    switch (CodePage) {
    case 65001: case 437: case 850: case 852: case 855: case 857: case 860: case 861: case 862: case 863:
    case 864: case 865: case 866: case 869: case 874: case 20127: case 20866: case 21866:
        return true;
    default:
        return (CodePage >= 1250 && CodePage <= 1258) || (CodePage >= 28591 && CodePage <= 28605);
    }
}

TIBXSQLDA::~TIBXSQLDA() = default;

void TIBXSQLDA::SetContext(IGDSLibrary *Library, int64_t ClientVersion, int SQLDialect,
                           std::shared_ptr<const TEncoding> Encoding) {
    FGDSLibrary = Library;
    FClientVersion = ClientVersion;
    if (FSQLDialect != SQLDialect) {
        FSQLDialect = SQLDialect;
        FSiblingsValid = false;
    }
    FEncoding = Encoding ? std::move(Encoding) : AnsiEncoding();
    FEncodingKeepsAscii = CodePageKeepsAscii(FEncoding->CodePage());
    for (auto &var : FXSQLVARs) var->FXSQLVAR->SetNameEncoding(FEncoding.get());
    int layout = LayoutVersionForClient(ClientVersion);
    if (layout != FLayoutVersion) {
        ReleaseAll();
        FLayoutVersion = layout;
    }
}

void TIBXSQLDA::ReleaseAll() {
    FXSQLVARs.clear();
    FXSQLDA.reset();
    FBlockBytes = 0;
    FSize = 0;
    FCount = 0;
    FNames.clear();
    FSiblingsValid = false;
}

void TIBXSQLDA::SetCount(int Value) {
    if (Value < 0) Value = 0;
    FNames.clear();
    FSiblingsValid = false;
    FCount = Value;
    if (Value == 0) {
        FUniqueRelationName.clear();
        return;
    }
    if (Value > FSize) {
        size_t newBytes = XSQLDALength(FLayoutVersion, Value);
        size_t words = (newBytes + sizeof(uint64_t) - 1) / sizeof(uint64_t);
        std::unique_ptr<uint64_t[]> block(new uint64_t[words]());
        if (FXSQLDA) std::memcpy(block.get(), FXSQLDA.get(), FBlockBytes);
        FXSQLDA = std::move(block);
        FBlockBytes = newBytes;
        auto *header = reinterpret_cast<XSQLDA *>(FXSQLDA.get());
        header->version = static_cast<ISC_SHORT>(FLayoutVersion);
        FXSQLVARs.reserve(static_cast<size_t>(Value));
        for (int i = FSize; i < Value; ++i) {
            auto var = std::make_unique<TIBXSQLVAR>(this, FSQL);
            if (FLayoutVersion == kSQLDAVersion2)
                var->FXSQLVAR = std::make_unique<TSQLVAR_V2>(nullptr);
            else
                var->FXSQLVAR = std::make_unique<TSQLVAR_V1>(nullptr);
            var->FXSQLVAR->SetNameEncoding(FEncoding.get());
            var->FIndex = i;
            FXSQLVARs.push_back(std::move(var));
        }
        // The block may have moved: point every accessor at its record.
        for (int i = 0; i < Value; ++i) {
            void *record;
            if (FLayoutVersion == kSQLDAVersion2)
                record = &reinterpret_cast<TWideSQLDABlock *>(FXSQLDA.get())->sqlvar[i];
            else
                record = &header->sqlvar[i];
            FXSQLVARs[static_cast<size_t>(i)]->FXSQLVAR->SetXSqlVar(record);
        }
        FSize = Value;
    }
    if (FSize > 0) {
        auto *header = reinterpret_cast<XSQLDA *>(FXSQLDA.get());
        header->sqln = static_cast<ISC_SHORT>(Value);
        header->sqld = static_cast<ISC_SHORT>(Value);
    }
}

int TIBXSQLDA::RecordSize() const { return static_cast<int>(XSQLDALength(FLayoutVersion, FSize)) + 4; }

int TIBXSQLDA::SqlN() const { return FSize > 0 ? reinterpret_cast<const XSQLDA *>(FXSQLDA.get())->sqln : 0; }

int TIBXSQLDA::SqlD() const { return FSize > 0 ? reinterpret_cast<const XSQLDA *>(FXSQLDA.get())->sqld : 0; }

String TIBXSQLDA::Names() const {
    String text;
    for (const String &n : FNames) {
        text += n;
        text += u"\r\n";
    }
    return text;
}

bool TIBXSQLDA::Modified() const {
    for (int i = 0; i < FCount; ++i)
        if (FXSQLVARs[static_cast<size_t>(i)]->FModified) return true;
    return false;
}

namespace {

// Simple (length-keeping) upper-casing of one UTF-16 unit, as the server
// folds identifiers.
inline char16_t UpperChar(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    if (c >= 0xD800 && c <= 0xDFFF) return c;
    UChar32 u = u_toupper(c);
    return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
}

String UpperIdentifier(StringView text) {
    String out(text);
    for (char16_t &c : out) c = UpperChar(c);
    return out;
}

}  // namespace

String TIBXSQLDA::NormalizeIdentifier(StringView Name) const {
    String s = Trim(Name);
    if (FSQLDialect == 1) return UpperIdentifier(s);
    if (!s.empty() && s[0] == u'"') {
        String inner = s.size() >= 2 ? s.substr(1, s.size() - 2) : String();
        String out;
        out.reserve(inner.size());
        for (size_t i = 0; i < inner.size(); ++i) {
            out += inner[i];
            if (inner[i] == u'"' && i + 1 < inner.size() && inner[i + 1] == u'"') ++i;
        }
        return out;
    }
    return UpperIdentifier(s);
}

void TIBXSQLDA::AddName(const String &FieldName, int Idx) {
    if (Idx < 0) return;
    String name = NormalizeIdentifier(FieldName);
    if (FNames.size() <= static_cast<size_t>(Idx)) FNames.resize(static_cast<size_t>(Idx) + 1);
    if (Idx < FSize) {
        TIBXSQLVAR &v = *FXSQLVARs[static_cast<size_t>(Idx)];
        v.FName = name;
        v.FIndex = Idx;
    }
    FNames[static_cast<size_t>(Idx)] = std::move(name);
    FSiblingsValid = false;
}

int TIBXSQLDA::GetFieldIndex(StringView Name) const {
    const size_t n = Name.size();
    // Without surrounding blanks or a leading quote a name normalises unit by
    // unit: compare in place, without building the normalised text (lookups
    // by name repeat for every row).
    if (n > 0 && !IsWhite(Name.front()) && !IsWhite(Name.back()) && (FSQLDialect == 1 || Name.front() != u'"')) {
        for (size_t i = 0; i < FNames.size(); ++i) {
            const String &stored = FNames[i];
            if (stored.size() != n) continue;
            size_t k = 0;
            while (k < n && UpperChar(Name[k]) == stored[k]) ++k;
            if (k == n) return static_cast<int>(i);
        }
        return -1;
    }
    String wanted = NormalizeIdentifier(Name);
    for (size_t i = 0; i < FNames.size(); ++i)
        if (FNames[i] == wanted) return static_cast<int>(i);
    return -1;
}

TIBXSQLVAR *TIBXSQLDA::FindVar(StringView Name) const {
    int i = GetFieldIndex(Name);
    return (i >= 0 && i < FSize) ? FXSQLVARs[static_cast<size_t>(i)].get() : nullptr;
}

TIBXSQLVAR *TIBXSQLDA::ByName(StringView Name) const {
    TIBXSQLVAR *v = FindVar(Name);
    if (!v) RaiseClientError(ClientError::FieldNotFound, {String(Name)});
    return v;
}

TIBXSQLVAR *TIBXSQLDA::GetSQLVAR(int Idx) const {
    if (Idx < 0 || Idx >= FCount) RaiseClientError(ClientError::DescriptorIndexOutOfRange);
    return FXSQLVARs[static_cast<size_t>(Idx)].get();
}

void TIBXSQLDA::BuildSiblings() const {
    FSiblings.assign(static_cast<size_t>(FSize), {});
    for (int i = 0; i < FSize; ++i) {
        TIBXSQLVAR *v = FXSQLVARs[static_cast<size_t>(i)].get();
        auto &group = FSiblings[static_cast<size_t>(i)];
        // A variable without a name, or beyond the ones in use, shares its
        // name with nobody.
        if (i >= FCount || v->FName.empty()) {
            group.push_back(v);
            continue;
        }
        for (int j = 0; j < FCount; ++j) {
            TIBXSQLVAR *w = FXSQLVARs[static_cast<size_t>(j)].get();
            if (w->FName == v->FName) group.push_back(w);
        }
    }
    FSiblingsValid = true;
}

namespace {

int DecimalDigits(int n) {
    int d = 1;
    while (n >= 10) {
        n /= 10;
        ++d;
    }
    return d;
}

}  // namespace

void TIBXSQLDA::PrepareBuffers() {
    const int limit = FLayoutVersion == kSQLDAVersion2 ? kNameFieldV2 : kNameFieldV1;
    const bool generate = FNames.empty();
    bool tracking = true;
    for (int i = 0; i < FCount; ++i) {
        TIBXSQLVAR &v = *FXSQLVARs[static_cast<size_t>(i)];
        TSQLVAR &r = *v.FXSQLVAR;
        if (tracking) {
            String rel = r.RelName();
            if (!rel.empty()) {
                if (FUniqueRelationName.empty()) {
                    FUniqueRelationName = rel;
                } else if (rel != FUniqueRelationName) {
                    FUniqueRelationName.clear();
                    tracking = false;
                }
            }
        }
        if (generate) {
            String base = r.AliasName();
            String alias;
            int counter;
            if (base.empty()) {
                base = u"F_";
                alias = u"F_1";
                counter = 1;
            } else {
                alias = base;
                counter = 0;
            }
            while (true) {
                int found = GetFieldIndex(alias);
                if (found < 0 || found >= i) break;
                ++counter;
                int digits = DecimalDigits(counter);
                if (static_cast<int>(alias.size()) + digits > limit - 1)
                    alias = base.substr(0, static_cast<size_t>(std::max(0, limit - 1 - digits))) + IntToStr(counter);
                else
                    alias = base + IntToStr(counter);
            }
            r.SetAliasName(alias);
            AddName(alias, i);
        }
        v.FIsDBKey = r.SqlNameIs("DB_KEY") || r.SqlNameIs("RDB$DB_KEY");
        const TSQLTypeTraits &type = SQLTypeTraits(r.SqlDef());
        v.FMaxLen = type.IsText() ? r.SqlLen() : 0;
        if (type.Class == TValueClass::Unknown)
            RaiseClientError(ClientError::UnknownSQLDataType, {static_cast<int64_t>(r.SqlDef())});
        // A time or timestamp with a time zone comes in its extended form,
        // which carries the zone's offset at that moment: the value then
        // reads as the wall clock of its zone without the zone table.
        if (type.IsZoned() && !type.IsZonedEx()) {
            const int extended = type.Class == TValueClass::TimeZoned ? kSQLTimeZonedEx : kSQLTimestampZonedEx;
            r.SetSqlType(static_cast<uint16_t>(extended | (r.SqlType() & 1)));
        }
        const int size = type.BufferSize(r.SqlLen());
        r.SetDataSize(0, size);
        if (type.Class == TValueClass::Null) {
            // "? IS NULL": the variable stays NULL until a write gives it a type.
            r.SetSqlType(static_cast<uint16_t>(SQL_NULL | 1));
            r.SetIndSize(0, 2);
            *r.SqlInd() = -1;
        } else if (r.SqlType() & 1) {
            r.SetIndSize(0, 2);
        } else {
            r.SetIndSize(2, 0);
        }
        v.FModified = false;
    }
}

}  // namespace vantrel
