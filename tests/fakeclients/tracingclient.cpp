// A client library that forwards every call to the real libfbclient.so.2 and
// records the calls that tell what a component sent to the server: attach
// and detach, transaction starts and ends, statement allocation, prepare
// (with the statement text), execute, fetch and free. Each record is one
// line appended to the file named by VANTREL_TRACE_FILE (nothing is written
// while the variable is unset or empty).
//
// Calls that are not recorded go through one-instruction trampolines
// (x86-64), so the shim needs no knowledge of their signatures.
#include <dlfcn.h>
#include <ibase.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

std::mutex gLogLock;

void Log(const std::string &line) {
    std::lock_guard<std::mutex> guard(gLogLock);
    const char *path = std::getenv("VANTREL_TRACE_FILE");
    if (path == nullptr || *path == '\0') return;
    if (FILE *file = std::fopen(path, "a")) {
        std::fputs(line.c_str(), file);
        std::fputc('\n', file);
        std::fclose(file);
    }
}

std::string Hex(const void *handlePointer) {
    if (handlePointer == nullptr) return "none";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%x", *static_cast<const unsigned *>(handlePointer));
    return buffer;
}

std::string Escape(const char *text, size_t length) {
    std::string result;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '\r')
            result += "\\r";
        else if (c == '\n')
            result += "\\n";
        else if (c == '\\')
            result += "\\\\";
        else
            result += c;
    }
    return result;
}

void *gReal = nullptr;

void *Resolve(const char *name) {
    if (gReal == nullptr) gReal = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
    return gReal != nullptr ? dlsym(gReal, name) : nullptr;
}

template <typename F>
F *Real(const char *name) {
    return reinterpret_cast<F *>(Resolve(name));
}

}  // namespace

// ---- trampolines --------------------------------------------------------------

#define VT_TRAMPOLINE(name)                                                                      \
    extern "C" __attribute__((visibility("hidden"))) void *vt_real_##name;                      \
    void *vt_real_##name = nullptr;                                                              \
    asm(".pushsection .text\n.globl " #name "\n.type " #name ", @function\n" #name                  \
        ":\n\tjmp *vt_real_" #name "(%rip)\n.size " #name ", . - " #name "\n.popsection\n");

#define VT_NAMES(X)                                                                                              \
    X(BLOB_get) X(BLOB_put) X(isc_add_user) X(isc_array_gen_sdl) X(isc_array_get_slice)                         \
    X(isc_array_lookup_bounds) X(isc_array_lookup_desc) X(isc_array_put_slice) X(isc_array_set_desc)            \
    X(isc_blob_default_desc) X(isc_blob_gen_bpb) X(isc_blob_info) X(isc_blob_lookup_desc) X(isc_blob_set_desc)   \
    X(isc_cancel_blob) X(isc_cancel_events) X(isc_close_blob) X(isc_create_blob2) X(isc_create_database)        \
    X(isc_database_info) X(isc_decode_date) X(isc_decode_sql_date) X(isc_decode_sql_time)                        \
    X(isc_decode_timestamp) X(isc_delete_user) X(isc_drop_database) X(isc_dsql_describe)                         \
    X(isc_dsql_describe_bind) X(isc_dsql_exec_immed2) X(isc_dsql_execute_immediate) X(isc_dsql_set_cursor_name)  \
    X(isc_dsql_sql_info) X(isc_encode_date) X(isc_encode_sql_date) X(isc_encode_sql_time)                        \
    X(isc_encode_timestamp) X(isc_event_block) X(isc_event_counts) X(isc_free) X(isc_get_client_major_version)  \
    X(isc_get_client_minor_version) X(isc_get_client_version) X(isc_get_segment) X(isc_interprete)               \
    X(isc_modify_user) X(isc_open_blob2) X(isc_portable_integer) X(isc_prepare_transaction)                      \
    X(isc_prepare_transaction2) X(isc_put_segment) X(isc_que_events) X(isc_service_attach)                       \
    X(isc_service_detach) X(isc_service_query) X(isc_service_start) X(isc_sql_interprete) X(isc_sqlcode)         \
    X(isc_start_transaction) X(isc_transaction_info) X(isc_vax_integer)

VT_NAMES(VT_TRAMPOLINE)

__attribute__((constructor)) static void ResolveTrampolines() {
#define VT_RESOLVE(name) vt_real_##name = Resolve(#name);
    VT_NAMES(VT_RESOLVE)
#undef VT_RESOLVE
}

// ---- recorded calls -----------------------------------------------------------

extern "C" {

ISC_STATUS isc_attach_database(ISC_STATUS *status, short length, const ISC_SCHAR *name, isc_db_handle *db, short dpbLength,
                               const ISC_SCHAR *dpb) {
    static auto *real = Real<decltype(::isc_attach_database)>("isc_attach_database");
    ISC_STATUS rc = real(status, length, name, db, dpbLength, dpb);
    Log("attach db=" + Hex(db) + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_detach_database(ISC_STATUS *status, isc_db_handle *db) {
    static auto *real = Real<decltype(::isc_detach_database)>("isc_detach_database");
    std::string before = Hex(db);
    ISC_STATUS rc = real(status, db);
    Log("detach db=" + before + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_start_multiple(ISC_STATUS *status, isc_tr_handle *tr, short count, void *tebs) {
    static auto *real = Real<decltype(::isc_start_multiple)>("isc_start_multiple");
    ISC_STATUS rc = real(status, tr, count, tebs);
    Log("start tr=" + Hex(tr) + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_commit_transaction(ISC_STATUS *status, isc_tr_handle *tr) {
    static auto *real = Real<decltype(::isc_commit_transaction)>("isc_commit_transaction");
    std::string before = Hex(tr);
    ISC_STATUS rc = real(status, tr);
    Log("commit tr=" + before + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_rollback_transaction(ISC_STATUS *status, isc_tr_handle *tr) {
    static auto *real = Real<decltype(::isc_rollback_transaction)>("isc_rollback_transaction");
    std::string before = Hex(tr);
    ISC_STATUS rc = real(status, tr);
    Log("rollback tr=" + before + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_commit_retaining(ISC_STATUS *status, isc_tr_handle *tr) {
    static auto *real = Real<decltype(::isc_commit_retaining)>("isc_commit_retaining");
    ISC_STATUS rc = real(status, tr);
    Log("commit_retaining tr=" + Hex(tr) + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_rollback_retaining(ISC_STATUS *status, isc_tr_handle *tr) {
    static auto *real = Real<decltype(::isc_rollback_retaining)>("isc_rollback_retaining");
    ISC_STATUS rc = real(status, tr);
    Log("rollback_retaining tr=" + Hex(tr) + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS *status, isc_db_handle *db, isc_stmt_handle *stmt) {
    static auto *real = Real<decltype(::isc_dsql_alloc_statement2)>("isc_dsql_alloc_statement2");
    ISC_STATUS rc = real(status, db, stmt);
    Log("alloc stmt=" + Hex(stmt) + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_dsql_allocate_statement(ISC_STATUS *status, isc_db_handle *db, isc_stmt_handle *stmt) {
    static auto *real = Real<decltype(::isc_dsql_allocate_statement)>("isc_dsql_allocate_statement");
    ISC_STATUS rc = real(status, db, stmt);
    Log("alloc stmt=" + Hex(stmt) + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_dsql_prepare(ISC_STATUS *status, isc_tr_handle *tr, isc_stmt_handle *stmt, unsigned short length,
                            const ISC_SCHAR *text, unsigned short dialect, XSQLDA *da) {
    static auto *real = Real<decltype(::isc_dsql_prepare)>("isc_dsql_prepare");
    ISC_STATUS rc = real(status, tr, stmt, length, text, dialect, da);
    size_t textLength = length != 0 ? length : (text ? std::char_traits<char>::length(text) : 0);
    Log("prepare tr=" + Hex(tr) + " stmt=" + Hex(stmt) + " dialect=" + std::to_string(dialect) +
        " rc=" + std::to_string(rc) + " sql=" + Escape(text, textLength));
    return rc;
}

ISC_STATUS isc_dsql_execute(ISC_STATUS *status, isc_tr_handle *tr, isc_stmt_handle *stmt, unsigned short dialect,
                            const XSQLDA *in) {
    static auto *real = Real<decltype(::isc_dsql_execute)>("isc_dsql_execute");
    ISC_STATUS rc = real(status, tr, stmt, dialect, in);
    Log("execute tr=" + Hex(tr) + " stmt=" + Hex(stmt) + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_dsql_execute2(ISC_STATUS *status, isc_tr_handle *tr, isc_stmt_handle *stmt, unsigned short dialect,
                             const XSQLDA *in, const XSQLDA *out) {
    static auto *real = Real<decltype(::isc_dsql_execute2)>("isc_dsql_execute2");
    ISC_STATUS rc = real(status, tr, stmt, dialect, in, out);
    Log("execute tr=" + Hex(tr) + " stmt=" + Hex(stmt) + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_dsql_fetch(ISC_STATUS *status, isc_stmt_handle *stmt, unsigned short dialect, const XSQLDA *out) {
    static auto *real = Real<decltype(::isc_dsql_fetch)>("isc_dsql_fetch");
    ISC_STATUS rc = real(status, stmt, dialect, out);
    Log("fetch stmt=" + Hex(stmt) + " rc=" + std::to_string(rc));
    return rc;
}

ISC_STATUS isc_dsql_free_statement(ISC_STATUS *status, isc_stmt_handle *stmt, unsigned short option) {
    static auto *real = Real<decltype(::isc_dsql_free_statement)>("isc_dsql_free_statement");
    std::string before = Hex(stmt);
    ISC_STATUS rc = real(status, stmt, option);
    Log("free stmt=" + before + " option=" + std::to_string(option) + " rc=" + std::to_string(rc));
    return rc;
}

}  // extern "C"
