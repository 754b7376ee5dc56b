// The parameter markers of a statement: ":name", ":"quoted name"" and "?".
// One scanner serves single statements and queries, so both accept the same
// names: letters (any script), digits, "_" and "$". Markers inside strings,
// quoted identifiers and comments are text; so are the ":name" of an EXECUTE
// BLOCK's body, which are its local variables.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/Text.h"

namespace vantrel {

struct TParamMarker {
    // The marker's place in the text (the lines each followed by CR LF):
    // [Start, End) is what "?" replaces.
    size_t Start = 0;
    size_t End = 0;
    String Name;  // empty for "?" and for a ":" that no name follows
};

struct TParamMarkerScan {
    std::vector<TParamMarker> Markers;
    // Set when the text ends inside a comment or a string: "EOF in comment
    // detected" or "EOF in string detected". Markers before it are listed.
    String Problem;
};

bool IsParamNameChar(char16_t c);

// The character that closes an alternative string literal (q'{...}')
// opened with Delimiter: the partner of a bracket, otherwise the same
// character.
char16_t AlternativeQuoteCloser(char16_t Delimiter);

// True when the quote at Pos of Text opens an alternative string literal:
// a q or Q stands before it and is no part of a longer word.
template <class Text>
bool OpensAlternativeQuote(Text &Chars, size_t Pos, size_t First = 0) {
    if (Pos < First + 1) return false;
    const char16_t q = Chars[Pos - 1];
    if (q != u'q' && q != u'Q') return false;
    return Pos - 1 == First || !IsParamNameChar(Chars[Pos - 2]);
}

// Scans the lines as one text, each line followed by CR LF, without joining
// them. The text form reads a text whose line breaks are all CR LF as the
// same lines would be read (a CR LF after the last one), without copying.
TParamMarkerScan ScanParamMarkers(const std::vector<String> &Lines);
TParamMarkerScan ScanParamMarkers(StringView CRLFText);

// The text (lines each followed by CR LF) with every marker replaced by "?".
String ReplaceParamMarkers(const std::vector<String> &Lines, const std::vector<TParamMarker> &Markers);
String ReplaceParamMarkers(StringView CRLFText, const std::vector<TParamMarker> &Markers);

}  // namespace vantrel
