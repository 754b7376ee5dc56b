// Statement batches: which statements may share a request, the block that
// holds them, and how a failure inside it is traced back to its statement.
#include "script/StatementBatch.h"

#include <algorithm>
#include <initializer_list>

#include "client/DirectExecution.h"
#include "client/IBErrors.h"
#include "client/ParamMarkers.h"
#include "platform/Strings.h"

namespace vantrel {

namespace {

bool IsWordChar(char16_t c) { return IsParamNameChar(c); }

char16_t UpperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }

bool OneOf(const String &word, std::initializer_list<const char16_t *> words) {
    return std::any_of(words.begin(), words.end(), [&](const char16_t *w) { return word == w; });
}

// Literal texts that the server turns into the request's own date or time.
bool IsDateWord(StringView content) {
    size_t from = 0, to = content.size();
    while (from < to && (content[from] == u' ' || content[from] == u'\t')) ++from;
    while (to > from && (content[to - 1] == u' ' || content[to - 1] == u'\t')) --to;
    String word;
    for (size_t i = from; i < to; ++i) word += UpperAscii(content[i]);
    return OneOf(word, {u"NOW", u"TODAY", u"TOMORROW", u"YESTERDAY"});
}

// Words whose value is fixed per request, or that mean something else in
// PSQL than in a statement of its own.
bool IsRequestWord(const String &word) {
    return OneOf(word, {u"CURRENT_TIMESTAMP", u"CURRENT_TIME", u"CURRENT_DATE", u"LOCALTIME", u"LOCALTIMESTAMP",
                        u"ROW_COUNT", u"SQLCODE", u"GDSCODE", u"SQLSTATE", u"INSERTING", u"UPDATING", u"DELETING",
                        u"RESETTING", u"NEW", u"OLD", u"CURRENT"});
}

char16_t ClosingOf(char16_t open) {
    switch (open) {
    case u'(': return u')';
    case u'[': return u']';
    case u'{': return u'}';
    case u'<': return u'>';
    default: return open;
    }
}

}  // namespace

TStatementShape InspectStatement(StringView Text) {
    TStatementShape shape;
    std::vector<String> words;
    bool plain = true;  // nothing in the text that a block would read otherwise
    const size_t n = Text.size();
    size_t i = 0;
    while (i < n) {
        const char16_t c = Text[i];
        const char16_t next = i + 1 < n ? Text[i + 1] : u'\0';
        if (c == u'\0') return shape;
        if (c == u'-' && next == u'-') {
            while (i < n && Text[i] != u'\n' && Text[i] != u'\r') ++i;
        } else if (c == u'/' && next == u'*') {
            const size_t end = Text.find(u"*/", i + 2);
            if (end == StringView::npos) return shape;
            i = end + 2;
        } else if (c == u'\'' || c == u'"') {
            // A string, or a quoted name (in dialect 1 also a string).
            String content;
            size_t j = i + 1;
            for (;;) {
                if (j >= n) return shape;
                if (Text[j] == c) {
                    if (j + 1 < n && Text[j + 1] == c) {
                        content += c;
                        j += 2;
                        continue;
                    }
                    break;
                }
                content += Text[j++];
            }
            if (IsDateWord(content)) plain = false;
            i = j + 1;
        } else if ((c == u'q' || c == u'Q') && next == u'\'' && i + 2 < n && (i == 0 || !IsWordChar(Text[i - 1]))) {
            // q'<...>': a string with a delimiter of its own choice.
            const char16_t close = ClosingOf(Text[i + 2]);
            size_t j = i + 3;
            while (j + 1 < n && !(Text[j] == close && Text[j + 1] == u'\'')) ++j;
            if (j + 1 >= n) return shape;
            if (IsDateWord(Text.substr(i + 3, j - (i + 3)))) plain = false;
            i = j + 2;
        } else if (IsWordChar(c)) {
            String word;
            while (i < n && IsWordChar(Text[i])) word += UpperAscii(Text[i++]);
            words.push_back(std::move(word));
        } else {
            // A statement terminator or a parameter marker outside strings and
            // comments: the block would read it as something else.
            if (c == u';' || c == u':' || c == u'?') plain = false;
            ++i;
        }
    }
    if (words.empty()) return shape;
    // The same scan that a statement object makes decides on markers.
    const TParamMarkerScan markers = ScanParamMarkers(TStringList::SplitLines(Text));
    if (!markers.Markers.empty() || !markers.Problem.empty()) return shape;

    const String &first = words[0];
    const String second = words.size() > 1 ? words[1] : String();
    const bool returning = std::find(words.begin(), words.end(), u"RETURNING") != words.end();
    const bool dml = OneOf(first, {u"INSERT", u"UPDATE", u"DELETE", u"MERGE"});
    if (dml) {
        shape.Direct = !returning;
        shape.Contexts = first == u"INSERT" || first == u"DELETE" ? 1 : (first == u"MERGE" || second == u"OR") ? 3 : 2;
        bool requestWords = false;
        for (const String &word : words) {
            if (word == u"FROM" || word == u"JOIN") ++shape.Contexts;
            if (IsRequestWord(word)) requestWords = true;
        }
        shape.Joinable = shape.Direct && plain && !requestWords;
    } else if (first == u"EXECUTE" && second == u"PROCEDURE") {
        shape.Direct = true;
    } else if (first == u"EXECUTE" && second == u"BLOCK") {
        // Without output columns: a block declared with RETURNS is a query.
        bool outputs = false;
        for (size_t k = 2; k < words.size() && words[k] != u"AS"; ++k)
            if (words[k] == u"RETURNS") outputs = true;
        shape.Direct = !outputs;
    }
    return shape;
}

bool TStatementBatch::Fits(size_t Bytes, int Contexts, const TScriptLocation &Where) const {
    if (FEntries.empty()) return true;
    const TScriptLocation &first = FEntries.front().Where;
    if (first.FileName != Where.FileName || first.Included != Where.Included) return false;
    return FBytes + Bytes <= kTextLimit && FContexts + Contexts <= kContextLimit;
}

void TStatementBatch::Add(TEntry Entry) {
    FBytes += Entry.Bytes.size() + 3;
    FContexts += Entry.Contexts;
    FEntries.push_back(std::move(Entry));
}

void TStatementBatch::Clear() {
    FEntries.clear();
    FBytes = 0;
    FContexts = 0;
}

void TStatementBatch::Run(TIBDatabase *Database, TIBTransaction *Transaction) {
    FFailedIndex = 0;
    if (FEntries.empty()) return;
    RunRange(Database, Transaction, 0, FEntries.size());
}

void TStatementBatch::RunAlone(TIBDatabase *Database, TIBTransaction *Transaction, size_t Index) {
    FFailedIndex = Index;
    ++FRequests;
    ExecuteDirectly(Database, Transaction, *FEntries[Index].Text);
}

void TStatementBatch::RunRange(TIBDatabase *Database, TIBTransaction *Transaction, size_t First, size_t Last) {
    if (Last - First == 1) {
        RunAlone(Database, Transaction, First);
        return;
    }
    // Every statement starts on a line of its own and its terminator stands
    // on the line after it, so that a line comment at its end ends before
    // the terminator; the server names the line where the failing statement
    // starts.
    std::string block = "EXECUTE BLOCK AS\r\nBEGIN\r\n";
    std::vector<int32_t> firstLines;
    firstLines.reserve(Last - First);
    int32_t line = 3;
    for (size_t k = First; k < Last; ++k) {
        const std::string &bytes = FEntries[k].Bytes;
        firstLines.push_back(line);
        block += bytes;
        block += ";\r\n";
        line += static_cast<int32_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    }
    block += "END\r\n";
    FFailedIndex = First;
    int32_t failedLine = 0;
    ++FRequests;
    TBlockRun run;
    try {
        run = RunStatementBlock(Database, Transaction, block, failedLine);
    } catch (...) {
        if (failedLine > 0) {
            const auto at = std::upper_bound(firstLines.begin(), firstLines.end(), failedLine);
            if (at != firstLines.begin()) FFailedIndex = First + static_cast<size_t>(at - firstLines.begin() - 1);
        }
        throw;
    }
    if (run.Prepared) return;
    const size_t middle = First + (Last - First) / 2;
    RunRange(Database, Transaction, First, middle);
    RunRange(Database, Transaction, middle, Last);
}

}  // namespace vantrel
