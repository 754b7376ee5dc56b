// The script parser: lines -> pending text -> tokens -> classified statements.
//
// The pending text FWork is consumed from the front by advancing FWorkPos;
// it is compacted only when new lines are appended and at least half of it
// is consumed, so reading a script costs time linear in its size.
#include "script/IBSQLParser.h"

#include <filesystem>
#include <system_error>

#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"

namespace vantrel {

namespace {

constexpr StringView kCRLF = u"\r\n";

bool HasNonWhite(StringView text) {
    for (char16_t c : text)
        if (!IsWhite(c)) return true;
    return false;
}

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

}  // namespace

TIBSQLParser::TIBSQLParser(TComponent *AOwner) : TComponent(AOwner), FTerminator(u";") {}

TIBSQLParser::~TIBSQLParser() = default;

void TIBSQLParser::SetScript(const TStringList &Value) {
    FScript.Assign(Value);
    FPaused = false;
    ScriptIndex = 0;
    ImportIndex = 0;
    FInput.Clear();
    FInputChain.clear();
}

void TIBSQLParser::SetPaused(bool Value) {
    if (FPaused == Value) return;
    FPaused = Value;
    if (!FPaused) RunParseLoop();
}

void TIBSQLParser::Parse() {
    ScriptIndex = 0;
    ImportIndex = 0;
    FInput.Clear();
    FInputChain.clear();
    FPaused = false;
    RunParseLoop();
}

void TIBSQLParser::NotifyStatement(TIBParseKind AKind, const String &SQLText) {
    if (FOnParse) FOnParse(this, AKind, SQLText);
}

void TIBSQLParser::NotifyError(const String &Error, const String &SQLText) {
    if (FOnError) FOnError(this, Error, SQLText, LineIndex);
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
    FWork.clear();
    FWorkPos = 0;
}

void TIBSQLParser::CompactWork() {
    // Moving the rest costs no more than what was consumed since the last
    // compaction, which keeps the total linear.
    if (FWorkPos > 0 && FWorkPos * 2 >= FWork.size()) {
        FWork.erase(0, FWorkPos);
        FWorkPos = 0;
    }
}

bool TIBSQLParser::LinesLeft() const { return ScriptIndex < FScript.Count() || ImportIndex < FInput.Count(); }

bool TIBSQLParser::AppendNextLines() {
    const TStringList *source;
    int32_t *index;
    if (FInput.Count() > ImportIndex) {
        source = &FInput;
        index = &ImportIndex;
        InInput = true;
    } else {
        source = &FScript;
        index = &ScriptIndex;
        InInput = false;
    }
    if (*index < 0) *index = 0;
    if (*index >= source->Count()) return false;

    CompactWork();
    bool nonWhite = WorkHasNonWhite();
    const auto &lines = source->Items();
    do {
        const String &line = lines[static_cast<size_t>(*index)];
        FWork.reserve(FWork.size() + kCRLF.size() + line.size());
        FWork += kCRLF;
        FWork += line;
        ++*index;
        if (!nonWhite) nonWhite = HasNonWhite(line);
    } while (*index < source->Count() && !nonWhite);

    // An included file that ended in blank lines hands over to the main
    // script.
    if (source == &FInput && !nonWhite) AppendNextLines();
    return true;
}

// ---------------------------------------------------------------------------
// The loop

void TIBSQLParser::RunParseLoop() {
    while (!FPaused && (LinesLeft() || WorkHasNonWhite())) {
        if (!ReadStatement()) continue;
        TIBParseKind kind = ClassifyStatement();
        // The callbacks get texts of their own: a callback that resumes the
        // loop re-enters it and reuses the parser's buffers.
        switch (kind) {
        case stmtEMPTY:
            break;
        case stmtSET:
        case stmtSetTransaction: {
            String text;
            for (int i = 1; i < FTokens.Count(); ++i) {
                text += FTokens[i];
                text += u' ';
            }
            NotifyStatement(kind, TrimLeft(text));
            break;
        }
        case stmtTERM: {
            String terminator = FTokens[2];
            NotifyStatement(kind, terminator);
            FTerminator = terminator;
            break;
        }
        case stmtERR: {
            String text = FText;
            NotifyError(u"Invalid statement", text);
            break;
        }
        case stmtINPUT: {
            String text = FText;
            try {
                LoadInputFile();
            } catch (const Exception &e) {
                FInput.Clear();
                ImportIndex = 0;
                NotifyError(e.Message(), text);
            }
            break;
        }
        default: {
            String text;
            text.swap(FText);
            NotifyStatement(kind, text);
            // Hand the buffer back for the next statement.
            text.clear();
            FText.swap(text);
            break;
        }
        }
    }
}

bool TIBSQLParser::ReadStatement() {
    FTokens.Clear();
    FText.clear();
    FUpperTokenIndex = -1;
    if (!WorkHasNonWhite()) AppendNextLines();
    if (!InInput) LineIndex = ScriptIndex;

    if (!SkipLeadingComments()) {
        ReportUnclosedComment();
        return false;
    }

    FInSingleQuote = FInDoubleQuote = FInComment = false;
    FBodyMode = false;
    FComplete = false;
    FSemicolonPos = 0;
    FLineCommentDropped = false;
    while (!FComplete) {
        if (WorkEmpty() && !AppendNextLines()) break;
        if (FLineCommentDropped) {
            // A block comment on the line after a dropped "--" line is a
            // leading comment too; read as a token it would make the
            // statement invalid. The line break before it stays in the text
            // so that the "--" line still ends where it did.
            FLineCommentDropped = false;
            size_t p = FWorkPos;
            while (p < FWork.size() && IsWhite(FWork[p])) ++p;
            if (FWork.size() - p >= 2 && FWork[p] == u'/' && FWork[p + 1] == u'*') {
                if (!SkipLeadingComments()) {
                    FTokens.Clear();
                    ReportUnclosedComment();
                    return false;
                }
                FText += kCRLF;
                continue;
            }
        }
        ReadToken();
    }
    // A body whose END; is the last thing in the script ends before the ";"
    // just as if another token had followed.
    if (!FComplete && FBodyMode && BodyComplete()) FText.resize(FSemicolonPos);
    return true;
}

void TIBSQLParser::ReportUnclosedComment() {
    NotifyError(u"Invalid Comment", String());
    // An owner that pauses here keeps the unclosed comment pending, as it may
    // add lines that close it. Without a pause no line is left that could
    // ever close it: drop it so that the loop ends instead of reporting it
    // again forever.
    if (!FPaused && !LinesLeft()) ClearWork();
}

bool TIBSQLParser::SkipLeadingComments() {
    TrimWorkLeft();
    while (WorkSize() >= 2 && FWork[FWorkPos] == u'/' && FWork[FWorkPos + 1] == u'*') {
        // Offsets relative to FWorkPos: appending lines may compact FWork.
        size_t searched = 0;
        size_t found;
        while ((found = FWork.find(u"*/", FWorkPos + searched)) == String::npos) {
            searched = WorkSize() - 1;
            if (!AppendNextLines()) return false;
        }
        ConsumeWork(found - FWorkPos + 2);
        TrimWorkLeft();
        if (WorkEmpty()) AppendNextLines();
        TrimWorkLeft();
    }
    TrimWorkLeft();
    return true;
}

bool TIBSQLParser::BodyComplete() const {
    int n = FTokens.Count();
    if (n >= 2 && FTokens[n - 1] == u";" && SameTextAscii(FTokens[n - 2], u"END")) return true;
    return n == 5 && SameTextAscii(FTokens[0], u"ALTER") && SameTextAscii(FTokens[1], u"TRIGGER") &&
           (SameTextAscii(FTokens[3], u"ACTIVE") || SameTextAscii(FTokens[3], u"INACTIVE")) && FTokens[4] == u";";
}

void TIBSQLParser::AddToken(String token, size_t textPos) {
    if (FBodyMode && token == u";") FSemicolonPos = textPos;
    FTokens.Add(std::move(token));
}

void TIBSQLParser::ReadToken() {
    const char16_t *w = FWork.data() + FWorkPos;
    const size_t n = WorkSize();
    const char16_t *term = FTerminator.data();
    const size_t termLen = FTerminator.size();
    // The token list does not change while one token is read. The scanning
    // state lives in locals here and is stored back when the token ends.
    const bool bodyMode = FBodyMode;
    const bool bodyComplete = bodyMode && BodyComplete();
    bool inSingle = FInSingleQuote, inDouble = FInDoubleQuote, inComment = FInComment;
    size_t i = 0;
    bool ended = false;

    while (i < n && !ended) {
        const char16_t c = w[i];
        if (!inSingle && !inDouble && !inComment) {
            if (!bodyMode) {
                // An empty terminator never matches (it would end a
                // statement at every position without consuming anything).
                if (termLen > 0 && c == term[0] && n - i >= termLen &&
                    StringView(w + i, termLen) == StringView(term, termLen)) {
                    size_t first, last;
                    TrimBounds(w, i, first, last);
                    String asWritten(w + first, last - first);
                    FText.append(w, i);
                    ConsumeWork(i + termLen);
                    if (!asWritten.empty()) {
                        String upper = UpperCaseFull(asWritten);
                        if (upper != asWritten) {
                            FUpperTokenIndex = FTokens.Count();
                            FUpperTokenAsWritten = std::move(asWritten);
                        }
                        FTokens.Add(std::move(upper));
                    }
                    FComplete = true;
                    FInSingleQuote = FInDoubleQuote = FInComment = false;
                    return;
                }
            } else if (bodyComplete) {
                // The body ends at its final ";"; what follows it (including
                // a token begun here) stays pending for the next statement.
                FText.resize(FSemicolonPos);
                FBodyMode = false;
                FComplete = true;
                FInSingleQuote = FInDoubleQuote = FInComment = false;
                return;
            }
            // Only blanks, quotes and "/" matter outside quoted runs and
            // comments.
            if (c > u'\'' && c != u'/') {
                ++i;
                continue;
            }
        }
        // Block comments: "/*" opens one outside quoted runs, "*/" closes it.
        if (c == u'/') {
            if (i + 1 < n && !inSingle && !inDouble && w[i + 1] == u'*') inComment = true;
            if (inComment && i > 0 && w[i - 1] == u'*') inComment = false;
        }
        if (!inComment) {
            if (c == u' ') {
                if (!inSingle && !inDouble) ended = true;
            } else if (c == u'"') {
                if (!inSingle) {
                    if (inDouble) ended = true;
                    inDouble = !inDouble;
                }
            } else if (c == u'\'') {
                if (!inDouble) {
                    if (inSingle) ended = true;
                    inSingle = !inSingle;
                }
            }
        }
        ++i;
    }
    FInSingleQuote = inSingle;
    FInDoubleQuote = inDouble;
    FInComment = inComment;
    while (i < n && IsWhite(w[i])) ++i;

    size_t first, last;
    TrimBounds(w, i, first, last);
    const size_t textPos = FText.size() + first;
    FText.append(w, i);
    if (first == last) {
        ConsumeWork(i);
        return;
    }
    AddToken(String(w + first, last - first), textPos);
    ConsumeWork(i);
    const int count = FTokens.Count();
    const String &token = FTokens[count - 1];
    if (count == 2 && FTerminator == u";" &&
        (SameTextAscii(FTokens[0], u"CREATE") || SameTextAscii(FTokens[0], u"ALTER")) &&
        (SameTextAscii(FTokens[1], u"PROCEDURE") || SameTextAscii(FTokens[1], u"TRIGGER")))
        FBodyMode = true;

    if (FBodyMode && token.back() == u';') {
        // END; and ALTER TRIGGER name [IN]ACTIVE; carry the closing ";" of
        // the body; it becomes a token of its own.
        size_t keep = 0;
        if (UpperCaseFull(token) == u"END;")
            keep = 3;
        else if (count == 4 && SameTextAscii(FTokens[0], u"ALTER") && SameTextAscii(FTokens[1], u"TRIGGER")) {
            if (SameTextAscii(token, u"ACTIVE;"))
                keep = 6;
            else if (SameTextAscii(token, u"INACTIVE;"))
                keep = 8;
        }
        if (keep > 0) {
            FTokens.Put(count - 1, String(StringView(token).substr(0, keep)));
            AddToken(u";", textPos + keep);
        }
    }

    if (count == 1 && FTokens[0] == u"--") {
        // A line comment before the statement: drop the rest of the line.
        FTokens.Clear();
        ClearWork();
        FLineCommentDropped = true;
    }
}

// ---------------------------------------------------------------------------
// Classification

TIBParseKind TIBSQLParser::ClassifyStatement() const {
    const int n = FTokens.Count();
    if (n == 0) return stmtEMPTY;
    const auto &items = FTokens.Items();
    const StringView t0 = items[0];
    const StringView t1 = n > 1 ? StringView(items[1]) : StringView();
    const StringView t2 = n > 2 ? StringView(items[2]) : StringView();
    const StringView t3 = n > 3 ? StringView(items[3]) : StringView();
    const String u0 = AsciiUpper(t0);
    const String u1 = AsciiUpper(t1);

    if (u0 == u"COMMIT") {
        if (n != 2) return stmtCOMMIT;
        if (t1 == u"RETAINING") return stmtCOMMITRetaining;
        if (t1 == u"WORK") return stmtCOMMIT;
        return stmtERR;
    }
    if (u0 == u"ROLLBACK") {
        if (n == 1) return stmtROLLBACK;
        if (n == 2 && t1 == u"RETAINING") return stmtROLLBACKRetaining;
        if ((n == 4 && SameTextAscii(t1, u"TO") && SameTextAscii(t2, u"SAVEPOINT")) ||
            (n == 5 && SameTextAscii(t2, u"TO") && SameTextAscii(t3, u"SAVEPOINT")))
            return stmtRollbackSavePoint;
        return stmtERR;
    }
    if (u0 == u"RECONNECT") return stmtReconnect;
    if (u0 == u"SAVEPOINT") return stmtStartSavepoint;
    if (n == 1) return stmtERR;
    if (u0 == u"BATCH") {
        if (u1 == u"START") return stmtBatchStart;
        if (u1 == u"EXECUTE") return stmtBatchExecute;
        return stmtERR;
    }
    if (u0 == u"RELEASE" && u1 == u"SAVEPOINT") return stmtReleaseSavePoint;
    if (u0 == u"INSERT" || u0 == u"DELETE" || u0 == u"SELECT" || u0 == u"UPDATE" || u0 == u"EXECUTE" ||
        u0 == u"WITH" || u0 == u"TRUNCATE")
        return stmtDML;
    if (u0 == u"INPUT") return stmtINPUT;
    if (u0 == u"CONNECT") return stmtCONNECT;
    if (u0 == u"CREATE" && (u1 == u"DATABASE" || u1 == u"SCHEMA")) return stmtCREATE;
    if (u0 == u"DROP" && u1 == u"DATABASE") return stmtDrop;
    if (u0 == u"DECLARE" || u0 == u"CREATE" || u0 == u"ALTER" || u0 == u"GRANT" || u0 == u"REVOKE" ||
        u0 == u"DROP")
        return stmtDDL;
    if (u0 == u"SET") {
        if (u1 == u"GENERATOR") return stmtDDL;
        if (u1 == u"STATISTICS" && n >= 3 && SameTextAscii(t2, u"INDEX")) return stmtDDL;
        if (u1 == u"TERM") return n == 3 ? stmtTERM : stmtERR;
        if (u1 == u"SQL") return n == 4 && SameTextAscii(t2, u"DIALECT") ? stmtSET : stmtERR;
        if (u1 == u"AUTODDL" || u1 == u"STATISTICS" || u1 == u"NAMES" || u1 == u"SAVEPOINTS")
            return n == 3 ? stmtSET : stmtERR;
        if (u1 == u"PASSWORD" || u1 == u"SUBSCRIPTION") return stmtServerSET;
        if (u1 == u"TRANSACTION") return stmtSetTransaction;
    }
    return stmtERR;
}

// ---------------------------------------------------------------------------
// Included files

String TIBSQLParser::InputFileName() const {
    String name = FTokens[1];
    // A name written last before the terminator was stored upper-cased; file
    // names are case-sensitive here, so the spelling as written comes first.
    if (FUpperTokenIndex == 1) {
        String written = FUpperTokenAsWritten;
        if (FileExists(written) || !FileExists(name)) name = written;
    }
    if (!name.empty() && (name.front() == u'\'' || name.front() == u'"')) name.erase(0, 1);
    if (!name.empty() && (name.back() == u'\'' || name.back() == u'"')) name.pop_back();
    return name;
}

void TIBSQLParser::LoadInputFile() {
    FInput.Clear();
    ImportIndex = 0;
    String name = InputFileName();

    // No stack of included files: an INPUT inside an included file replaces
    // the rest of it. A chain of such files that comes back to a file in the
    // state it was entered in would repeat forever.
    if (!InInput) FInputChain.clear();
    TInputVisit visit{CanonicalName(name), FTerminator, String(StringView(FWork).substr(FWorkPos))};
    for (const auto &v : FInputChain)
        if (v.FileName == visit.FileName && v.Terminator == visit.Terminator && v.Pending == visit.Pending)
            throw EFOpenError(Format(u"Cannot open file \"%s\". %s",
                                     {ExpandFileName(name), String(u"The file includes itself through INPUT")}));

    LoadLinesFromFile(name, FInput);
    FInputChain.push_back(std::move(visit));
}

}  // namespace vantrel
