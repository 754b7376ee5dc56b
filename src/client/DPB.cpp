// The database parameter block builder and the character set table.
#include "client/DPB.h"

#include <string_view>

#include "client/IBErrors.h"
#include "client/ParamLine.h"
#include "platform/Encoding.h"

namespace vantrel {

namespace {

constexpr std::array<StringView, kDPBItemCount> kDPBItemNames = {
    u"cdd_pathname", u"allocation", u"journal", u"page_size", u"num_buffers", u"buffer_length", u"debug",
    u"garbage_collect", u"verify", u"sweep", u"enable_journal", u"disable_journal", u"dbkey_scope",
    u"number_of_users", u"trace", u"no_garbage_collect", u"damaged", u"license", u"sys_user_name",
    u"encrypt_key", u"activate_shadow", u"sweep_interval", u"delete_shadow", u"force_write", u"begin_log",
    u"quit_log", u"no_reserve", u"user_name", u"password", u"password_enc", u"sys_user_name_enc", u"interp",
    u"online_dump", u"old_file_size", u"old_num_files", u"old_file_name", u"old_start_page",
    u"old_start_seqno", u"old_start_file", u"drop_walfile", u"old_dump_id", u"wal_backup_dir",
    u"wal_chkptlen", u"wal_numbufs", u"wal_bufsize", u"wal_grp_cmt_wait", u"lc_messages", u"lc_ctype",
    u"cache_manager", u"shutdown", u"online", u"shutdown_delay", u"reserved", u"overwrite", u"sec_attach",
    u"disable_wal", u"connect_timeout", u"dummy_packet_interval", u"gbak_attach", u"sql_role_name",
    u"set_page_buffers", u"working_directory", u"sql_dialect", u"set_db_readonly", u"set_db_sql_dialect",
    u"gfix_attach", u"gstat_attach", u"gbak_ods_version", u"gbak_ods_minor_version", u"set_group_commit",
    u"gbak_validate", u"client_interbase_var", u"admin_option", u"flush_interval", u"instance_name",
    u"old_overwrite", u"archive_database", u"archive_journals", u"archive_sweep", u"archive_dumps",
    u"archive_recover", u"recover_until", u"force", u"preallocate", u"sys_encrypt_password",
    u"eua_user_name", u"transaction", u"ods_version_major"};

enum class TItemKind { Unsupported, String, Byte, Integer, Int64, CodeOnly, Fixed0, Fixed2 };

constexpr int kLcCtype = 48;

TItemKind KindOf(int code) {
    switch (code) {
    case 18: case 19: case 20: case 28: case 29: case 30: case 36: case 47: case 48: case 60: case 75:
    case 81: case 82: case 85:
        return TItemKind::String;
    case 9: case 13: case 17: case 24: case 27: case 33: case 54: case 70: case 73: case 76: case 77: case 78:
        return TItemKind::Byte;
    case 4: case 5: case 22: case 34: case 61: case 63: case 79: case 80: case 84: case 88:
        return TItemKind::Integer;
    case 87:
        return TItemKind::Int64;
    case 64:
        return TItemKind::CodeOnly;
    case 10:
        return TItemKind::Fixed2;
    case 21: case 23: case 25: case 26:
        return TItemKind::Fixed0;
    default:
        return TItemKind::Unsupported;
    }
}

struct TCharacterSetEntry {
    StringView Name;
    int32_t CodePage;  // 0: the default narrow code page
};

constexpr TCharacterSetEntry kCharacterSets[] = {
    {u"NONE", 0},         {u"UTF8", 65001},    {u"UNICODE_FSS", 65001}, {u"SJIS_0208", 932},
    {u"WIN1250", 1250},   {u"WIN1251", 1251},  {u"WIN1252", 1252},      {u"WIN1253", 1253},
    {u"WIN1254", 1254},   {u"ASCII", 20127},   {u"GB_2312", 52936},     {u"DOS437", 437},
    {u"DOS850", 850},     {u"DOS852", 852},    {u"DOS857", 857},        {u"DOS860", 860},
    {u"DOS861", 861},     {u"DOS863", 863},    {u"DOS865", 865},        {u"EUCJ_0208", 20936},
    {u"ISO8859_1", 28591}, {u"KSC_5601", 949},
};

const TCharacterSetEntry *FindCharacterSet(StringView name) {
    for (const auto &e : kCharacterSets)
        if (SameTextAscii(e.Name, name)) return &e;
    return nullptr;
}

void AppendLittleEndian(std::vector<uint8_t> &block, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) block.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

const std::array<StringView, kDPBItemCount> &DPBItemCodes() { return kDPBItemNames; }

int FindDPBItemCode(StringView Name) {
    for (int i = 0; i < kDPBItemCount; ++i)
        if (SameTextAscii(kDPBItemNames[static_cast<size_t>(i)], Name)) return i + 1;
    return 0;
}

int32_t CharacterSetCodePage(StringView CharacterSet) {
    const TCharacterSetEntry *e = FindCharacterSet(CharacterSet);
    return e && e->CodePage != 0 ? e->CodePage : DefaultAnsiCodePage();
}

bool IsKnownCharacterSet(StringView CharacterSet) { return FindCharacterSet(CharacterSet) != nullptr; }

std::vector<uint8_t> BuildDPB(const TStringList &Params, std::optional<TDPBCharacterSet> *CharacterSet) {
    std::vector<uint8_t> block;
    block.push_back(isc_dpb_version1);
    for (const String &line : Params.Items()) {
        if (Trim(line).empty()) continue;
        const TParamLine parts = SplitParamLine(line, u"isc_dpb_");
        const String &writtenName = parts.WrittenName;
        const String &name = parts.Name;
        const String &value = parts.Value;

        const int code = FindDPBItemCode(name);
        if (code == 0) RaiseClientError(ClientError::DPBConstantUnknown, {writtenName});
        switch (KindOf(code)) {
        case TItemKind::String: {
            const std::string bytes = AnsiServerText(value);
            // The length byte cannot describe more; cutting the value would
            // silently send another user name or password than configured.
            if (bytes.size() > 255)
                throw EIBClientError(0, Format(kParameterValueTooLongMessage, {String(u"DPB"), String(u"dpb"), name,
                                                                               static_cast<int64_t>(bytes.size())}));
            block.push_back(static_cast<uint8_t>(code));
            block.push_back(static_cast<uint8_t>(bytes.size()));
            block.insert(block.end(), bytes.begin(), bytes.end());
            if (code == kLcCtype && CharacterSet)
                *CharacterSet = TDPBCharacterSet{value, CharacterSetCodePage(value)};
            break;
        }
        case TItemKind::Byte: {
            const int32_t v = StrToInt(value);
            block.push_back(static_cast<uint8_t>(code));
            block.push_back(1);
            block.push_back(static_cast<uint8_t>(v & 0xFF));
            break;
        }
        case TItemKind::Integer: {
            const int32_t v = StrToInt(value);
            block.push_back(static_cast<uint8_t>(code));
            block.push_back(4);
            AppendLittleEndian(block, static_cast<uint32_t>(v), 4);
            break;
        }
        case TItemKind::Int64: {
            const int64_t v = StrToInt64(value);
            block.push_back(static_cast<uint8_t>(code));
            block.push_back(8);
            AppendLittleEndian(block, static_cast<uint64_t>(v), 8);
            break;
        }
        case TItemKind::CodeOnly:
            block.push_back(static_cast<uint8_t>(code));
            break;
        case TItemKind::Fixed0:
        case TItemKind::Fixed2:
            block.push_back(static_cast<uint8_t>(code));
            block.push_back(1);
            block.push_back(KindOf(code) == TItemKind::Fixed2 ? 2 : 0);
            break;
        case TItemKind::Unsupported:
            RaiseClientError(ClientError::DPBConstantNotSupported, {writtenName});
        }
    }
    // The client receives the length as a signed 16-bit count.
    if (block.size() > 32767)
        throw EIBClientError(0, Format(kParameterBlockTooLongMessage,
                                       {String(u"Database"), static_cast<int64_t>(block.size())}));
    return block;
}

std::vector<uint8_t> WithLegacyTypeBinding(std::vector<uint8_t> Block) {
    const std::string_view binding = kLegacyTypeBinding;
    if (Block.empty()) Block.push_back(isc_dpb_version1);
    Block.push_back(kDPBSetBind);
    Block.push_back(static_cast<uint8_t>(binding.size()));
    Block.insert(Block.end(), binding.begin(), binding.end());
    if (Block.size() > 32767)
        throw EIBClientError(0, Format(kParameterBlockTooLongMessage,
                                       {String(u"Database"), static_cast<int64_t>(Block.size())}));
    return Block;
}

}  // namespace vantrel
