// TIBSQLParser: cuts an interactive-SQL style update script into classified
// statements. It holds the script as a list of lines, feeds them into a
// pending text buffer, follows SET TERM, keeps procedure and trigger bodies
// whole, passes over comments, runs files named by INPUT (which may nest)
// and hands every statement to its owner through a callback, or reports
// what keeps it from running as isql-fb would run it (the end of the file
// inside it, a parameter marker, an isql command a run cannot carry out)
// through the error callback. It follows SET PLANONLY. The owner may
// pause the loop from a callback and resume it later by clearing Paused.
// For the statement being handled it tells where it is: file, line and the
// statement's first line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Component.h"
#include "platform/Strings.h"
#include "platform/Text.h"
#include "script/ScriptTypes.h"

namespace vantrel {

// isql takes its command words shortened down to their first `Least`
// letters (AUTO for AUTODDL, TERM for TERMINATOR, IN for INPUT); ASCII
// letters in any case.
bool AbbreviatesCommand(StringView Word, StringView Full, size_t Least);

// Statement callback: kind and text of one statement.
using TIBSQLParseStmt = std::function<void(TComponent *Sender, TIBParseKind AKind, const String &SQLText)>;
// The parser's own messages (others are the texts of failed INPUT files).
inline constexpr const char16_t *kInvalidStatementMessage = u"Invalid statement";
inline constexpr const char16_t *kInvalidCommentMessage = u"Invalid Comment";
// An isql command whose effect a script run does not have (SHELL, EDIT,
// SET BULK_INSERT, SET AUTOTERM ON, ...): refused rather than skipped.
inline constexpr const char16_t *kNotCarriedOutMessage = u"Cannot be carried out in a script";
// Why a file named by INPUT is not read: it is open already (the main script
// or a file including it).
inline constexpr const char16_t *kIncludesItselfReason = u"The file includes itself through INPUT";
// A ":name" or "?" in a statement: nobody supplies values to a script.
inline constexpr const char16_t *kParameterMarkerMessage = u"Parameter marker %s has no value in a script";
// The file ended inside a statement while SET TERM had changed the
// terminator: what follows would otherwise be cut differently.
inline constexpr const char16_t *kNoTerminatorMessage = u"End of file before the terminator \"%s\"";
// Error callback: message, offending text and the main-script line number.
using TIBSQLParseError =
    std::function<void(TComponent *Sender, const String &Error, const String &SQLText, int32_t LineIndex)>;

class TIBSQLParser : public TComponent {
public:
    explicit TIBSQLParser(TComponent *AOwner);
    ~TIBSQLParser() override;

    // The main script itself, so that a caller can load a file into it.
    TStringList &Script() { return FScript; }
    const TStringList &Script() const { return FScript; }
    // Copies the lines and rewinds (not paused, nothing included); the
    // lines are no longer those of a file.
    void SetScript(const TStringList &Value);
    // Loads the file into the script. Relative names in its INPUT
    // statements resolve against the file's folder first.
    void LoadFromFile(const String &FileName);
    const String &ScriptFileName() const { return FScriptFileName; }
    // For a script that is run once: its lines are emptied as they are read
    // (their count stays), so that a large script is not held beside the
    // statements cut from it. Lines of included files are always let go.
    void SetReleaseReadLines(bool Value) { FReleaseReadLines = Value; }

    const String &Terminator() const { return FTerminator; }
    void SetTerminator(const String &Value) { FTerminator = Value; }

    // SET PLANONLY: statements the server runs are only prepared. The
    // parser follows it as it follows SET TERM (the owner asks it); a parse
    // starts with it off.
    bool PlanOnly() const { return FPlanOnly; }
    void SetPlanOnly(bool Value) { FPlanOnly = Value; }
    // Whether statements may hold parameter markers (an owner that fills
    // their values in). When not, a marker in a statement that would be sent
    // with parameters is a problem reported with its line.
    bool ParamMarkersAllowed() const { return FParamMarkersAllowed; }
    void SetParamMarkersAllowed(bool Value) { FParamMarkersAllowed = Value; }

    bool Paused() const { return FPaused; }
    // Clearing a set flag resumes the loop at once, on the caller's stack.
    void SetPaused(bool Value);

    const TIBSQLParseStmt &OnParse() const { return FOnParse; }
    void SetOnParse(TIBSQLParseStmt Value) { FOnParse = std::move(Value); }
    const TIBSQLParseError &OnError() const { return FOnError; }
    void SetOnError(TIBSQLParseError Value) { FOnError = std::move(Value); }

    // Valid during a callback: the statement's line number in the main
    // script (1-based) and its tokens (of a statement of more than 256,
    // the first 254 and the last two).
    int32_t CurrentLine() const { return LineIndex; }
    const TStringList &CurrentTokens() const;
    // Valid during a callback: the statement's text as read (also for a SET
    // statement, whose callback text is its words after SET).
    const String &StatementText() const;
    // The text a statement callback received, shared instead of copied when
    // it is the parser's own (a copy of any other text).
    std::shared_ptr<const String> SharedText(const String &SQLText) const;
    // Lines of the main script read so far (an included file's lines do
    // not count), for showing how far a run has come.
    int32_t LinesRead() const { return ScriptIndex; }
    // Where the statement being handled (or the problem being reported)
    // is; it stays so after an exception from a callback left Parse.
    TScriptLocation CurrentLocation() const;

    // Runs the script from its first line; text left pending by an earlier
    // run that was paused is read first.
    void Parse();

protected:
    virtual void NotifyStatement(TIBParseKind AKind, const String &SQLText);
    virtual void NotifyError(const String &Error, const String &SQLText);

private:
    // An included file being read, with the lines fed from it so far.
    struct TInputFile {
        int32_t NameIndex = 0;  // in FFileNames
        String CanonicalName;
        TStringList Lines;
        int32_t Index = 0;
    };

    // Feeds lines of the innermost file. Within a statement the end of a
    // file ends the feeding; at a statement's start a finished included file
    // is left for the file that included it.
    bool AppendNextLines(bool AtStatementStart);
    void RunParseLoop();
    bool ReadStatement();
    bool SkipLeadingComments();
    void ReportUnclosedComment();
    void ReadToken();
    // The kind; for stmtERR also the message to report.
    TIBParseKind ClassifyStatement(StringView &Problem) const;
    // What keeps a statement from being handed on: the end of the text
    // inside it, or a parameter marker. Empty when nothing does.
    String StatementProblem(TIBParseKind AKind) const;
    // SET PLANONLY [ON|OFF] followed.
    void FollowPlanOnly();
    void LoadInputFile();
    void EndScript();
    void ResetSources();

    // FWork is the pending text from FWorkPos on; consumed text is dropped
    // lazily so that cutting statements off the front stays linear.
    size_t WorkSize() const { return FWork.size() - FWorkPos; }
    bool WorkEmpty() const { return FWorkPos >= FWork.size(); }
    bool WorkHasNonWhite() const;
    void TrimWorkLeft();
    void ConsumeWork(size_t count);
    void ClearWork();
    void CompactWork();
    bool LinesLeft() const;
    bool SourceHasLines() const;
    // Line (in the file of the pending text) of FWork[pos]; pos never goes
    // back between calls, so counting line breaks stays linear.
    int32_t LineAt(size_t pos);
    void NoteStatementStart(int32_t line);

    void AddToken(StringView token, size_t textPos);
    void KeepToken(StringView token);
    void ClearTokens();
    int TokenCount() const { return FTokenCount; }
    const String &Token(int index) const { return FTokenBuffers[static_cast<size_t>(index)]; }
    // Empties a line that was fed (its count stays).
    void ReleaseLine(TStringList &source, int32_t index);
    // Characters of released lines after which their memory goes back.
    static constexpr size_t kReturnMemoryEvery = size_t{4} << 20;
    // Adds to the statement's text (FText) what was read of the pending text.
    void AppendText(const char16_t *text, size_t count) {
        const size_t needed = FText.size() + count;
        if (needed > FText.capacity() && needed > kLargeText) ReserveForLargeText();
        FText.append(text, count);
    }
    void ReserveForLargeText();
    // Characters that can still join the statement being read: the pending
    // text and the lines of its file not fed yet, each with its CR LF.
    size_t TextStillToCome() const;
    // Characters from which a statement's text counts as large.
    static constexpr size_t kLargeText = size_t{1} << 20;
    // The statement just read becomes the current one (FStmtText).
    void TakeStatementText();
    // Tokens kept of one statement: the first ones and the last two.
    static constexpr int kTokenLimit = 256;
    bool BodyComplete() const;
    String InputFileName() const;
    const String &CurrentFileName() const;

    TStringList FScript;
    String FScriptFileName;
    bool FReleaseReadLines = false;
    size_t FReleasedChars = 0;  // of lines released since memory was last returned
    String FTerminator;
    bool FPlanOnly = false;
    bool FParamMarkersAllowed = false;
    bool FPaused = false;
    // The tokens of the statement read: the first FTokenCount buffers. The
    // list handed out is made from them when asked for.
    std::vector<String> FTokenBuffers;
    int FTokenCount = 0;
    mutable TStringList FTokenList;
    mutable bool FTokenListStale = false;
    String FWork;
    size_t FWorkPos = 0;
    int32_t ScriptIndex = 0;
    int32_t LineIndex = 0;
    bool InInput = false;
    // Included files, innermost last; the pending text belongs to the file
    // at depth FWorkDepth (0: the main script).
    std::vector<std::unique_ptr<TInputFile>> FInputs;
    size_t FWorkDepth = 0;
    // Names of the files read in this parse; 0 is the main script.
    std::vector<String> FFileNames;
    // FWork[FMarkPos] lies on line FMarkLine of its file.
    size_t FMarkPos = 0;
    int32_t FMarkLine = 0;
    // Location of the current statement. Its first line is taken from its
    // text only when asked for (FFirstLinePending).
    int32_t FStmtNameIndex = 0;
    int32_t FStmtLine = 0;
    mutable String FStmtFirstLine;
    mutable bool FFirstLinePending = false;
    // The current statement's text, shared with whoever takes it over. A
    // callback that resumes the loop re-enters it while the outer callback
    // still reads its text: the texts that callbacks are reading are pinned,
    // and a pinned text that stops being the current one is held until its
    // callback returns.
    std::shared_ptr<String> FStmtText;
    std::vector<const String *> FPinnedTexts;
    std::vector<std::shared_ptr<String>> FHeldTexts;
    class TPin;
    TIBSQLParseStmt FOnParse;
    TIBSQLParseError FOnError;

    // Scanning state of one statement read.
    bool FInSingleQuote = false;
    bool FInDoubleQuote = false;
    char16_t FQuoteCloser = 0;  // inside q'{...}': the closer before its quote
    bool FInComment = false;
    bool FBodyMode = false;
    bool FBodyCandidate = false;  // CREATE/ALTER PROCEDURE/TRIGGER before its AS
    bool FComplete = false;
    // The statement ran into the end of its file without its terminator, in
    // a quoted run or a comment (as it stood there).
    bool FEndedByFile = false;
    bool FEndedInQuote = false;
    bool FEndedInComment = false;
    // A ":" or "?" outside quoted runs and comments: the statement may hold
    // a parameter marker.
    bool FMarkerCharacterSeen = false;
    String FText;             // statement text collected so far
    size_t FSemicolonPos = 0;  // where the ";" closing a body begins in FText
    // The last token of a statement is stored upper-cased when the terminator
    // follows it directly; its spelling as written is kept for file names.
    int FUpperTokenIndex = -1;
    String FUpperTokenAsWritten;
};

}  // namespace vantrel
