// Run-time binding to the client library: loading, entry-point resolution by
// version group, refusal routines for what the loaded client lacks, the
// server type registry and the per-thread status vector.
#include "client/GDSLibrary.h"

#include <dlfcn.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "client/IBErrors.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"

namespace vantrel {

// Our function types must be the ones of the published header, or a call
// through a resolved entry point would pass the wrong arguments.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
static_assert(std::is_same_v<Tisc_attach_database, decltype(::isc_attach_database)>);
static_assert(std::is_same_v<Tisc_array_gen_sdl, decltype(::isc_array_gen_sdl)>);
static_assert(std::is_same_v<Tisc_array_get_slice, decltype(::isc_array_get_slice)>);
static_assert(std::is_same_v<Tisc_array_lookup_bounds, decltype(::isc_array_lookup_bounds)>);
static_assert(std::is_same_v<Tisc_array_lookup_desc, decltype(::isc_array_lookup_desc)>);
static_assert(std::is_same_v<Tisc_array_set_desc, decltype(::isc_array_set_desc)>);
static_assert(std::is_same_v<Tisc_array_put_slice, decltype(::isc_array_put_slice)>);
static_assert(std::is_same_v<Tisc_blob_default_desc, decltype(::isc_blob_default_desc)>);
static_assert(std::is_same_v<Tisc_blob_gen_bpb, decltype(::isc_blob_gen_bpb)>);
static_assert(std::is_same_v<Tisc_blob_info, decltype(::isc_blob_info)>);
static_assert(std::is_same_v<Tisc_blob_lookup_desc, decltype(::isc_blob_lookup_desc)>);
static_assert(std::is_same_v<Tisc_blob_set_desc, decltype(::isc_blob_set_desc)>);
static_assert(std::is_same_v<Tisc_cancel_blob, decltype(::isc_cancel_blob)>);
static_assert(std::is_same_v<Tisc_cancel_events, decltype(::isc_cancel_events)>);
static_assert(std::is_same_v<Tisc_close_blob, decltype(::isc_close_blob)>);
static_assert(std::is_same_v<Tisc_commit_retaining, decltype(::isc_commit_retaining)>);
static_assert(std::is_same_v<Tisc_commit_transaction, decltype(::isc_commit_transaction)>);
static_assert(std::is_same_v<Tisc_create_blob2, decltype(::isc_create_blob2)>);
static_assert(std::is_same_v<Tisc_create_database, decltype(::isc_create_database)>);
static_assert(std::is_same_v<Tisc_database_info, decltype(::isc_database_info)>);
static_assert(std::is_same_v<Tisc_decode_date, decltype(::isc_decode_date)>);
static_assert(std::is_same_v<Tisc_decode_sql_date, decltype(::isc_decode_sql_date)>);
static_assert(std::is_same_v<Tisc_decode_sql_time, decltype(::isc_decode_sql_time)>);
static_assert(std::is_same_v<Tisc_decode_timestamp, decltype(::isc_decode_timestamp)>);
static_assert(std::is_same_v<Tisc_detach_database, decltype(::isc_detach_database)>);
static_assert(std::is_same_v<Tisc_drop_database, decltype(::isc_drop_database)>);
static_assert(std::is_same_v<Tisc_dsql_alloc_statement2, decltype(::isc_dsql_alloc_statement2)>);
static_assert(std::is_same_v<Tisc_dsql_describe, decltype(::isc_dsql_describe)>);
static_assert(std::is_same_v<Tisc_dsql_describe_bind, decltype(::isc_dsql_describe_bind)>);
static_assert(std::is_same_v<Tisc_dsql_exec_immed2, decltype(::isc_dsql_exec_immed2)>);
static_assert(std::is_same_v<Tisc_dsql_execute, decltype(::isc_dsql_execute)>);
static_assert(std::is_same_v<Tisc_dsql_execute2, decltype(::isc_dsql_execute2)>);
static_assert(std::is_same_v<Tisc_dsql_execute_immediate, decltype(::isc_dsql_execute_immediate)>);
static_assert(std::is_same_v<Tisc_dsql_fetch, decltype(::isc_dsql_fetch)>);
static_assert(std::is_same_v<Tisc_dsql_free_statement, decltype(::isc_dsql_free_statement)>);
static_assert(std::is_same_v<Tisc_dsql_prepare, decltype(::isc_dsql_prepare)>);
static_assert(std::is_same_v<Tisc_dsql_set_cursor_name, decltype(::isc_dsql_set_cursor_name)>);
static_assert(std::is_same_v<Tisc_dsql_sql_info, decltype(::isc_dsql_sql_info)>);
static_assert(std::is_same_v<Tisc_encode_date, decltype(::isc_encode_date)>);
static_assert(std::is_same_v<Tisc_encode_sql_date, decltype(::isc_encode_sql_date)>);
static_assert(std::is_same_v<Tisc_encode_sql_time, decltype(::isc_encode_sql_time)>);
static_assert(std::is_same_v<Tisc_encode_timestamp, decltype(::isc_encode_timestamp)>);
static_assert(std::is_same_v<Tisc_event_block, decltype(::isc_event_block)>);
static_assert(std::is_same_v<Tisc_event_counts, decltype(::isc_event_counts)>);
static_assert(std::is_same_v<Tisc_free, decltype(::isc_free)>);
static_assert(std::is_same_v<Tisc_get_segment, decltype(::isc_get_segment)>);
static_assert(std::is_same_v<Tisc_interprete, decltype(::isc_interprete)>);
static_assert(std::is_same_v<Tisc_open_blob2, decltype(::isc_open_blob2)>);
static_assert(std::is_same_v<Tisc_prepare_transaction2, decltype(::isc_prepare_transaction2)>);
static_assert(std::is_same_v<Tisc_put_segment, decltype(::isc_put_segment)>);
static_assert(std::is_same_v<Tisc_que_events, decltype(::isc_que_events)>);
static_assert(std::is_same_v<Tisc_rollback_retaining, decltype(::isc_rollback_retaining)>);
static_assert(std::is_same_v<Tisc_rollback_transaction, decltype(::isc_rollback_transaction)>);
static_assert(std::is_same_v<Tisc_start_multiple, decltype(::isc_start_multiple)>);
static_assert(std::is_same_v<Tisc_start_transaction, decltype(::isc_start_transaction)>);
static_assert(std::is_same_v<Tisc_sqlcode, decltype(::isc_sqlcode)>);
static_assert(std::is_same_v<Tisc_sql_interprete, decltype(::isc_sql_interprete)>);
static_assert(std::is_same_v<Tisc_vax_integer, decltype(::isc_vax_integer)>);
static_assert(std::is_same_v<Tisc_portable_integer, decltype(::isc_portable_integer)>);
static_assert(std::is_same_v<Tisc_add_user, decltype(::isc_add_user)>);
static_assert(std::is_same_v<Tisc_delete_user, decltype(::isc_delete_user)>);
static_assert(std::is_same_v<Tisc_modify_user, decltype(::isc_modify_user)>);
static_assert(std::is_same_v<Tisc_prepare_transaction, decltype(::isc_prepare_transaction)>);
static_assert(std::is_same_v<TBLOB_put, decltype(::BLOB_put)>);
static_assert(std::is_same_v<TBLOB_get, decltype(::BLOB_get)>);
static_assert(std::is_same_v<Tisc_service_attach, decltype(::isc_service_attach)>);
static_assert(std::is_same_v<Tisc_service_detach, decltype(::isc_service_detach)>);
static_assert(std::is_same_v<Tisc_service_query, decltype(::isc_service_query)>);
static_assert(std::is_same_v<Tisc_service_start, decltype(::isc_service_start)>);
static_assert(std::is_same_v<Tisc_get_client_version, decltype(::isc_get_client_version)>);
static_assert(std::is_same_v<Tisc_get_client_major_version, decltype(::isc_get_client_major_version)>);
static_assert(std::is_same_v<Tisc_get_client_minor_version, decltype(::isc_get_client_minor_version)>);
static_assert(std::is_same_v<Tisc_transaction_info, decltype(::isc_transaction_info)>);
#pragma GCC diagnostic pop

namespace {

constexpr const char *kDefaultClientLibrary = "libfbclient.so.2";
constexpr const char *kXMLLibrary = "libibxml.so";

// Why a refusal routine refuses.
enum class TRefusal { IB6, IB70, IB71, IB2007, XML, Unresolved };

[[noreturn]] void Refuse(TRefusal kind, const char *name) {
    const String text = Utf8ToString(name);
    switch (kind) {
        case TRefusal::IB6:
            RaiseClientError(ibxeIB60feature, {text});
        case TRefusal::IB70:
            throw EIBClientError(0, Format(u"%s is an InterBase 7.0 function. Please upgrade to InterBase 7.0 to use this functonality", {text}));
        case TRefusal::IB71:
            throw EIBClientError(0, Format(u"%s is an InterBase 7.1 function. Please upgrade to InterBase 7.1 to use this functonality", {text}));
        case TRefusal::IB2007:
            throw EIBClientError(0, Format(u"%s is an InterBase 2007 function. Please upgrade to InterBase 2007 to use this functonality", {text}));
        case TRefusal::XML:
            throw EIBClientError(0, Format(u"%s needs the XML output library %s, which is not loaded", {text, Utf8ToString(kXMLLibrary)}));
        case TRefusal::Unresolved:
            break;
    }
    // An entry point of a library that is not (or not completely) loaded:
    // fail instead of jumping through a null address.
    throw EIBClientError(0, Format(u"Client library function %s is not loaded", {text}));
}

// A string usable as a template argument, so that each refusal routine is a
// plain function that knows its own text.
template <size_t N>
struct TFixedName {
    char Text[N];
    constexpr TFixedName(const char (&text)[N]) {
        for (size_t i = 0; i < N; ++i) Text[i] = text[i];
    }
};

// A function of exactly the entry point's type that raises when called.
template <class F, TRefusal Kind, TFixedName Name>
struct TRefusalRoutine;

template <class R, class... A, TRefusal Kind, TFixedName Name>
struct TRefusalRoutine<R(A...), Kind, Name> {
    static R Call(A...) { Refuse(Kind, Name.Text); }
};

template <class R, class... A, TRefusal Kind, TFixedName Name>
struct TRefusalRoutine<R(A..., ...), Kind, Name> {
    static R Call(A..., ...) { Refuse(Kind, Name.Text); }
};

#define REFUSE(name, kind, text) (&TRefusalRoutine<T##name, TRefusal::kind, text>::Call)
#define UNRESOLVED(name) REFUSE(name, Unresolved, #name)

// A lookup that must succeed: a missing name is the loader's error, with
// its text and code 0.
template <class T>
void Require(void *library, const char *name, T *&entry) {
    dlerror();
    void *address = dlsym(library, name);
    if (address == nullptr) {
        const char *error = dlerror();
        throw EOSError::FromCode(0, AnsiString(error != nullptr ? error : name));
    }
    entry = reinterpret_cast<T *>(address);
}

// A lookup that may fail.
template <class T>
bool Probe(void *library, const char *name, T *&entry) {
    void *address = dlsym(library, name);
    dlerror();
    if (address == nullptr) return false;
    entry = reinterpret_cast<T *>(address);
    return true;
}

#define REQUIRE(name) Require(FIBLibrary, #name, F##name)

// ---- Forwarding of the two variadic client functions ----------------------
// C cannot pass a va_list on to a variadic function, so the arguments are
// read and the entry point is called with an explicit argument list, chosen
// by count from a table built at compile time.

struct TStartTarget {
    isc_db_handle *Database;
    int TPBLength;
    const ISC_SCHAR *TPB;
};

// The transaction existence block of isc_start_multiple.
struct TTransactionExistenceBlock {
    isc_db_handle *db_handle;
    ISC_LONG tpb_length;
    const ISC_SCHAR *tpb_address;
};

constexpr size_t kMaxStartTargets = 16;
constexpr size_t kMaxEventNames = 32;

template <size_t K>
auto StartArg(const TStartTarget &target) {
    if constexpr (K == 0) return target.Database;
    else if constexpr (K == 1) return target.TPBLength;
    else return target.TPB;
}

template <size_t... I>
ISC_STATUS CallStart(Tisc_start_transaction *entry, ISC_STATUS *status, isc_tr_handle *tr, short count,
                     const TStartTarget *targets, std::index_sequence<I...>) {
    return entry(status, tr, count, StartArg<I % 3>(targets[I / 3])...);
}

using TStartCaller = ISC_STATUS (*)(Tisc_start_transaction *, ISC_STATUS *, isc_tr_handle *, short,
                                    const TStartTarget *);

template <size_t... N>
constexpr auto MakeStartCallers(std::index_sequence<N...>) {
    return std::array<TStartCaller, sizeof...(N)>{
        [](Tisc_start_transaction *e, ISC_STATUS *s, isc_tr_handle *t, short c, const TStartTarget *p) {
            return CallStart(e, s, t, c, p, std::make_index_sequence<3 * N>());
        }...};
}

constexpr auto kStartCallers = MakeStartCallers(std::make_index_sequence<kMaxStartTargets + 1>());

template <size_t... I>
ISC_LONG CallEventBlock(Tisc_event_block *entry, ISC_UCHAR **events, ISC_UCHAR **results, ISC_USHORT count,
                        const ISC_SCHAR *const *names, std::index_sequence<I...>) {
    return entry(events, results, count, names[I]...);
}

using TEventCaller = ISC_LONG (*)(Tisc_event_block *, ISC_UCHAR **, ISC_UCHAR **, ISC_USHORT, const ISC_SCHAR *const *);

template <size_t... N>
constexpr auto MakeEventCallers(std::index_sequence<N...>) {
    return std::array<TEventCaller, sizeof...(N)>{
        [](Tisc_event_block *e, ISC_UCHAR **ev, ISC_UCHAR **rs, ISC_USHORT c, const ISC_SCHAR *const *n) {
            return CallEventBlock(e, ev, rs, c, n, std::make_index_sequence<N>());
        }...};
}

constexpr auto kEventCallers = MakeEventCallers(std::make_index_sequence<kMaxEventNames + 1>());

thread_local ISC_STATUS tStatusVector[ISC_STATUS_LENGTH] = {};

}  // namespace

ISC_STATUS *StatusVector() { return tStatusVector; }

// ---- TIBServerLibrary --------------------------------------------------------

TIBServerLibrary::TIBServerLibrary() { ResetEntryPoints(); }

// Loaded libraries stay loaded until the process ends.
TIBServerLibrary::~TIBServerLibrary() = default;

String TIBServerLibrary::LibraryName() const {
    const char *name = std::getenv("VANTREL_CLIENT_LIBRARY");
    return AnsiString(name != nullptr && *name != '\0' ? name : kDefaultClientLibrary);
}

String TIBEmbeddedLibrary::LibraryName() const { return TIBServerLibrary::LibraryName(); }

void TIBServerLibrary::ResetEntryPoints() {
    Fisc_attach_database = UNRESOLVED(isc_attach_database);
    Fisc_array_gen_sdl = UNRESOLVED(isc_array_gen_sdl);
    Fisc_array_gen_sdl2 = UNRESOLVED(isc_array_gen_sdl2);
    Fisc_array_get_slice = UNRESOLVED(isc_array_get_slice);
    Fisc_array_get_slice2 = UNRESOLVED(isc_array_get_slice2);
    Fisc_array_lookup_bounds = UNRESOLVED(isc_array_lookup_bounds);
    Fisc_array_lookup_bounds2 = UNRESOLVED(isc_array_lookup_bounds2);
    Fisc_array_lookup_desc = UNRESOLVED(isc_array_lookup_desc);
    Fisc_array_lookup_desc2 = UNRESOLVED(isc_array_lookup_desc2);
    Fisc_array_set_desc = UNRESOLVED(isc_array_set_desc);
    Fisc_array_set_desc2 = UNRESOLVED(isc_array_set_desc2);
    Fisc_array_put_slice = UNRESOLVED(isc_array_put_slice);
    Fisc_array_put_slice2 = UNRESOLVED(isc_array_put_slice2);
    Fisc_blob_default_desc = UNRESOLVED(isc_blob_default_desc);
    Fisc_blob_default_desc2 = UNRESOLVED(isc_blob_default_desc2);
    Fisc_blob_gen_bpb = UNRESOLVED(isc_blob_gen_bpb);
    Fisc_blob_gen_bpb2 = UNRESOLVED(isc_blob_gen_bpb2);
    Fisc_blob_info = UNRESOLVED(isc_blob_info);
    Fisc_blob_lookup_desc = UNRESOLVED(isc_blob_lookup_desc);
    Fisc_blob_lookup_desc2 = UNRESOLVED(isc_blob_lookup_desc2);
    Fisc_blob_set_desc = UNRESOLVED(isc_blob_set_desc);
    Fisc_blob_set_desc2 = UNRESOLVED(isc_blob_set_desc2);
    Fisc_cancel_blob = UNRESOLVED(isc_cancel_blob);
    Fisc_cancel_events = UNRESOLVED(isc_cancel_events);
    Fisc_close_blob = UNRESOLVED(isc_close_blob);
    Fisc_commit_retaining = UNRESOLVED(isc_commit_retaining);
    Fisc_commit_transaction = UNRESOLVED(isc_commit_transaction);
    Fisc_create_blob2 = UNRESOLVED(isc_create_blob2);
    Fisc_create_database = UNRESOLVED(isc_create_database);
    Fisc_database_info = UNRESOLVED(isc_database_info);
    Fisc_decode_date = UNRESOLVED(isc_decode_date);
    Fisc_decode_sql_date = UNRESOLVED(isc_decode_sql_date);
    Fisc_decode_sql_time = UNRESOLVED(isc_decode_sql_time);
    Fisc_decode_timestamp = UNRESOLVED(isc_decode_timestamp);
    Fisc_detach_database = UNRESOLVED(isc_detach_database);
    Fisc_drop_database = UNRESOLVED(isc_drop_database);
    Fisc_dsql_alloc_statement2 = UNRESOLVED(isc_dsql_alloc_statement2);
    Fisc_dsql_describe = UNRESOLVED(isc_dsql_describe);
    Fisc_dsql_describe_bind = UNRESOLVED(isc_dsql_describe_bind);
    Fisc_dsql_exec_immed2 = UNRESOLVED(isc_dsql_exec_immed2);
    Fisc_dsql_execute = UNRESOLVED(isc_dsql_execute);
    Fisc_dsql_execute2 = UNRESOLVED(isc_dsql_execute2);
    Fisc_dsql_execute_immediate = UNRESOLVED(isc_dsql_execute_immediate);
    Fisc_dsql_fetch = UNRESOLVED(isc_dsql_fetch);
    Fisc_dsql_free_statement = UNRESOLVED(isc_dsql_free_statement);
    Fisc_dsql_prepare = UNRESOLVED(isc_dsql_prepare);
    Fisc_dsql_set_cursor_name = UNRESOLVED(isc_dsql_set_cursor_name);
    Fisc_dsql_sql_info = UNRESOLVED(isc_dsql_sql_info);
    Fisc_encode_date = UNRESOLVED(isc_encode_date);
    Fisc_encode_sql_date = UNRESOLVED(isc_encode_sql_date);
    Fisc_encode_sql_time = UNRESOLVED(isc_encode_sql_time);
    Fisc_encode_timestamp = UNRESOLVED(isc_encode_timestamp);
    Fisc_event_block = UNRESOLVED(isc_event_block);
    Fisc_event_counts = UNRESOLVED(isc_event_counts);
    Fisc_free = UNRESOLVED(isc_free);
    Fisc_get_segment = UNRESOLVED(isc_get_segment);
    Fisc_interprete = UNRESOLVED(isc_interprete);
    Fisc_open_blob2 = UNRESOLVED(isc_open_blob2);
    Fisc_prepare_transaction2 = UNRESOLVED(isc_prepare_transaction2);
    Fisc_put_segment = UNRESOLVED(isc_put_segment);
    Fisc_que_events = UNRESOLVED(isc_que_events);
    Fisc_release_savepoint = UNRESOLVED(isc_release_savepoint);
    Fisc_rollback_retaining = UNRESOLVED(isc_rollback_retaining);
    Fisc_rollback_savepoint = UNRESOLVED(isc_rollback_savepoint);
    Fisc_rollback_transaction = UNRESOLVED(isc_rollback_transaction);
    Fisc_start_multiple = UNRESOLVED(isc_start_multiple);
    Fisc_start_transaction = UNRESOLVED(isc_start_transaction);
    Fisc_start_savepoint = UNRESOLVED(isc_start_savepoint);
    Fisc_sqlcode = UNRESOLVED(isc_sqlcode);
    Fisc_sql_interprete = UNRESOLVED(isc_sql_interprete);
    Fisc_vax_integer = UNRESOLVED(isc_vax_integer);
    Fisc_portable_integer = UNRESOLVED(isc_portable_integer);
    Fisc_dsql_batch_execute_immed = UNRESOLVED(isc_dsql_batch_execute_immed);
    Fisc_dsql_batch_execute = UNRESOLVED(isc_dsql_batch_execute);
    Fisc_add_user = UNRESOLVED(isc_add_user);
    Fisc_delete_user = UNRESOLVED(isc_delete_user);
    Fisc_modify_user = UNRESOLVED(isc_modify_user);
    Fisc_prepare_transaction = UNRESOLVED(isc_prepare_transaction);
    FBLOB_put = UNRESOLVED(BLOB_put);
    FBLOB_get = UNRESOLVED(BLOB_get);
    Fisc_service_attach = UNRESOLVED(isc_service_attach);
    Fisc_service_detach = UNRESOLVED(isc_service_detach);
    Fisc_service_query = UNRESOLVED(isc_service_query);
    Fisc_service_start = UNRESOLVED(isc_service_start);
    Fisc_get_client_version = UNRESOLVED(isc_get_client_version);
    Fisc_get_client_major_version = UNRESOLVED(isc_get_client_major_version);
    Fisc_get_client_minor_version = UNRESOLVED(isc_get_client_minor_version);
    Fisc_transaction_info = UNRESOLVED(isc_transaction_info);
    Fisc_dsql_xml_fetch = UNRESOLVED(isc_dsql_xml_fetch);
    Fisc_dsql_xml_fetch_all = UNRESOLVED(isc_dsql_xml_fetch_all);
    Fisc_dsql_xml_buffer_fetch = UNRESOLVED(isc_dsql_xml_buffer_fetch);
}

namespace {

// True when the loader's message says that the file itself was not found:
// "<name>: cannot open shared object file: No such file or directory". A
// missing dependency names the dependency instead, and a file that is there
// but unusable (wrong architecture, not a library, no permission) gives
// another reason.
bool NotFound(const std::string &name, const std::string &error) {
    const std::string missing = std::strerror(ENOENT);
    return error.starts_with(name + ": ") && error.ends_with(missing);
}

}  // namespace

void TIBServerLibrary::LoadIBLibrary() {
    ResetEntryPoints();
    FIBClientVersion = 0;
    FLoadError.clear();
    const std::string name = AnsiBytes(LibraryName());
    FIBLibrary = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (FIBLibrary == nullptr) {
        const char *error = dlerror();
        if (error != nullptr && !NotFound(name, error)) FLoadError = AnsiString(error);
        return;
    }

    REQUIRE(BLOB_get);
    REQUIRE(BLOB_put);
    REQUIRE(isc_sqlcode);
    REQUIRE(isc_sql_interprete);
    REQUIRE(isc_interprete);
    REQUIRE(isc_vax_integer);
    REQUIRE(isc_portable_integer);
    REQUIRE(isc_blob_info);
    REQUIRE(isc_open_blob2);
    REQUIRE(isc_close_blob);
    REQUIRE(isc_get_segment);
    REQUIRE(isc_put_segment);
    REQUIRE(isc_create_blob2);
    REQUIRE(isc_create_database);
    REQUIRE(isc_cancel_blob);
    REQUIRE(isc_array_gen_sdl);
    REQUIRE(isc_array_get_slice);
    REQUIRE(isc_array_lookup_bounds);
    REQUIRE(isc_array_lookup_desc);
    REQUIRE(isc_array_set_desc);
    REQUIRE(isc_array_put_slice);
    REQUIRE(isc_blob_default_desc);
    REQUIRE(isc_blob_gen_bpb);
    REQUIRE(isc_blob_lookup_desc);
    REQUIRE(isc_blob_set_desc);
    REQUIRE(isc_decode_date);
    REQUIRE(isc_encode_date);
    REQUIRE(isc_dsql_free_statement);
    REQUIRE(isc_dsql_execute2);
    REQUIRE(isc_dsql_execute);
    REQUIRE(isc_dsql_set_cursor_name);
    REQUIRE(isc_dsql_fetch);
    REQUIRE(isc_dsql_sql_info);
    REQUIRE(isc_dsql_alloc_statement2);
    REQUIRE(isc_dsql_prepare);
    REQUIRE(isc_dsql_describe_bind);
    REQUIRE(isc_dsql_exec_immed2);
    REQUIRE(isc_dsql_describe);
    REQUIRE(isc_dsql_execute_immediate);
    REQUIRE(isc_drop_database);
    REQUIRE(isc_detach_database);
    REQUIRE(isc_attach_database);
    REQUIRE(isc_database_info);
    REQUIRE(isc_start_multiple);
    REQUIRE(isc_start_transaction);
    REQUIRE(isc_commit_transaction);
    REQUIRE(isc_commit_retaining);
    REQUIRE(isc_rollback_transaction);
    REQUIRE(isc_cancel_events);
    REQUIRE(isc_que_events);
    REQUIRE(isc_event_counts);
    REQUIRE(isc_event_block);
    REQUIRE(isc_free);
    REQUIRE(isc_add_user);
    REQUIRE(isc_delete_user);
    REQUIRE(isc_modify_user);
    REQUIRE(isc_prepare_transaction);
    REQUIRE(isc_prepare_transaction2);
    REQUIRE(isc_transaction_info);

    // InterBase 6 brought retaining rollback, the services and the SQL
    // date/time types.
    if (Probe(FIBLibrary, "isc_rollback_retaining", Fisc_rollback_retaining)) {
        FIBClientVersion = 60000;
        REQUIRE(isc_service_attach);
        REQUIRE(isc_service_detach);
        REQUIRE(isc_service_query);
        REQUIRE(isc_service_start);
        REQUIRE(isc_decode_sql_date);
        REQUIRE(isc_decode_sql_time);
        REQUIRE(isc_decode_timestamp);
        REQUIRE(isc_encode_sql_date);
        REQUIRE(isc_encode_sql_time);
        REQUIRE(isc_encode_timestamp);
    } else {
        FIBClientVersion = 50000;
        Fisc_rollback_retaining = REFUSE(isc_rollback_retaining, IB6, "isc_rollback_retaining");
        Fisc_service_attach = REFUSE(isc_service_attach, IB6, "isc_service_attach");
        Fisc_service_detach = REFUSE(isc_service_detach, IB6, "isc_service_detach");
        Fisc_service_query = REFUSE(isc_service_query, IB6, "isc_service_query");
        Fisc_service_start = REFUSE(isc_service_start, IB6, "isc_service_start");
        Fisc_decode_sql_date = REFUSE(isc_decode_sql_date, IB6, "isc_decode_sql_date");
        Fisc_decode_sql_time = REFUSE(isc_decode_sql_time, IB6, "isc_decode_sql_time");
        Fisc_decode_timestamp = REFUSE(isc_decode_timestamp, IB6, "isc_decode_timestamp");
        Fisc_encode_sql_date = REFUSE(isc_encode_sql_date, IB6, "isc_encode_sql_date");
        Fisc_encode_sql_time = REFUSE(isc_encode_sql_time, IB6, "isc_encode_sql_time");
        Fisc_encode_timestamp = REFUSE(isc_encode_timestamp, IB6, "isc_encode_sql_timestamp");
    }

    if (Probe(FIBLibrary, "isc_get_client_version", Fisc_get_client_version)) {
        REQUIRE(isc_get_client_major_version);
        REQUIRE(isc_get_client_minor_version);
        const double version = Fisc_get_client_major_version() + Fisc_get_client_minor_version() / 10.0;
        FIBClientVersion = std::llround(version * 10000);
    } else {
        Fisc_get_client_version = REFUSE(isc_get_client_version, IB70, "isc_get_client_version ");
        Fisc_get_client_major_version = REFUSE(isc_get_client_major_version, IB70, "isc_get_client_major_version ");
        Fisc_get_client_minor_version = REFUSE(isc_get_client_minor_version, IB70, "isc_get_client_minor_version ");
    }

    if (FIBClientVersion >= 70000) {
        REQUIRE(isc_array_gen_sdl2);
        REQUIRE(isc_array_get_slice2);
        REQUIRE(isc_array_lookup_bounds2);
        REQUIRE(isc_array_lookup_desc2);
        REQUIRE(isc_array_set_desc2);
        REQUIRE(isc_array_put_slice2);
        REQUIRE(isc_blob_default_desc2);
        REQUIRE(isc_blob_gen_bpb2);
        REQUIRE(isc_blob_lookup_desc2);
        REQUIRE(isc_blob_set_desc2);
    } else {
        Fisc_array_gen_sdl2 = REFUSE(isc_array_gen_sdl2, IB70, "isc_array_gen_sdl2 ");
        Fisc_array_get_slice2 = REFUSE(isc_array_get_slice2, IB70, "isc_array_get_slice2 ");
        Fisc_array_lookup_bounds2 = REFUSE(isc_array_lookup_bounds2, IB70, "isc_array_lookup_bounds2 ");
        Fisc_array_lookup_desc2 = REFUSE(isc_array_lookup_desc2, IB70, "isc_array_lookup_desc2 ");
        Fisc_array_set_desc2 = REFUSE(isc_array_set_desc2, IB70, "isc_array_set_desc2 ");
        Fisc_array_put_slice2 = REFUSE(isc_array_put_slice2, IB70, "isc_array_put_slice2 ");
        Fisc_blob_default_desc2 = REFUSE(isc_blob_default_desc2, IB70, "isc_blob_default_desc2 ");
        Fisc_blob_gen_bpb2 = REFUSE(isc_blob_gen_bpb2, IB70, "isc_blob_gen_bpb2 ");
        Fisc_blob_lookup_desc2 = REFUSE(isc_blob_lookup_desc2, IB70, "isc_blob_lookup_desc2 ");
        Fisc_blob_set_desc2 = REFUSE(isc_blob_set_desc2, IB70, "isc_blob_set_desc2 ");
    }
    if (FIBClientVersion >= 71000) {
        REQUIRE(isc_release_savepoint);
        REQUIRE(isc_rollback_savepoint);
        REQUIRE(isc_start_savepoint);
    } else {
        Fisc_release_savepoint = REFUSE(isc_release_savepoint, IB71, "isc_release_savepoint ");
        Fisc_rollback_savepoint = REFUSE(isc_rollback_savepoint, IB71, "isc_rollback_savepoint ");
        Fisc_start_savepoint = REFUSE(isc_start_savepoint, IB71, "isc_start_savepoint ");
    }
    if (FIBClientVersion >= 80000) {
        REQUIRE(isc_dsql_batch_execute_immed);
        REQUIRE(isc_dsql_batch_execute);
    } else {
        Fisc_dsql_batch_execute_immed = REFUSE(isc_dsql_batch_execute_immed, IB2007, "isc_dsql_batch_execute_immed");
        Fisc_dsql_batch_execute = REFUSE(isc_dsql_batch_execute, IB2007, "isc_dsql_batch_execute");
    }

    // The XML output library is optional; its absence is normal.
    FIBXMLLibrary = dlopen(kXMLLibrary, RTLD_NOW | RTLD_LOCAL);
    if (FIBXMLLibrary != nullptr) {
        Require(FIBXMLLibrary, "isc_dsql_xml_fetch", Fisc_dsql_xml_fetch);
        Require(FIBXMLLibrary, "isc_dsql_xml_fetch_all", Fisc_dsql_xml_fetch_all);
        Require(FIBXMLLibrary, "isc_dsql_xml_buffer_fetch", Fisc_dsql_xml_buffer_fetch);
    } else {
        dlerror();
        Fisc_dsql_xml_fetch = REFUSE(isc_dsql_xml_fetch, XML, "isc_dsql_xml_fetch");
        Fisc_dsql_xml_fetch_all = REFUSE(isc_dsql_xml_fetch_all, XML, "isc_dsql_xml_fetch_all");
        Fisc_dsql_xml_buffer_fetch = REFUSE(isc_dsql_xml_buffer_fetch, XML, "isc_dsql_xml_buffer_fetch");
    }
}

void TIBServerLibrary::FreeIBLibrary() {
    if (FIBLibrary != nullptr) dlclose(FIBLibrary);
    if (FIBXMLLibrary != nullptr) dlclose(FIBXMLLibrary);
    FIBLibrary = nullptr;
    FIBXMLLibrary = nullptr;
    FIBClientVersion = 0;
    // The old addresses point into unmapped code now.
    ResetEntryPoints();
}

bool TIBServerLibrary::LoadOnce(String &Reason) {
    std::lock_guard<std::mutex> guard(FLoadLock);
    if (FIBLibrary == nullptr) LoadIBLibrary();
    Reason = FLoadError;
    return FIBLibrary != nullptr;
}

bool TIBServerLibrary::TryIBLoad() {
    String reason;
    return LoadOnce(reason);
}

void TIBServerLibrary::CheckIBLoaded() {
    String reason;
    if (LoadOnce(reason)) return;
    if (reason.empty()) RaiseClientError(ibxeInterBaseMissing, {LibraryName()});
    throw EIBClientError(ibxeInterBaseMissing,
                         Format(u"InterBase library %s cannot be loaded: %s", {LibraryName(), reason}));
}

int64_t TIBServerLibrary::GetIBClientVersion() {
    CheckIBLoaded();
    return FIBClientVersion;
}

// ---- Forwarding ---------------------------------------------------------------

ISC_STATUS TIBServerLibrary::isc_attach_database(ISC_STATUS* status_vector, short file_length, const ISC_SCHAR* file_name, isc_db_handle* db_handle, short dpb_length, const ISC_SCHAR* dpb) {
    return Fisc_attach_database(status_vector, file_length, file_name, db_handle, dpb_length, dpb);
}

ISC_STATUS TIBServerLibrary::isc_array_gen_sdl(ISC_STATUS* status_vector, const ISC_ARRAY_DESC* desc, ISC_SHORT* sdl_buffer_length, ISC_UCHAR* sdl_buffer, ISC_SHORT* sdl_length) {
    return Fisc_array_gen_sdl(status_vector, desc, sdl_buffer_length, sdl_buffer, sdl_length);
}

ISC_STATUS TIBServerLibrary::isc_array_gen_sdl2(ISC_STATUS* status_vector, const ISC_ARRAY_DESC_V2* desc, ISC_SHORT* sdl_buffer_length, ISC_UCHAR* sdl_buffer, ISC_SHORT* sdl_length) {
    return Fisc_array_gen_sdl2(status_vector, desc, sdl_buffer_length, sdl_buffer, sdl_length);
}

ISC_STATUS TIBServerLibrary::isc_array_get_slice(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC* desc, void* dest_array, ISC_LONG* slice_length) {
    return Fisc_array_get_slice(status_vector, db_handle, tran_handle, array_id, desc, dest_array, slice_length);
}

ISC_STATUS TIBServerLibrary::isc_array_get_slice2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC_V2* desc, void* dest_array, ISC_LONG* slice_length) {
    return Fisc_array_get_slice2(status_vector, db_handle, tran_handle, array_id, desc, dest_array, slice_length);
}

ISC_STATUS TIBServerLibrary::isc_array_lookup_bounds(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC* desc) {
    return Fisc_array_lookup_bounds(status_vector, db_handle, tran_handle, table_name, column_name, desc);
}

ISC_STATUS TIBServerLibrary::isc_array_lookup_bounds2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC_V2* desc) {
    return Fisc_array_lookup_bounds2(status_vector, db_handle, tran_handle, table_name, column_name, desc);
}

ISC_STATUS TIBServerLibrary::isc_array_lookup_desc(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC* desc) {
    return Fisc_array_lookup_desc(status_vector, db_handle, tran_handle, table_name, column_name, desc);
}

ISC_STATUS TIBServerLibrary::isc_array_lookup_desc2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC_V2* desc) {
    return Fisc_array_lookup_desc2(status_vector, db_handle, tran_handle, table_name, column_name, desc);
}

ISC_STATUS TIBServerLibrary::isc_array_set_desc(ISC_STATUS* status_vector, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, const short* sql_dtype, const short* sql_length, const short* dimensions, ISC_ARRAY_DESC* desc) {
    return Fisc_array_set_desc(status_vector, table_name, column_name, sql_dtype, sql_length, dimensions, desc);
}

ISC_STATUS TIBServerLibrary::isc_array_set_desc2(ISC_STATUS* status_vector, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, const short* sql_dtype, const short* sql_length, const short* dimensions, ISC_ARRAY_DESC_V2* desc) {
    return Fisc_array_set_desc2(status_vector, table_name, column_name, sql_dtype, sql_length, dimensions, desc);
}

ISC_STATUS TIBServerLibrary::isc_array_put_slice(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC* desc, void* source_array, ISC_LONG* slice_length) {
    return Fisc_array_put_slice(status_vector, db_handle, tran_handle, array_id, desc, source_array, slice_length);
}

ISC_STATUS TIBServerLibrary::isc_array_put_slice2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC_V2* desc, void* source_array, ISC_LONG* slice_length) {
    return Fisc_array_put_slice2(status_vector, db_handle, tran_handle, array_id, desc, source_array, slice_length);
}

void TIBServerLibrary::isc_blob_default_desc(ISC_BLOB_DESC* desc, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name) {
    Fisc_blob_default_desc(desc, table_name, column_name);
}

void TIBServerLibrary::isc_blob_default_desc2(ISC_BLOB_DESC_V2* desc, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name) {
    Fisc_blob_default_desc2(desc, table_name, column_name);
}

ISC_STATUS TIBServerLibrary::isc_blob_gen_bpb(ISC_STATUS* status_vector, const ISC_BLOB_DESC* to_desc, const ISC_BLOB_DESC* from_desc, unsigned short bpb_buffer_length, ISC_UCHAR* bpb_buffer, unsigned short* bpb_length) {
    return Fisc_blob_gen_bpb(status_vector, to_desc, from_desc, bpb_buffer_length, bpb_buffer, bpb_length);
}

ISC_STATUS TIBServerLibrary::isc_blob_gen_bpb2(ISC_STATUS* status_vector, const ISC_BLOB_DESC_V2* to_desc, const ISC_BLOB_DESC_V2* from_desc, unsigned short bpb_buffer_length, ISC_UCHAR* bpb_buffer, unsigned short* bpb_length) {
    return Fisc_blob_gen_bpb2(status_vector, to_desc, from_desc, bpb_buffer_length, bpb_buffer, bpb_length);
}

ISC_STATUS TIBServerLibrary::isc_blob_info(ISC_STATUS* status_vector, isc_blob_handle* blob_handle, short item_list_buffer_length, const ISC_SCHAR* item_list_buffer, short result_buffer_length, ISC_SCHAR* result_buffer) {
    return Fisc_blob_info(status_vector, blob_handle, item_list_buffer_length, item_list_buffer, result_buffer_length, result_buffer);
}

ISC_STATUS TIBServerLibrary::isc_blob_lookup_desc(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, ISC_BLOB_DESC* desc, ISC_UCHAR* global) {
    return Fisc_blob_lookup_desc(status_vector, db_handle, tran_handle, table_name, column_name, desc, global);
}

ISC_STATUS TIBServerLibrary::isc_blob_lookup_desc2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, ISC_BLOB_DESC_V2* desc, ISC_UCHAR* global) {
    return Fisc_blob_lookup_desc2(status_vector, db_handle, tran_handle, table_name, column_name, desc, global);
}

ISC_STATUS TIBServerLibrary::isc_blob_set_desc(ISC_STATUS* status_vector, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, short subtype, short charset, short segment_size, ISC_BLOB_DESC* desc) {
    return Fisc_blob_set_desc(status_vector, table_name, column_name, subtype, charset, segment_size, desc);
}

ISC_STATUS TIBServerLibrary::isc_blob_set_desc2(ISC_STATUS* status_vector, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, short subtype, short charset, short segment_size, ISC_BLOB_DESC_V2* desc) {
    return Fisc_blob_set_desc2(status_vector, table_name, column_name, subtype, charset, segment_size, desc);
}

ISC_STATUS TIBServerLibrary::isc_cancel_blob(ISC_STATUS* status_vector, isc_blob_handle* blob_handle) {
    return Fisc_cancel_blob(status_vector, blob_handle);
}

ISC_STATUS TIBServerLibrary::isc_cancel_events(ISC_STATUS* status_vector, isc_db_handle* db_handle, ISC_LONG* event_id) {
    return Fisc_cancel_events(status_vector, db_handle, event_id);
}

ISC_STATUS TIBServerLibrary::isc_close_blob(ISC_STATUS* status_vector, isc_blob_handle* blob_handle) {
    return Fisc_close_blob(status_vector, blob_handle);
}

ISC_STATUS TIBServerLibrary::isc_commit_retaining(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) {
    return Fisc_commit_retaining(status_vector, tran_handle);
}

ISC_STATUS TIBServerLibrary::isc_commit_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) {
    return Fisc_commit_transaction(status_vector, tran_handle);
}

ISC_STATUS TIBServerLibrary::isc_create_blob2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, isc_blob_handle* blob_handle, ISC_QUAD* blob_id, short bpb_length, const ISC_SCHAR* bpb_address) {
    return Fisc_create_blob2(status_vector, db_handle, tran_handle, blob_handle, blob_id, bpb_length, bpb_address);
}

ISC_STATUS TIBServerLibrary::isc_create_database(ISC_STATUS* status_vector, short file_length, const ISC_SCHAR* file_name, isc_db_handle* db_handle, short dpb_length, const ISC_SCHAR* dpb, short db_type) {
    return Fisc_create_database(status_vector, file_length, file_name, db_handle, dpb_length, dpb, db_type);
}

ISC_STATUS TIBServerLibrary::isc_database_info(ISC_STATUS* status_vector, isc_db_handle* db_handle, short item_list_buffer_length, const ISC_SCHAR* item_list_buffer, short result_buffer_length, ISC_SCHAR* result_buffer) {
    return Fisc_database_info(status_vector, db_handle, item_list_buffer_length, item_list_buffer, result_buffer_length, result_buffer);
}

void TIBServerLibrary::isc_decode_date(const ISC_QUAD* ib_date, void* tm_date) {
    Fisc_decode_date(ib_date, tm_date);
}

void TIBServerLibrary::isc_decode_sql_date(const ISC_DATE* ib_date, void* tm_date) {
    Fisc_decode_sql_date(ib_date, tm_date);
}

void TIBServerLibrary::isc_decode_sql_time(const ISC_TIME* ib_time, void* tm_date) {
    Fisc_decode_sql_time(ib_time, tm_date);
}

void TIBServerLibrary::isc_decode_timestamp(const ISC_TIMESTAMP* ib_timestamp, void* tm_date) {
    Fisc_decode_timestamp(ib_timestamp, tm_date);
}

ISC_STATUS TIBServerLibrary::isc_detach_database(ISC_STATUS* status_vector, isc_db_handle* db_handle) {
    return Fisc_detach_database(status_vector, db_handle);
}

ISC_STATUS TIBServerLibrary::isc_drop_database(ISC_STATUS* status_vector, isc_db_handle* db_handle) {
    return Fisc_drop_database(status_vector, db_handle);
}

ISC_STATUS TIBServerLibrary::isc_dsql_alloc_statement2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_stmt_handle* stmt_handle) {
    return Fisc_dsql_alloc_statement2(status_vector, db_handle, stmt_handle);
}

ISC_STATUS TIBServerLibrary::isc_dsql_describe(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short dialect, XSQLDA* xsqlda) {
    return Fisc_dsql_describe(status_vector, stmt_handle, dialect, xsqlda);
}

ISC_STATUS TIBServerLibrary::isc_dsql_describe_bind(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short dialect, XSQLDA* xsqlda) {
    return Fisc_dsql_describe_bind(status_vector, stmt_handle, dialect, xsqlda);
}

ISC_STATUS TIBServerLibrary::isc_dsql_exec_immed2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, unsigned short length, const ISC_SCHAR* statement, unsigned short dialect, const XSQLDA* in_xsqlda, const XSQLDA* out_xsqlda) {
    return Fisc_dsql_exec_immed2(status_vector, db_handle, tran_handle, length, statement, dialect, in_xsqlda, out_xsqlda);
}

ISC_STATUS TIBServerLibrary::isc_dsql_execute(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short dialect, const XSQLDA* xsqlda) {
    return Fisc_dsql_execute(status_vector, tran_handle, stmt_handle, dialect, xsqlda);
}

ISC_STATUS TIBServerLibrary::isc_dsql_execute2(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short dialect, const XSQLDA* in_xsqlda, const XSQLDA* out_xsqlda) {
    return Fisc_dsql_execute2(status_vector, tran_handle, stmt_handle, dialect, in_xsqlda, out_xsqlda);
}

ISC_STATUS TIBServerLibrary::isc_dsql_execute_immediate(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, unsigned short length, const ISC_SCHAR* statement, unsigned short dialect, const XSQLDA* xsqlda) {
    return Fisc_dsql_execute_immediate(status_vector, db_handle, tran_handle, length, statement, dialect, xsqlda);
}

ISC_STATUS TIBServerLibrary::isc_dsql_fetch(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short dialect, const XSQLDA* xsqlda) {
    return Fisc_dsql_fetch(status_vector, stmt_handle, dialect, xsqlda);
}

ISC_STATUS TIBServerLibrary::isc_dsql_free_statement(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short option) {
    return Fisc_dsql_free_statement(status_vector, stmt_handle, option);
}

ISC_STATUS TIBServerLibrary::isc_dsql_prepare(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short length, const ISC_SCHAR* statement, unsigned short dialect, XSQLDA* xsqlda) {
    return Fisc_dsql_prepare(status_vector, tran_handle, stmt_handle, length, statement, dialect, xsqlda);
}

ISC_STATUS TIBServerLibrary::isc_dsql_set_cursor_name(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, const ISC_SCHAR* cursor_name, unsigned short type) {
    return Fisc_dsql_set_cursor_name(status_vector, stmt_handle, cursor_name, type);
}

ISC_STATUS TIBServerLibrary::isc_dsql_sql_info(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, short item_length, const ISC_SCHAR* items, short buffer_length, ISC_SCHAR* buffer) {
    return Fisc_dsql_sql_info(status_vector, stmt_handle, item_length, items, buffer_length, buffer);
}

void TIBServerLibrary::isc_encode_date(const void* tm_date, ISC_QUAD* ib_date) {
    Fisc_encode_date(tm_date, ib_date);
}

void TIBServerLibrary::isc_encode_sql_date(const void* tm_date, ISC_DATE* ib_date) {
    Fisc_encode_sql_date(tm_date, ib_date);
}

void TIBServerLibrary::isc_encode_sql_time(const void* tm_date, ISC_TIME* ib_time) {
    Fisc_encode_sql_time(tm_date, ib_time);
}

void TIBServerLibrary::isc_encode_timestamp(const void* tm_date, ISC_TIMESTAMP* ib_timestamp) {
    Fisc_encode_timestamp(tm_date, ib_timestamp);
}

void TIBServerLibrary::isc_event_counts(ISC_ULONG* status_vector, short buffer_length, ISC_UCHAR* event_buffer, const ISC_UCHAR* result_buffer) {
    Fisc_event_counts(status_vector, buffer_length, event_buffer, result_buffer);
}

ISC_LONG TIBServerLibrary::isc_free(ISC_SCHAR* isc_arg1) {
    return Fisc_free(isc_arg1);
}

ISC_STATUS TIBServerLibrary::isc_get_segment(ISC_STATUS* status_vector, isc_blob_handle* blob_handle, unsigned short* actual_seg_length, unsigned short seg_buffer_length, ISC_SCHAR* seg_buffer) {
    return Fisc_get_segment(status_vector, blob_handle, actual_seg_length, seg_buffer_length, seg_buffer);
}

ISC_LONG TIBServerLibrary::isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** status_vector_ptr) {
    return Fisc_interprete(buffer, status_vector_ptr);
}

ISC_STATUS TIBServerLibrary::isc_open_blob2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, isc_blob_handle* blob_handle, ISC_QUAD* blob_id, ISC_USHORT bpb_length, const ISC_UCHAR* bpb_buffer) {
    return Fisc_open_blob2(status_vector, db_handle, tran_handle, blob_handle, blob_id, bpb_length, bpb_buffer);
}

ISC_STATUS TIBServerLibrary::isc_prepare_transaction2(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, ISC_USHORT msg_length, const ISC_UCHAR* msg) {
    return Fisc_prepare_transaction2(status_vector, tran_handle, msg_length, msg);
}

ISC_STATUS TIBServerLibrary::isc_put_segment(ISC_STATUS* status_vector, isc_blob_handle* blob_handle, unsigned short seg_buffer_len, const ISC_SCHAR* seg_buffer) {
    return Fisc_put_segment(status_vector, blob_handle, seg_buffer_len, seg_buffer);
}

ISC_STATUS TIBServerLibrary::isc_que_events(ISC_STATUS* status_vector, isc_db_handle* db_handle, ISC_LONG* event_id, short length, const ISC_UCHAR* event_buffer, ISC_EVENT_CALLBACK event_function, void* event_function_arg) {
    return Fisc_que_events(status_vector, db_handle, event_id, length, event_buffer, event_function, event_function_arg);
}

ISC_STATUS TIBServerLibrary::isc_release_savepoint(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, const ISC_SCHAR* savepoint_name) {
    return Fisc_release_savepoint(status_vector, tran_handle, savepoint_name);
}

ISC_STATUS TIBServerLibrary::isc_rollback_retaining(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) {
    return Fisc_rollback_retaining(status_vector, tran_handle);
}

ISC_STATUS TIBServerLibrary::isc_rollback_savepoint(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, const ISC_SCHAR* savepoint_name, ISC_USHORT option) {
    return Fisc_rollback_savepoint(status_vector, tran_handle, savepoint_name, option);
}

ISC_STATUS TIBServerLibrary::isc_rollback_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) {
    return Fisc_rollback_transaction(status_vector, tran_handle);
}

ISC_STATUS TIBServerLibrary::isc_start_multiple(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, short db_handle_count, void* teb_vector_address) {
    return Fisc_start_multiple(status_vector, tran_handle, db_handle_count, teb_vector_address);
}

ISC_STATUS TIBServerLibrary::isc_start_savepoint(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, const ISC_SCHAR* savepoint_name) {
    return Fisc_start_savepoint(status_vector, tran_handle, savepoint_name);
}

ISC_LONG TIBServerLibrary::isc_sqlcode(const ISC_STATUS* status_vector) {
    return Fisc_sqlcode(status_vector);
}

void TIBServerLibrary::isc_sql_interprete(short sqlcode, ISC_SCHAR* buffer, short buffer_length) {
    Fisc_sql_interprete(sqlcode, buffer, buffer_length);
}

ISC_LONG TIBServerLibrary::isc_vax_integer(const ISC_SCHAR* buffer, short length) {
    return Fisc_vax_integer(buffer, length);
}

ISC_INT64 TIBServerLibrary::isc_portable_integer(const ISC_UCHAR* buffer, short length) {
    return Fisc_portable_integer(buffer, length);
}

ISC_STATUS TIBServerLibrary::isc_dsql_batch_execute_immed(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, unsigned short dialect, ISC_ULONG no_of_sql, ISC_SCHAR** statements, ISC_ULONG* rows_affected) {
    return Fisc_dsql_batch_execute_immed(status_vector, db_handle, tran_handle, dialect, no_of_sql, statements, rows_affected);
}

ISC_STATUS TIBServerLibrary::isc_dsql_batch_execute(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short dialect, XSQLDA* in_xsqlda, unsigned short no_of_rows, XSQLVAR** batch_vars, ISC_ULONG* rows_affected) {
    return Fisc_dsql_batch_execute(status_vector, tran_handle, stmt_handle, dialect, in_xsqlda, no_of_rows, batch_vars, rows_affected);
}

ISC_STATUS TIBServerLibrary::isc_add_user(ISC_STATUS* status_vector, const USER_SEC_DATA* user_sec_data) {
    return Fisc_add_user(status_vector, user_sec_data);
}

ISC_STATUS TIBServerLibrary::isc_delete_user(ISC_STATUS* status_vector, const USER_SEC_DATA* user_sec_data) {
    return Fisc_delete_user(status_vector, user_sec_data);
}

ISC_STATUS TIBServerLibrary::isc_modify_user(ISC_STATUS* status_vector, const USER_SEC_DATA* user_sec_data) {
    return Fisc_modify_user(status_vector, user_sec_data);
}

ISC_STATUS TIBServerLibrary::isc_prepare_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) {
    return Fisc_prepare_transaction(status_vector, tran_handle);
}

int TIBServerLibrary::BLOB_put(ISC_SCHAR x, FB_BLOB_STREAM bstream) {
    return FBLOB_put(x, bstream);
}

int TIBServerLibrary::BLOB_get(FB_BLOB_STREAM bstream) {
    return FBLOB_get(bstream);
}

ISC_STATUS TIBServerLibrary::isc_service_attach(ISC_STATUS* status_vector, unsigned short service_length, const ISC_SCHAR* service_name, isc_svc_handle* svc_handle, unsigned short spb_length, const ISC_SCHAR* spb) {
    return Fisc_service_attach(status_vector, service_length, service_name, svc_handle, spb_length, spb);
}

ISC_STATUS TIBServerLibrary::isc_service_detach(ISC_STATUS* status_vector, isc_svc_handle* svc_handle) {
    return Fisc_service_detach(status_vector, svc_handle);
}

ISC_STATUS TIBServerLibrary::isc_service_query(ISC_STATUS* status_vector, isc_svc_handle* svc_handle, isc_resv_handle* reserved, unsigned short send_spb_length, const ISC_SCHAR* send_spb, unsigned short request_spb_length, const ISC_SCHAR* request_spb, unsigned short buffer_length, ISC_SCHAR* buffer) {
    return Fisc_service_query(status_vector, svc_handle, reserved, send_spb_length, send_spb, request_spb_length, request_spb, buffer_length, buffer);
}

ISC_STATUS TIBServerLibrary::isc_service_start(ISC_STATUS* status_vector, isc_svc_handle* svc_handle, isc_resv_handle* reserved, unsigned short spb_length, const ISC_SCHAR* spb) {
    return Fisc_service_start(status_vector, svc_handle, reserved, spb_length, spb);
}

void TIBServerLibrary::isc_get_client_version(ISC_SCHAR* version) {
    Fisc_get_client_version(version);
}

int TIBServerLibrary::isc_get_client_major_version() {
    return Fisc_get_client_major_version();
}

int TIBServerLibrary::isc_get_client_minor_version() {
    return Fisc_get_client_minor_version();
}

ISC_STATUS TIBServerLibrary::isc_transaction_info(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, short item_list_buffer_length, const ISC_SCHAR* item_list_buffer, short result_buffer_length, ISC_SCHAR* result_buffer) {
    return Fisc_transaction_info(status_vector, tran_handle, item_list_buffer_length, item_list_buffer, result_buffer_length, result_buffer);
}

ISC_STATUS TIBServerLibrary::isc_start_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, short db_handle_count, ...) {
    const size_t count = db_handle_count > 0 ? size_t(db_handle_count) : 0;
    std::vector<TStartTarget> targets(count);
    va_list args;
    va_start(args, db_handle_count);
    for (TStartTarget &target : targets) {
        target.Database = va_arg(args, isc_db_handle *);
        target.TPBLength = va_arg(args, int);
        target.TPB = va_arg(args, const ISC_SCHAR *);
    }
    va_end(args);
    if (count < kStartCallers.size())
        return kStartCallers[count](Fisc_start_transaction, status_vector, tran_handle, db_handle_count, targets.data());
    // More databases than the call table covers: the same start through the
    // block form.
    std::vector<TTransactionExistenceBlock> blocks;
    blocks.reserve(count);
    for (const TStartTarget &target : targets) blocks.push_back({target.Database, target.TPBLength, target.TPB});
    return Fisc_start_multiple(status_vector, tran_handle, db_handle_count, blocks.data());
}

ISC_LONG TIBServerLibrary::isc_event_block(ISC_UCHAR** event_buffer, ISC_UCHAR** result_buffer, ISC_USHORT id_count, ...) {
    // More names than the call table covers are refused (0: no block built).
    if (id_count >= kEventCallers.size()) return 0;
    std::array<const ISC_SCHAR *, kMaxEventNames> names{};
    va_list args;
    va_start(args, id_count);
    for (size_t i = 0; i < id_count; ++i) names[i] = va_arg(args, const ISC_SCHAR *);
    va_end(args);
    return kEventCallers[id_count](Fisc_event_block, event_buffer, result_buffer, id_count, names.data());
}

int TIBServerLibrary::isc_dsql_xml_fetch(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short da_version, XSQLDA* xsqlda, IB_XMLDA* xmlda) {
    return Fisc_dsql_xml_fetch(status_vector, stmt_handle, da_version, xsqlda, xmlda);
}

int TIBServerLibrary::isc_dsql_xml_fetch_all(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short da_version, XSQLDA* xsqlda, IB_XMLDA* xmlda) {
    return Fisc_dsql_xml_fetch_all(status_vector, stmt_handle, da_version, xsqlda, xmlda);
}

int TIBServerLibrary::isc_dsql_xml_buffer_fetch(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, ISC_SCHAR* buffer, int buffer_size, unsigned short da_version, XSQLDA* xsqlda, IB_XMLDA* xmlda) {
    return Fisc_dsql_xml_buffer_fetch(status_vector, stmt_handle, buffer, buffer_size, da_version, xsqlda, xmlda);
}

// ---- Server type registry -------------------------------------------------------

namespace {

std::vector<TServerLibraryEntry> &Registry() {
    static std::vector<TServerLibraryEntry> registry{
        {u"IBServer", std::make_shared<TIBServerLibrary>()},
        {u"IBEmbedded", std::make_shared<TIBEmbeddedLibrary>()},
    };
    return registry;
}

// Fill the registry while the library is loaded, before any caller's thread
// can reach it.
[[maybe_unused]] const bool kRegistryFilled = !Registry().empty();

bool SameServerType(const String &a, const String &b) { return AsciiLower(a) == AsciiLower(b); }

}  // namespace

const std::vector<TServerLibraryEntry> &ServerLibraries() { return Registry(); }

void RegisterServerLibrary(const String &serverType, std::shared_ptr<IGDSLibrary> library) {
    for (const TServerLibraryEntry &entry : Registry())
        if (SameServerType(entry.first, serverType)) throw EListError(u"Duplicates not allowed");
    Registry().emplace_back(serverType, std::move(library));
}

String MatchServerType(const String &text) {
    for (const TServerLibraryEntry &entry : Registry())
        if (SameServerType(entry.first, text)) return entry.first;
    RaiseClientError(ibxeInvalidLibraryType, {text});
}

std::shared_ptr<IGDSLibrary> FindServerLibrary(const String &serverType) {
    for (const TServerLibraryEntry &entry : Registry())
        if (SameServerType(entry.first, serverType)) return entry.second;
    throw EListError(u"Item not found");
}

}  // namespace vantrel
