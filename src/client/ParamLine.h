// One name=value line of a connection's or a transaction's parameters, as
// the parameter block builders read it.
#pragma once

#include "platform/Text.h"

namespace vantrel {

struct TParamLine {
    // The part before the first "=" exactly as written (what messages show);
    // empty for a line without "=".
    String WrittenName;
    // The name part (the whole line without "="), lower-cased, untrimmed,
    // without the given prefix ("isc_dpb_", "isc_tpb_").
    String Name;
    // The part after the first "=", untrimmed; empty without "=".
    String Value;
};

inline TParamLine SplitParamLine(StringView line, StringView prefix) {
    const size_t eq = line.find(u'=');
    TParamLine p;
    if (eq != StringView::npos) {
        p.WrittenName = String(line.substr(0, eq));
        p.Value = String(line.substr(eq + 1));
    }
    p.Name = AsciiLower(eq == StringView::npos ? line : line.substr(0, eq));
    if (StartsWith(p.Name, prefix)) p.Name.erase(0, prefix.size());
    return p;
}

}  // namespace vantrel
