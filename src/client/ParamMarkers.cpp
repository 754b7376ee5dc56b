// The parameter marker scanner. It reads the lines of a statement as the
// joined text would be read, through a cursor that moves from line to line,
// so that a large statement is never held joined beside its lines.
#include "client/ParamMarkers.h"

#include <unicode/uchar.h>

#include "client/IBErrors.h"

namespace vantrel {

namespace {

// The statement as one text, each of its lines followed by CR LF. It reads
// either a list of lines or a single text whose line breaks are all CR LF
// (and which then only lacks the break after its last line). Reads go
// mostly forward; over lines the cursor keeps the line of the last read.
class TLinesText {
public:
    explicit TLinesText(const std::vector<String> &lines) : FLines(&lines) {
        for (const String &line : lines) FSize += line.size() + 2;
    }
    explicit TLinesText(StringView crlfText) : FText(crlfText) {
        FSize = FText.size() + (FText.empty() || EndsWith(FText, u"\r\n") ? 0 : 2);
    }
    size_t size() const { return FSize; }
    // pos < size()
    char16_t operator[](size_t pos) {
        if (!FLines) return pos < FText.size() ? FText[pos] : pos == FText.size() ? u'\r' : u'\n';
        const std::vector<String> &lines = *FLines;
        while (pos >= FStart + lines[FLine].size() + 2) FStart += lines[FLine++].size() + 2;
        while (pos < FStart) FStart -= lines[--FLine].size() + 2;
        const String &line = lines[FLine];
        const size_t offset = pos - FStart;
        return offset < line.size() ? line[offset] : offset == line.size() ? u'\r' : u'\n';
    }
    // The character at pos, NUL past the end.
    char16_t At(size_t pos) { return pos < FSize ? (*this)[pos] : u'\0'; }
    String Slice(size_t pos, size_t length) {
        String out;
        for (size_t i = pos; i < pos + length && i < FSize; ++i) out += (*this)[i];
        return out;
    }

private:
    const std::vector<String> *FLines = nullptr;
    StringView FText;
    size_t FSize = 0;
    size_t FLine = 0;
    size_t FStart = 0;  // position of line FLine's first character
};

// Position after the blanks and comments from pos on.
size_t SkipBlanksAndComments(TLinesText &text, size_t pos) {
    const size_t n = text.size();
    while (pos < n) {
        const char16_t c = text[pos];
        if (IsWhite(c)) {
            ++pos;
        } else if (c == u'-' && text.At(pos + 1) == u'-') {
            while (pos < n && text[pos] != u'\r' && text[pos] != u'\n') ++pos;
        } else if (c == u'/' && text.At(pos + 1) == u'*') {
            pos += 2;
            while (pos < n && !(text[pos] == u'*' && text.At(pos + 1) == u'/')) ++pos;
            if (pos >= n) return n;
            pos += 2;
        } else {
            break;
        }
    }
    return pos;
}

// True when the statement is an EXECUTE BLOCK: after its AS come PSQL, whose
// ":name" are local variables, not parameters.
bool IsExecuteBlock(TLinesText &text) {
    const size_t pos = SkipBlanksAndComments(text, 0);
    if (!SameTextAscii(text.Slice(pos, 7), u"EXECUTE")) return false;
    const size_t next = SkipBlanksAndComments(text, pos + 7);
    if (next == pos + 7) return false;
    return SameTextAscii(text.Slice(next, 5), u"BLOCK") && !IsParamNameChar(text.At(next + 5));
}

}  // namespace

bool IsParamNameChar(char16_t c) {
    if (c == u'_' || c == u'$') return true;
    if (c >= u'0' && c <= u'9') return true;
    if (c < 0x80) return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    return u_isalpha(c) != 0;
}

char16_t AlternativeQuoteCloser(char16_t Delimiter) {
    switch (Delimiter) {
    case u'(': return u')';
    case u'{': return u'}';
    case u'[': return u']';
    case u'<': return u'>';
    default: return Delimiter;
    }
}

namespace {

TParamMarkerScan Scan(TLinesText &text) {
    enum class TState { Normal, Comment, LineComment, String, AlternativeString, Name };
    const size_t n = text.size();
    TParamMarkerScan scan;
    TState state = TState::Normal;
    char16_t quote = 0;
    TParamMarker marker;
    bool quotedName = false;
    bool nameStarted = false;
    // In an EXECUTE BLOCK markers stand only in its input parameters, before
    // the AS that begins its body.
    const bool executeBlock = IsExecuteBlock(text);
    bool inBody = false;

    auto finishName = [&](size_t end) {
        marker.End = end;
        scan.Markers.push_back(std::move(marker));
        marker = TParamMarker();
        state = TState::Normal;
    };

    for (size_t i = 0; i < n && scan.Problem.empty(); ++i) {
        const char16_t c = text[i];
        switch (state) {
        case TState::Normal:
            if (c == u'\'' && OpensAlternativeQuote(text, i) && text.At(i + 1) != u'\0') {
                // q'{...}': no quote inside ends it, only the closer before a quote.
                quote = AlternativeQuoteCloser(text[i + 1]);
                ++i;
                state = TState::AlternativeString;
            } else if (c == u'\'' || c == u'"') {
                quote = c;
                state = TState::String;
            } else if (c == u'/' && text.At(i + 1) == u'*') {
                ++i;
                state = TState::Comment;
            } else if (c == u'-' && text.At(i + 1) == u'-') {
                ++i;
                state = TState::LineComment;
            } else if (executeBlock && !inBody && IsParamNameChar(c) && (i == 0 || !IsParamNameChar(text[i - 1]))) {
                size_t end = i;
                while (end < n && IsParamNameChar(text[end])) ++end;
                inBody = end - i == 2 && SameTextAscii(text.Slice(i, 2), u"AS");
                i = end - 1;
            } else if ((c == u':' || c == u'?') && !inBody) {
                marker.Start = i;
                state = TState::Name;
                quotedName = false;
                nameStarted = false;
            }
            break;
        case TState::Comment:
            if (text.At(i + 1) == u'\0') scan.Problem = kCommentNotClosed;
            else if (c == u'*' && text[i + 1] == u'/') state = TState::Normal;
            break;
        case TState::LineComment:
            if (c == u'\r' || c == u'\n') state = TState::Normal;
            break;
        case TState::String:
            if (text.At(i + 1) == u'\0') {
                scan.Problem = kStringNotClosed;
            } else if (c == quote) {
                if (text[i + 1] == quote) ++i;
                else state = TState::Normal;
            }
            break;
        case TState::AlternativeString:
            if (text.At(i + 1) == u'\0') scan.Problem = kStringNotClosed;
            else if (c == quote && text[i + 1] == u'\'') {
                ++i;
                state = TState::Normal;
            }
            break;
        case TState::Name:
            if (quotedName) {
                if (c == u'"') {
                    // The character after the closing quote ends the name and
                    // is passed over without being looked at.
                    finishName(i + 1);
                    ++i;
                } else {
                    marker.Name += c;
                }
            } else if (!nameStarted && c == u'"') {
                quotedName = true;
                nameStarted = true;
            } else if (IsParamNameChar(c)) {
                marker.Name += c;
                nameStarted = true;
            } else {
                // This character ends the name and is not looked at either.
                finishName(i);
            }
            break;
        }
    }
    if (state == TState::Name && scan.Problem.empty()) finishName(n);
    return scan;
}

String Replace(TLinesText &text, const std::vector<TParamMarker> &Markers) {
    String out;
    out.reserve(text.size());
    size_t pos = 0;
    auto copyTo = [&](size_t end) {
        for (; pos < end; ++pos) out += text[pos];
    };
    for (const TParamMarker &marker : Markers) {
        copyTo(marker.Start);
        out += u'?';
        pos = marker.End;
    }
    copyTo(text.size());
    return out;
}

}  // namespace

TParamMarkerScan ScanParamMarkers(const std::vector<String> &Lines) {
    TLinesText text(Lines);
    return Scan(text);
}

TParamMarkerScan ScanParamMarkers(StringView CRLFText) {
    TLinesText text(CRLFText);
    return Scan(text);
}

String ReplaceParamMarkers(const std::vector<String> &Lines, const std::vector<TParamMarker> &Markers) {
    TLinesText text(Lines);
    return Replace(text, Markers);
}

String ReplaceParamMarkers(StringView CRLFText, const std::vector<TParamMarker> &Markers) {
    TLinesText text(CRLFText);
    return Replace(text, Markers);
}

}  // namespace vantrel
