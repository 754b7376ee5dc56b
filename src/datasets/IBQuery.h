// TIBQuery: a read-only result set whose select is given as SQL text, with
// the parameters parsed from that text.
#pragma once

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "datasets/IBCustomDataSet.h"

namespace vantrel {

// One parameter of a query: a name, a data type and a value (NULL until set).
class TParam {
public:
    explicit TParam(String name) : FName(std::move(name)) {}
    const String &Name() const { return FName; }
    TFieldType DataType() const { return FDataType; }
    void SetDataType(TFieldType value) { FDataType = value; }
    bool IsNull() const { return std::holds_alternative<std::monostate>(FValue); }
    void Clear() { FValue = std::monostate{}; }

    // Setting a value also sets the matching data type.
    void SetAsInteger(int32_t value);
    void SetAsSmallInt(int16_t value);
    void SetAsLargeInt(int64_t value);
    void SetAsFloat(double value);
    void SetAsString(const String &value);
    void SetAsBoolean(bool value);
    void SetAsDateTime(double value);

    int64_t AsInt64() const;
    double AsFloat() const;
    String AsString() const;
    bool AsBoolean() const;

    // Takes over data type and value of another parameter.
    void AssignValue(const TParam &other);

private:
    String FName;
    TFieldType FDataType = ftUnknown;
    std::variant<std::monostate, int64_t, double, String, bool> FValue;
};

class TParams {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    TParam &operator[](int index) const;
    TParam &Items(int index) const { return (*this)[index]; }
    // Letter case ignored; FindParam gives nullptr, ParamByName raises.
    TParam *FindParam(StringView name) const;
    TParam &ParamByName(StringView name) const;
    TParam &Add(const String &name);
    void Clear() { FItems.clear(); }

private:
    std::vector<std::unique_ptr<TParam>> FItems;
};

class TIBQuery : public TIBCustomDataSet {
public:
    explicit TIBQuery(TComponent *AOwner);
    ~TIBQuery() override;

    // Statement text lines; every change goes to SelectSQL.
    TStringList &SQL() { return FSQL; }
    bool ParamCheck() const { return FParamCheck; }
    void SetParamCheck(bool value) { FParamCheck = value; }
    bool GenerateParamNames() const { return FGenerateParamNames; }
    void SetGenerateParamNames(bool value) { FGenerateParamNames = value; }
    TParams &Params() { return FParams; }
    TParam &ParamByName(StringView name) { return FParams.ParamByName(name); }

    void Prepare();
    void UnPrepare();
    // Preparation ends with UnPrepare, a text change, the end of the
    // transaction and a disconnect.
    bool Prepared() const { return FPrepared && InternalPrepared(); }
    void SetPrepared(bool value);
    // -1 until the statement has run.
    int RowsAffected() const { return FRowsAffected; }

    void Loaded() override;

protected:
    void DoOpenSteps() override;

private:
    void QueryChanged();
    void CopyParamValues();
    // Parameter names in order of appearance (a repeated name once).
    std::vector<String> ParseParamNames(const TStringList &sql) const;

    TStringList FSQL;
    TParams FParams;
    String FText;
    bool FPrepared = false;
    bool FCheckRowsAffected = false;
    bool FGenerateParamNames = false;
};

}  // namespace vantrel
