// A client library that forwards every call to the real libfbclient.so.2,
// except that an armed isc_dsql_execute2 with an output descriptor (an
// executable procedure) fails once with 335544485 (invalid statement
// handle), as a server does after the procedure changed under a prepared
// statement, and that an armed execute of any kind fails with 335544794
// (operation cancelled). Further one-shot faults: a statement release or
// fetch that reports a given code, and a statement type answered in place of
// the real one. Tests arm them through the exported Stale* functions.
//
// The forwarded calls go through one-instruction trampolines (x86-64), so
// the shim needs no knowledge of their signatures.
#include <dlfcn.h>
#include <ibase.h>

#include <atomic>

namespace {

void *gReal = nullptr;

void *Resolve(const char *name) {
    if (gReal == nullptr) gReal = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
    return gReal != nullptr ? dlsym(gReal, name) : nullptr;
}

std::atomic<int> gArmed{0};
std::atomic<int> gCancel{0};
std::atomic<long> gFreeCode{0};
std::atomic<long> gFetchCode{0};
std::atomic<int> gForcedType{-1};

void Fail(ISC_STATUS *status, long code) {
    status[0] = isc_arg_gds;
    status[1] = code;
    status[2] = isc_arg_end;
}

bool Cancelled(ISC_STATUS *status) {
    if (gCancel <= 0) return false;
    --gCancel;
    status[0] = isc_arg_gds;
    status[1] = isc_cancelled;
    status[2] = isc_arg_end;
    return true;
}
std::atomic<int> gFailures{0};
std::atomic<int> gPrepares{0};
std::atomic<int> gExecutes{0};

}  // namespace

#define STALE_TRAMPOLINE(name)                                                                      \
    extern "C" __attribute__((visibility("hidden"))) void *stale_real_##name;                      \
    void *stale_real_##name = nullptr;                                                              \
    asm(".pushsection .text\n.globl " #name "\n.type " #name ", @function\n" #name ":\n\tjmp *stale_real_" #name \
        "(%rip)\n.size " #name ", . - " #name "\n.popsection\n");

#define STALE_NAMES(X)                                                                                          \
    X(BLOB_get) X(BLOB_put) X(isc_sqlcode) X(isc_sql_interprete) X(isc_interprete) X(isc_vax_integer)          \
    X(isc_portable_integer) X(isc_blob_info) X(isc_open_blob2) X(isc_close_blob) X(isc_get_segment)             \
    X(isc_put_segment) X(isc_create_blob2) X(isc_create_database) X(isc_cancel_blob) X(isc_array_gen_sdl)      \
    X(isc_array_get_slice) X(isc_array_lookup_bounds) X(isc_array_lookup_desc) X(isc_array_set_desc)           \
    X(isc_array_put_slice) X(isc_blob_default_desc) X(isc_blob_gen_bpb) X(isc_blob_lookup_desc)                \
    X(isc_blob_set_desc) X(isc_decode_date) X(isc_encode_date) \
    X(isc_dsql_set_cursor_name) X(isc_dsql_alloc_statement2) X(isc_dsql_allocate_statement) \
    X(isc_dsql_describe_bind) X(isc_dsql_exec_immed2) X(isc_dsql_describe) X(isc_dsql_execute_immediate)       \
    X(isc_drop_database) X(isc_detach_database) X(isc_attach_database) X(isc_database_info)                    \
    X(isc_start_multiple) X(isc_start_transaction) X(isc_commit_transaction) X(isc_commit_retaining)           \
    X(isc_rollback_transaction) X(isc_cancel_events) X(isc_que_events) X(isc_event_counts) X(isc_event_block)  \
    X(isc_free) X(isc_add_user) X(isc_delete_user) X(isc_modify_user) X(isc_prepare_transaction)               \
    X(isc_prepare_transaction2) X(isc_transaction_info) X(isc_rollback_retaining) X(isc_service_attach)        \
    X(isc_service_detach) X(isc_service_query) X(isc_service_start) X(isc_decode_sql_date)                     \
    X(isc_decode_sql_time) X(isc_decode_timestamp) X(isc_encode_sql_date) X(isc_encode_sql_time)               \
    X(isc_encode_timestamp) X(isc_get_client_version) X(isc_get_client_major_version)                         \
    X(isc_get_client_minor_version)

STALE_NAMES(STALE_TRAMPOLINE)

__attribute__((constructor)) static void ResolveTrampolines() {
#define STALE_RESOLVE(name) stale_real_##name = Resolve(#name);
    STALE_NAMES(STALE_RESOLVE)
#undef STALE_RESOLVE
}

extern "C" {

// The next Count executes of a procedure fail with 335544485.
__attribute__((visibility("default"))) void StaleStatementArm(int Count) { gArmed = Count; }
// The next Count executes of any statement fail with 335544794.
__attribute__((visibility("default"))) void StaleStatementArmCancel(int Count) { gCancel = Count; }
// The next statement release (after really releasing), or the next fetch,
// reports Code.
__attribute__((visibility("default"))) void StaleStatementFailFree(long Code) { gFreeCode = Code; }
__attribute__((visibility("default"))) void StaleStatementFailFetch(long Code) { gFetchCode = Code; }
// The next question for a statement type is answered with Type.
__attribute__((visibility("default"))) void StaleStatementForceType(int Type) { gForcedType = Type; }
__attribute__((visibility("default"))) int StaleStatementFailures() { return gFailures; }
__attribute__((visibility("default"))) int StaleStatementPrepares() { return gPrepares; }
__attribute__((visibility("default"))) int StaleStatementExecutes() { return gExecutes; }

ISC_STATUS isc_dsql_prepare(ISC_STATUS *status, isc_tr_handle *tr, isc_stmt_handle *stmt, unsigned short length,
                            const ISC_SCHAR *text, unsigned short dialect, XSQLDA *da) {
    static auto *real = reinterpret_cast<decltype(::isc_dsql_prepare) *>(Resolve("isc_dsql_prepare"));
    ++gPrepares;
    return real(status, tr, stmt, length, text, dialect, da);
}

ISC_STATUS isc_dsql_execute2(ISC_STATUS *status, isc_tr_handle *tr, isc_stmt_handle *stmt, unsigned short dialect,
                             const XSQLDA *in, const XSQLDA *out) {
    static auto *real = reinterpret_cast<decltype(::isc_dsql_execute2) *>(Resolve("isc_dsql_execute2"));
    ++gExecutes;
    if (Cancelled(status)) return isc_cancelled;
    if (out != nullptr && gArmed > 0) {
        --gArmed;
        ++gFailures;
        status[0] = isc_arg_gds;
        status[1] = isc_bad_stmt_handle;
        status[2] = isc_arg_end;
        return isc_bad_stmt_handle;
    }
    return real(status, tr, stmt, dialect, in, out);
}

ISC_STATUS isc_dsql_execute(ISC_STATUS *status, isc_tr_handle *tr, isc_stmt_handle *stmt, unsigned short dialect,
                            const XSQLDA *in) {
    static auto *real = reinterpret_cast<decltype(::isc_dsql_execute) *>(Resolve("isc_dsql_execute"));
    ++gExecutes;
    if (Cancelled(status)) return isc_cancelled;
    return real(status, tr, stmt, dialect, in);
}

ISC_STATUS isc_dsql_free_statement(ISC_STATUS *status, isc_stmt_handle *stmt, unsigned short option) {
    static auto *real = reinterpret_cast<decltype(::isc_dsql_free_statement) *>(Resolve("isc_dsql_free_statement"));
    ISC_STATUS rc = real(status, stmt, option);
    if (long code = gFreeCode.exchange(0)) {
        Fail(status, code);
        return code;
    }
    return rc;
}

ISC_STATUS isc_dsql_fetch(ISC_STATUS *status, isc_stmt_handle *stmt, unsigned short dialect, const XSQLDA *da) {
    static auto *real = reinterpret_cast<decltype(::isc_dsql_fetch) *>(Resolve("isc_dsql_fetch"));
    if (long code = gFetchCode.exchange(0)) {
        Fail(status, code);
        return code;
    }
    return real(status, stmt, dialect, da);
}

ISC_STATUS isc_dsql_sql_info(ISC_STATUS *status, isc_stmt_handle *stmt, short itemLength, const ISC_SCHAR *items,
                             short bufferLength, ISC_SCHAR *buffer) {
    static auto *real = reinterpret_cast<decltype(::isc_dsql_sql_info) *>(Resolve("isc_dsql_sql_info"));
    ISC_STATUS rc = real(status, stmt, itemLength, items, bufferLength, buffer);
    if (rc == 0 && itemLength == 1 && items[0] == isc_info_sql_stmt_type && buffer[0] == isc_info_sql_stmt_type) {
        int type = gForcedType.exchange(-1);
        if (type >= 0) {
            buffer[1] = 4;
            buffer[2] = 0;
            buffer[3] = static_cast<ISC_SCHAR>(type);
            buffer[4] = buffer[5] = buffer[6] = 0;
        }
    }
    return rc;
}

}  // extern "C"
