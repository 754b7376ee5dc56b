// TIBQuery: the result set of an SQL text, its parameters and preparation.
#include "datasets/IBQuery.h"

#include <algorithm>

#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBXSQLDA.h"
#include "client/ParamMarkers.h"
#include "platform/Exceptions.h"
#include "platform/Finally.h"

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
    Quietly([this] { Close(); });
}

void TIBQuery::Loaded() {
    TIBCustomDataSet::Loaded();
}

std::vector<String> TIBQuery::ParseParamNames(const TStringList &sql) const {
    // The markers the statement will find when it is prepared; a name
    // written more than once is one parameter, and unnamed markers make
    // none here.
    std::vector<String> names;
    for (TParamMarker &marker : ScanParamMarkers(sql.Items()).Markers) {
        if (marker.Name.empty()) continue;
        const bool known = std::any_of(names.begin(), names.end(),
                                       [&](const String &name) { return SameTextAscii(name, marker.Name); });
        if (!known) names.push_back(std::move(marker.Name));
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
        for (const String &name : ParseParamNames(FSQL)) {
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
