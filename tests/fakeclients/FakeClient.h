// A stand-in for the client library, for what no real client does on
// demand: missing entry points, old or new version numbers, and status
// vectors whose messages the test chooses. Each tests/fakeclients/*.cpp
// defines which groups it lacks or adds, then includes this file:
//   FAKE_NO_TRANSACTION_INFO  without isc_transaction_info
//   FAKE_NO_IB6               without isc_rollback_retaining and its group
//   FAKE_NO_CLIENT_VERSION    without the three client version functions
//   FAKE_IB7                  with the "2" array/blob descriptor functions
//   FAKE_SAVEPOINTS           with the savepoint functions
//   FAKE_BATCH                with the batch execution functions
//   FAKE_MAJOR, FAKE_MINOR    the version reported (default 3.0)
// Every call records its name (and a few their arguments) for the test;
// the fake_* functions let a test, through dlsym, choose what calls report.
#pragma once

#include <ibase.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifndef FAKE_MAJOR
#define FAKE_MAJOR 3
#endif
#ifndef FAKE_MINOR
#define FAKE_MINOR 0
#endif

#define FAKE_API extern "C" __attribute__((visibility("default")))

// The counts that Firebird 4's header declares unsigned short and Firebird
// 3's short: the fake's definitions follow the header they are built with.
#if FB_API_VER >= 40
using fake_count = unsigned short;
#else
using fake_count = short;
#endif

namespace fake {

struct TState {
    std::map<ISC_STATUS, std::string> Messages;  // isc_interprete text by error code
    ISC_LONG SQLCode = -902;                     // what isc_sqlcode reports
    std::vector<ISC_STATUS> Error;               // status of every call while set
    bool Unterminated = false;                   // isc_interprete fills 20480 bytes, no NUL
    std::string LastCall;
    std::string LastArgs;
};

inline TState &State() {
    static TState state;
    return state;
}

inline void Record(const char *name, const std::string &args = std::string()) {
    State().LastCall = name;
    State().LastArgs = args;
}

// Status of a call: the error the test set, or success.
inline ISC_STATUS Result(ISC_STATUS *status, const char *name, const std::string &args = std::string()) {
    Record(name, args);
    const std::vector<ISC_STATUS> &error = State().Error;
    if (error.empty()) {
        status[0] = isc_arg_gds;
        status[1] = 0;
        status[2] = isc_arg_end;
    } else {
        for (size_t i = 0; i < error.size() && i < ISC_STATUS_LENGTH; ++i) status[i] = error[i];
    }
    return status[1];
}

}  // namespace fake

// ---- Control functions for the tests -------------------------------------

FAKE_API void fake_reset() { fake::State() = fake::TState(); }

FAKE_API void fake_set_message(ISC_STATUS code, const char *text) { fake::State().Messages[code] = text; }

FAKE_API void fake_set_sqlcode(ISC_LONG sqlCode) { fake::State().SQLCode = sqlCode; }

// Every call that takes a status vector fills it with these entries (count
// 0: calls succeed again).
FAKE_API void fake_set_error(const ISC_STATUS *vector, int count) {
    fake::State().Error.assign(vector, vector + count);
}

FAKE_API void fake_set_unterminated(int on) { fake::State().Unterminated = on != 0; }

FAKE_API const char *fake_last_call() { return fake::State().LastCall.c_str(); }

FAKE_API const char *fake_last_args() { return fake::State().LastArgs.c_str(); }

// ---- Entry points with behaviour -------------------------------------------

FAKE_API ISC_LONG isc_sqlcode(const ISC_STATUS *) { return fake::State().SQLCode; }

// One message per error code cluster, with the code's arguments skipped.
FAKE_API ISC_LONG isc_interprete(ISC_SCHAR *buffer, ISC_STATUS **vector) {
    ISC_STATUS *v = *vector;
    if (v[0] != isc_arg_gds) return 0;
    const ISC_STATUS code = v[1];
    v += 2;
    while (v[0] != isc_arg_end && v[0] != isc_arg_gds) v += v[0] == isc_arg_cstring ? 3 : 2;
    *vector = v;
    if (fake::State().Unterminated) {
        std::memset(buffer, 'A', 20480);
        return 20480;
    }
    const auto found = fake::State().Messages.find(code);
    const std::string text = found != fake::State().Messages.end() ? found->second
                                                                   : "fake error " + std::to_string(code);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return ISC_LONG(text.size());
}

FAKE_API ISC_STATUS isc_attach_database(ISC_STATUS *status, short length, const ISC_SCHAR *name,
                                        isc_db_handle *db, short dpbLength, const ISC_SCHAR *) {
    const std::string file = length > 0 ? std::string(name, size_t(length)) : std::string(name);
    const ISC_STATUS result = fake::Result(status, "isc_attach_database", file + "|" + std::to_string(dpbLength));
    if (result == 0) *db = 1;
    return result;
}

FAKE_API ISC_STATUS isc_dsql_execute_immediate(ISC_STATUS *status, isc_db_handle *, isc_tr_handle *,
                                               unsigned short, const ISC_SCHAR *statement,
                                               unsigned short dialect, const XSQLDA *) {
    return fake::Result(status, "isc_dsql_execute_immediate", std::string(statement) + "|" + std::to_string(dialect));
}

// Records "count|handle,tpb length,tpb|..." for every database.
FAKE_API ISC_STATUS isc_start_transaction(ISC_STATUS *status, isc_tr_handle *tr, short count, ...) {
    std::string args = std::to_string(count);
    va_list list;
    va_start(list, count);
    for (short i = 0; i < count; ++i) {
        isc_db_handle *db = va_arg(list, isc_db_handle *);
        const int length = va_arg(list, int);
        const char *tpb = va_arg(list, const char *);
        args += "|" + std::to_string(*db) + "," + std::to_string(length) + "," + std::string(tpb, size_t(length));
    }
    va_end(list);
    const ISC_STATUS result = fake::Result(status, "isc_start_transaction", args);
    if (result == 0) *tr = 7;
    return result;
}

// Records the names joined by "|" and returns their count.
FAKE_API ISC_LONG isc_event_block(ISC_UCHAR **events, ISC_UCHAR **results, ISC_USHORT count, ...) {
    std::string args;
    va_list list;
    va_start(list, count);
    for (ISC_USHORT i = 0; i < count; ++i) {
        if (i > 0) args += "|";
        args += va_arg(list, const char *);
    }
    va_end(list);
    fake::Record("isc_event_block", args);
    *events = nullptr;
    *results = nullptr;
    return count;
}

#ifndef FAKE_NO_CLIENT_VERSION
FAKE_API void isc_get_client_version(ISC_SCHAR *version) {
    std::snprintf(version, 32, "Fake client %d.%d", FAKE_MAJOR, FAKE_MINOR);
}

FAKE_API int isc_get_client_major_version() { return FAKE_MAJOR; }

FAKE_API int isc_get_client_minor_version() { return FAKE_MINOR; }
#endif

#ifdef FAKE_SAVEPOINTS
FAKE_API ISC_STATUS isc_start_savepoint(ISC_STATUS *status, isc_tr_handle *, const ISC_SCHAR *name) {
    return fake::Result(status, "isc_start_savepoint", name);
}
#endif

#ifdef FAKE_BATCH
// Records the statements joined by "|"; row counts are 1, 2, 3, ...
FAKE_API ISC_STATUS isc_dsql_batch_execute_immed(ISC_STATUS *status, isc_db_handle *, isc_tr_handle *,
                                                 unsigned short, ISC_ULONG count, ISC_SCHAR **statements,
                                                 ISC_ULONG *rows) {
    std::string args;
    for (ISC_ULONG i = 0; i < count; ++i) {
        if (i > 0) args += "|";
        args += statements[i];
        rows[i] = i + 1;
    }
    return fake::Result(status, "isc_dsql_batch_execute_immed", args);
}
#endif

// ---- Plain stubs -------------------------------------------------------------------

FAKE_API ISC_STATUS isc_array_gen_sdl(ISC_STATUS* status, const ISC_ARRAY_DESC*, ISC_SHORT*, ISC_UCHAR*, ISC_SHORT*) {
    return fake::Result(status, "isc_array_gen_sdl");
}

#ifdef FAKE_IB7
FAKE_API ISC_STATUS isc_array_gen_sdl2(ISC_STATUS* status, const void*, ISC_SHORT*, ISC_UCHAR*, ISC_SHORT*) {
    return fake::Result(status, "isc_array_gen_sdl2");
}
#endif

FAKE_API ISC_STATUS isc_array_get_slice(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const ISC_ARRAY_DESC*, void*, ISC_LONG*) {
    return fake::Result(status, "isc_array_get_slice");
}

#ifdef FAKE_IB7
FAKE_API ISC_STATUS isc_array_get_slice2(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const void*, void*, ISC_LONG*) {
    return fake::Result(status, "isc_array_get_slice2");
}
#endif

FAKE_API ISC_STATUS isc_array_lookup_bounds(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC*) {
    return fake::Result(status, "isc_array_lookup_bounds");
}

#ifdef FAKE_IB7
FAKE_API ISC_STATUS isc_array_lookup_bounds2(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, void*) {
    return fake::Result(status, "isc_array_lookup_bounds2");
}
#endif

FAKE_API ISC_STATUS isc_array_lookup_desc(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC*) {
    return fake::Result(status, "isc_array_lookup_desc");
}

#ifdef FAKE_IB7
FAKE_API ISC_STATUS isc_array_lookup_desc2(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, void*) {
    return fake::Result(status, "isc_array_lookup_desc2");
}
#endif

FAKE_API ISC_STATUS isc_array_set_desc(ISC_STATUS* status, const ISC_SCHAR*, const ISC_SCHAR*, const short*, const short*, const short*, ISC_ARRAY_DESC*) {
    return fake::Result(status, "isc_array_set_desc");
}

#ifdef FAKE_IB7
FAKE_API ISC_STATUS isc_array_set_desc2(ISC_STATUS* status, const ISC_SCHAR*, const ISC_SCHAR*, const short*, const short*, const short*, void*) {
    return fake::Result(status, "isc_array_set_desc2");
}
#endif

FAKE_API ISC_STATUS isc_array_put_slice(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const ISC_ARRAY_DESC*, void*, ISC_LONG*) {
    return fake::Result(status, "isc_array_put_slice");
}

#ifdef FAKE_IB7
FAKE_API ISC_STATUS isc_array_put_slice2(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const void*, void*, ISC_LONG*) {
    return fake::Result(status, "isc_array_put_slice2");
}
#endif

FAKE_API void isc_blob_default_desc(ISC_BLOB_DESC*, const ISC_UCHAR*, const ISC_UCHAR*) {
    fake::Record("isc_blob_default_desc");
}

#ifdef FAKE_IB7
FAKE_API void isc_blob_default_desc2(void*, const ISC_UCHAR*, const ISC_UCHAR*) {
    fake::Record("isc_blob_default_desc2");
}
#endif

FAKE_API ISC_STATUS isc_blob_gen_bpb(ISC_STATUS* status, const ISC_BLOB_DESC*, const ISC_BLOB_DESC*, unsigned short, ISC_UCHAR*, unsigned short*) {
    return fake::Result(status, "isc_blob_gen_bpb");
}

#ifdef FAKE_IB7
FAKE_API ISC_STATUS isc_blob_gen_bpb2(ISC_STATUS* status, const void*, const void*, unsigned short, ISC_UCHAR*, unsigned short*) {
    return fake::Result(status, "isc_blob_gen_bpb2");
}
#endif

FAKE_API ISC_STATUS isc_blob_info(ISC_STATUS* status, isc_blob_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*) {
    return fake::Result(status, "isc_blob_info");
}

FAKE_API ISC_STATUS isc_blob_lookup_desc(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, const ISC_UCHAR*, const ISC_UCHAR*, ISC_BLOB_DESC*, ISC_UCHAR*) {
    return fake::Result(status, "isc_blob_lookup_desc");
}

#ifdef FAKE_IB7
FAKE_API ISC_STATUS isc_blob_lookup_desc2(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, const ISC_UCHAR*, const ISC_UCHAR*, void*, ISC_UCHAR*) {
    return fake::Result(status, "isc_blob_lookup_desc2");
}
#endif

FAKE_API ISC_STATUS isc_blob_set_desc(ISC_STATUS* status, const ISC_UCHAR*, const ISC_UCHAR*, short, short, short, ISC_BLOB_DESC*) {
    return fake::Result(status, "isc_blob_set_desc");
}

#ifdef FAKE_IB7
FAKE_API ISC_STATUS isc_blob_set_desc2(ISC_STATUS* status, const ISC_UCHAR*, const ISC_UCHAR*, short, short, short, void*) {
    return fake::Result(status, "isc_blob_set_desc2");
}
#endif

FAKE_API ISC_STATUS isc_cancel_blob(ISC_STATUS* status, isc_blob_handle*) {
    return fake::Result(status, "isc_cancel_blob");
}

FAKE_API ISC_STATUS isc_cancel_events(ISC_STATUS* status, isc_db_handle*, ISC_LONG*) {
    return fake::Result(status, "isc_cancel_events");
}

FAKE_API ISC_STATUS isc_close_blob(ISC_STATUS* status, isc_blob_handle*) {
    return fake::Result(status, "isc_close_blob");
}

FAKE_API ISC_STATUS isc_commit_retaining(ISC_STATUS* status, isc_tr_handle*) {
    return fake::Result(status, "isc_commit_retaining");
}

FAKE_API ISC_STATUS isc_commit_transaction(ISC_STATUS* status, isc_tr_handle*) {
    return fake::Result(status, "isc_commit_transaction");
}

FAKE_API ISC_STATUS isc_create_blob2(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, isc_blob_handle*, ISC_QUAD*, short, const ISC_SCHAR*) {
    return fake::Result(status, "isc_create_blob2");
}

FAKE_API ISC_STATUS isc_create_database(ISC_STATUS* status, fake_count, const ISC_SCHAR*, isc_db_handle*, fake_count, const ISC_SCHAR*, fake_count) {
    return fake::Result(status, "isc_create_database");
}

FAKE_API ISC_STATUS isc_database_info(ISC_STATUS* status, isc_db_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*) {
    return fake::Result(status, "isc_database_info");
}

FAKE_API void isc_decode_date(const ISC_QUAD*, void*) {
    fake::Record("isc_decode_date");
}

#ifndef FAKE_NO_IB6
FAKE_API void isc_decode_sql_date(const ISC_DATE*, void*) {
    fake::Record("isc_decode_sql_date");
}
#endif

#ifndef FAKE_NO_IB6
FAKE_API void isc_decode_sql_time(const ISC_TIME*, void*) {
    fake::Record("isc_decode_sql_time");
}
#endif

#ifndef FAKE_NO_IB6
FAKE_API void isc_decode_timestamp(const ISC_TIMESTAMP*, void*) {
    fake::Record("isc_decode_timestamp");
}
#endif

FAKE_API ISC_STATUS isc_detach_database(ISC_STATUS* status, isc_db_handle*) {
    return fake::Result(status, "isc_detach_database");
}

FAKE_API ISC_STATUS isc_drop_database(ISC_STATUS* status, isc_db_handle*) {
    return fake::Result(status, "isc_drop_database");
}

FAKE_API ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS* status, isc_db_handle*, isc_stmt_handle*) {
    return fake::Result(status, "isc_dsql_alloc_statement2");
}

FAKE_API ISC_STATUS isc_dsql_allocate_statement(ISC_STATUS* status, isc_db_handle*, isc_stmt_handle*) {
    return fake::Result(status, "isc_dsql_allocate_statement");
}

FAKE_API ISC_STATUS isc_dsql_describe(ISC_STATUS* status, isc_stmt_handle*, unsigned short, XSQLDA*) {
    return fake::Result(status, "isc_dsql_describe");
}

FAKE_API ISC_STATUS isc_dsql_describe_bind(ISC_STATUS* status, isc_stmt_handle*, unsigned short, XSQLDA*) {
    return fake::Result(status, "isc_dsql_describe_bind");
}

FAKE_API ISC_STATUS isc_dsql_exec_immed2(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, unsigned short, const ISC_SCHAR*, unsigned short, const XSQLDA*, const XSQLDA*) {
    return fake::Result(status, "isc_dsql_exec_immed2");
}

FAKE_API ISC_STATUS isc_dsql_execute(ISC_STATUS* status, isc_tr_handle*, isc_stmt_handle*, unsigned short, const XSQLDA*) {
    return fake::Result(status, "isc_dsql_execute");
}

FAKE_API ISC_STATUS isc_dsql_execute2(ISC_STATUS* status, isc_tr_handle*, isc_stmt_handle*, unsigned short, const XSQLDA*, const XSQLDA*) {
    return fake::Result(status, "isc_dsql_execute2");
}

FAKE_API ISC_STATUS isc_dsql_fetch(ISC_STATUS* status, isc_stmt_handle*, unsigned short, const XSQLDA*) {
    return fake::Result(status, "isc_dsql_fetch");
}

FAKE_API ISC_STATUS isc_dsql_free_statement(ISC_STATUS* status, isc_stmt_handle*, unsigned short) {
    return fake::Result(status, "isc_dsql_free_statement");
}

FAKE_API ISC_STATUS isc_dsql_prepare(ISC_STATUS* status, isc_tr_handle*, isc_stmt_handle*, unsigned short, const ISC_SCHAR*, unsigned short, XSQLDA*) {
    return fake::Result(status, "isc_dsql_prepare");
}

FAKE_API ISC_STATUS isc_dsql_set_cursor_name(ISC_STATUS* status, isc_stmt_handle*, const ISC_SCHAR*, unsigned short) {
    return fake::Result(status, "isc_dsql_set_cursor_name");
}

FAKE_API ISC_STATUS isc_dsql_sql_info(ISC_STATUS* status, isc_stmt_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*) {
    return fake::Result(status, "isc_dsql_sql_info");
}

FAKE_API void isc_encode_date(const void*, ISC_QUAD*) {
    fake::Record("isc_encode_date");
}

#ifndef FAKE_NO_IB6
FAKE_API void isc_encode_sql_date(const void*, ISC_DATE*) {
    fake::Record("isc_encode_sql_date");
}
#endif

#ifndef FAKE_NO_IB6
FAKE_API void isc_encode_sql_time(const void*, ISC_TIME*) {
    fake::Record("isc_encode_sql_time");
}
#endif

#ifndef FAKE_NO_IB6
FAKE_API void isc_encode_timestamp(const void*, ISC_TIMESTAMP*) {
    fake::Record("isc_encode_timestamp");
}
#endif

FAKE_API void isc_event_counts(ISC_ULONG*, short, ISC_UCHAR*, const ISC_UCHAR*) {
    fake::Record("isc_event_counts");
}

FAKE_API ISC_LONG isc_free(ISC_SCHAR*) {
    fake::Record("isc_free");
    return 0;
}

FAKE_API ISC_STATUS isc_get_segment(ISC_STATUS* status, isc_blob_handle*, unsigned short*, unsigned short, ISC_SCHAR*) {
    return fake::Result(status, "isc_get_segment");
}

FAKE_API ISC_STATUS isc_open_blob2(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, isc_blob_handle*, ISC_QUAD*, ISC_USHORT, const ISC_UCHAR*) {
    return fake::Result(status, "isc_open_blob2");
}

FAKE_API ISC_STATUS isc_prepare_transaction2(ISC_STATUS* status, isc_tr_handle*, ISC_USHORT, const ISC_UCHAR*) {
    return fake::Result(status, "isc_prepare_transaction2");
}

FAKE_API ISC_STATUS isc_put_segment(ISC_STATUS* status, isc_blob_handle*, unsigned short, const ISC_SCHAR*) {
    return fake::Result(status, "isc_put_segment");
}

FAKE_API ISC_STATUS isc_que_events(ISC_STATUS* status, isc_db_handle*, ISC_LONG*, fake_count, const ISC_UCHAR*, ISC_EVENT_CALLBACK, void*) {
    return fake::Result(status, "isc_que_events");
}

#ifdef FAKE_SAVEPOINTS
FAKE_API ISC_STATUS isc_release_savepoint(ISC_STATUS* status, isc_tr_handle*, const ISC_SCHAR*) {
    return fake::Result(status, "isc_release_savepoint");
}
#endif

#ifndef FAKE_NO_IB6
FAKE_API ISC_STATUS isc_rollback_retaining(ISC_STATUS* status, isc_tr_handle*) {
    return fake::Result(status, "isc_rollback_retaining");
}
#endif

#ifdef FAKE_SAVEPOINTS
FAKE_API ISC_STATUS isc_rollback_savepoint(ISC_STATUS* status, isc_tr_handle*, const ISC_SCHAR*, ISC_USHORT) {
    return fake::Result(status, "isc_rollback_savepoint");
}
#endif

FAKE_API ISC_STATUS isc_rollback_transaction(ISC_STATUS* status, isc_tr_handle*) {
    return fake::Result(status, "isc_rollback_transaction");
}

FAKE_API ISC_STATUS isc_start_multiple(ISC_STATUS* status, isc_tr_handle*, short, void*) {
    return fake::Result(status, "isc_start_multiple");
}

FAKE_API void isc_sql_interprete(short, ISC_SCHAR*, short) {
    fake::Record("isc_sql_interprete");
}

FAKE_API ISC_LONG isc_vax_integer(const ISC_SCHAR*, short) {
    fake::Record("isc_vax_integer");
    return 0;
}

FAKE_API ISC_INT64 isc_portable_integer(const ISC_UCHAR*, short) {
    fake::Record("isc_portable_integer");
    return 0;
}

#ifdef FAKE_BATCH
FAKE_API ISC_STATUS isc_dsql_batch_execute(ISC_STATUS* status, isc_tr_handle*, isc_stmt_handle*, unsigned short, XSQLDA*, unsigned short, XSQLVAR**, ISC_ULONG*) {
    return fake::Result(status, "isc_dsql_batch_execute");
}
#endif

FAKE_API ISC_STATUS isc_add_user(ISC_STATUS* status, const USER_SEC_DATA*) {
    return fake::Result(status, "isc_add_user");
}

FAKE_API ISC_STATUS isc_delete_user(ISC_STATUS* status, const USER_SEC_DATA*) {
    return fake::Result(status, "isc_delete_user");
}

FAKE_API ISC_STATUS isc_modify_user(ISC_STATUS* status, const USER_SEC_DATA*) {
    return fake::Result(status, "isc_modify_user");
}

FAKE_API ISC_STATUS isc_prepare_transaction(ISC_STATUS* status, isc_tr_handle*) {
    return fake::Result(status, "isc_prepare_transaction");
}

FAKE_API int BLOB_put(ISC_SCHAR, FB_BLOB_STREAM) {
    fake::Record("BLOB_put");
    return 0;
}

FAKE_API int BLOB_get(FB_BLOB_STREAM) {
    fake::Record("BLOB_get");
    return 0;
}

#ifndef FAKE_NO_IB6
FAKE_API ISC_STATUS isc_service_attach(ISC_STATUS* status, unsigned short, const ISC_SCHAR*, isc_svc_handle*, unsigned short, const ISC_SCHAR*) {
    return fake::Result(status, "isc_service_attach");
}
#endif

#ifndef FAKE_NO_IB6
FAKE_API ISC_STATUS isc_service_detach(ISC_STATUS* status, isc_svc_handle*) {
    return fake::Result(status, "isc_service_detach");
}
#endif

#ifndef FAKE_NO_IB6
FAKE_API ISC_STATUS isc_service_query(ISC_STATUS* status, isc_svc_handle*, isc_resv_handle*, unsigned short, const ISC_SCHAR*, unsigned short, const ISC_SCHAR*, unsigned short, ISC_SCHAR*) {
    return fake::Result(status, "isc_service_query");
}
#endif

#ifndef FAKE_NO_IB6
FAKE_API ISC_STATUS isc_service_start(ISC_STATUS* status, isc_svc_handle*, isc_resv_handle*, unsigned short, const ISC_SCHAR*) {
    return fake::Result(status, "isc_service_start");
}
#endif

#ifndef FAKE_NO_TRANSACTION_INFO
FAKE_API ISC_STATUS isc_transaction_info(ISC_STATUS* status, isc_tr_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*) {
    return fake::Result(status, "isc_transaction_info");
}
#endif
