// What the update module connects with and how it runs: its login, the
// connection character set, how long its transactions wait for locks and
// whether plain DML goes to the server in batches. The defaults are the
// module's fixed configuration, and this is their one home: the module, the
// update session and the vantrel host take them from here, and so does
// scripts/firebird-server.sh, which gives the local server's SYSDBA the
// password written below. A host that connects otherwise hands other values
// to its session.
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
    // Seconds a transaction waits for a lock that another connection holds
    // (0: no wait at all). Unset: VANTREL_LOCK_TIMEOUT, else 60 (see
    // LockWaits.h).
    std::optional<int32_t> LockTimeout;
    // Runs of plain DML go to the server as one request (a failure is still
    // told as the failing statement's own); false: every statement on its
    // own.
    bool CombineDML = true;

    // The parameter lines of a connection that logs in so: user_name,
    // password and lc_ctype, in this order.
    std::vector<String> ConnectionParams() const {
        return {u"user_name=" + UserName, u"password=" + Password, u"lc_ctype=" + CharacterSet};
    }
};

}  // namespace vantrel
