// libFuzzer target for the script parser. The input is a script file as
// bytes (byte-order marks, code pages, line breaks and NULs included) after
// one leading control byte that picks the starting terminator and how the
// owner behaves. Each input is parsed twice: once by an owner that pauses on
// every error and resumes a few times (as the script executor and its user
// do), once by a parser that nobody pauses, which must still end. Statements
// may name files through INPUT; a few fixed ones exist under
// /tmp/vantrel-fuzz-parser, anything else is missing. The bytes are also
// loaded from a file, which must give the lines of the whole decoded text.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "script/IBSQLParser.h"

using namespace vantrel;

namespace {

const char *const kDir = "/tmp/vantrel-fuzz-parser";

void WriteFixture(const std::string &name, const std::string &text) {
    std::string path = std::string(kDir) + "/" + name;
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

struct Limits {
    int Statements = 0;
    int Depth = 0;
};

void Check(bool condition, const char *what) {
    if (!condition) {
        std::fprintf(stderr, "parser invariant broken: %s\n", what);
        std::abort();
    }
}

void CheckTokens(const TIBSQLParser &parser) {
    const TStringList &tokens = parser.CurrentTokens();
    for (int i = 0; i < tokens.Count(); ++i) {
        const String &t = tokens[i];
        Check(!t.empty(), "empty token");
        Check(!IsWhite(t.front()) && !IsWhite(t.back()), "untrimmed token");
    }
}

class StopParse : public std::runtime_error {
public:
    StopParse() : std::runtime_error("stop") {}
};

void RunPausingOwner(const String &text, const String &terminator, uint8_t mode) {
    TComponent owner(nullptr);
    auto *parser = new TIBSQLParser(&owner);
    parser->SetTerminator(terminator);
    Limits limits;
    const int throwAt = (mode & 0x10) ? (mode >> 5) + 1 : -1;
    const bool nestResume = mode & 0x08;

    std::shared_ptr<const String> taken;
    parser->SetOnParse([&](TComponent *sender, TIBParseKind kind, const String &sql) {
        Check(sender == parser, "sender");
        Check(kind != stmtUNK && kind != stmtEMPTY && kind != stmtINPUT && kind != stmtERR, "kind handed on");
        if (kind == stmtTERM) Check(!sql.empty(), "empty terminator");
        CheckTokens(*parser);
        ++limits.Statements;
        if (limits.Statements == throwAt) throw StopParse();
        // The text is taken over as the script runner takes it, and held
        // while the next statements are read; a nested run leaves it as it is.
        taken = parser->SharedText(sql);
        const std::shared_ptr<const String> own = taken;
        Check(*own == sql, "shared text");
        if (kind != stmtSET && kind != stmtSetTransaction && kind != stmtTERM) Check(own.get() == &sql, "text copied");
        const size_t length = sql.size();
        // Pausing and resuming inside a callback runs the loop nested in it.
        if (nestResume && limits.Depth < 4 && limits.Statements % 3 == 0) {
            ++limits.Depth;
            parser->SetPaused(true);
            parser->SetPaused(false);
            --limits.Depth;
        }
        Check(sql.size() == length && *own == sql, "text changed by a nested run");
    });
    parser->SetOnError([&](TComponent *sender, const String &, const String &, int32_t) {
        Check(sender == parser, "sender");
        parser->SetPaused(true);
    });
    parser->Script().SetText(text);
    try {
        parser->Parse();
    } catch (const StopParse &) {
    }
    for (int resume = 0; resume < 6; ++resume) {
        if (!parser->Paused()) parser->SetPaused(true);
        try {
            parser->SetPaused(false);
        } catch (const StopParse &) {
        }
    }
    // A second run over the same lines picks up what is still pending.
    try {
        parser->Parse();
    } catch (const StopParse &) {
    }
}

void RunStandAlone(const String &text, const String &terminator) {
    TIBSQLParser parser(nullptr);
    parser.SetTerminator(terminator);
    parser.SetOnParse([&](TComponent *, TIBParseKind, const String &) { CheckTokens(parser); });
    parser.Script().SetText(text);
    parser.Parse();
    Check(!parser.Paused(), "paused without an owner");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    mkdir(kDir, 0755);
    WriteFixture("inc1.sql", "INSERT INTO T VALUES (1);\r\n/* c */ SET TERM ^ ;\r\nSELECT 1 FROM RDB$DATABASE^\r\n");
    WriteFixture("inc2.sql", "\xEF\xBB\xBFINPUT '/tmp/vantrel-fuzz-parser/inc1.sql';\nCOMMIT;\n");
    WriteFixture("self.sql", "DELETE FROM T;\nINPUT /tmp/vantrel-fuzz-parser/self.sql;\n");
    WriteFixture("open.sql", "INSERT INTO T VALUES ('unclosed\n/* and a comment\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    static const char16_t *const kTerminators[] = {u";", u";", u"^", u"!!", u"", u" ", u"END", u"\r\n"};
    const String terminator = kTerminators[mode & 0x07];
    const std::vector<uint8_t> bytes(data + 1, data + size);
    static const std::string path = std::string(kDir) + "/input.sql";
    String text;
    String failure;  // bytes that cannot be decoded
    try {
        text = DecodeTextFile(bytes, Utf8ToString(path));
    } catch (const EEncodingError &e) {
        failure = e.Message();
    }

    // Loading the same bytes from a file gives the lines of the whole text,
    // or the same decoding error.
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        TStringList lines;
        try {
            LoadLinesFromFile(Utf8ToString(path), lines);
            Check(failure.empty() && lines.Items() == TStringList::SplitLines(text),
                  "file loading differs from the whole text");
        } catch (const EEncodingError &e) {
            Check(e.Message() == failure, "file loading fails unlike the whole text");
        }
    }
    if (!failure.empty()) return 0;

    RunPausingOwner(text, terminator, mode);
    RunStandAlone(text, terminator);
    return 0;
}
