// The transaction parameter block builder and the transaction levels.
#include "client/TPB.h"

#include "client/IBErrors.h"
#include "client/ParamLine.h"
#include "client/IBTransaction.h"
#include "platform/Encoding.h"

namespace vantrel {

namespace {

constexpr std::array<StringView, kTPBItemCount> kTPBItemNames = {
    u"consistency", u"concurrency", u"shared",      u"protected",      u"exclusive",        u"wait",
    u"nowait",      u"read",        u"write",       u"lock_read",      u"lock_write",       u"verb_time",
    u"commit_time", u"ignore_limbo", u"read_committed", u"autocommit", u"rec_version",      u"no_rec_version",
    u"restart_requests", u"no_auto_undo", u"no_savepoint", u"exclusivity", u"wait_time"};

constexpr int kLockRead = 10;
constexpr int kLockWrite = 11;
constexpr int kVerbTime = 12;
constexpr int kCommitTime = 13;
constexpr int kAutocommit = 16;
constexpr int kWaitTime = 23;
constexpr StringView kLockTimeoutName = u"lock_timeout";

// A 32-bit integer item: code, length 4, the value little-endian.
void AppendInteger(std::vector<uint8_t> &block, uint8_t code, const String &value) {
    const uint32_t v = static_cast<uint32_t>(StrToInt(value));
    block.push_back(code);
    block.push_back(4);
    for (int i = 0; i < 4; ++i) block.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

const std::array<StringView, kTPBItemCount> &TPBItemCodes() { return kTPBItemNames; }

int FindTPBItemCode(StringView Name) {
    for (int i = 0; i < kTPBItemCount; ++i)
        if (SameTextAscii(kTPBItemNames[static_cast<size_t>(i)], Name)) return i + 1;
    return 0;
}

std::vector<uint8_t> BuildTPB(const TStringList &Params) {
    std::vector<uint8_t> block;
    // No lines at all: the server applies its own default parameters.
    if (Params.Count() == 0) return block;
    block.push_back(isc_tpb_version3);
    for (const String &line : Params.Items()) {
        if (Trim(line).empty()) continue;
        const TParamLine parts = SplitParamLine(line, u"isc_tpb_");
        const String &writtenName = parts.WrittenName;
        const String &name = parts.Name;
        const String &value = parts.Value;

        if (name == kLockTimeoutName) {
            AppendInteger(block, isc_tpb_lock_timeout, value);
            continue;
        }
        const int code = FindTPBItemCode(name);
        if (code == 0) RaiseClientError(ClientError::TPBConstantUnknown, {writtenName});
        switch (code) {
        case kVerbTime:
        case kCommitTime:
        case kAutocommit:
            RaiseClientError(ClientError::TPBConstantNotSupported, {writtenName});
        case kLockRead:
        case kLockWrite: {
            const std::string bytes = AnsiServerText(value);
            // A cut table name would lock another table (or none).
            if (bytes.size() > 255)
                throw EIBClientError(0, Format(kParameterValueTooLongMessage, {String(u"TPB"), String(u"tpb"), name,
                                                                               static_cast<int64_t>(bytes.size())}));
            block.push_back(static_cast<uint8_t>(code));
            block.push_back(static_cast<uint8_t>(bytes.size()));
            block.insert(block.end(), bytes.begin(), bytes.end());
            break;
        }
        case kWaitTime:
            AppendInteger(block, static_cast<uint8_t>(code), value);
            break;
        default:
            block.push_back(static_cast<uint8_t>(code));
            break;
        }
    }
    if (block.size() > 32767)
        throw EIBClientError(0, Format(kParameterBlockTooLongMessage,
                                       {String(u"Transaction"), static_cast<int64_t>(block.size())}));
    return block;
}

void SetLockTimeoutParams(TStringList &Params, int32_t Seconds) {
    for (int i = Params.Count() - 1; i >= 0; --i) {
        const String name = SplitParamLine(Params[i], u"isc_tpb_").Name;
        if (name == u"wait" || name == u"nowait" || name == kLockTimeoutName) Params.Delete(i);
    }
    if (Seconds == 0) {
        Params.Add(u"nowait");
        return;
    }
    Params.Add(u"wait");
    Params.Add(String(kLockTimeoutName) + u"=" + IntToStr(Seconds));
}

TStringList TransactionLevelParams(TIBTransactionLevel Level) {
    switch (Level) {
    case ibtrSnapshot:
        return {u"concurrency", u"nowait"};
    case ibtrReadCommitted:
        return {u"read_committed", u"rec_version", u"nowait"};
    case ibtrReadOnlyTableStability:
        return {u"read", u"consistency"};
    case ibtrReadWriteTableStability:
        return {u"write", u"consistency"};
    case ibtrPrecommitted:
        return {u"read_committed", u"rec_version", u"nowait", u"read"};
    }
    return {};
}

}  // namespace vantrel
