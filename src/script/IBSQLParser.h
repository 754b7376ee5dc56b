// TIBSQLParser: cuts an interactive-SQL style update script into classified
// statements. It holds the script as a list of lines, feeds them into a
// pending text buffer, follows SET TERM, keeps procedure and trigger bodies
// whole, drops leading comments, splices in files named by INPUT and hands
// every statement to its owner through a callback. The owner may pause the
// loop from a callback and resume it later by clearing Paused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Component.h"
#include "platform/Strings.h"
#include "platform/Text.h"

namespace vantrel {

// Statement kinds. The ordinals are fixed; stmtUNK is never produced but
// keeps its place.
enum TIBParseKind : int32_t {
    stmtDDL,
    stmtDML,
    stmtSET,
    stmtCONNECT,
    stmtDrop,
    stmtCREATE,
    stmtINPUT,
    stmtUNK,
    stmtEMPTY,
    stmtTERM,
    stmtERR,
    stmtCOMMIT,
    stmtROLLBACK,
    stmtReconnect,
    stmtRollbackSavePoint,
    stmtReleaseSavePoint,
    stmtStartSavepoint,
    stmtCOMMITRetaining,
    stmtROLLBACKRetaining,
    stmtBatchStart,
    stmtBatchExecute,
    stmtServerSET,
    stmtSetTransaction
};

// Statement callback: kind and text of one statement.
using TIBSQLParseStmt = std::function<void(TComponent *Sender, TIBParseKind AKind, const String &SQLText)>;
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
    // Copies the lines and rewinds (not paused, nothing included).
    void SetScript(const TStringList &Value);

    const String &Terminator() const { return FTerminator; }
    void SetTerminator(const String &Value) { FTerminator = Value; }

    bool Paused() const { return FPaused; }
    // Clearing a set flag resumes the loop at once, on the caller's stack.
    void SetPaused(bool Value);

    const TIBSQLParseStmt &OnParse() const { return FOnParse; }
    void SetOnParse(TIBSQLParseStmt Value) { FOnParse = std::move(Value); }
    const TIBSQLParseError &OnError() const { return FOnError; }
    void SetOnError(TIBSQLParseError Value) { FOnError = std::move(Value); }

    // Valid during a callback: the statement's line number in the main
    // script (1-based) and its tokens.
    int32_t CurrentLine() const { return LineIndex; }
    const TStringList &CurrentTokens() const { return FTokens; }
    // Lines of the main script read so far (an included file's lines do
    // not count), for showing how far a run has come.
    int32_t LinesRead() const { return ScriptIndex; }

    // Runs the script from its first line; text left pending by an earlier
    // run that was paused is read first.
    void Parse();

protected:
    virtual void NotifyStatement(TIBParseKind AKind, const String &SQLText);
    virtual void NotifyError(const String &Error, const String &SQLText);

private:
    bool AppendNextLines();
    void RunParseLoop();
    bool ReadStatement();
    bool SkipLeadingComments();
    void ReportUnclosedComment();
    void ReadToken();
    TIBParseKind ClassifyStatement() const;
    void LoadInputFile();

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

    void AddToken(String token, size_t textPos);
    bool BodyComplete() const;
    String InputFileName() const;

    TStringList FScript;
    TStringList FInput;
    String FTerminator;
    bool FPaused = false;
    TStringList FTokens;
    String FWork;
    size_t FWorkPos = 0;
    int32_t ScriptIndex = 0;
    int32_t ImportIndex = 0;
    int32_t LineIndex = 0;
    bool InInput = false;
    TIBSQLParseStmt FOnParse;
    TIBSQLParseError FOnError;

    // Scanning state of one statement read.
    bool FInSingleQuote = false;
    bool FInDoubleQuote = false;
    bool FInComment = false;
    bool FBodyMode = false;
    bool FComplete = false;
    bool FLineCommentDropped = false;
    String FText;             // statement text collected so far
    size_t FSemicolonPos = 0;  // where the ";" closing a body begins in FText
    // The last token of a statement is stored upper-cased when the terminator
    // follows it directly; its spelling as written is kept for file names.
    int FUpperTokenIndex = -1;
    String FUpperTokenAsWritten;

    // Included files read since the main script last named one, with the
    // state each was entered in; entering one again in the same state would
    // repeat forever.
    struct TInputVisit {
        String FileName;
        String Terminator;
        String Pending;
    };
    std::vector<TInputVisit> FInputChain;
};

}  // namespace vantrel
