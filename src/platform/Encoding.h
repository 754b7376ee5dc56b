// Code page conversion between UTF-16 and numbered code pages (through ICU,
// with fast paths for UTF-8 and single-byte pages), the process's default
// narrow ("ANSI") code page, and full Unicode upper-casing.
#pragma once

#include <memory>
#include <string>

#include "platform/Text.h"

namespace vantrel {

class TEncoding {
public:
    virtual ~TEncoding() = default;
    int CodePage() const { return FCodePage; }
    // Encodes UTF-16 text into bytes of the code page. Characters the page
    // lacks become its substitution character.
    virtual std::string GetBytes(StringView text) const = 0;
    // Appends the bytes of text in the code page to out and substitutes
    // nothing: returns npos when every character was encoded, else the
    // offset in text of the first character that the page cannot represent
    // (an unpaired surrogate is one such); out then ends before it.
    virtual size_t Encode(StringView text, std::string &out) const = 0;
    // Decodes bytes of the code page into UTF-16 text. Bytes the page cannot
    // decode become U+FFFD.
    virtual String GetString(const char *data, size_t length) const = 0;
    String GetString(std::string_view bytes) const { return GetString(bytes.data(), bytes.size()); }
    // Offset of the first byte that the code page cannot decode (the start
    // of an invalid or cut sequence), or npos when every byte decodes.
    virtual size_t FirstUndecodable(const char *data, size_t length) const = 0;

    // Shared, immutable encodings by code page number; thread-safe. Unknown
    // code pages fall back to the default narrow code page.
    static std::shared_ptr<const TEncoding> GetEncoding(int codePage);
    // ICU converter name of a code page ("windows-1251" for 1251), empty when
    // unknown.
    static std::string ConverterName(int codePage);

protected:
    explicit TEncoding(int codePage) : FCodePage(codePage) {}

private:
    int FCodePage;
};

// 65001 (UTF-8) unless VANTREL_ANSI_CODEPAGE names another code page. Read
// once per process.
int DefaultAnsiCodePage();
// True when VANTREL_ANSI_CODEPAGE names a code page (it then decides how
// script files without a byte-order mark are read).
bool AnsiCodePageConfigured();
std::shared_ptr<const TEncoding> AnsiEncoding();

// Shorthands for the default narrow code page.
std::string AnsiBytes(StringView text);
String AnsiString(std::string_view bytes);

// Full Unicode upper-casing in the root locale (ß becomes SS).
String UpperCaseFull(StringView text);

}  // namespace vantrel
