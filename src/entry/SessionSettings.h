// What the update module connects with and how it runs: its login, the
// connection character set, how long its transactions wait for locks and
// whether plain DML goes to the server in batches. The defaults are the
// module's fixed configuration, and this is their one home: the module, the
// update session and the vantrel host take them from here, and so does
// scripts/firebird-server.sh, which gives the local server's SYSDBA the
// password written below. A host that connects otherwise hands other values
// to its session: in fields, or as parameter lines (ApplyConnectionParams)
// that replace the module's lines of the same name.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Text.h"

namespace vantrel {

struct TSessionSettings {
    String UserName = u"SYSDBA";
    String Password = u"quillfern";
    // The connection character set (lc_ctype), in which statements,
    // parameters and messages cross the connection.
    String CharacterSet = u"WIN1251";
    // The SQL role the connection takes (sql_role_name); none when empty.
    String Role;
    // Further connection parameter lines (name=value) from the host, after
    // the login; at most one line per name.
    std::vector<String> OtherParams;
    // Seconds a transaction waits for a lock that another connection holds
    // (0: no wait at all). Unset: VANTREL_LOCK_TIMEOUT, else 60 (see
    // LockWaits.h).
    std::optional<int32_t> LockTimeout;
    // Runs of plain DML go to the server as one request (a failure is still
    // told as the failing statement's own); false: every statement on its
    // own.
    bool CombineDML = true;

    // The parameter lines of a connection that logs in so: user_name,
    // password and lc_ctype, in this order, then the role and the other
    // lines when there are any.
    std::vector<String> ConnectionParams() const;

    // Takes the host's connection parameter lines (name=value, one a line;
    // CR LF, LF or CR between them; blank lines are skipped): each replaces
    // the line of the same name, names compared as the connection compares
    // them (any case, with or without "isc_dpb_"). user_name, password,
    // lc_ctype and sql_role_name set the fields above; other lines are kept
    // as written and checked when the connection is opened.
    void ApplyConnectionParams(StringView Lines);
};

}  // namespace vantrel
