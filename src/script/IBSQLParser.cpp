// The script parser: lines -> pending text -> tokens -> classified statements.
//
// The pending text FWork is consumed from the front by advancing FWorkPos;
// it is compacted only when new lines are appended and at least half of it
// is consumed, so reading a script costs time linear in its size. It always
// holds consecutive lines of one file, so the line of a position is found by
// counting line breaks from a mark that only moves forward.
#include "script/IBSQLParser.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "client/IBErrors.h"
#include "client/ParamMarkers.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Memory.h"

namespace vantrel {

namespace {

constexpr StringView kCRLF = u"\r\n";
// Characters of a statement's first line kept for messages.
constexpr size_t kFirstLineLimit = 160;

// Trimmed bounds of text[0, length).
void TrimBounds(const char16_t *text, size_t length, size_t &first, size_t &last) {
    first = 0;
    last = length;
    while (first < last && IsWhite(text[first])) ++first;
    while (last > first && IsWhite(text[last - 1])) --last;
}

// Names an included file the same way however it was spelt, so that the
// repetition check is not fooled by "./a.sql" against "a.sql".
String CanonicalName(const String &name) {
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(std::filesystem::path(StringToUtf8(ExpandFileName(name))), ec);
    if (ec) return ExpandFileName(name);
    return Utf8ToString(p.string());
}

String StripQuotes(String name) {
    if (!name.empty() && (name.front() == u'\'' || name.front() == u'"')) name.erase(0, 1);
    if (!name.empty() && (name.back() == u'\'' || name.back() == u'"')) name.pop_back();
    return name;
}

// The first line of a text, shortened when long; " ..." marks that more
// follows (unless the text is known to be cut short, as a comment at the
// end of what was read so far).
// Written into a buffer that keeps its capacity from statement to statement.
void FirstLineOf(StringView text, bool markMore, String &line) {
    size_t length = 0;
    while (length < text.size() && length < kFirstLineLimit && text[length] != u'\r') ++length;
    const bool more = markMore && length < text.size() && HasNonWhite(text.substr(length));
    while (length > 0 && IsWhite(text[length - 1])) --length;
    line.assign(text.data(), length);
    if (more) line += u" ...";
}

// The folder part of a file name, with its trailing "/"; empty for a bare
// name.
String FolderOf(const String &fileName) {
    const auto slash = fileName.rfind(u'/');
    return slash == String::npos ? String() : fileName.substr(0, slash + 1);
}

}  // namespace

bool AbbreviatesCommand(StringView Word, StringView Full, size_t Least) {
    return Word.size() >= Least && Word.size() <= Full.size() && SameTextAscii(Word, Full.substr(0, Word.size()));
}

String LocationText(const TScriptLocation &Where, bool WithFile) {
    String text;
    if (WithFile && !Where.FileName.empty()) text += u" in \"" + Where.FileName + u"\"";
    text += u" at line " + IntToStr(Where.Line) + u": " + Where.FirstLine;
    return text;
}

String ParseProblemText(const String &Error, const TScriptLocation &Where) {
    if (Where.Line <= 0) return Error;
    return Error + LocationText(Where, Where.Included);
}

TIBSQLParser::TIBSQLParser(TComponent *AOwner) : TComponent(AOwner), FTerminator(u";") { ResetSources(); }

TIBSQLParser::~TIBSQLParser() = default;

void TIBSQLParser::SetScript(const TStringList &Value) {
    FScript.Assign(Value);
    FScriptFileName.clear();
    FPaused = false;
    ScriptIndex = 0;
    ResetSources();
}

void TIBSQLParser::LoadFromFile(const String &FileName) {
    LoadLinesFromFile(FileName, FScript);
    FScriptFileName = FileName;
}

void TIBSQLParser::SetPaused(bool Value) {
    if (FPaused == Value) return;
    FPaused = Value;
    if (!FPaused) RunParseLoop();
}

void TIBSQLParser::ResetSources() {
    FInputs.clear();
    FWorkDepth = 0;
    FFileNames.assign(1, String());
    FStmtNameIndex = 0;
}

void TIBSQLParser::Parse() {
    ScriptIndex = 0;
    FPlanOnly = false;
    ResetSources();
    FStmtLine = 0;
    FStmtFirstLine.clear();
    FFirstLinePending = false;
    FPaused = false;
    RunParseLoop();
}

void TIBSQLParser::NotifyStatement(TIBParseKind AKind, const String &SQLText) {
    if (FOnParse) FOnParse(this, AKind, SQLText);
}

void TIBSQLParser::NotifyError(const String &Error, const String &SQLText) {
    if (FOnError) FOnError(this, Error, SQLText, LineIndex);
}

TScriptLocation TIBSQLParser::CurrentLocation() const {
    if (FFirstLinePending) {
        FirstLineOf(*FStmtText, true, FStmtFirstLine);
        FFirstLinePending = false;
    }
    TScriptLocation where;
    where.Included = FStmtNameIndex > 0;
    where.FileName = where.Included ? FFileNames[static_cast<size_t>(FStmtNameIndex)] : FScriptFileName;
    where.Line = FStmtLine;
    where.FirstLine = FStmtFirstLine;
    return where;
}

const String &TIBSQLParser::CurrentFileName() const {
    return FStmtNameIndex > 0 ? FFileNames[static_cast<size_t>(FStmtNameIndex)] : FScriptFileName;
}

// ---------------------------------------------------------------------------
// Pending text

bool TIBSQLParser::WorkHasNonWhite() const { return HasNonWhite(StringView(FWork).substr(FWorkPos)); }

void TIBSQLParser::TrimWorkLeft() {
    while (FWorkPos < FWork.size() && IsWhite(FWork[FWorkPos])) ++FWorkPos;
    if (FWorkPos >= FWork.size()) ClearWork();
}

void TIBSQLParser::ConsumeWork(size_t count) {
    FWorkPos += count;
    if (FWorkPos >= FWork.size()) ClearWork();
}

void TIBSQLParser::ClearWork() {
    // The room a very long line took is not kept beside the statements
    // that follow.
    if (FWork.capacity() > kLargeText) String().swap(FWork);
    else FWork.clear();
    FWorkPos = 0;
    FMarkPos = 0;
}

void TIBSQLParser::CompactWork() {
    // Moving the rest costs no more than what was consumed since the last
    // compaction, which keeps the total linear.
    if (FWorkPos > 0 && FWorkPos * 2 >= FWork.size()) {
        LineAt(FWorkPos);
        FWork.erase(0, FWorkPos);
        FWorkPos = 0;
        FMarkPos = 0;
    }
}

int32_t TIBSQLParser::LineAt(size_t pos) {
    // Lines hold no line breaks: every CR in the pending text is one that
    // feeding put before a line.
    if (pos > FMarkPos) {
        FMarkLine += static_cast<int32_t>(std::count(FWork.begin() + static_cast<ptrdiff_t>(FMarkPos),
                                                     FWork.begin() + static_cast<ptrdiff_t>(pos), u'\r'));
        FMarkPos = pos;
    }
    return FMarkLine;
}

void TIBSQLParser::NoteStatementStart(int32_t line) {
    FStmtNameIndex = FWorkDepth == 0 ? 0 : FInputs[FWorkDepth - 1]->NameIndex;
    FStmtLine = line;
    // A statement's first line is taken from its text once it is read; a
    // comment has only this one.
    FStmtFirstLine.clear();
    FFirstLinePending = false;
}

// The text a callback reads stays alive and unchanged until it returns,
// also when the callback resumes the loop and further statements are read.
class TIBSQLParser::TPin {
public:
    TPin(TIBSQLParser &parser, const String *text) : FParser(parser), FText(text) {
        FParser.FPinnedTexts.push_back(text);
    }
    ~TPin() {
        FParser.FPinnedTexts.pop_back();
        auto &held = FParser.FHeldTexts;
        if (!held.empty() && held.back().get() == FText) held.pop_back();
    }
    TPin(const TPin &) = delete;
    TPin &operator=(const TPin &) = delete;

private:
    TIBSQLParser &FParser;
    const String *FText;
};

void TIBSQLParser::TakeStatementText() {
    // Room taken for a large statement beyond what it came to is given back.
    if (FText.capacity() > kLargeText && FText.capacity() / 2 > FText.size()) FText.shrink_to_fit();
    if (FStmtText) {
        const bool pinned =
            std::find(FPinnedTexts.begin(), FPinnedTexts.end(), FStmtText.get()) != FPinnedTexts.end();
        if (pinned) {
            FHeldTexts.push_back(std::move(FStmtText));
        } else if (FStmtText.use_count() == 1) {
            // Nobody took the previous text over: its buffer is reused for
            // the next statement.
            FStmtText->swap(FText);
            FFirstLinePending = true;
            return;
        }
    }
    FStmtText = std::make_shared<String>(std::move(FText));
    FText.clear();
    FFirstLinePending = true;
}

std::shared_ptr<const String> TIBSQLParser::SharedText(const String &SQLText) const {
    if (FStmtText.get() == &SQLText) return FStmtText;
    for (const std::shared_ptr<String> &held : FHeldTexts)
        if (held.get() == &SQLText) return held;
    return std::make_shared<const String>(SQLText);
}

bool TIBSQLParser::LinesLeft() const { return ScriptIndex < FScript.Count() || !FInputs.empty(); }

bool TIBSQLParser::SourceHasLines() const {
    // Only the innermost file can still add lines to the pending text.
    if (FWorkDepth != FInputs.size()) return false;
    if (FWorkDepth == 0) return ScriptIndex < FScript.Count();
    const TInputFile &file = *FInputs.back();
    return file.Index < file.Lines.Count();
}

void TIBSQLParser::ReleaseLine(TStringList &source, int32_t index) {
    FReleasedChars += source[index].size();
    source.Put(index, String());
    // The pages of released lines go back to the system now and then, so
    // that a large statement read from them does not find them still held.
    if (FReleasedChars >= kReturnMemoryEvery) {
        FReleasedChars = 0;
        ReturnFreedMemory();
    }
}

size_t TIBSQLParser::TextStillToCome() const {
    size_t count = WorkSize();
    // Only the innermost file can still add lines, each after a CR LF.
    if (FWorkDepth != FInputs.size()) return count;
    const TStringList &source = FWorkDepth == 0 ? FScript : FInputs.back()->Lines;
    const int32_t index = FWorkDepth == 0 ? ScriptIndex : FInputs.back()->Index;
    const std::vector<String> &lines = source.Items();
    for (size_t k = static_cast<size_t>(std::max(index, 0)); k < lines.size(); ++k) count += lines[k].size() + 2;
    return count;
}

void TIBSQLParser::ReserveForLargeText() {
    // A statement that outgrows its buffer while it is large takes room for
    // all the text that can still come at once: doubling would copy it into
    // a new buffer with the old one still held, and so cost several times
    // its size at the peak. Room never written to does not become resident.
    FText.reserve(FText.size() + TextStillToCome());
}

bool TIBSQLParser::AppendNextLines(bool AtStatementStart) {
    bool fed = false;
    for (;;) {
        const size_t top = FInputs.size();
        if (FWorkDepth != top) {
            // The pending text is what followed an INPUT statement on its
            // line; it is read before the included file, and a statement in
            // it ends with it.
            if (!AtStatementStart || WorkHasNonWhite()) return fed;
            ClearWork();
            FWorkDepth = top;
        }
        TStringList &source = top > 0 ? FInputs.back()->Lines : FScript;
        int32_t &index = top > 0 ? FInputs.back()->Index : ScriptIndex;
        if (index < 0) index = 0;
        if (index >= source.Count()) {
            // The end of an included file ends the statement in it; the next
            // statement comes from the file that included it.
            if (top == 0 || !AtStatementStart || WorkHasNonWhite()) return fed;
            FInputs.pop_back();
            ClearWork();
            FWorkDepth = top - 1;
            continue;
        }

        InInput = top > 0;
        CompactWork();
        if (WorkEmpty()) {
            ClearWork();
            FMarkLine = index;  // the CR LF put before the line counts it
        }
        bool nonWhite = WorkHasNonWhite();
        const auto &lines = source.Items();
        const bool release = top > 0 || FReleaseReadLines;
        do {
            const String &line = lines[static_cast<size_t>(index)];
            FWork.reserve(FWork.size() + kCRLF.size() + line.size());
            FWork += kCRLF;
            FWork += line;
            if (!nonWhite) nonWhite = HasNonWhite(line);
            if (release) ReleaseLine(source, index);
            ++index;
        } while (index < source.Count() && !nonWhite);
        fed = true;
        // An included file that ended in blank lines hands over to the file
        // that included it.
        if (nonWhite || !AtStatementStart || top == 0) return true;
    }
}

// ---------------------------------------------------------------------------
// The loop

void TIBSQLParser::RunParseLoop() {
    while (!FPaused && (LinesLeft() || WorkHasNonWhite())) {
        if (!ReadStatement()) continue;
        StringView problem;
        TIBParseKind kind = ClassifyStatement(problem);
        if (kind != stmtEMPTY) {
            // The end of the text inside a statement says more than what the
            // cut-off statement looks like.
            String found = StatementProblem(kind);
            if (found.empty() && kind == stmtERR) found = String(problem);
            if (!found.empty()) {
                TPin pin(*this, FStmtText.get());
                NotifyError(found, *FStmtText);
                continue;
            }
        }
        switch (kind) {
        case stmtEMPTY:
        case stmtIsqlCommand:
            break;
        case stmtExit:
            EndScript();
            break;
        case stmtQuit: {
            TPin pin(*this, FStmtText.get());
            NotifyStatement(kind, *FStmtText);
            EndScript();
            break;
        }
        case stmtSET:
        case stmtSetTransaction: {
            if (kind == stmtSET && SameTextAscii(Token(1), u"PLANONLY")) FollowPlanOnly();
            String text;
            for (int i = 1; i < TokenCount(); ++i) {
                text += Token(i);
                text += u' ';
            }
            NotifyStatement(kind, TrimLeft(text));
            break;
        }
        case stmtTERM: {
            String terminator = Token(2);
            NotifyStatement(kind, terminator);
            FTerminator = terminator;
            break;
        }
        case stmtINPUT: {
            try {
                LoadInputFile();
            } catch (const Exception &e) {
                TPin pin(*this, FStmtText.get());
                NotifyError(e.Message(), *FStmtText);
            }
            break;
        }
        default: {
            TPin pin(*this, FStmtText.get());
            NotifyStatement(kind, *FStmtText);
            break;
        }
        }
    }
}

void TIBSQLParser::EndScript() {
    ClearWork();
    FInputs.clear();
    FWorkDepth = 0;
    ScriptIndex = FScript.Count();
}

bool TIBSQLParser::ReadStatement() {
    ClearTokens();
    FText.clear();
    FUpperTokenIndex = -1;
    FMarkerCharacterSeen = false;
    if (!WorkHasNonWhite()) AppendNextLines(true);
    if (!InInput) LineIndex = ScriptIndex;

    if (!SkipLeadingComments()) {
        ReportUnclosedComment();
        return false;
    }

    FInSingleQuote = FInDoubleQuote = FInComment = false;
    FQuoteCloser = 0;
    FBodyMode = FBodyCandidate = false;
    FComplete = false;
    FSemicolonPos = 0;
    while (!FComplete) {
        if (WorkEmpty() && !AppendNextLines(false)) break;
        ReadToken();
    }
    FEndedByFile = !FComplete;
    FEndedInQuote = FInSingleQuote || FInDoubleQuote;
    FEndedInComment = FInComment;
    // A body whose END; is the last thing in its file ends before the ";"
    // just as if another token had followed.
    if (!FComplete && FBodyMode && BodyComplete()) FText.resize(FSemicolonPos);
    if (TokenCount() > 0) TakeStatementText();
    return true;
}

void TIBSQLParser::ReportUnclosedComment() {
    NotifyError(kInvalidCommentMessage, String());
    // An owner that pauses here keeps the unclosed comment pending, as it may
    // add lines that close it. Without a pause no line is left that could
    // ever close it: drop it so that the loop ends instead of reporting it
    // again forever.
    if (!FPaused && !SourceHasLines()) ClearWork();
}

bool TIBSQLParser::SkipLeadingComments() {
    // Comments before a statement are dropped whole; the statement's text
    // begins with its first word.
    for (;;) {
        TrimWorkLeft();
        if (WorkEmpty()) {
            if (!AppendNextLines(true)) return true;
            continue;
        }
        const char16_t *w = FWork.data() + FWorkPos;
        if (WorkSize() < 2) return true;
        if (w[0] == u'-' && w[1] == u'-') {
            const size_t end = FWork.find(u'\r', FWorkPos);
            ConsumeWork(end == String::npos ? WorkSize() : end - FWorkPos);
            continue;
        }
        if (w[0] != u'/' || w[1] != u'*') return true;
        // Where an unclosed comment is reported: its line is in the pending
        // text whole, as lines are fed whole.
        NoteStatementStart(LineAt(FWorkPos));
        FirstLineOf(StringView(FWork).substr(FWorkPos, kFirstLineLimit + 1), false, FStmtFirstLine);
        // Offsets relative to FWorkPos: appending lines may compact FWork.
        size_t searched = 0;
        size_t found;
        while ((found = FWork.find(u"*/", FWorkPos + searched)) == String::npos) {
            searched = WorkSize() - 1;
            if (!AppendNextLines(false)) return false;
        }
        ConsumeWork(found - FWorkPos + 2);
    }
}

bool TIBSQLParser::BodyComplete() const {
    const int n = TokenCount();
    return n >= 2 && Token(n - 1) == u";" && SameTextAscii(Token(n - 2), u"END");
}

void TIBSQLParser::AddToken(StringView token, size_t textPos) {
    if (FBodyMode && token == u";") FSemicolonPos = textPos;
    KeepToken(token);
}

void TIBSQLParser::ClearTokens() {
    FTokenCount = 0;
    FTokenListStale = true;
}

void TIBSQLParser::KeepToken(StringView token) {
    // Statements are told apart by their first words and bodies end by
    // their last two; a statement of millions of words keeps those and no
    // more, instead of a second copy of itself in pieces. The buffers of
    // earlier statements' tokens are written over.
    FTokenListStale = true;
    if (FTokenCount == kTokenLimit) {
        FTokenBuffers[kTokenLimit - 2].swap(FTokenBuffers[kTokenLimit - 1]);
        FTokenBuffers[kTokenLimit - 1].assign(token);
        return;
    }
    if (static_cast<size_t>(FTokenCount) < FTokenBuffers.size())
        FTokenBuffers[static_cast<size_t>(FTokenCount)].assign(token);
    else
        FTokenBuffers.emplace_back(token);
    ++FTokenCount;
}

const String &TIBSQLParser::StatementText() const {
    static const String none;
    return FStmtText ? *FStmtText : none;
}

const TStringList &TIBSQLParser::CurrentTokens() const {
    if (FTokenListStale) {
        FTokenList.SetLines(std::vector<String>(FTokenBuffers.begin(), FTokenBuffers.begin() + FTokenCount));
        FTokenListStale = false;
    }
    return FTokenList;
}

void TIBSQLParser::ReadToken() {
    const char16_t *w = FWork.data() + FWorkPos;
    const size_t n = WorkSize();
    const char16_t *term = FTerminator.data();
    const size_t termLen = FTerminator.size();
    // The token list does not change while one token is read. The scanning
    // state lives in locals here and is stored back when the token ends.
    const bool bodyMode = FBodyMode;
    bool inSingle = FInSingleQuote, inDouble = FInDoubleQuote, inComment = FInComment;
    char16_t closer = FQuoteCloser;
    size_t i = 0;
    // An empty terminator never matches (it would end a statement at every
    // position without consuming anything).
    auto terminatorAt = [&](size_t at) {
        return termLen > 0 && w[at] == term[0] && n - at >= termLen &&
               StringView(w + at, termLen) == StringView(term, termLen);
    };
    // The statement ends at its terminator: the token read so far (from
    // start) is stored trimmed and upper-cased, and the terminator consumed.
    auto completeAtTerminator = [&](size_t start) {
        size_t first, last;
        TrimBounds(w + start, i - start, first, last);
        String asWritten(w + start + first, last - first);
        AppendText(w, i);
        ConsumeWork(i + termLen);
        if (!asWritten.empty()) {
            String upper = UpperCaseFull(asWritten);
            if (upper != asWritten) {
                FUpperTokenIndex = TokenCount();
                FUpperTokenAsWritten = std::move(asWritten);
            }
            KeepToken(upper);
        }
        FComplete = true;
        FInSingleQuote = FInDoubleQuote = FInComment = false;
        FQuoteCloser = 0;
    };

    // Before a token: blanks of every kind and comments, which join the
    // statement's text but no token. A token that a quoted run carries over
    // from earlier lines goes on at once.
    if (!inSingle && !inDouble) {
        const bool bodyComplete = bodyMode && BodyComplete();
        while (i < n) {
            if (inComment) {
                // "*/" closes it; the "/" of its own "/*" does not.
                while (i < n && !(w[i] == u'/' && i > 0 && w[i - 1] == u'*')) ++i;
                if (i < n) {
                    inComment = false;
                    ++i;
                }
                continue;
            }
            if (!bodyMode) {
                if (terminatorAt(i)) {
                    completeAtTerminator(i);
                    return;
                }
            } else if (bodyComplete) {
                // The body ends at its final ";"; what follows it stays
                // pending for the next statement.
                FText.resize(FSemicolonPos);
                FBodyMode = false;
                FComplete = true;
                FInSingleQuote = FInDoubleQuote = FInComment = false;
                FQuoteCloser = 0;
                return;
            }
            const char16_t c = w[i];
            if (IsWhite(c)) {
                ++i;
            } else if (c == u'-' && i + 1 < n && w[i + 1] == u'-') {
                // A line comment runs to the end of its line.
                const char16_t *cr = std::find(w + i, w + n, u'\r');
                i = static_cast<size_t>(cr - w);
            } else if (c == u'/' && i + 1 < n && w[i + 1] == u'*') {
                inComment = true;
                i += 2;
            } else {
                break;
            }
        }
        if (i >= n) {
            FInComment = inComment;
            AppendText(w, n);
            ConsumeWork(n);
            return;
        }
        if (TokenCount() == 0) NoteStatementStart(LineAt(FWorkPos + i));
    }

    // The token: it ends at a blank, at a comment, at the quote that closes
    // a quoted run, or at the terminator.
    const size_t start = i;
    bool ended = false;
    while (i < n && !ended) {
        const char16_t c = w[i];
        if (inSingle && closer) {
            // An alternative string literal ends only at its closer followed
            // by a quote; quotes inside it are text.
            while (i + 1 < n && !(w[i] == closer && w[i + 1] == u'\'')) ++i;
            if (i + 1 < n) {
                inSingle = false;
                closer = 0;
                ended = true;
                i += 2;
            } else {
                i = n;
            }
            continue;
        }
        if (inSingle || inDouble) {
            const char16_t quote = inSingle ? u'\'' : u'"';
            const char16_t *close = std::find(w + i, w + n, quote);
            i = static_cast<size_t>(close - w);
            if (i < n) {
                inSingle = inDouble = false;
                ended = true;
                ++i;
            }
            continue;
        }
        if (!bodyMode && terminatorAt(i)) {
            completeAtTerminator(start);
            return;
        }
        // Only blanks, quotes, "-" and "/" matter outside quoted runs, and
        // the characters that begin a parameter marker.
        if (c > u'\'' && c != u'/' && c != u'-' && c != u':' && c != u'?') {
            ++i;
            continue;
        }
        if (c == u':' || c == u'?') {
            FMarkerCharacterSeen = true;
            ++i;
            continue;
        }
        if (IsWhite(c) || (c == u'-' && i + 1 < n && w[i + 1] == u'-') ||
            (c == u'/' && i + 1 < n && w[i + 1] == u'*'))
            break;
        if (c == u'"') {
            inDouble = true;
        } else if (c == u'\'') {
            inSingle = true;
            // q'{...}': the character after the quote is the delimiter.
            if (i + 1 < n && OpensAlternativeQuote(w, i, start)) closer = AlternativeQuoteCloser(w[++i]);
        }
        ++i;
    }
    FInSingleQuote = inSingle;
    FQuoteCloser = closer;
    FInDoubleQuote = inDouble;
    FInComment = false;
    while (i < n && IsWhite(w[i])) ++i;

    size_t first, last;
    TrimBounds(w + start, i - start, first, last);
    const size_t textPos = FText.size() + start + first;
    AppendText(w, i);
    if (first == last) {
        ConsumeWork(i);
        return;
    }
    AddToken(StringView(w + start + first, last - first), textPos);
    ConsumeWork(i);
    const int count = TokenCount();
    const String &token = Token(count - 1);
    // A procedure or trigger written without SET TERM keeps its body whole:
    // from its AS on, ";" ends no statement. Before AS (ALTER TRIGGER T
    // INACTIVE, ALTER TRIGGER T POSITION 5) the terminator works as ever.
    if (count == 2)
        FBodyCandidate = FTerminator == u";" &&
                         (SameTextAscii(Token(0), u"CREATE") || SameTextAscii(Token(0), u"ALTER")) &&
                         (SameTextAscii(Token(1), u"PROCEDURE") || SameTextAscii(Token(1), u"TRIGGER"));
    else if (FBodyCandidate && !FBodyMode && SameTextAscii(token, u"AS"))
        FBodyMode = true;

    // END; carries the closing ";" of the body; it becomes a token of its
    // own.
    if (FBodyMode && token.back() == u';' && UpperCaseFull(token) == u"END;") {
        FTokenBuffers[static_cast<size_t>(count - 1)].resize(3);
        AddToken(u";", textPos + 3);
    }
}

// ---------------------------------------------------------------------------
// Classification

namespace {

// A word upper-cased (ASCII letters) into a buffer of its own, without
// allocating; words longer than any keyword come out empty.
class TKeyword {
public:
    explicit TKeyword(StringView word) {
        if (word.size() > sizeof FChars / sizeof FChars[0]) return;
        for (char16_t c : word) FChars[FSize++] = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    }
    bool operator==(StringView keyword) const { return View() == keyword; }
    StringView View() const { return StringView(FChars, FSize); }

private:
    char16_t FChars[24];
    size_t FSize = 0;
};

bool Abbreviates(const TKeyword &word, StringView full, size_t least) {
    return AbbreviatesCommand(word.View(), full, least);
}

// isql's settings that shape only what it shows (SET ECHO, SET LIST, ...),
// of Firebird 3 and of the later versions; a script run skips them.
bool IsIsqlDisplaySetting(const TKeyword &u1) {
    if (Abbreviates(u1, u"BLOBDISPLAY", 4) || Abbreviates(u1, u"STATS", 4) || Abbreviates(u1, u"WARNINGS", 7) ||
        Abbreviates(u1, u"PER_TABLE_STATS", 7))
        return true;
    for (StringView word : {u"BAIL", u"COUNT", u"ECHO", u"EXPLAIN", u"HEADING", u"LIST", u"PLAN", u"SQLDA_DISPLAY",
                            u"WIDTH", u"WNG", u"EXEC_PATH_DISPLAY", u"WIRE_STATS"})
        if (u1 == word) return true;
    return false;
}

// Statements of the server's own that begin with SET (the session settings
// of Firebird 4 and 5 among them: a Firebird 3 server refuses those with its
// own error).
bool IsServerSet(const TKeyword &u1) {
    for (StringView word : {u"PASSWORD", u"SUBSCRIPTION", u"ROLE", u"TRUSTED", u"BIND", u"DECFLOAT", u"STATEMENT",
                            u"SESSION", u"OPTIMIZE"})
        if (u1 == word) return true;
    return false;
}

bool IsOnOrOff(StringView word) { return SameTextAscii(word, u"ON") || SameTextAscii(word, u"OFF"); }

bool IsRowCount(StringView word) {
    return !word.empty() && word.size() <= 9 &&
           std::all_of(word.begin(), word.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

TIBParseKind TIBSQLParser::ClassifyStatement(StringView &Problem) const {
    Problem = kInvalidStatementMessage;
    const int n = TokenCount();
    if (n == 0) return stmtEMPTY;
    const auto &items = FTokenBuffers;
    const StringView t0 = items[0];
    const StringView t1 = n > 1 ? StringView(items[1]) : StringView();
    const StringView t2 = n > 2 ? StringView(items[2]) : StringView();
    const TKeyword u0(t0);
    const TKeyword u1(t1);

    // The most common statements first; a statement of one word is none.
    if (n > 1 && (u0 == u"INSERT" || u0 == u"UPDATE" || u0 == u"DELETE" || u0 == u"SELECT" || u0 == u"EXECUTE" ||
                  u0 == u"WITH" || u0 == u"MERGE" || u0 == u"TRUNCATE"))
        return stmtDML;
    // Keywords in any case: a word that the terminator does not follow
    // directly keeps the case it was written in.
    if (u0 == u"COMMIT" || u0 == u"ROLLBACK") {
        const bool commit = u0 == u"COMMIT";
        int i = 1;
        if (i < n && SameTextAscii(Token(i), u"WORK")) ++i;
        if (i == n) return commit ? stmtCOMMIT : stmtROLLBACK;
        const StringView word = Token(i);
        // RETAIN [SNAPSHOT] is Firebird's spelling, RETAINING InterBase's.
        if ((SameTextAscii(word, u"RETAINING") && i + 1 == n) ||
            (SameTextAscii(word, u"RETAIN") &&
             (i + 1 == n || (i + 2 == n && SameTextAscii(Token(i + 1), u"SNAPSHOT")))))
            return commit ? stmtCOMMITRetaining : stmtROLLBACKRetaining;
        // ROLLBACK [WORK] TO [SAVEPOINT] name
        if (!commit && SameTextAscii(word, u"TO")) {
            ++i;
            if (i < n && SameTextAscii(Token(i), u"SAVEPOINT")) ++i;
            if (i + 1 == n) return stmtRollbackSavePoint;
        }
        return stmtERR;
    }
    if (u0 == u"RECONNECT") return stmtReconnect;
    if (u0 == u"SAVEPOINT") return stmtStartSavepoint;
    if (u0 == u"EXIT") return n == 1 ? stmtExit : stmtERR;
    if (u0 == u"QUIT") return n == 1 ? stmtQuit : stmtERR;
    // isql's commands that show things or send what it shows elsewhere.
    if (u0 == u"SHOW" || u0 == u"HELP" || Abbreviates(u0, u"OUTPUT", 3)) return stmtIsqlCommand;
    // Those whose effect lies outside the session: an editor, a shell,
    // files written from blobs.
    if (u0 == u"EDIT" || u0 == u"SHELL" || u0 == u"BLOBDUMP" || u0 == u"BLOBVIEW") {
        Problem = kNotCarriedOutMessage;
        return stmtERR;
    }
    if (u0 == u"SET") {
        // An isql switch: alone it toggles, or it takes ON or OFF.
        const bool isSwitch = n == 2 || (n == 3 && IsOnOrOff(t2));
        if (n == 1) return stmtIsqlCommand;  // lists isql's settings
        if (u1 == u"GENERATOR") return stmtDDL;
        if (u1 == u"STATISTICS") {
            if (n >= 3 && SameTextAscii(t2, u"INDEX")) return stmtDDL;
            return n == 3 ? stmtSET : stmtERR;
        }
        if (Abbreviates(u1, u"TERMINATOR", 4)) return n == 3 ? stmtTERM : stmtERR;
        if (u1 == u"SQL") return n == 4 && SameTextAscii(t2, u"DIALECT") ? stmtSET : stmtERR;
        if (Abbreviates(u1, u"AUTODDL", 4) || u1 == u"PLANONLY" || Abbreviates(u1, u"KEEP_TRAN_PARAMS", 9))
            return isSwitch ? stmtSET : stmtERR;
        if (u1 == u"NAMES") return n <= 3 ? stmtSET : stmtERR;
        if (u1 == u"SAVEPOINTS") return n == 3 ? stmtSET : stmtERR;
        if (u1 == u"MAXROWS" || u1 == u"ROWCOUNT") return n == 2 || (n == 3 && IsRowCount(t2)) ? stmtSET : stmtERR;
        if (Abbreviates(u1, u"TRANSACTION", 5)) return stmtSetTransaction;
        if (IsServerSet(u1)) return stmtServerSET;
        if (u1 == u"TIME") {
            if (n >= 3 && SameTextAscii(t2, u"ZONE")) return stmtServerSET;
            return isSwitch ? stmtIsqlCommand : stmtERR;
        }
        // Firebird 5's isql ends PSQL statements on its own with AUTOTERM on;
        // a script written for that is cut differently here. Off is what
        // happens anyway.
        if (u1 == u"AUTOTERM") {
            if (n == 3 && SameTextAscii(t2, u"OFF")) return stmtIsqlCommand;
            Problem = kNotCarriedOutMessage;
            return stmtERR;
        }
        // Rows typed after it are data for isql's own insert loop.
        if (u1 == u"BULK_INSERT") {
            Problem = kNotCarriedOutMessage;
            return stmtERR;
        }
        if (IsIsqlDisplaySetting(u1)) return stmtIsqlCommand;
        return stmtERR;
    }
    if (Abbreviates(u0, u"INPUT", 2) && n > 1) return stmtINPUT;
    if (n == 1) return stmtERR;
    if (u0 == u"BATCH") {
        if (u1 == u"START") return stmtBatchStart;
        if (u1 == u"EXECUTE") return stmtBatchExecute;
        return stmtERR;
    }
    if (u0 == u"RELEASE" && u1 == u"SAVEPOINT") return stmtReleaseSavePoint;
    if (u0 == u"CONNECT") return stmtCONNECT;
    if (u0 == u"CREATE" && (u1 == u"DATABASE" || u1 == u"SCHEMA")) return stmtCREATE;
    if (u0 == u"DROP" && u1 == u"DATABASE") return stmtDrop;
    // Firebird 4's session reset rolls back the transaction it runs in,
    // with no more than a warning: in a script that is the script's own
    // work, lost while the run goes on. isql always holds a transaction of
    // its own open besides, so the server refuses it there; here it is
    // refused before it is sent.
    if (u0 == u"ALTER" && u1 == u"SESSION") {
        Problem = kNotCarriedOutMessage;
        return stmtERR;
    }
    if (u0 == u"DECLARE" || u0 == u"CREATE" || u0 == u"ALTER" || u0 == u"GRANT" || u0 == u"REVOKE" ||
        u0 == u"DROP" || u0 == u"RECREATE")
        return stmtDDL;
    if (u0 == u"COMMENT" && u1 == u"ON") return stmtDDL;
    return stmtERR;
}

void TIBSQLParser::FollowPlanOnly() {
    if (TokenCount() == 2) FPlanOnly = !FPlanOnly;
    else FPlanOnly = SameTextAscii(Token(2), u"ON");
}

String TIBSQLParser::StatementProblem(TIBParseKind AKind) const {
    if (FEndedInQuote) return kStringNotClosed;
    if (FEndedInComment) return kCommentNotClosed;
    // With the terminator ";" a last statement without it still runs; after
    // SET TERM the rest of the file would run as one statement.
    if (FEndedByFile && !FTerminator.empty() && FTerminator != u";") return Format(kNoTerminatorMessage, {FTerminator});
    // Statements sent with parameters: under SET PLANONLY they are only
    // prepared, as they stand.
    if ((AKind != stmtDML && AKind != stmtServerSET) || FPlanOnly) return String();
    // A statement without ":" or "?" outside its strings and comments holds
    // no marker.
    if (!FMarkerCharacterSeen) return String();
    const TParamMarkerScan scan = ScanParamMarkers(*FStmtText);
    if (!scan.Problem.empty()) return scan.Problem;
    for (const TParamMarker &marker : scan.Markers) {
        if (!FParamMarkersAllowed)
            return Format(kParameterMarkerMessage, {FStmtText->substr(marker.Start, marker.End - marker.Start)});
        if (marker.Name.empty()) return kParameterNameExpected;
    }
    return String();
}

// ---------------------------------------------------------------------------
// Included files

String TIBSQLParser::InputFileName() const {
    // A name written last before the terminator was stored upper-cased; file
    // names are case-sensitive here, so the spelling as written comes first.
    const String written = StripQuotes(FUpperTokenIndex == 1 ? FUpperTokenAsWritten : Token(1));
    const String upper = FUpperTokenIndex == 1 ? StripQuotes(Token(1)) : String();
    // A relative name is looked for in the folder of the file holding the
    // INPUT first, then in the current directory.
    const String folder = written.empty() || written.front() == u'/' ? String() : FolderOf(CurrentFileName());
    std::vector<String> candidates = {folder + written};
    if (!upper.empty()) candidates.push_back(folder + upper);
    if (!folder.empty()) {
        candidates.push_back(written);
        if (!upper.empty()) candidates.push_back(upper);
    }
    for (const String &name : candidates)
        if (FileExists(name)) return name;
    return candidates.front();
}

void TIBSQLParser::LoadInputFile() {
    const String name = InputFileName();
    // A file that is open already (the main script or an including file)
    // would include itself for ever.
    const String canonical = CanonicalName(name);
    bool open = !FScriptFileName.empty() && CanonicalName(FScriptFileName) == canonical;
    for (const auto &file : FInputs) open = open || file->CanonicalName == canonical;
    if (open) RaiseCannotOpen(name, kIncludesItselfReason);

    auto file = std::make_unique<TInputFile>();
    LoadLinesFromFile(name, file->Lines);
    file->CanonicalName = canonical;
    file->NameIndex = static_cast<int32_t>(FFileNames.size());
    FFileNames.push_back(name);
    // What follows the INPUT statement on its line stays pending and is read
    // first (as isql does); the included file's lines come after it.
    FInputs.push_back(std::move(file));
}

}  // namespace vantrel
