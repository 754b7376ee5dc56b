// The module's connection parameter lines and the host's replacements of
// them.
#include "entry/SessionSettings.h"

#include <algorithm>

#include "client/ParamLine.h"

namespace vantrel {

namespace {

constexpr StringView kConnectionPrefix = u"isc_dpb_";

}  // namespace

std::vector<String> TSessionSettings::ConnectionParams() const {
    std::vector<String> lines = {u"user_name=" + UserName, u"password=" + Password, u"lc_ctype=" + CharacterSet};
    if (!Role.empty()) lines.push_back(u"sql_role_name=" + Role);
    lines.insert(lines.end(), OtherParams.begin(), OtherParams.end());
    return lines;
}

void TSessionSettings::ApplyConnectionParams(StringView Lines) {
    size_t start = 0;
    while (start <= Lines.size()) {
        size_t end = Lines.find_first_of(u"\r\n", start);
        if (end == StringView::npos) end = Lines.size();
        const StringView line = Lines.substr(start, end - start);
        // CR LF ends one line, not two.
        start = end + (Lines.substr(end, 2) == u"\r\n" ? 2 : 1);
        if (!HasNonWhite(line)) continue;
        const TParamLine parts = SplitParamLine(line, kConnectionPrefix);
        if (parts.Name == u"user_name") {
            UserName = parts.Value;
        } else if (parts.Name == u"password") {
            Password = parts.Value;
        } else if (parts.Name == u"lc_ctype") {
            CharacterSet = parts.Value;
        } else if (parts.Name == u"sql_role_name") {
            Role = parts.Value;
        } else {
            const auto same = std::find_if(OtherParams.begin(), OtherParams.end(), [&](const String &other) {
                return SplitParamLine(other, kConnectionPrefix).Name == parts.Name;
            });
            if (same != OtherParams.end()) *same = String(line);
            else OtherParams.emplace_back(line);
        }
    }
}

}  // namespace vantrel
