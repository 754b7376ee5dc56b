// Script parser: statement cutting, tokens, line numbers, terminators,
// bodies, comments, classification, included files, pausing and the script
// file format.
#include <gtest/gtest.h>

#include <cctype>

#include <filesystem>
#include <functional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "script/IBSQLParser.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::N;
using test::TempDir;
using test::U;
using test::WriteFile;

// What the owner saw: a statement (Error false) or an error report.
struct Event {
    bool Error = false;
    TIBParseKind Kind = stmtUNK;
    std::string Text;
    std::string Message;
    int Line = -1;
    std::vector<std::string> Tokens;
};

std::ostream &operator<<(std::ostream &os, const Event &e) {
    os << (e.Error ? "error '" + e.Message + "'" : "kind " + std::to_string(e.Kind)) << " line " << e.Line
       << " text [" << e.Text << "] tokens";
    for (const auto &t : e.Tokens) os << " [" << t << "]";
    return os;
}

std::vector<std::string> Tokens(const TIBSQLParser &p) {
    std::vector<std::string> out;
    for (int i = 0; i < p.CurrentTokens().Count(); ++i) out.push_back(N(p.CurrentTokens()[i]));
    return out;
}

// Records every callback. A runaway loop fails the test instead of hanging
// it.
class Recorder {
public:
    explicit Recorder(TIBSQLParser &parser, bool pauseOnError = false) : FParser(parser) {
        parser.SetOnParse([this](TComponent *sender, TIBParseKind kind, const String &text) {
            EXPECT_EQ(sender, &FParser);
            Event e;
            e.Kind = kind;
            e.Text = N(text);
            e.Line = FParser.CurrentLine();
            e.Tokens = Tokens(FParser);
            Add(e);
        });
        parser.SetOnError([this, pauseOnError](TComponent *sender, const String &error, const String &text,
                                               int32_t line) {
            EXPECT_EQ(sender, &FParser);
            Event e;
            e.Error = true;
            e.Kind = stmtERR;
            e.Message = N(error);
            e.Text = N(text);
            e.Line = line;
            e.Tokens = Tokens(FParser);
            Add(e);
            if (pauseOnError) FParser.SetPaused(true);
        });
    }
    std::vector<Event> Events;
    std::function<void(const Event &)> After;

private:
    void Add(const Event &e) {
        Events.push_back(e);
        if (Events.size() > 1000) throw std::runtime_error("the parser does not end");
        if (After) After(e);
    }
    TIBSQLParser &FParser;
};

std::vector<Event> ParseScript(const std::string &utf8, bool pauseOnError = false) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser, pauseOnError);
    parser.Script().SetText(U(utf8));
    parser.Parse();
    return rec.Events;
}

Event Statement(TIBParseKind kind, const std::string &text, int line) {
    Event e;
    e.Kind = kind;
    e.Text = text;
    e.Line = line;
    return e;
}

Event Failure(const std::string &message, const std::string &text, int line) {
    Event e;
    e.Error = true;
    e.Kind = stmtERR;
    e.Message = message;
    e.Text = text;
    e.Line = line;
    return e;
}

// Compares kind, error, message, text and line (tokens are checked where a
// test cares about them).
void ExpectEvents(const std::vector<Event> &actual, const std::vector<Event> &expected) {
    ASSERT_EQ(actual.size(), expected.size()) << [&] {
        std::string s;
        for (const auto &e : actual) s += "\n  " + (std::ostringstream() << e).str();
        return s;
    }();
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        EXPECT_EQ(actual[i].Error, expected[i].Error) << actual[i];
        EXPECT_EQ(actual[i].Kind, expected[i].Kind) << actual[i];
        EXPECT_EQ(actual[i].Message, expected[i].Message);
        EXPECT_EQ(actual[i].Text, expected[i].Text);
        EXPECT_EQ(actual[i].Line, expected[i].Line);
    }
}

using Strings = std::vector<std::string>;

// ---------------------------------------------------------------------------

TEST(IBSQLParserCutting, ScriptsWithoutStatementsHandOnNothing) {
    for (const char *script : {"", "\n\n   \n\t\n", "-- one\n\n/* two\n three */\n-- four\n",
                               "/* a */ /* b */\n", ";;\n;\n", "-- header\n/* block */\n"}) {
        SCOPED_TRACE(script);
        EXPECT_TRUE(ParseScript(script).empty());
    }
}

TEST(IBSQLParserCutting, TextIsExactWithLinesJoinedByCRLFWhateverTheLineEnds) {
    for (const char *eol : {"\n", "\r\n", "\r"}) {
        std::string e = eol;
        auto events = ParseScript("  INSERT INTO T" + e + "  VALUES (1," + e + e + " 2);" + e +
                                  "SELECT 1 FROM RDB$DATABASE");
        ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T\r\n  VALUES (1,\r\n\r\n 2)", 1),
                              // the last statement has no terminator and is still handed on
                              Statement(stmtDML, "SELECT 1 FROM RDB$DATABASE", 5)});
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].Tokens, (Strings{"INSERT", "INTO", "T", "VALUES", "(1,", "2)"}));
        EXPECT_EQ(events[1].Tokens, (Strings{"SELECT", "1", "FROM", "RDB$DATABASE"}));
    }
}

// A statement of millions of characters, read from lines that are let go
// (and their memory returned) as they are read, arrives whole, and so do the statements around it. The
// text a callback receives is shared on request, not copied.
TEST(IBSQLParserCutting, HugeStatementArrivesWholeAndIsShared) {
    std::string script = "CREATE TABLE A (X INTEGER);\nSELECT 1 FROM RDB$DATABASE WHERE 1 = 0";
    std::string expected = "SELECT 1 FROM RDB$DATABASE WHERE 1 = 0";
    for (int i = 0; i < 80000; ++i) {
        const std::string line = "  OR 'abcdefghijklmnopqrstuvwxyz0123456789' = '" + std::to_string(i) + "'";
        script += "\n" + line;
        expected += "\r\n" + line;
    }
    script += ";\nSELECT 2 FROM RDB$DATABASE;\n";

    TIBSQLParser parser(nullptr);
    parser.Script().SetText(U(script));
    parser.SetReleaseReadLines(true);
    std::vector<std::string> texts;
    parser.SetOnParse([&](TComponent *, TIBParseKind, const String &text) {
        texts.push_back(N(text));
        EXPECT_EQ(parser.SharedText(text).get(), &text);
        const String other = text;
        const auto copy = parser.SharedText(other);
        EXPECT_NE(copy.get(), &other);
        EXPECT_EQ(*copy, other);
    });
    parser.Parse();
    EXPECT_EQ(texts, (Strings{"CREATE TABLE A (X INTEGER)", expected, "SELECT 2 FROM RDB$DATABASE"}));
}

TEST(IBSQLParserCutting, TerminatorInsideQuotesOrCommentsDoesNotEndTheStatement) {
    auto events = ParseScript(
        "INSERT INTO T VALUES ('a;b', \"c;d\") /* ; */;\n"
        "UPDATE T SET A = 'it''s; ok';\n"
        "INSERT INTO T VALUES ('multi;\nline');");
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES ('a;b', \"c;d\") /* ; */", 1),
                          Statement(stmtDML, "UPDATE T SET A = 'it''s; ok'", 2),
                          Statement(stmtDML, "INSERT INTO T VALUES ('multi;\r\nline')", 3)});
    // Comments are no tokens.
    EXPECT_EQ(events[0].Tokens, (Strings{"INSERT", "INTO", "T", "VALUES", "('a;b'", ",", "\"c;d\"", ")"}));
}

TEST(IBSQLParserCutting, SeveralStatementsOnOneLineAndEmptyStatements) {
    auto events = ParseScript("INSERT INTO T VALUES (1);; INSERT INTO T VALUES (2) ;\n;\nCOMMIT");
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (2) ", 1), Statement(stmtCOMMIT, "COMMIT", 3)});
}

TEST(IBSQLParserCutting, BlanksOfEveryKindSeparateWords) {
    auto events = ParseScript("CREATE\tTABLE T\n(A INTEGER);\ncommit\twork\n;");
    ExpectEvents(events, {Statement(stmtDDL, "CREATE\tTABLE T\r\n(A INTEGER)", 1), Statement(stmtCOMMIT, "commit\twork\r\n", 3)});
    EXPECT_EQ(events[0].Tokens, (Strings{"CREATE", "TABLE", "T", "(A", "INTEGER)"}));
}

TEST(IBSQLParserCutting, EmptyTerminatorNeverEndsAStatement) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser);
    parser.SetTerminator(u"");
    parser.Script().SetText(u"INSERT INTO T VALUES (1);\nINSERT INTO T VALUES (2);");
    parser.Parse();
    ExpectEvents(rec.Events, {Statement(stmtDML, "INSERT INTO T VALUES (1);\r\nINSERT INTO T VALUES (2);", 1)});
}

// ---------------------------------------------------------------------------

TEST(IBSQLParserTokens, TokenFollowedDirectlyByTheTerminatorIsUpperCased) {
    auto events = ParseScript("SET AUTODDL on;\nSET AUTODDL on ;\nSET NAMES 'win1251';");
    ExpectEvents(events, {Statement(stmtSET, "AUTODDL ON ", 1), Statement(stmtSET, "AUTODDL on ", 2),
                          Statement(stmtSET, "NAMES 'win1251' ", 3)});
    EXPECT_EQ(events[0].Tokens, (Strings{"SET", "AUTODDL", "ON"}));
    EXPECT_EQ(events[1].Tokens, (Strings{"SET", "AUTODDL", "on"}));
}

TEST(IBSQLParserTokens, QuotedValueLastKeepsItsCaseUnquotedDoesNot) {
    auto events = ParseScript(
        "CONNECT 'db.fdb' USER 'sysdba' PASSWORD 'Secret';\n"
        "CONNECT 'db.fdb' USER sysdba PASSWORD Secret;");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].Kind, stmtCONNECT);
    EXPECT_EQ(events[0].Tokens, (Strings{"CONNECT", "'db.fdb'", "USER", "'sysdba'", "PASSWORD", "'Secret'"}));
    EXPECT_EQ(events[1].Tokens, (Strings{"CONNECT", "'db.fdb'", "USER", "sysdba", "PASSWORD", "SECRET"}));
    // The text keeps what was written.
    EXPECT_EQ(events[1].Text, "CONNECT 'db.fdb' USER sysdba PASSWORD Secret");
}

TEST(IBSQLParserTokens, UpperCasingUsesFullUnicodeMapping) {
    auto events = ParseScript("SET NAMES straße;\nSET NAMES кириллица;");
    ExpectEvents(events, {Statement(stmtSET, "NAMES STRASSE ", 1), Statement(stmtSET, "NAMES КИРИЛЛИЦА ", 2)});
}

// A statement of very many words keeps its first ones and its last two,
// which is all that tells statements apart and ends bodies.
TEST(IBSQLParserTokens, ALongStatementKeepsItsFirstAndLastTokens) {
    std::string values, body;
    for (int i = 0; i < 1000; ++i) {
        values += (i ? ", " : "") + std::to_string(i);
        body += "  X = X + " + std::to_string(i) + ";\n";
    }
    auto events = ParseScript("INSERT INTO T VALUES (" + values + ");\nCREATE PROCEDURE P AS DECLARE X INTEGER = 0; BEGIN\n" +
                              body + "END;\nCOMMIT;");
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].Text, "INSERT INTO T VALUES (" + values + ")");
    ASSERT_EQ(events[0].Tokens.size(), 256u);
    EXPECT_EQ(events[0].Tokens[4], "(0,");
    EXPECT_EQ(events[0].Tokens[253], "249,");
    EXPECT_EQ(events[0].Tokens[254], "998,");
    EXPECT_EQ(events[0].Tokens[255], "999)");
    EXPECT_EQ(events[1].Kind, stmtDDL);
    EXPECT_EQ(events[1].Tokens.size(), 256u);
    EXPECT_EQ(events[2].Kind, stmtCOMMIT);
}

TEST(IBSQLParserTokens, QuotedRunsKeepSpacesAndEndTheirToken) {
    auto events = ParseScript("INSERT INTO \"My Table\" (\"A B\") VALUES ('x y');");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Tokens,
              (Strings{"INSERT", "INTO", "\"My Table\"", "(\"A B\"", ")", "VALUES", "('x y'", ")"}));
}

// ---------------------------------------------------------------------------

TEST(IBSQLParserLines, LineNumbersAreThoseOfTheMainScript) {
    auto events = ParseScript(
        "\n"
        "   \n"
        "INSERT INTO T VALUES (1); INSERT INTO T VALUES (2);\n"
        "\n"
        "/* comment\n"
        "   spanning */\n"
        "INSERT INTO T\n"
        "VALUES (3);\n"
        "-- note\n"
        "DELETE FROM T;\n");
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 3),
                          Statement(stmtDML, "INSERT INTO T VALUES (2)", 3),
                          // a leading comment is dropped; the line is the comment's first
                          Statement(stmtDML, "INSERT INTO T\r\nVALUES (3)", 5),
                          // so is a line comment
                          Statement(stmtDML, "DELETE FROM T", 9)});
}

// ---------------------------------------------------------------------------

TEST(IBSQLParserBodies, SetTermKeepsAProcedureWholeAndIsRestored) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser);
    std::vector<std::string> terminatorsSeen;
    rec.After = [&](const Event &) { terminatorsSeen.push_back(N(parser.Terminator())); };
    parser.Script().SetText(U(
        "SET TERM ^ ;\n"
        "CREATE PROCEDURE P (A INTEGER)\n"
        "RETURNS (B INTEGER)\n"
        "AS\n"
        "BEGIN\n"
        "  B = A * 2; /* ; */\n"
        "  SUSPEND;\n"
        "END^\n"
        "SET TERM ; ^\n"
        "EXECUTE PROCEDURE P(1);\n"));
    parser.Parse();
    ExpectEvents(rec.Events, {Statement(stmtTERM, "^", 1),
                              Statement(stmtDDL,
                                        "CREATE PROCEDURE P (A INTEGER)\r\nRETURNS (B INTEGER)\r\nAS\r\nBEGIN\r\n"
                                        "  B = A * 2; /* ; */\r\n  SUSPEND;\r\nEND",
                                        2),
                              Statement(stmtTERM, ";", 9), Statement(stmtDML, "EXECUTE PROCEDURE P(1)", 10)});
    EXPECT_EQ(rec.Events[0].Tokens, (Strings{"SET", "TERM", "^"}));
    // The owner hears of the change before the parser's terminator changes.
    EXPECT_EQ(terminatorsSeen, (Strings{";", "^", "^", ";"}));
    EXPECT_EQ(parser.Terminator(), u";");
}

TEST(IBSQLParserBodies, TerminatorOfSeveralCharacters) {
    auto events = ParseScript(
        "SET TERM !! ;\n"
        "INSERT INTO T VALUES ('!!')!!\n"
        "SELECT 1 FROM RDB$DATABASE WHERE 1 != 2 !!\n"
        "SET TERM ; !!\n"
        "COMMIT;");
    ExpectEvents(events, {Statement(stmtTERM, "!!", 1), Statement(stmtDML, "INSERT INTO T VALUES ('!!')", 2),
                          Statement(stmtDML, "SELECT 1 FROM RDB$DATABASE WHERE 1 != 2 ", 3),
                          Statement(stmtTERM, ";", 4), Statement(stmtCOMMIT, "COMMIT", 5)});
}

TEST(IBSQLParserBodies, ProcedureWithoutSetTermRunsToEnd) {
    auto events = ParseScript(
        "CREATE PROCEDURE P\n"
        "AS\n"
        "DECLARE X INTEGER;\n"
        "BEGIN\n"
        "  X = 1;\n"
        "END;\n"
        "INSERT INTO T VALUES (1);\n");
    ExpectEvents(events, {Statement(stmtDDL, "CREATE PROCEDURE P\r\nAS\r\nDECLARE X INTEGER;\r\nBEGIN\r\n  X = 1;\r\nEND", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (1)", 7)});
    EXPECT_EQ(events[0].Tokens, (Strings{"CREATE", "PROCEDURE", "P", "AS", "DECLARE", "X", "INTEGER;", "BEGIN", "X",
                                         "=", "1;", "END", ";"}));
}

TEST(IBSQLParserBodies, TriggerWithoutSetTermAtTheEndOfTheScript) {
    auto events = ParseScript(
        "create trigger t_bi for t\n"
        "active before insert position 0\n"
        "as\n"
        "begin\n"
        "  new.id = gen_id(g, 1);\n"
        "end;");
    ExpectEvents(events, {Statement(stmtDDL,
                                    "create trigger t_bi for t\r\nactive before insert position 0\r\nas\r\nbegin\r\n"
                                    "  new.id = gen_id(g, 1);\r\nend",
                                    1)});
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].Tokens.back(), ";");
    EXPECT_EQ(events[0].Tokens[events[0].Tokens.size() - 2], "end");
}

TEST(IBSQLParserBodies, CreateOrAlterIsCutAtItsFirstSemicolon) {
    auto events = ParseScript(
        "CREATE OR ALTER PROCEDURE P AS\n"
        "BEGIN\n"
        "  EXIT;\n"
        "END;\n");
    ExpectEvents(events, {Statement(stmtDDL, "CREATE OR ALTER PROCEDURE P AS\r\nBEGIN\r\n  EXIT", 1),
                          Failure("Invalid statement", "END", 4)});
}

TEST(IBSQLParserBodies, AlterTriggerWithoutABodyEndsAtItsSemicolon) {
    auto events = ParseScript(
        "ALTER TRIGGER T1 INACTIVE;\n"
        "ALTER TRIGGER T2 active;\n"
        "ALTER TRIGGER T3 POSITION 5;\n"
        "ALTER TRIGGER T4 AS BEGIN NEW.A = 1; END;\n"
        "COMMIT;\n");
    ExpectEvents(events, {Statement(stmtDDL, "ALTER TRIGGER T1 INACTIVE", 1),
                          Statement(stmtDDL, "ALTER TRIGGER T2 active", 2),
                          Statement(stmtDDL, "ALTER TRIGGER T3 POSITION 5", 3),
                          Statement(stmtDDL, "ALTER TRIGGER T4 AS BEGIN NEW.A = 1; END", 4),
                          Statement(stmtCOMMIT, "COMMIT", 5)});
    EXPECT_EQ(events[0].Tokens, (Strings{"ALTER", "TRIGGER", "T1", "INACTIVE"}));
    EXPECT_EQ(events[1].Tokens, (Strings{"ALTER", "TRIGGER", "T2", "ACTIVE"}));
}

TEST(IBSQLParserBodies, WhatFollowsEndOnTheSameLineIsTheNextStatement) {
    auto events = ParseScript(
        "CREATE PROCEDURE P AS BEGIN /* END; */ EXIT; END; INSERT INTO T VALUES (1);\n"
        "CREATE TRIGGER X FOR T AS BEGIN END ;\n"
        "COMMIT;");
    ExpectEvents(events, {Statement(stmtDDL, "CREATE PROCEDURE P AS BEGIN /* END; */ EXIT; END", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (1)", 1),
                          // a ";" of its own closes the body as well; the text ends where it begins
                          Statement(stmtDDL, "CREATE TRIGGER X FOR T AS BEGIN END ", 2),
                          Statement(stmtCOMMIT, "COMMIT", 3)});
}

TEST(IBSQLParserBodies, UnfinishedBodyIsHandedOnAtTheEnd) {
    auto events = ParseScript("CREATE PROCEDURE P AS\nBEGIN\n  EXIT;");
    ExpectEvents(events, {Statement(stmtDDL, "CREATE PROCEDURE P AS\r\nBEGIN\r\n  EXIT;", 1)});
}

// ---------------------------------------------------------------------------

TEST(IBSQLParserComments, LineCommentsBeforeAStatementAreDroppedWhateverFollowsTheHyphens) {
    auto events = ParseScript(
        "-- comment; with a terminator\n"
        "INSERT INTO T VALUES (1);\n"
        "--\n"
        "INSERT INTO T VALUES (2);\n"
        "--comment 'with a quote\n"
        "INSERT INTO T VALUES (3);\n");
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (2)", 3),
                          Statement(stmtDML, "INSERT INTO T VALUES (3)", 5)});
}

// Inside a statement "--" starts a comment that runs to the end of its line:
// it stays in the text (the server reads it as a comment too) but ends no
// statement, opens no quoted run and makes no token.
TEST(IBSQLParserComments, LineCommentsInsideAStatementAreInert) {
    struct Case {
        const char *Script;
        const char *Text;
        Strings Tokens;
    };
    for (const Case &c : std::vector<Case>{
             {"UPDATE T SET B = 5 -- only row 1; careful\nWHERE A = 1;",
              "UPDATE T SET B = 5 -- only row 1; careful\r\nWHERE A = 1",
              {"UPDATE", "T", "SET", "B", "=", "5", "WHERE", "A", "=", "1"}},
             {"INSERT INTO T--it's :x\nVALUES (1);", "INSERT INTO T--it's :x\r\nVALUES (1)",
              {"INSERT", "INTO", "T", "VALUES", "(1)"}},
             {"SELECT '--not a comment;' FROM T;", "SELECT '--not a comment;' FROM T",
              {"SELECT", "'--not a comment;'", "FROM", "T"}},
             {"COMMIT -- done\n;", "COMMIT -- done\r\n", {"COMMIT"}},
             {"CREATE -- why\n PROCEDURE P AS BEGIN EXIT; -- END;\nEND;", "CREATE -- why\r\n PROCEDURE P AS BEGIN EXIT; -- END;\r\nEND",
              {"CREATE", "PROCEDURE", "P", "AS", "BEGIN", "EXIT;", "END", ";"}},
         }) {
        SCOPED_TRACE(c.Script);
        auto events = ParseScript(c.Script);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_FALSE(events[0].Error);
        EXPECT_EQ(events[0].Text, c.Text);
        EXPECT_EQ(events[0].Tokens, c.Tokens);
    }
}

TEST(IBSQLParserComments, CommentsAfterStatementsOnTheSameLine) {
    auto events = ParseScript(
        "INSERT INTO T VALUES (1); -- first\n"
        "INSERT INTO T VALUES (2); /* between */ INSERT INTO T VALUES (3); /* trailing */\n"
        "COMMIT;");
    // The second statement begins with the dropped comment on line 1, so it
    // reports that line.
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (2)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (3)", 2), Statement(stmtCOMMIT, "COMMIT", 2)});
}

TEST(IBSQLParserComments, BlockCommentsInsideAStatementStayInItsText) {
    auto events = ParseScript("SELECT /* cols */ A FROM T /* ; */\nWHERE A = 1 /* x */;");
    ExpectEvents(events, {Statement(stmtDML, "SELECT /* cols */ A FROM T /* ; */\r\nWHERE A = 1 /* x */", 1)});
    EXPECT_EQ(events[0].Tokens, (Strings{"SELECT", "A", "FROM", "T", "WHERE", "A", "=", "1"}));
}

TEST(IBSQLParserComments, BlockCommentOnTheLineAfterALineCommentIsDropped) {
    auto events = ParseScript(
        "-- header\n"
        "/* block\n"
        "   comment */\n"
        "-- another\n"
        "CREATE TABLE T (A INTEGER);\n"
        "-- x\n"
        "  /* y */ INSERT INTO T VALUES (1);");
    ExpectEvents(events, {Statement(stmtDDL, "CREATE TABLE T (A INTEGER)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (1)", 6)});
    EXPECT_EQ(events[0].Tokens, (Strings{"CREATE", "TABLE", "T", "(A", "INTEGER)"}));
}

TEST(IBSQLParserComments, UnclosedCommentStaysPendingWhileTheOwnerPauses) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser, /*pauseOnError=*/true);
    parser.Script().SetText(u"INSERT INTO T VALUES (1);\n/* never closed\nINSERT INTO T VALUES (2);");
    parser.Parse();
    ExpectEvents(rec.Events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 1), Failure("Invalid Comment", "", 2)});
    EXPECT_TRUE(parser.Paused());
    EXPECT_TRUE(rec.Events[1].Tokens.empty());

    // Resuming meets the same comment again.
    parser.SetPaused(false);
    ASSERT_EQ(rec.Events.size(), 3u);
    EXPECT_EQ(rec.Events[2].Message, "Invalid Comment");

    // A line that closes it lets the parse go on.
    parser.Script().Add(u"*/ INSERT INTO T VALUES (3);");
    parser.SetPaused(false);
    ASSERT_EQ(rec.Events.size(), 4u);
    EXPECT_EQ(rec.Events[3].Text, "INSERT INTO T VALUES (3)");
    EXPECT_EQ(rec.Events[3].Line, 3);
    EXPECT_FALSE(parser.Paused());
}

TEST(IBSQLParserComments, UnclosedCommentEndsAParseThatNobodyPauses) {
    auto events = ParseScript("INSERT INTO T VALUES (1);\n\n/* never closed\nINSERT INTO T VALUES (2);");
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 1), Failure("Invalid Comment", "", 3)});
    // Also when the comment follows a line comment.
    events = ParseScript("-- note\n/* open\n");
    ExpectEvents(events, {Failure("Invalid Comment", "", 1)});
}

// ---------------------------------------------------------------------------

struct KindCase {
    const char *Script;
    TIBParseKind Kind;
    const char *Message = "Invalid statement";  // of stmtERR
};

class IBSQLParserClassify : public ::testing::TestWithParam<KindCase> {};

TEST_P(IBSQLParserClassify, KindOfStatement) {
    auto events = ParseScript(GetParam().Script);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Kind, GetParam().Kind) << events[0];
    EXPECT_EQ(events[0].Error, GetParam().Kind == stmtERR) << events[0];
    if (events[0].Error) {
        EXPECT_EQ(events[0].Message, GetParam().Message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Statements, IBSQLParserClassify,
    ::testing::Values(
        KindCase{"COMMIT;", stmtCOMMIT}, KindCase{"commit;", stmtCOMMIT}, KindCase{"COMMIT WORK;", stmtCOMMIT},
        // the last word is upper-cased only when the terminator follows it directly
        KindCase{"commit work;", stmtCOMMIT}, KindCase{"commit work ;", stmtCOMMIT},
        KindCase{"COMMIT RETAINING;", stmtCOMMITRetaining}, KindCase{"COMMIT WORK RETAINING;", stmtCOMMITRetaining},
        KindCase{"COMMIT RETAIN;", stmtCOMMITRetaining}, KindCase{"commit work retain ;", stmtCOMMITRetaining},
        KindCase{"COMMIT RETAIN SNAPSHOT;", stmtCOMMITRetaining}, KindCase{"COMMIT X Y;", stmtERR},
        KindCase{"ROLLBACK RETAIN;", stmtROLLBACKRetaining}, KindCase{"ROLLBACK WORK RETAIN;", stmtROLLBACKRetaining},
        KindCase{"ROLLBACK WORK TO SP1;", stmtRollbackSavePoint}, KindCase{"ROLLBACK TO SAVEPOINT;", stmtERR},
        KindCase{"COMMIT X;", stmtERR}, KindCase{"ROLLBACK;", stmtROLLBACK},
        KindCase{"ROLLBACK RETAINING;", stmtROLLBACKRetaining}, KindCase{"ROLLBACK TO SAVEPOINT SP1;", stmtRollbackSavePoint},
        KindCase{"rollback to savepoint sp1 ;", stmtRollbackSavePoint},
        KindCase{"ROLLBACK WORK TO SAVEPOINT SP1;", stmtRollbackSavePoint}, KindCase{"ROLLBACK WORK;", stmtROLLBACK},
        KindCase{"ROLLBACK X;", stmtERR}, KindCase{"ROLLBACK TO SP1;", stmtRollbackSavePoint}, KindCase{"RECONNECT;", stmtReconnect},
        KindCase{"SAVEPOINT SP1;", stmtStartSavepoint}, KindCase{"SAVEPOINT;", stmtStartSavepoint},
        KindCase{"GRANT;", stmtERR}, KindCase{"BATCH START;", stmtBatchStart},
        KindCase{"batch execute;", stmtBatchExecute}, KindCase{"BATCH STOP;", stmtERR},
        KindCase{"RELEASE SAVEPOINT SP1;", stmtReleaseSavePoint}, KindCase{"RELEASE SP1;", stmtERR},
        KindCase{"INSERT INTO T VALUES (1);", stmtDML}, KindCase{"delete from t;", stmtDML},
        KindCase{"SELECT * FROM T;", stmtDML}, KindCase{"UPDATE T SET A = 1;", stmtDML},
        KindCase{"UPDATE OR INSERT INTO T (A) VALUES (1) MATCHING (A);", stmtDML},
        KindCase{"EXECUTE PROCEDURE P;", stmtDML}, KindCase{"EXECUTE BLOCK AS BEGIN END;", stmtDML},
        KindCase{"WITH X AS (SELECT 1 A FROM RDB$DATABASE) SELECT A FROM X;", stmtDML},
        KindCase{"TRUNCATE TABLE T;", stmtDML}, KindCase{"CONNECT 'x.fdb';", stmtCONNECT},
        KindCase{"CREATE DATABASE 'x.fdb';", stmtCREATE}, KindCase{"create schema 'x.fdb';", stmtCREATE},
        KindCase{"DROP DATABASE;", stmtDrop}, KindCase{"DECLARE EXTERNAL FUNCTION F RETURNS INTEGER;", stmtDDL},
        KindCase{"CREATE TABLE T (A INTEGER);", stmtDDL},
        KindCase{"CREATE OR ALTER VIEW V AS SELECT 1 A FROM RDB$DATABASE;", stmtDDL},
        KindCase{"ALTER TABLE T ADD B INTEGER;", stmtDDL}, KindCase{"GRANT SELECT ON T TO PUBLIC;", stmtDDL},
        KindCase{"REVOKE ALL ON T FROM PUBLIC;", stmtDDL}, KindCase{"DROP TABLE T;", stmtDDL},
        KindCase{"DROP JOURNAL;", stmtDDL}, KindCase{"SET GENERATOR G TO 5;", stmtDDL},
        KindCase{"set statistics index ix;", stmtDDL}, KindCase{"SET TERM ^ ;", stmtTERM},
        KindCase{"SET TERM ^ ^ ;", stmtERR}, KindCase{"SET SQL DIALECT 3;", stmtSET},
        KindCase{"set sql dialect 1;", stmtSET}, KindCase{"SET SQL DIALECT;", stmtERR},
        KindCase{"SET SQL X 3;", stmtERR}, KindCase{"SET AUTODDL OFF;", stmtSET}, KindCase{"SET AUTODDL;", stmtSET},
        KindCase{"SET AUTO off ;", stmtSET}, KindCase{"SET AUT OFF;", stmtERR}, KindCase{"SET AUTODDL FOO;", stmtERR},
        KindCase{"SET PLANONLY;", stmtSET}, KindCase{"set planonly on;", stmtSET}, KindCase{"SET PLANONLY 1;", stmtERR},
        KindCase{"SET KEEP_TRAN_PARAMS ON;", stmtSET}, KindCase{"SET KEEP_TRAN;", stmtSET},
        KindCase{"SET KEEP_TRA;", stmtERR}, KindCase{"SET MAXROWS 10;", stmtSET}, KindCase{"SET ROWCOUNT;", stmtSET},
        KindCase{"SET MAXROWS X;", stmtERR}, KindCase{"SET TERMINATOR ^ ;", stmtTERM},
        KindCase{"set termin ^ ;", stmtTERM}, KindCase{"SET TRANS NO WAIT;", stmtSetTransaction},
        KindCase{"SET NAMES;", stmtSET}, KindCase{"SET ROLE R;", stmtServerSET},
        KindCase{"SET TRUSTED ROLE;", stmtServerSET}, KindCase{"SET TIME ZONE 'Europe/Moscow';", stmtServerSET},
        KindCase{"set time zone local;", stmtServerSET}, KindCase{"SET TIME X;", stmtERR},
        KindCase{"SET BIND OF DECFLOAT TO LEGACY;", stmtServerSET},
        KindCase{"SET DECFLOAT ROUND CEILING;", stmtServerSET},
        KindCase{"SET DECFLOAT TRAPS TO DIVISION_BY_ZERO;", stmtServerSET},
        KindCase{"SET STATEMENT TIMEOUT 10 SECOND;", stmtServerSET},
        KindCase{"SET SESSION IDLE TIMEOUT 10 MINUTE;", stmtServerSET},
        KindCase{"SET OPTIMIZE FOR FIRST ROWS;", stmtServerSET},
        KindCase{"ALTER SESSION RESET;", stmtERR, "Cannot be carried out in a script"},
        KindCase{"SHELL ls;", stmtERR, "Cannot be carried out in a script"},
        KindCase{"EDIT;", stmtERR, "Cannot be carried out in a script"},
        KindCase{"BLOBDUMP 1:2 x.bin;", stmtERR, "Cannot be carried out in a script"},
        KindCase{"BLOBVIEW 1:2;", stmtERR, "Cannot be carried out in a script"},
        KindCase{"SET BULK_INSERT INSERT INTO T VALUES (?);", stmtERR, "Cannot be carried out in a script"},
        KindCase{"SET AUTOTERM ON;", stmtERR, "Cannot be carried out in a script"},
        KindCase{"SET AUTOTERM;", stmtERR, "Cannot be carried out in a script"},
        KindCase{"SET STATISTICS ON;", stmtSET}, KindCase{"SET NAMES WIN1251;", stmtSET},
        KindCase{"SET SAVEPOINTS OFF;", stmtSET}, KindCase{"SET NAMES WIN1251 X;", stmtERR},
        KindCase{"SET PASSWORD 'x';", stmtServerSET}, KindCase{"SET SUBSCRIPTION S ACTIVE;", stmtServerSET},
        KindCase{"SET TRANSACTION READ COMMITTED;", stmtSetTransaction}, KindCase{"SET FOO ON;", stmtERR},
        KindCase{"MERGE INTO T USING S ON (1 = 1) WHEN MATCHED THEN DELETE;", stmtDML},
        KindCase{"RECREATE TABLE T (A INTEGER);", stmtDDL}, KindCase{"COMMENT ON TABLE T IS 'x';", stmtDDL},
        KindCase{"comment on column T.A is 'x';", stmtDDL}, KindCase{"COMMENT T;", stmtERR},
        KindCase{"rollback retaining ;", stmtROLLBACKRetaining}, KindCase{"QUIT;", stmtQuit}, KindCase{"QUIT NOW;", stmtERR},
        KindCase{"EXIT NOW;", stmtERR}),
    // Stable names (ctest runs each case by name): its position and words.
    [](const ::testing::TestParamInfo<KindCase> &info) {
        std::string name = std::to_string(info.index);
        bool gap = true;
        for (const char *p = info.param.Script; *p && name.size() < 48; ++p) {
            if (std::isalnum(static_cast<unsigned char>(*p))) {
                if (gap) name += '_';
                name += *p;
                gap = false;
            } else {
                gap = true;
            }
        }
        return name;
    });

TEST(IBSQLParserClassify, SetStatementsHandOnTheirWordsAfterSet) {
    auto events = ParseScript("SET SQL DIALECT 3;\nSET TRANSACTION READ  COMMITTED NO WAIT ;\nSET STATISTICS ON;");
    ExpectEvents(events, {Statement(stmtSET, "SQL DIALECT 3 ", 1),
                          Statement(stmtSetTransaction, "TRANSACTION READ COMMITTED NO WAIT ", 2),
                          Statement(stmtSET, "STATISTICS ON ", 3)});
}

TEST(IBSQLParserClassify, IsqlDisplaySettingsAreSkippedAndExitEndsTheScriptFromAnyFile) {
    TempDir dir;
    WriteFile(dir.File("inc.sql"), "INSERT INTO T VALUES (2);\nexit;\nINSERT INTO T VALUES (3);\n");
    auto events = ParseScript(
        "SET ECHO ON;\nset bail on;\nSET LIST ON; SET COUNT OFF; SET HEADING; SET WARNINGS OFF; SET WARNING ON;\n"
        "SET WNG OFF; SET PLAN ON; SET STATS ON; SET STAT; SET TIME ON; SET TIME; SET BLOB ALL; SET BLOBDISP 1;\n"
        "SET WIDTH A 10; SET SQLDA_DISPLAY ON; SET EXPLAIN ON; SET PER_TAB ON; SET PER_TABLE_STATS OFF;\n"
        "SET EXEC_PATH_DISPLAY BLR; SET WIRE_STATS ON; SET AUTOTERM OFF; SET; HELP; HELP SET;\n"
        "SHOW TABLES; SHOW TABLE T; OUTPUT out.txt; OUT; OUTP x;\nINSERT INTO T VALUES (1);\nIN '" +
        dir.File("inc.sql") + "';\nINSERT INTO T VALUES (4);");
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 8),
                          Statement(stmtDML, "INSERT INTO T VALUES (2)", 9)});
}

TEST(IBSQLParserClassify, QuitIsHandedOnAndEndsTheScript) {
    auto events = ParseScript("INSERT INTO T VALUES (1);\nQUIT;\nINSERT INTO T VALUES (2);\n");
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 1), Statement(stmtQuit, "QUIT", 2)});
}

// What keeps a statement from being handed on: the end of the text inside
// it, or a parameter marker that nothing fills. Reported with the line of
// the statement's first word; what came before is handed on.
TEST(IBSQLParserProblems, EndOfTextInsideAStatementAndMarkersAreReportedWithTheirLine) {
    const struct {
        const char *Script;
        const char *Message;
        int Line;
    } cases[] = {
        {"CREATE TABLE Q1 (ID INTEGER, S VARCHAR(9));\nINSERT INTO Q1 VALUES (1, 'it''s);\n", "EOF in string detected",
         2},
        {"INSERT INTO \"Q1 VALUES (1);", "EOF in string detected", 1},
        {"DELETE FROM T -- it's\n WHERE S = 'a\n", "EOF in string detected", 1},
        {"SELECT 1 FROM RDB$DATABASE /* open\n;", "EOF in comment detected", 1},
        {"SET TERM ^ ;\nCREATE TABLE T (ID INTEGER);\nINSERT INTO T VALUES (1);\n",
         "End of file before the terminator \"^\"", 2},
        {"DELETE FROM T WHERE ID <> :KEEP;", "Parameter marker :KEEP has no value in a script", 1},
        {"UPDATE VER SET VERSION = :\"x y\" + 1;", "Parameter marker :\"x y\" has no value in a script", 1},
        {"\n\nDELETE FROM T\nWHERE ID = ?;", "Parameter marker ? has no value in a script", 3},
        {"SET ROLE :R;", "Parameter marker :R has no value in a script", 1},
        // After an alternative string literal the scanning goes on as ever.
        {"INSERT INTO T VALUES (q'{it's}', :V);", "Parameter marker :V has no value in a script", 1},
        {"INSERT INTO T VALUES (q'{it's');\n", "EOF in string detected", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Script);
        auto events = ParseScript(c.Script);
        ASSERT_FALSE(events.empty());
        const Event &last = events.back();
        EXPECT_TRUE(last.Error) << last;
        EXPECT_EQ(last.Message, c.Message);
        EXPECT_EQ(last.Line, c.Line);
        for (size_t i = 0; i + 1 < events.size(); ++i) EXPECT_FALSE(events[i].Error) << events[i];
    }
    // Markers that are no markers: in strings (also alternative ones, whose
    // quotes and terminators are text), comments, DDL (sent without
    // parameters) and the body of an EXECUTE BLOCK.
    auto plain = ParseScript("INSERT INTO T VALUES (':X?'); -- :Y\nCREATE PROCEDURE P AS DECLARE I INT; BEGIN I = :I; END;\n"
                             "SET TERM ^ ;\nEXECUTE BLOCK AS DECLARE I INT = 0; BEGIN I = :I + 1; END^\n"
                             "INSERT INTO T VALUES (q'{it's; :X ^}', Q'[a']', q'<:Y>')^");
    ASSERT_EQ(plain.size(), 5u);
    for (const Event &e : plain) EXPECT_FALSE(e.Error) << e;
}

TEST(IBSQLParserProblems, MarkersPassForAnOwnerThatFillsThemAndUnderPlanOnly) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser);
    std::vector<bool> planOnly;
    rec.After = [&](const Event &) { planOnly.push_back(parser.PlanOnly()); };
    parser.SetParamMarkersAllowed(true);
    parser.Script().SetText(u"DELETE FROM T WHERE ID <> :KEEP;\nDELETE FROM T WHERE ID = ?;\n");
    parser.Parse();
    ExpectEvents(rec.Events, {Statement(stmtDML, "DELETE FROM T WHERE ID <> :KEEP", 1),
                              Failure("Parameter name expected", "DELETE FROM T WHERE ID = ?", 2)});

    // SET PLANONLY only prepares: a "?" is fine there. A parse starts with
    // it off, whatever an earlier one left.
    rec.Events.clear();
    planOnly.clear();
    parser.SetParamMarkersAllowed(false);
    parser.Script().SetText(u"SET PLANONLY ON;\nSELECT * FROM T WHERE ID = ?;\nSET PLANONLY;\n"
                            u"SELECT * FROM T WHERE ID = ?;\n");
    parser.Parse();
    ExpectEvents(rec.Events, {Statement(stmtSET, "PLANONLY ON ", 1), Statement(stmtDML, "SELECT * FROM T WHERE ID = ?", 2),
                              Statement(stmtSET, "PLANONLY ", 3),
                              Failure("Parameter marker ? has no value in a script", "SELECT * FROM T WHERE ID = ?", 4)});
    EXPECT_EQ(planOnly, (std::vector<bool>{true, true, false, false}));
    parser.Script().SetText(u"SET PLANONLY ON;");
    parser.Parse();
    EXPECT_TRUE(parser.PlanOnly());
    parser.Script().SetText(u"SELECT 1 FROM RDB$DATABASE;");
    parser.Parse();
    EXPECT_FALSE(parser.PlanOnly());
}

TEST(IBSQLParserProblems, AnIncludedFileLeftOpenAfterSetTermIsReportedInThatFile) {
    TempDir dir;
    WriteFile(dir.File("inc.sql"), "SET TERM ^ ;\nINSERT INTO T VALUES (2);\n");
    TIBSQLParser parser(nullptr);
    Recorder rec(parser, true);
    TScriptLocation where;
    rec.After = [&](const Event &e) {
        if (e.Error) where = parser.CurrentLocation();
    };
    parser.Script().SetText(U("INPUT '" + dir.File("inc.sql") + "';\nINSERT INTO T VALUES (3);\n"));
    parser.Parse();
    ASSERT_EQ(rec.Events.size(), 2u);
    EXPECT_EQ(rec.Events[1].Message, "End of file before the terminator \"^\"");
    EXPECT_EQ(N(ParseProblemText(U(rec.Events[1].Message), where)),
              "End of file before the terminator \"^\" in \"" + dir.File("inc.sql") +
                  "\" at line 2: INSERT INTO T VALUES (2);");
}

TEST(IBSQLParserClassify, SetTransactionKeepsItsTextAsWritten) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser);
    std::string text;
    rec.After = [&](const Event &) { text = N(parser.StatementText()); };
    parser.Script().SetText(u"set transaction\n  reserving \"Mixed\" for protected write;");
    parser.Parse();
    ASSERT_EQ(rec.Events.size(), 1u);
    EXPECT_EQ(rec.Events[0].Kind, stmtSetTransaction);
    EXPECT_EQ(text, "set transaction\r\n  reserving \"Mixed\" for protected write");
}

TEST(IBSQLParserClassify, KindOrdinalsAreFixed) {
    EXPECT_EQ(static_cast<int>(stmtDDL), 0);
    EXPECT_EQ(static_cast<int>(stmtINPUT), 6);
    EXPECT_EQ(static_cast<int>(stmtUNK), 7);
    EXPECT_EQ(static_cast<int>(stmtERR), 10);
    EXPECT_EQ(static_cast<int>(stmtStartSavepoint), 16);
    EXPECT_EQ(static_cast<int>(stmtSetTransaction), 22);
}

// ---------------------------------------------------------------------------

TEST(IBSQLParserInput, IncludedLinesRunBeforeTheRestWithMainScriptLineNumbers) {
    TempDir dir;
    WriteFile(dir.File("more.sql"), "INSERT INTO T VALUES (10);\n\nINSERT INTO T\n VALUES (11);\n\n\n");
    auto events = ParseScript("INSERT INTO T VALUES (1);\nINPUT '" + dir.File("more.sql") +
                              "'; INSERT INTO T VALUES (2);\nINSERT INTO T VALUES (3);\n");
    // What follows the INPUT statement on its line is still pending and comes
    // first; the included file ends in blank lines and hands over to the main
    // script.
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (2)", 2),
                          Statement(stmtDML, "INSERT INTO T VALUES (10)", 2),
                          Statement(stmtDML, "INSERT INTO T\r\n VALUES (11)", 2),
                          Statement(stmtDML, "INSERT INTO T VALUES (3)", 3)});
}

TEST(IBSQLParserInput, IncludedStatementsKeepTheLineWhereTheInputBegan) {
    TempDir dir;
    WriteFile(dir.File("more.sql"), "\n\nINSERT INTO T VALUES (10);\nINSERT INTO T VALUES (11);\n");
    auto events = ParseScript("-- the rest comes from a file\nINPUT\n  '" + dir.File("more.sql") +
                              "';\nINSERT INTO T VALUES (3);");
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES (10)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (11)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (3)", 4)});
}

TEST(IBSQLParserInput, FileNameQuotedOrWrittenLastAsIs) {
    TempDir dir;
    WriteFile(dir.File("Part.sql"), "DELETE FROM T;");
    auto events = ParseScript("INPUT \"" + dir.File("Part.sql") + "\";\nINPUT " + dir.File("Part.sql") + ";\n");
    ExpectEvents(events, {Statement(stmtDML, "DELETE FROM T", 1), Statement(stmtDML, "DELETE FROM T", 2)});
}

TEST(IBSQLParserInput, MissingFileIsReportedAndTheScriptGoesOn) {
    TempDir dir;
    std::string missing = dir.File("missing.sql");
    auto events = ParseScript("INPUT '" + missing + "';\nINSERT INTO T VALUES (1);");
    ExpectEvents(events, {Failure("Cannot open file \"" + missing + "\". No such file or directory",
                                  "INPUT '" + missing + "'", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (1)", 2)});

    // A relative name is reported with its full path; an owner that pauses
    // stops there.
    events = ParseScript("INPUT 'no-such-file.sql';\nINSERT INTO T VALUES (1);", /*pauseOnError=*/true);
    ExpectEvents(events, {Failure("Cannot open file \"" + std::filesystem::current_path().string() +
                                      "/no-such-file.sql\". No such file or directory",
                                  "INPUT 'no-such-file.sql'", 1)});
}

TEST(IBSQLParserInput, InputNestsAndTheIncludingFileGoesOn) {
    TempDir dir;
    WriteFile(dir.File("a.sql"),
              "INSERT INTO T VALUES (1);\nINPUT '" + dir.File("b.sql") + "';\nINSERT INTO T VALUES (2);\n");
    WriteFile(dir.File("b.sql"), "INSERT INTO T VALUES (3);\n");
    auto events = ParseScript("INPUT '" + dir.File("a.sql") + "';\nINSERT INTO T VALUES (4);");
    ExpectEvents(events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (3)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (2)", 1),
                          Statement(stmtDML, "INSERT INTO T VALUES (4)", 2)});
}

TEST(IBSQLParserInput, FileThatIncludesItselfIsReadOnce) {
    TempDir dir;
    std::string loop = dir.File("loop.sql");
    WriteFile(loop, "INSERT INTO T VALUES (1);\nINPUT '" + dir.Path() + "/./loop.sql';\n");
    // the same file named through a different path
    std::string relative = std::filesystem::relative(loop).string();
    auto events = ParseScript("INPUT '" + loop + "';\nINSERT INTO T VALUES (2);\nINPUT '" + loop +
                              "';\nINPUT '" + relative + "';");
    ASSERT_EQ(events.size(), 7u) << events.size();
    EXPECT_EQ(events[0].Text, "INSERT INTO T VALUES (1)");
    EXPECT_TRUE(events[1].Error);
    EXPECT_NE(events[1].Message.find("Cannot open file \""), std::string::npos) << events[1].Message;
    EXPECT_EQ(events[1].Line, 1);
    EXPECT_EQ(events[2].Text, "INSERT INTO T VALUES (2)");
    // An INPUT of the main script starts afresh.
    EXPECT_EQ(events[3].Text, "INSERT INTO T VALUES (1)");
    EXPECT_TRUE(events[4].Error);
    EXPECT_EQ(events[5].Text, "INSERT INTO T VALUES (1)");
    EXPECT_TRUE(events[6].Error);
}

TEST(IBSQLParserInput, ChainOfFilesThatLeadsBackEndsToo) {
    TempDir dir;
    WriteFile(dir.File("a.sql"), "INSERT INTO T VALUES ('a');\nINPUT '" + dir.File("b.sql") + "';");
    WriteFile(dir.File("b.sql"), "INSERT INTO T VALUES ('b');\nINPUT '" + dir.File("a.sql") + "';");
    auto events = ParseScript("INPUT '" + dir.File("a.sql") + "';");
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].Text, "INSERT INTO T VALUES ('a')");
    EXPECT_EQ(events[1].Text, "INSERT INTO T VALUES ('b')");
    EXPECT_TRUE(events[2].Error);
    EXPECT_EQ(events[2].Text, "INPUT '" + dir.File("a.sql") + "'");
}

// Relative names resolve against the folder of the file holding the INPUT,
// then against the current directory; every statement knows its file, its
// line there and its first line.
TEST(IBSQLParserInput, StatementsKnowTheirFileLineAndFirstLine) {
    TempDir dir, cwd;
    const std::string longValues(200, '7');
    WriteFile(dir.File("main.sql"), "\n-- header\nINSERT INTO T\n  VALUES (1);  INSERT INTO T VALUES (2);\n"
                                    "/* c */ INPUT 'sub/a.sql';\nINPUT here.sql;\nINSERT INTO T VALUES (" +
                                        longValues + ");\n");
    std::filesystem::create_directory(dir.File("sub"));
    WriteFile(dir.File("sub/a.sql"), "INSERT INTO T VALUES (10);\nINPUT b.sql;\n\nINSERT INTO T VALUES (11);\n");
    WriteFile(dir.File("sub/b.sql"), "/* x */\n  INSERT INTO T VALUES (20);");
    WriteFile(cwd.File("here.sql"), "DELETE FROM T;");
    struct ScopedCwd {
        std::filesystem::path Old = std::filesystem::current_path();
        ~ScopedCwd() { std::filesystem::current_path(Old); }
    } restore;
    std::filesystem::current_path(cwd.Path());

    TIBSQLParser parser(nullptr);
    Recorder rec(parser);
    std::vector<std::string> seen;
    rec.After = [&](const Event &) {
        const TScriptLocation where = parser.CurrentLocation();
        seen.push_back(N(where.FileName) + (where.Included ? " (included)" : "") + N(LocationText(where, false)));
    };
    parser.LoadFromFile(U(dir.File("main.sql")));
    parser.Parse();
    const std::string main = dir.File("main.sql"), sub = dir.Path() + "/sub/";
    EXPECT_EQ(seen, (Strings{main + " at line 3: INSERT INTO T ...", main + " at line 4: INSERT INTO T VALUES (2)",
                             sub + "a.sql (included) at line 1: INSERT INTO T VALUES (10)",
                             sub + "b.sql (included) at line 2: INSERT INTO T VALUES (20)",
                             sub + "a.sql (included) at line 4: INSERT INTO T VALUES (11)",
                             "here.sql (included) at line 1: DELETE FROM T",
                             main + " at line 7: INSERT INTO T VALUES (" + longValues.substr(0, 138) + " ..."}));
}

// ---------------------------------------------------------------------------

TEST(IBSQLParserPause, PauseFromACallbackStopsAndClearingItResumes) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser);
    rec.After = [&](const Event &e) {
        if (e.Text == "INSERT INTO T VALUES (2)") parser.SetPaused(true);
    };
    parser.Script().SetText(
        u"INSERT INTO T VALUES (1);\nINSERT INTO T VALUES (2); INSERT INTO T VALUES (3);\nINSERT INTO T VALUES (4);");
    parser.Parse();
    ASSERT_EQ(rec.Events.size(), 2u);
    EXPECT_TRUE(parser.Paused());
    EXPECT_EQ(parser.CurrentLine(), 2);

    parser.SetPaused(true);  // unchanged: nothing happens
    EXPECT_EQ(rec.Events.size(), 2u);

    parser.SetPaused(false);  // runs the rest on this call
    ExpectEvents(rec.Events, {Statement(stmtDML, "INSERT INTO T VALUES (1)", 1),
                              Statement(stmtDML, "INSERT INTO T VALUES (2)", 2),
                              Statement(stmtDML, "INSERT INTO T VALUES (3)", 2),
                              Statement(stmtDML, "INSERT INTO T VALUES (4)", 3)});
    EXPECT_FALSE(parser.Paused());

    parser.SetPaused(false);  // unchanged again
    EXPECT_EQ(rec.Events.size(), 4u);
}

TEST(IBSQLParserPause, ExceptionFromACallbackLeavesParseAfterThatStatement) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser);
    bool raise = true;
    rec.After = [&](const Event &e) {
        if (raise && e.Text == "INSERT INTO T VALUES (2)") throw std::runtime_error("stop");
    };
    parser.Script().SetText(u"INSERT INTO T VALUES (1);\nINSERT INTO T VALUES (2); INSERT INTO T VALUES (3);\n"
                            u"INSERT INTO T VALUES (4);");
    EXPECT_THROW(parser.Parse(), std::runtime_error);
    ASSERT_EQ(rec.Events.size(), 2u);
    raise = false;

    // Parse starts from the first line again, but the text still pending
    // from the interrupted run is read first.
    parser.Parse();
    ASSERT_EQ(rec.Events.size(), 7u);
    EXPECT_EQ(rec.Events[2].Text, "INSERT INTO T VALUES (3)");
    EXPECT_EQ(rec.Events[3].Text, "INSERT INTO T VALUES (1)");
    EXPECT_EQ(rec.Events[6].Text, "INSERT INTO T VALUES (4)");
}

TEST(IBSQLParserPause, ResumeAfterAnExceptionContinuesWhereItStopped) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser);
    rec.After = [&](const Event &e) {
        if (e.Kind == stmtTERM) throw std::runtime_error("stop");
    };
    parser.Script().SetText(u"SET TERM ^ ;\nINSERT INTO T VALUES (1)^\n");
    EXPECT_THROW(parser.Parse(), std::runtime_error);
    // The callback raised before the terminator changed.
    EXPECT_EQ(parser.Terminator(), u";");
    parser.SetPaused(true);
    parser.SetPaused(false);
    ExpectEvents(rec.Events, {Statement(stmtTERM, "^", 1), Statement(stmtDML, "INSERT INTO T VALUES (1)^", 2)});
}

TEST(IBSQLParserPause, TerminatorSetByOneParseStaysForTheNext) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser);
    parser.Script().SetText(u"SET TERM ^ ;\nSELECT 1 FROM RDB$DATABASE^\n");
    parser.Parse();
    EXPECT_EQ(parser.Terminator(), u"^");
    parser.Parse();
    ASSERT_EQ(rec.Events.size(), 4u);
    // "SET TERM" is now cut at "^", which leaves it incomplete.
    EXPECT_TRUE(rec.Events[2].Error);
    EXPECT_EQ(rec.Events[2].Text, "SET TERM ");
}

TEST(IBSQLParserPause, WritingTheScriptRewindsAndClearsThePause) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser, /*pauseOnError=*/true);
    parser.Script().SetText(u"BAD STATEMENT;\nINSERT INTO T VALUES (1);");
    parser.Parse();
    EXPECT_TRUE(parser.Paused());
    TStringList other{u"DELETE FROM T;"};
    parser.SetScript(other);
    EXPECT_FALSE(parser.Paused());
    EXPECT_EQ(parser.Script().Count(), 1);
    EXPECT_EQ(rec.Events.size(), 1u);  // writing does not run anything
    parser.Parse();
    ExpectEvents(rec.Events, {Failure("Invalid statement", "BAD STATEMENT", 1), Statement(stmtDML, "DELETE FROM T", 1)});
}

TEST(IBSQLParserPause, OwnerDestroysItsParser) {
    TComponent owner(nullptr);
    auto *parser = new TIBSQLParser(&owner);
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(parser->Owner(), &owner);
    EXPECT_EQ(parser->Terminator(), u";");
    EXPECT_FALSE(parser->Paused());
    EXPECT_EQ(parser->Script().Count(), 0);
}

// ---------------------------------------------------------------------------
// The script file format

std::vector<Event> ParseFile(const std::string &path) {
    TIBSQLParser parser(nullptr);
    Recorder rec(parser);
    LoadLinesFromFile(U(path), parser.Script());
    parser.Parse();
    return rec.Events;
}

// Large files are decoded line by line (UTF-8) or in pieces of 1 MiB that
// end after a line break (single-byte code pages); a CR LF across a cut,
// letters of several bytes and every kind of line break must come out as
// from the whole text.
std::string LargeScriptBytes(const std::string &letters) {
    const size_t piece = 1 << 20;
    std::string bytes(piece - 1, 'a');
    bytes += "\r\n";
    for (int i = 0; bytes.size() < 2 * piece + 300000; ++i) {
        bytes += "INSERT INTO T VALUES (" + std::to_string(i) + ", '" + letters + "');";
        bytes += i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r";
        if (i % 1000 == 0) bytes += "\n\r";
    }
    return bytes + "last line without a break";
}

void ExpectLoadsLikeTheWholeText(const std::string &bytes) {
    TempDir dir;
    WriteFile(dir.File("large.sql"), bytes);
    TStringList lines;
    LoadLinesFromFile(U(dir.File("large.sql")), lines);
    auto expected = TStringList::SplitLines(
        DecodeTextFile(std::vector<uint8_t>(bytes.begin(), bytes.end()), U(dir.File("large.sql"))));
    ASSERT_EQ(static_cast<size_t>(lines.Count()), expected.size());
    EXPECT_TRUE(lines.Items() == expected);
    EXPECT_EQ(lines[0].size(), (1u << 20) - 1);
}

const std::vector<Event> &CyrillicEvents() {
    static const std::vector<Event> events{
        Statement(stmtDDL,
                  "CREATE TABLE \"Города\" (\"ИД\" INTEGER NOT NULL,\r\n  \"Название\" VARCHAR(60) CHARACTER SET "
                  "WIN1251)",
                  1),
        Statement(stmtDML, "INSERT INTO \"Города\" VALUES (1, 'Москва')", 6),
        Statement(stmtDML, "INSERT INTO \"Города\" VALUES (2, 'Санкт-Петербург; Ленинград')", 8),
        Statement(stmtDML, "UPDATE \"Города\" SET \"Название\" = 'Казань' WHERE \"ИД\" = 3 /* проверка */", 9),
        Statement(stmtCOMMIT, "COMMIT", 10)};
    return events;
}

TEST(IBSQLParserFiles, ByteOrderMarksSelectTheDecoding) {
    for (const char *name : {"cyrillic_utf8_bom.sql", "cyrillic_utf16le.sql", "cyrillic_utf16be.sql",
                             // without a mark: valid UTF-8 is read as UTF-8
                             "cyrillic_utf8.sql"}) {
        SCOPED_TRACE(name);
        auto events = ParseFile(test::TestDataPath(std::string("scripts/") + name));
        ExpectEvents(events, CyrillicEvents());
        if (events.size() == CyrillicEvents().size()) {
            EXPECT_EQ(events[3].Tokens[1], "\"Города\"");
        }
    }
}

TEST(IBSQLParserFiles, WindowsCodePageFileWithoutMarkIsReadAsWindows1251) {
    // Its Cyrillic letters are no valid UTF-8: the file is read in the code
    // page of the module's connection.
    if (!AnsiCodePageConfigured())
        ExpectEvents(ParseFile(test::TestDataPath("scripts/cyrillic_1251.sql")), CyrillicEvents());
    // The setting is read once per process, so the decoding under a
    // configured 1251 runs in a child process.
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    auto result = test::RunCommand(
        "VANTREL_ANSI_CODEPAGE=1251 '" + self +
        "' --gtest_also_run_disabled_tests --gtest_filter='IBSQLParserFiles.DISABLED_ChildWithCodePage1251'");
    EXPECT_EQ(result.ExitCode, 0) << result.Output;
    EXPECT_NE(result.Output.find("[  PASSED  ] 1 test"), std::string::npos) << result.Output;
}

// Runs only as the child of the test above.
TEST(IBSQLParserFiles, DISABLED_ChildWithCodePage1251) {
    ASSERT_EQ(DefaultAnsiCodePage(), 1251);
    ExpectEvents(ParseFile(test::TestDataPath("scripts/cyrillic_1251.sql")), CyrillicEvents());
    // Marked files are unaffected; an unmarked UTF-8 file is now misread.
    ExpectEvents(ParseFile(test::TestDataPath("scripts/cyrillic_utf8_bom.sql")), CyrillicEvents());
    auto misread = ParseFile(test::TestDataPath("scripts/cyrillic_utf8.sql"));
    ASSERT_EQ(misread.size(), CyrillicEvents().size());
    EXPECT_NE(misread[2].Text, CyrillicEvents()[2].Text);
    EXPECT_NE(misread[2].Text.find("Р“РѕСЂРѕРґР°"), std::string::npos) << misread[2].Text;  // "Города" misread
    // A large file in the code page is read in pieces.
    ExpectLoadsLikeTheWholeText(LargeScriptBytes(TEncoding::GetEncoding(1251)->GetBytes(u"Жжж ЁёЯ")));
}

TEST(IBSQLParserFiles, LineBreaksOfEveryKind) {
    TempDir dir;
    WriteFile(dir.File("breaks.sql"), "A1\r\nA2\rA3\nA4\n\rA5\r\n");
    TStringList lines;
    LoadLinesFromFile(U(dir.File("breaks.sql")), lines);
    ASSERT_EQ(lines.Count(), 6);  // LF CR ends two lines; the final CR LF adds none
    EXPECT_EQ(lines[3], u"A4");
    EXPECT_EQ(lines[4], u"");
    EXPECT_EQ(lines[5], u"A5");

    WriteFile(dir.File("mixed.sql"),
              "INSERT INTO T\rVALUES (1);\nINSERT INTO T\r\nVALUES (2);\n\rCOMMIT;\n\n");
    ExpectEvents(ParseFile(dir.File("mixed.sql")), {Statement(stmtDML, "INSERT INTO T\r\nVALUES (1)", 1),
                                                    Statement(stmtDML, "INSERT INTO T\r\nVALUES (2)", 3),
                                                    Statement(stmtCOMMIT, "COMMIT", 6)});
}

TEST(IBSQLParserFiles, LargeFileLoadsLineForLineLikeTheWholeText) {
    std::string bytes = LargeScriptBytes("жжж \xF0\x9F\x98\x80");
    ExpectLoadsLikeTheWholeText(bytes);
    ExpectLoadsLikeTheWholeText("\xEF\xBB\xBF" + bytes);
    // Bytes that are no UTF-8: read in pieces as Windows-1251.
    if (!AnsiCodePageConfigured()) ExpectLoadsLikeTheWholeText(LargeScriptBytes("\xC6\xE6\xE6 \xC0\x80 \xD0"));
}

TEST(IBSQLParserFiles, AByteOrderMarkAloneIsAnEmptyScript) {
    TempDir dir;
    WriteFile(dir.File("bom-only.sql"), "\xEF\xBB\xBF");
    EXPECT_TRUE(ParseFile(dir.File("bom-only.sql")).empty());
}

// ---------------------------------------------------------------------------

TEST(IBSQLParserRealScripts, UpdateScriptWithTriggersProceduresAndComments) {
    auto events = ParseFile(test::TestDataPath("scripts/update_contacts.sql"));
    ExpectEvents(
        events,
        {Statement(stmtSET, "SQL DIALECT 3 ", 1), Statement(stmtSET, "AUTODDL ON ", 6),
         Statement(stmtDDL,
                   "CREATE TABLE CONTACTS (\r\n  ID INTEGER NOT NULL,\r\n  CUSTOMER_ID INTEGER NOT NULL,\r\n"
                   "  KIND VARCHAR(20) DEFAULT 'phone' NOT NULL,\r\n  VAL VARCHAR(200),\r\n"
                   "  CONSTRAINT PK_CONTACTS PRIMARY KEY (ID)\r\n)",
                   8),
         Statement(stmtDDL, "CREATE GENERATOR GEN_CONTACTS_ID", 17),
         Statement(stmtDDL, "SET GENERATOR GEN_CONTACTS_ID TO 0", 18), Statement(stmtTERM, "^", 20),
         Statement(stmtDDL,
                   "CREATE TRIGGER CONTACTS_BI FOR CONTACTS\r\nACTIVE BEFORE INSERT POSITION 0\r\nAS\r\nBEGIN\r\n"
                   "  IF (NEW.ID IS NULL) THEN\r\n    NEW.ID = GEN_ID(GEN_CONTACTS_ID, 1);\r\nEND",
                   22),
         Statement(stmtDDL,
                   "CREATE PROCEDURE ADD_CONTACT (CUST INTEGER, KIND VARCHAR(20), VAL VARCHAR(200))\r\n"
                   "RETURNS (NEW_ID INTEGER)\r\nAS\r\nBEGIN\r\n  /* the trigger fills the key; read it back */\r\n"
                   "  INSERT INTO CONTACTS (CUSTOMER_ID, KIND, VAL)\r\n  VALUES (:CUST, :KIND, :VAL)\r\n"
                   "  RETURNING ID INTO :NEW_ID;\r\n  SUSPEND;\r\nEND",
                   30),
         Statement(stmtTERM, ";", 41), Statement(stmtCOMMIT, "COMMIT WORK", 43),
         Statement(stmtDML,
                   "INSERT INTO CONTACTS (CUSTOMER_ID, KIND, VAL) VALUES (1, 'email', 'info@example.com; "
                   "sales@example.com')",
                   45),
         Statement(stmtDML, "INSERT INTO CONTACTS (CUSTOMER_ID, KIND, VAL) VALUES (2, 'phone', '+7 495 123-45-67')",
                   46),
         Statement(stmtDML, "UPDATE VER SET VERSION = 13", 47),
         Statement(stmtDDL,
                   "CREATE PROCEDURE COUNT_CONTACTS (CUST INTEGER)\r\nRETURNS (CNT INTEGER)\r\nAS\r\nBEGIN\r\n"
                   "  SELECT COUNT(*) FROM CONTACTS WHERE CUSTOMER_ID = :CUST INTO :CNT;\r\n  SUSPEND;\r\nEND",
                   49),
         Statement(stmtDDL, "ALTER TRIGGER CONTACTS_BI INACTIVE", 58),
         Statement(stmtDDL, "ALTER TRIGGER CONTACTS_BI ACTIVE", 59),
         Statement(stmtDDL, "GRANT EXECUTE ON PROCEDURE ADD_CONTACT TO PUBLIC", 60), Statement(stmtCOMMIT, "COMMIT", 61)});
}

}  // namespace
}  // namespace vantrel
