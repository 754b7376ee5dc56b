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

namespace {

// The refusal of a file that is not a regular one, by its mode.
void CheckRegularMode(const String &path, mode_t mode) {
    if (S_ISREG(mode)) return;
    const String reason = S_ISDIR(mode) ? SystemText(EISDIR) : String(u"Not a regular file");
    throw EFOpenError(Format(u"Cannot open file \"%s\". %s", {ExpandFileName(path), reason}));
}

}  // namespace

void CheckFileName(const String &path) {
    if (path.find(u'\0') != String::npos) throw EFOpenError(u"File name contains a NUL character");
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
        int err = errno;
        throw EFOpenError(Format(u"Cannot open file \"%s\". %s", {ExpandFileName(path), SystemText(err)}));
    }
    struct Closer {
        int fd;
        ~Closer() {
            flock(fd, LOCK_UN);
            close(fd);
        }
    } closer{fd};
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

String DecodeTextFile(const std::vector<uint8_t> &bytes) {
    const char *data = reinterpret_cast<const char *>(bytes.data());
    size_t size = bytes.size();
    String text;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        text = Utf8ToString(std::string_view(data + 3, size - 3));
    } else if (size >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        bool little = bytes[0] == 0xFF;
        size_t n = (size - 2) / 2;
        text.resize(n);
        for (size_t i = 0; i < n; ++i) {
            uint8_t a = bytes[2 + 2 * i], b = bytes[3 + 2 * i];
            text[i] = little ? static_cast<char16_t>(a | (b << 8)) : static_cast<char16_t>((a << 8) | b);
        }
    } else {
        text = AnsiEncoding()->GetString(data, size);
    }
    auto nul = text.find(u'\0');
    if (nul != String::npos) text.resize(nul);
    return text;
}

namespace {

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

// Lines of an unmarked file decoded a piece at a time, each piece ending
// after a line break, so that the whole decoded text never exists next to
// the lines (a script of 100 MB would otherwise need both at once).
std::vector<String> DecodeLinesByPieces(const char *data, size_t size, const TEncoding &encoding) {
    size_t count = 1;
    for (size_t i = 0; i < size && data[i] != 0; ++i)
        if (data[i] == '\n' || (data[i] == '\r' && (i + 1 >= size || data[i + 1] != '\n'))) ++count;
    std::vector<String> lines;
    lines.reserve(count);
    constexpr size_t kPiece = 1 << 20;
    size_t pos = 0;
    while (pos < size) {
        size_t end = pos + kPiece < size ? pos + kPiece : size;
        while (end < size && data[end - 1] != '\n' && data[end - 1] != '\r') ++end;
        if (end < size && data[end - 1] == '\r' && data[end] == '\n') ++end;  // keep CR LF together
        String piece = encoding.GetString(data + pos, end - pos);
        auto nul = piece.find(u'\0');
        if (nul != String::npos) piece.resize(nul);
        for (auto &line : TStringList::SplitLines(piece)) lines.push_back(std::move(line));
        if (nul != String::npos) break;
        pos = end;
    }
    return lines;
}

// Lines of UTF-8 bytes, decoded one by one: CR, LF and NUL bytes are never
// part of a longer sequence, so the lines can be cut before decoding.
std::vector<String> DecodeUtf8Lines(const char *data, size_t size) {
    size_t count = 1;
    size_t stop = size;
    for (size_t i = 0; i < size; ++i) {
        auto c = static_cast<unsigned char>(data[i]);
        if (c > '\r') continue;
        if (c == '\n' || (c == '\r' && (i + 1 >= size || data[i + 1] != '\n'))) ++count;
        if (c == '\0') {
            stop = i;
            break;
        }
    }
    std::vector<String> lines;
    lines.reserve(count);
    size_t start = 0;
    auto addLine = [&](size_t end) {
        String line = Utf8ToString(std::string_view(data + start, end - start));
        // Letters outside ASCII take fewer units than bytes.
        if (line.capacity() > line.size() + line.size() / 4 + 16) line.shrink_to_fit();
        lines.push_back(std::move(line));
    };
    size_t i = start;
    while (i < stop) {
        auto c = static_cast<unsigned char>(data[i]);
        if (c > '\r' || (c != '\n' && c != '\r')) {
            ++i;
            continue;
        }
        addLine(i);
        if (c == '\r' && i + 1 < stop && data[i + 1] == '\n') ++i;
        start = ++i;
    }
    if (start < stop) addLine(stop);
    return lines;
}

}  // namespace

void LoadLinesFromFile(const String &path, TStringList &lines) {
    std::vector<String> result;
    {
        std::vector<uint8_t> bytes = ReadWholeFile(path);
        const char *data = reinterpret_cast<const char *>(bytes.data());
        bool utf8Mark = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
        bool utf16Mark = bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) ||
                                               (bytes[0] == 0xFE && bytes[1] == 0xFF));
        auto ansi = AnsiEncoding();
        if (utf8Mark) {
            result = DecodeUtf8Lines(data + 3, bytes.size() - 3);
        } else if (!utf16Mark && ansi->CodePage() == 65001) {
            result = DecodeUtf8Lines(data, bytes.size());
        } else if (!utf16Mark && SplitsAtLineBreakBytes(*ansi)) {
            result = DecodeLinesByPieces(data, bytes.size(), *ansi);
        } else {
            String text = DecodeTextFile(bytes);
            std::vector<uint8_t>().swap(bytes);
            result = TStringList::SplitLines(text);
        }
    }
    lines.SetLines(std::move(result));
}

}  // namespace vantrel
