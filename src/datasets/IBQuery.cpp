// TIBQuery: the result set of an SQL text, its parameters and preparation.
#include "datasets/IBQuery.h"

#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBXSQLDA.h"
#include "platform/Exceptions.h"

namespace vantrel {

// ---- TParam / TParams -------------------------------------------------------------

void TParam::SetAsInteger(int32_t value) {
    FDataType = ftInteger;
    FValue = int64_t{value};
}

void TParam::SetAsSmallInt(int16_t value) {
    FDataType = ftSmallint;
    FValue = int64_t{value};
}

void TParam::SetAsLargeInt(int64_t value) {
    FDataType = ftLargeint;
    FValue = value;
}

void TParam::SetAsFloat(double value) {
    FDataType = ftFloat;
    FValue = value;
}

void TParam::SetAsString(const String &value) {
    FDataType = ftString;
    FValue = value;
}

void TParam::SetAsBoolean(bool value) {
    FDataType = ftBoolean;
    FValue = value;
}

void TParam::SetAsDateTime(double value) {
    FDataType = ftDateTime;
    FValue = value;
}

int64_t TParam::AsInt64() const {
    if (auto *i = std::get_if<int64_t>(&FValue)) return *i;
    if (auto *d = std::get_if<double>(&FValue)) return static_cast<int64_t>(*d);
    if (auto *b = std::get_if<bool>(&FValue)) return *b ? 1 : 0;
    if (auto *s = std::get_if<String>(&FValue)) return StrToInt64(*s);
    return 0;
}

double TParam::AsFloat() const {
    if (auto *d = std::get_if<double>(&FValue)) return *d;
    if (auto *i = std::get_if<int64_t>(&FValue)) return static_cast<double>(*i);
    if (auto *b = std::get_if<bool>(&FValue)) return *b ? 1 : 0;
    if (auto *s = std::get_if<String>(&FValue)) {
        double d = 0;
        if (!TryStrToFloat(*s, d)) throw EConvertError(Format(kInvalidFloatMessage, {*s}));
        return d;
    }
    return 0;
}

String TParam::AsString() const {
    if (auto *s = std::get_if<String>(&FValue)) return *s;
    if (auto *i = std::get_if<int64_t>(&FValue)) return IntToStr(*i);
    if (auto *d = std::get_if<double>(&FValue)) return FloatToStr(*d);
    if (auto *b = std::get_if<bool>(&FValue)) return *b ? u"True" : u"False";
    return String();
}

bool TParam::AsBoolean() const {
    if (auto *b = std::get_if<bool>(&FValue)) return *b;
    return AsInt64() != 0;
}

void TParam::AssignValue(const TParam &other) {
    FDataType = other.FDataType;
    FValue = other.FValue;
}

TParam &TParams::operator[](int index) const {
    if (index < 0 || index >= Count()) throw EListError::IndexOutOfBounds(index);
    return *FItems[static_cast<size_t>(index)];
}

TParam *TParams::FindParam(StringView name) const {
    for (const auto &param : FItems)
        if (SameTextAscii(param->Name(), name)) return param.get();
    return nullptr;
}

TParam &TParams::ParamByName(StringView name) const {
    TParam *param = FindParam(name);
    if (!param) throw EDatabaseError(Format(kDataSetParameterNotFoundMessage, {String(name)}));
    return *param;
}

TParam &TParams::Add(const String &name) {
    FItems.push_back(std::make_unique<TParam>(name));
    return *FItems.back();
}

// ---- TIBQuery ---------------------------------------------------------------------

TIBQuery::TIBQuery(TComponent *AOwner) : TIBCustomDataSet(AOwner) {
    FSQL.OnChange = [this] { QueryChanged(); };
}

TIBQuery::~TIBQuery() {
    FSQL.OnChange = nullptr;
    try {
        Close();
    } catch (...) {
    }
}

void TIBQuery::Loaded() {
    TIBCustomDataSet::Loaded();
}

std::vector<String> TIBQuery::ParseParamNames(StringView text) const {
    // The marker rules of the statement: ":" starts a name made of name
    // characters or written in double quotes; strings and /* */ comments
    // are skipped. Unnamed markers make no parameter here.
    std::vector<String> names;
    auto isNameChar = [](char16_t c) {
        return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' ||
               c == u'$' || c > 0x7F;
    };
    auto add = [&](String name) {
        if (name.empty()) return;
        for (const String &existing : names)
            if (SameTextAscii(existing, name)) return;
        names.push_back(std::move(name));
    };
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        char16_t c = text[i];
        if (c == u'\'' || c == u'"') {
            size_t end = i + 1;
            while (end < n) {
                if (text[end] == c) {
                    if (end + 1 < n && text[end + 1] == c) {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            i = end + 1;
        } else if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
            size_t end = text.find(u"*/", i + 2);
            i = end == StringView::npos ? n : end + 2;
        } else if (c == u':') {
            ++i;
            if (i < n && text[i] == u'"') {
                size_t end = text.find(u'"', i + 1);
                if (end == StringView::npos) end = n;
                add(String(text.substr(i + 1, end - i - 1)));
                i = end + 1;
            } else {
                size_t start = i;
                while (i < n && isNameChar(text[i])) ++i;
                add(String(text.substr(start, i - start)));
            }
        } else {
            ++i;
        }
    }
    return names;
}

void TIBQuery::QueryChanged() {
    const String text = FSQL.Text();
    if (IsLoading()) {
        // The stored configuration: take the text without creating
        // parameters.
        FText = text;
        SelectSQL().Assign(FSQL);
        return;
    }
    Close();
    if (FPrepared) UnPrepare();
    if (FParamCheck) {
        TParams parsed;
        for (const String &name : ParseParamNames(text)) {
            TParam &param = parsed.Add(name);
            if (TParam *old = FParams.FindParam(name)) param.AssignValue(*old);
        }
        FParams.Clear();
        for (int i = 0; i < parsed.Count(); ++i) FParams.Add(parsed[i].Name()).AssignValue(parsed[i]);
    }
    FText = text;
    SelectSQL().Assign(FSQL);
}

void TIBQuery::SetPrepared(bool value) {
    if (value == Prepared()) return;
    if (value)
        Prepare();
    else
        UnPrepare();
}

void TIBQuery::Prepare() {
    if (Prepared()) return;
    if (CursorOpen()) RaiseClientError(ClientError::DatasetOpen);
    FRowsAffected = -1;
    FCheckRowsAffected = true;
    if (FText.size() < 2) RaiseClientError(ClientError::EmptySQLStatement);
    QSelect()->SetGenerateParamNames(FGenerateParamNames);
    PrepareStatements();
    FPrepared = true;
}

void TIBQuery::UnPrepare() {
    if (CursorOpen()) RaiseClientError(ClientError::DatasetOpen);
    if (FCheckRowsAffected) FRowsAffected = QSelect()->Prepared() ? QSelect()->RowsAffected() : -1;
    ResetPreparation();
    FPrepared = false;
}

void TIBQuery::DoOpenSteps() {
    EnsureConnected();
    EnsureTransaction();
    QSelect()->SetGenerateParamNames(FGenerateParamNames);
    if (!Prepared()) Prepare();
    CopyParamValues();
    InternalOpen();
}

void TIBQuery::CopyParamValues() {
    if (FParams.Count() == 0) return;
    TIBXSQLDA &inputs = QSelect()->Params();
    for (int i = 0; i < FParams.Count(); ++i) {
        const TParam &param = FParams[i];
        TIBXSQLVAR *var = inputs.FindVar(param.Name());
        if (!var) continue;
        if (param.IsNull()) {
            var->SetIsNull(true);
            continue;
        }
        switch (param.DataType()) {
        case ftString:
        case ftFixedChar:
        case ftWideString:
        case ftFixedWideChar:
        case ftMemo:
        case ftFmtMemo:
        case ftWideMemo:
            var->SetAsString(param.AsString());
            break;
        case ftSmallint:
        case ftWord:
        case ftShortint:
        case ftByte:
            var->SetAsShort(static_cast<int16_t>(param.AsInt64()));
            break;
        case ftInteger:
            var->SetAsInteger(static_cast<int32_t>(param.AsInt64()));
            break;
        case ftLargeint:
            var->SetAsInt64(param.AsInt64());
            break;
        case ftBoolean:
            var->SetAsBoolean(param.AsBoolean());
            break;
        case ftFloat:
            var->SetAsDouble(param.AsFloat());
            break;
        case ftCurrency:
        case ftBCD:
            var->SetAsCurrency(static_cast<Currency>(param.AsFloat() * 10000.0 + (param.AsFloat() < 0 ? -0.5 : 0.5)));
            break;
        case ftFMTBcd:
            var->SetAsBcd(param.AsString());
            break;
        case ftDate:
            var->SetAsDate(param.AsFloat());
            break;
        case ftTime:
            var->SetAsTime(param.AsFloat());
            break;
        case ftDateTime:
            var->SetAsDateTime(param.AsFloat());
            break;
        case ftBytes:
        case ftVarBytes:
        case ftBlob:
        case ftGraphic: {
            std::string bytes = StringToUtf8(param.AsString());
            var->SetAsBytes(TBytes(bytes.begin(), bytes.end()));
            break;
        }
        default:
            RaiseClientError(ClientError::NotSupported);
        }
    }
}

}  // namespace vantrel
