// Code page conversion. UTF-8 and single-byte code pages are converted with
// tables built once from ICU, because the client layer converts every text
// value that crosses to the server and a converter per call would dominate.
#include "platform/Encoding.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <array>
#include <cstdlib>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace vantrel {

namespace {

class TUtf8Encoding final : public TEncoding {
public:
    TUtf8Encoding() : TEncoding(65001) {}
    std::string GetBytes(StringView text) const override { return StringToUtf8(text); }
    size_t Encode(StringView text, std::string &out) const override { return AppendUtf8(text, out); }
    String GetString(const char *data, size_t length) const override {
        return Utf8ToString(std::string_view(data, length));
    }
    size_t FirstUndecodable(const char *data, size_t length) const override {
        return FirstInvalidUtf8(std::string_view(data, length));
    }
};

// Single-byte pages: a 256-entry decode table and a reverse map.
class TSingleByteEncoding final : public TEncoding {
public:
    // Bytes the page does not define decode as U+FFFD in the table.
    TSingleByteEncoding(int cp, const std::array<char16_t, 256> &table, const std::array<bool, 256> &defined)
        : TEncoding(cp), FDecode(table), FDefined(defined) {
        for (int b = 255; b >= 0; --b)
            if (FDefined[b]) FEncode[FDecode[b]] = static_cast<char>(b);
        auto q = FEncode.find(u'?');
        FSubst = q != FEncode.end() ? q->second : '?';
    }
    std::string GetBytes(StringView text) const override {
        std::string out;
        out.resize(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            char16_t c = text[i];
            if (c < 0x80 && FDecode[c] == c) { out[i] = static_cast<char>(c); continue; }
            auto it = FEncode.find(c);
            out[i] = it != FEncode.end() ? it->second : FSubst;
        }
        return out;
    }
    size_t Encode(StringView text, std::string &out) const override {
        const size_t start = out.size();
        out.resize(start + text.size());
        char *o = out.data() + start;
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c < 0x80 && FDecode[c] == c) {
                o[i] = static_cast<char>(c);
                continue;
            }
            auto it = FEncode.find(c);
            if (it == FEncode.end()) {
                out.resize(start + i);
                return i;
            }
            o[i] = it->second;
        }
        return StringView::npos;
    }
    String GetString(const char *data, size_t length) const override {
        String out;
        out.resize(length);
        for (size_t i = 0; i < length; ++i) out[i] = FDecode[static_cast<unsigned char>(data[i])];
        return out;
    }
    size_t FirstUndecodable(const char *data, size_t length) const override {
        for (size_t i = 0; i < length; ++i)
            if (!FDefined[static_cast<unsigned char>(data[i])]) return i;
        return String::npos;
    }

private:
    std::array<char16_t, 256> FDecode;
    std::array<bool, 256> FDefined;
    std::unordered_map<char16_t, char> FEncode;
    char FSubst;
};

// Multi-byte pages other than UTF-8: an ICU converter per call.
class TIcuEncoding final : public TEncoding {
public:
    TIcuEncoding(int cp, std::string name) : TEncoding(cp), FName(std::move(name)) {}
    std::string GetBytes(StringView text) const override {
        UErrorCode err = U_ZERO_ERROR;
        UConverter *cnv = ucnv_open(FName.c_str(), &err);
        if (U_FAILURE(err)) return StringToUtf8(text);
        std::string out;
        out.resize(text.size() * static_cast<size_t>(ucnv_getMaxCharSize(cnv)) + 8);
        err = U_ZERO_ERROR;
        int32_t n = ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()),
                                    reinterpret_cast<const UChar *>(text.data()),
                                    static_cast<int32_t>(text.size()), &err);
        ucnv_close(cnv);
        out.resize(U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING ? 0 : static_cast<size_t>(n));
        return out;
    }
    size_t Encode(StringView text, std::string &out) const override {
        if (text.empty()) return StringView::npos;
        UErrorCode err = U_ZERO_ERROR;
        UConverter *cnv = ucnv_open(FName.c_str(), &err);
        if (U_FAILURE(err)) return AppendUtf8(text, out);
        ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        const auto *begin = reinterpret_cast<const UChar *>(text.data());
        const UChar *source = begin;
        char buffer[4096];
        do {
            char *target = buffer;
            err = U_ZERO_ERROR;
            ucnv_fromUnicode(cnv, &target, buffer + sizeof buffer, &source, begin + text.size(), nullptr, true, &err);
            out.append(buffer, static_cast<size_t>(target - buffer));
        } while (err == U_BUFFER_OVERFLOW_ERROR);
        size_t result = StringView::npos;
        if (U_FAILURE(err)) {
            // The converter stopped after the character it cannot represent.
            UChar invalid[8];
            int8_t count = 8;
            UErrorCode ignored = U_ZERO_ERROR;
            ucnv_getInvalidUChars(cnv, invalid, &count, &ignored);
            const size_t consumed = static_cast<size_t>(source - begin);
            const size_t invalidUnits = U_FAILURE(ignored) ? 0 : static_cast<size_t>(count);
            result = invalidUnits > consumed ? 0 : consumed - invalidUnits;
        }
        ucnv_close(cnv);
        return result;
    }
    String GetString(const char *data, size_t length) const override {
        UErrorCode err = U_ZERO_ERROR;
        UConverter *cnv = ucnv_open(FName.c_str(), &err);
        if (U_FAILURE(err)) return Utf8ToString(std::string_view(data, length));
        String out;
        out.resize(length * 2 + 2);
        err = U_ZERO_ERROR;
        int32_t n = ucnv_toUChars(cnv, reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()),
                                  data, static_cast<int32_t>(length), &err);
        ucnv_close(cnv);
        out.resize(U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING ? 0 : static_cast<size_t>(n));
        return out;
    }
    size_t FirstUndecodable(const char *data, size_t length) const override {
        if (length == 0) return String::npos;
        UErrorCode err = U_ZERO_ERROR;
        UConverter *cnv = ucnv_open(FName.c_str(), &err);
        if (U_FAILURE(err)) return FirstInvalidUtf8(std::string_view(data, length));
        ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        size_t result = String::npos;
        UChar buffer[4096];
        const char *source = data;
        do {
            UChar *target = buffer;
            err = U_ZERO_ERROR;
            ucnv_toUnicode(cnv, &target, buffer + 4096, &source, data + length, nullptr, true, &err);
        } while (err == U_BUFFER_OVERFLOW_ERROR);
        if (U_FAILURE(err)) {
            // The converter stopped after the offending bytes.
            char invalid[32];
            int8_t count = sizeof invalid;
            UErrorCode ignored = U_ZERO_ERROR;
            ucnv_getInvalidChars(cnv, invalid, &count, &ignored);
            const size_t consumed = static_cast<size_t>(source - data);
            const size_t invalidBytes = U_FAILURE(ignored) ? 0 : static_cast<size_t>(count);
            result = invalidBytes > consumed ? consumed : consumed - invalidBytes;
        }
        ucnv_close(cnv);
        return result;
    }

private:
    std::string FName;
};

std::shared_ptr<const TEncoding> MakeEncoding(int cp, const std::string &name) {
    if (cp == 65001) return std::make_shared<TUtf8Encoding>();
    UErrorCode err = U_ZERO_ERROR;
    UConverter *cnv = ucnv_open(name.c_str(), &err);
    if (U_FAILURE(err)) return nullptr;
    bool single = ucnv_getMaxCharSize(cnv) == 1;
    if (!single) {
        ucnv_close(cnv);
        return std::make_shared<TIcuEncoding>(cp, name);
    }
    // Stop at bytes the page does not define instead of substituting them.
    ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    std::array<char16_t, 256> table{};
    std::array<bool, 256> defined{};
    for (int b = 0; b < 256; ++b) {
        char byte = static_cast<char>(b);
        UChar out[4];
        err = U_ZERO_ERROR;
        ucnv_reset(cnv);
        int32_t n = ucnv_toUChars(cnv, out, 4, &byte, 1, &err);
        defined[b] = U_SUCCESS(err) && n == 1;
        table[b] = defined[b] ? static_cast<char16_t>(out[0]) : char16_t(0xFFFD);
    }
    ucnv_close(cnv);
    return std::make_shared<TSingleByteEncoding>(cp, table, defined);
}

}  // namespace

std::string TEncoding::ConverterName(int codePage) {
    switch (codePage) {
    case 65001: return "UTF-8";
    case 20127: return "US-ASCII";
    case 28591: return "ISO-8859-1";
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 932: return "ibm-943_P15A-2003";  // Shift-JIS as Windows has it
    case 936: return "windows-936";
    case 949: return "windows-949";
    case 950: return "windows-950";
    case 20936: return "ibm-1383";  // GB 2312 (EUC-CN)
    case 52936: return "HZ";
    case 51932: return "EUC-JP";
    default: break;
    }
    if (codePage >= 1250 && codePage <= 1258) return "windows-" + std::to_string(codePage);
    if (codePage >= 28592 && codePage <= 28605) return "ISO-8859-" + std::to_string(codePage - 28590);
    if (codePage > 0 && codePage < 1250) return "ibm-" + std::to_string(codePage);
    return std::string();
}

std::shared_ptr<const TEncoding> TEncoding::GetEncoding(int codePage) {
    static std::mutex lock;
    static std::map<int, std::shared_ptr<const TEncoding>> cache;
    std::lock_guard<std::mutex> guard(lock);
    auto it = cache.find(codePage);
    if (it != cache.end()) return it->second;
    std::shared_ptr<const TEncoding> enc;
    std::string name = ConverterName(codePage);
    if (!name.empty()) enc = MakeEncoding(codePage, name);
    if (!enc) {
        int ansi = DefaultAnsiCodePage();
        enc = ansi != codePage ? MakeEncoding(ansi, ConverterName(ansi)) : nullptr;
        if (!enc) enc = std::make_shared<TUtf8Encoding>();
    }
    cache.emplace(codePage, enc);
    return enc;
}

namespace {

// The code page VANTREL_ANSI_CODEPAGE names, or 0. Read once per process.
int ConfiguredAnsiCodePage() {
    static const int cp = [] {
        const char *env = std::getenv("VANTREL_ANSI_CODEPAGE");
        if (env && *env) {
            char *end = nullptr;
            long v = std::strtol(env, &end, 10);
            if (end && *end == 0 && v > 0 && v < 100000 && !TEncoding::ConverterName(static_cast<int>(v)).empty())
                return static_cast<int>(v);
        }
        return 0;
    }();
    return cp;
}

}  // namespace

int DefaultAnsiCodePage() {
    const int cp = ConfiguredAnsiCodePage();
    return cp != 0 ? cp : 65001;
}

bool AnsiCodePageConfigured() { return ConfiguredAnsiCodePage() != 0; }

std::shared_ptr<const TEncoding> AnsiEncoding() {
    static const std::shared_ptr<const TEncoding> enc = TEncoding::GetEncoding(DefaultAnsiCodePage());
    return enc;
}

std::string AnsiBytes(StringView text) { return AnsiEncoding()->GetBytes(text); }

String AnsiString(std::string_view bytes) { return AnsiEncoding()->GetString(bytes); }

String UpperCaseFull(StringView text) {
    // ASCII-only text is the common case (keywords, names).
    bool ascii = true;
    for (char16_t c : text)
        if (c >= 0x80) { ascii = false; break; }
    if (ascii) return AsciiUpper(text);
    String out;
    out.resize(text.size() * 3 + 4);
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = u_strToUpper(reinterpret_cast<UChar *>(out.data()), static_cast<int32_t>(out.size()),
                             reinterpret_cast<const UChar *>(text.data()), static_cast<int32_t>(text.size()), "",
                             &err);
    if (U_FAILURE(err)) return String(text);
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace vantrel
