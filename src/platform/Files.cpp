// File system access.
#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include <unicode/ucnv.h>

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Finally.h"

namespace vantrel {

namespace {

std::string NativePath(const String &path) { return StringToUtf8(path); }

String SystemText(int err) { return Utf8ToString(std::strerror(err)); }

// Looks for the name in its parent folder; used when stat fails for a reason
// other than "not found".
bool FoundInParentFolder(const std::string &path) {
    auto slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR *d = opendir(dir.c_str());
    if (!d) return false;
    bool found = false;
    while (dirent *e = readdir(d)) {
        if (name == e->d_name) {
            found = e->d_type != DT_DIR;
            break;
        }
    }
    closedir(d);
    return found;
}

}  // namespace

bool FileExists(const String &path) {
    if (path.empty()) return false;
    std::string p = NativePath(path);
    if (p.find('\0') != std::string::npos) return false;
    struct stat st {};
    if (stat(p.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
    int err = errno;
    if (err == ENOENT || err == ENOTDIR || err == ENAMETOOLONG) return false;
    return FoundInParentFolder(p);
}

String ExpandFileName(const String &path) {
    if (!path.empty() && path[0] == u'/') return path;
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return path;
    String dir = Utf8ToString(buf);
    if (path.empty()) return dir;
    return dir + (dir.size() > 0 && dir.back() == u'/' ? u"" : u"/") + path;
}

void RaiseCannotOpen(const String &path, const String &reason) {
    throw EFOpenError(Format(kCannotOpenFileMessage, {ExpandFileName(path), reason}));
}

namespace {

// The refusal of a file that is not a regular one, by its mode.
void CheckRegularMode(const String &path, mode_t mode) {
    if (S_ISREG(mode)) return;
    RaiseCannotOpen(path, S_ISDIR(mode) ? SystemText(EISDIR) : String(kNotARegularFileReason));
}

}  // namespace

void CheckFileName(const String &path) {
    if (path.find(u'\0') != String::npos) throw EFOpenError(kFileNameHasNulMessage);
}

void CheckRegularFile(const String &path) {
    CheckFileName(path);
    struct stat st {};
    if (stat(NativePath(path).c_str(), &st) == 0) CheckRegularMode(path, st.st_mode);
}

std::vector<uint8_t> ReadWholeFile(const String &path) {
    CheckRegularFile(path);
    std::string p = NativePath(path);
    // Non-blocking, in case a FIFO took the file's place since the check.
    int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        RaiseCannotOpen(path, SystemText(errno));
    }
    TFinally closer([fd] {
        flock(fd, LOCK_UN);
        close(fd);
    });
    // Other writers that take the lock are kept out while we read.
    while (flock(fd, LOCK_SH) != 0 && errno == EINTR) {}
    struct stat st {};
    if (fstat(fd, &st) == 0) CheckRegularMode(path, st.st_mode);
    std::vector<uint8_t> data;
    if (st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EFOpenError(SystemText(errno));
        }
        if (n == 0) break;
        data.insert(data.end(), buf, buf + n);
    }
    return data;
}

namespace {

// A script without a byte-order mark that is not valid UTF-8 is read in the
// code page of the update module's connection, WIN1251.
constexpr int kUnmarkedFallbackCodePage = 1251;

enum class TFileForm { Utf8, Utf16LE, Utf16BE, CodePage };

struct TFileDecoding {
    TFileForm Form = TFileForm::Utf8;
    size_t Start = 0;                           // bytes of the byte-order mark
    std::shared_ptr<const TEncoding> Encoding;  // TFileForm::CodePage
    bool Verified = false;                      // known to decode already
};

TFileDecoding ChooseDecoding(const std::vector<uint8_t> &bytes) {
    TFileDecoding d;
    const size_t size = bytes.size();
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        d.Start = 3;
    } else if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        d.Form = TFileForm::Utf16LE;
        d.Start = 2;
    } else if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        d.Form = TFileForm::Utf16BE;
        d.Start = 2;
    } else if (AnsiCodePageConfigured()) {
        if (AnsiEncoding()->CodePage() != 65001) {
            d.Form = TFileForm::CodePage;
            d.Encoding = AnsiEncoding();
        }
    } else {
        const char *data = reinterpret_cast<const char *>(bytes.data());
        if (FirstInvalidUtf8(std::string_view(data, size)) == std::string_view::npos) {
            d.Verified = true;
        } else {
            d.Form = TFileForm::CodePage;
            d.Encoding = TEncoding::GetEncoding(kUnmarkedFallbackCodePage);
        }
    }
    return d;
}

// 1-based line of a position: CR LF, a lone CR and a lone LF each end a line.
template <class Char>
int LineAt(const Char *text, size_t offset) {
    int line = 1;
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= offset || text[i + 1] != '\n'))) ++line;
    }
    return line;
}

[[noreturn]] void RaiseUndecodable(const String &path, int line, const String &what) {
    throw EEncodingError(
        Format(kCannotReadFileMessage, {ExpandFileName(path), int64_t(line), what}));
}

// What a NUL is called where it stops the reading.
constexpr const char16_t *kNulCharacter = u"a NUL character (U+0000)";

String Hex(unsigned value, int digits) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    String text(static_cast<size_t>(digits), u'0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return text;
}

[[noreturn]] void RaiseUndecodableByte(const String &path, int line, uint8_t byte, const String &decoding) {
    RaiseUndecodable(path, line, u"byte 0x" + Hex(byte, 2) + u", which " + decoding + u" cannot decode");
}

// Raises when a byte of the text cannot be decoded in the chosen form. A NUL
// byte is refused too: a text file holds none, and cutting the text there
// would drop the rest of the script without a word.
void CheckDecodable(const TFileDecoding &d, const char *data, size_t size, const String &path) {
    if (size == 0) return;  // an empty file has no buffer to search
    if (const void *nul = std::memchr(data, 0, size))
        RaiseUndecodable(path, LineAt(data, static_cast<size_t>(static_cast<const char *>(nul) - data)),
                         kNulCharacter);
    if (d.Verified) return;
    const size_t bad = d.Form == TFileForm::Utf8 ? FirstInvalidUtf8(std::string_view(data, size))
                                                : d.Encoding->FirstUndecodable(data, size);
    if (bad == String::npos) return;
    RaiseUndecodableByte(path, LineAt(data, bad), static_cast<uint8_t>(data[bad]),
                         d.Form == TFileForm::Utf8 ? String(u"UTF-8")
                                                   : u"code page " + IntToStr(d.Encoding->CodePage()));
}

// UTF-16 text; a NUL character, a surrogate without its partner, or an odd
// byte at the end, raises.
String DecodeUtf16(const uint8_t *data, size_t size, bool little, const String &path) {
    const size_t units = size / 2;
    String text(units, u'\0');
    for (size_t i = 0; i < units; ++i) {
        const uint8_t a = data[2 * i], b = data[2 * i + 1];
        text[i] = little ? static_cast<char16_t>(a | (b << 8)) : static_cast<char16_t>((a << 8) | b);
    }
    const auto nul = text.find(u'\0');
    if (nul != String::npos) {
        RaiseUndecodable(path, LineAt(text.data(), nul), kNulCharacter);
    } else if (size % 2 != 0) {
        RaiseUndecodableByte(path, LineAt(text.data(), units), data[size - 1], little ? u"UTF-16LE" : u"UTF-16BE");
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0xD800 || c > 0xDFFF) continue;
        if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        RaiseUndecodable(path, LineAt(text.data(), i), u"an unpaired surrogate (U+" + Hex(c, 4) + u")");
    }
    return text;
}

// True when cutting the bytes right after a CR or LF byte never cuts a
// character or a shift state: single-byte code pages.
bool SplitsAtLineBreakBytes(const TEncoding &encoding) {
    UErrorCode err = U_ZERO_ERROR;
    UConverter *cnv = ucnv_open(TEncoding::ConverterName(encoding.CodePage()).c_str(), &err);
    if (U_FAILURE(err)) return false;
    bool single = ucnv_getMaxCharSize(cnv) == 1;
    ucnv_close(cnv);
    return single;
}

// Lines of a text in a single-byte code page, decoded a piece at a time,
// each piece ending after a line break, so that the whole decoded text never
// exists next to the lines (a script of 100 MB would otherwise need both at
// once).
std::vector<String> DecodeLinesByPieces(const char *data, size_t size, const TEncoding &encoding) {
    size_t count = 1;
    for (size_t i = 0; i < size; ++i)
        if (data[i] == '\n' || (data[i] == '\r' && (i + 1 >= size || data[i + 1] != '\n'))) ++count;
    std::vector<String> lines;
    lines.reserve(count);
    constexpr size_t kPiece = 1 << 20;
    size_t pos = 0;
    while (pos < size) {
        size_t end = pos + kPiece < size ? pos + kPiece : size;
        while (end < size && data[end - 1] != '\n' && data[end - 1] != '\r') ++end;
        if (end < size && data[end - 1] == '\r' && data[end] == '\n') ++end;  // keep CR LF together
        for (auto &line : TStringList::SplitLines(encoding.GetString(data + pos, end - pos)))
            lines.push_back(std::move(line));
        pos = end;
    }
    return lines;
}

// Lines of valid UTF-8 bytes, decoded one by one: CR and LF bytes are never
// part of a longer sequence, so the lines can be cut before decoding.
std::vector<String> DecodeUtf8Lines(const char *data, size_t size) {
    size_t count = 1;
    for (size_t i = 0; i < size; ++i)
        if (data[i] == '\n' || (data[i] == '\r' && (i + 1 >= size || data[i + 1] != '\n'))) ++count;
    std::vector<String> lines;
    lines.reserve(count);
    size_t start = 0;
    auto addLine = [&](size_t end) {
        String line = Utf8ToString(std::string_view(data + start, end - start));
        // Letters outside ASCII take fewer units than bytes.
        if (line.capacity() > line.size() + line.size() / 4 + 16) line.shrink_to_fit();
        lines.push_back(std::move(line));
    };
    size_t i = 0;
    while (i < size) {
        const char c = data[i];
        if (c != '\n' && c != '\r') {
            ++i;
            continue;
        }
        addLine(i);
        if (c == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
        start = ++i;
    }
    if (start < size) addLine(size);
    return lines;
}

}  // namespace

String DecodeTextFile(const std::vector<uint8_t> &bytes, const String &path) {
    const TFileDecoding d = ChooseDecoding(bytes);
    if (d.Form == TFileForm::Utf16LE || d.Form == TFileForm::Utf16BE)
        return DecodeUtf16(bytes.data() + d.Start, bytes.size() - d.Start, d.Form == TFileForm::Utf16LE, path);
    const char *data = reinterpret_cast<const char *>(bytes.data()) + d.Start;
    const size_t size = bytes.size() - d.Start;
    CheckDecodable(d, data, size, path);
    return d.Form == TFileForm::Utf8 ? Utf8ToString(std::string_view(data, size)) : d.Encoding->GetString(data, size);
}

void LoadLinesFromFile(const String &path, TStringList &lines) {
    std::vector<String> result;
    {
        std::vector<uint8_t> bytes = ReadWholeFile(path);
        const TFileDecoding d = ChooseDecoding(bytes);
        if (d.Form == TFileForm::Utf16LE || d.Form == TFileForm::Utf16BE) {
            String text = DecodeUtf16(bytes.data() + d.Start, bytes.size() - d.Start, d.Form == TFileForm::Utf16LE,
                                      path);
            std::vector<uint8_t>().swap(bytes);
            result = TStringList::SplitLines(text);
        } else {
            const char *data = reinterpret_cast<const char *>(bytes.data()) + d.Start;
            const size_t size = bytes.size() - d.Start;
            CheckDecodable(d, data, size, path);
            if (d.Form == TFileForm::Utf8) {
                result = DecodeUtf8Lines(data, size);
            } else if (SplitsAtLineBreakBytes(*d.Encoding)) {
                result = DecodeLinesByPieces(data, size, *d.Encoding);
            } else {
                String text = d.Encoding->GetString(data, size);
                std::vector<uint8_t>().swap(bytes);
                result = TStringList::SplitLines(text);
            }
        }
    }
    lines.SetLines(std::move(result));
}

}  // namespace vantrel
