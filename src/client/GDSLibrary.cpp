// Run-time binding to the client library: loading, entry-point resolution by
// version group, refusal routines for what the loaded client lacks, and the
// per-thread status vector. Everything per entry point is generated from
// VANTREL_CLIENT_FUNCTIONS.
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

// Our function types must make the calls the published header declares, or
// a call through a resolved entry point would pass the wrong arguments. The
// check is made against the header the build finds, and accepts each
// version's own spelling: the same result, and each argument of the same
// type or an integer of the same width (Firebird 4's header declares the
// counts of isc_create_database and isc_que_events unsigned short where
// Firebird 3's declared short; the call passes the same 16 bits).
template <class A, class B>
constexpr bool kSameArgument = std::is_same_v<A, B> ||
                               (std::is_integral_v<A> && std::is_integral_v<B> && sizeof(A) == sizeof(B));

template <class F, class G>
struct TSameCall : std::false_type {};

template <class R, class... A, class... B>
    requires(sizeof...(A) == sizeof...(B))
struct TSameCall<R(A...), R(B...)> : std::bool_constant<(kSameArgument<A, B> && ...)> {};

template <class R, class... A, class... B>
    requires(sizeof...(A) == sizeof...(B))
struct TSameCall<R(A..., ...), R(B..., ...)> : std::bool_constant<(kSameArgument<A, B> && ...)> {};

static_assert(TSameCall<ISC_STATUS(ISC_STATUS *, short), ISC_STATUS(ISC_STATUS *, unsigned short)>::value);
static_assert(!TSameCall<ISC_STATUS(ISC_STATUS *, short), ISC_STATUS(ISC_STATUS *, int)>::value);
static_assert(!TSameCall<ISC_STATUS(ISC_STATUS *, short *), ISC_STATUS(ISC_STATUS *, unsigned short *)>::value);

#define VANTREL_CHECK_Always(R, name, ...) static_assert(TSameCall<R(__VA_ARGS__), decltype(::name)>::value, #name);
#define VANTREL_CHECK_V6 VANTREL_CHECK_Always
#define VANTREL_CHECK_VersionQuery VANTREL_CHECK_Always
#define VANTREL_CHECK_V70(...)
#define VANTREL_CHECK_V71(...)
#define VANTREL_CHECK_V80(...)
#define VANTREL_CHECK_Firebird VANTREL_CHECK_Always
#define VANTREL_CHECK_Xml(...)
#define VANTREL_CHECK(group, R, name, ...) VANTREL_CHECK_##group(R, name, __VA_ARGS__)
#define VANTREL_CHECK_V(group, R, name, ...) VANTREL_CHECK_##group(R, name, __VA_ARGS__, ...)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
VANTREL_CLIENT_FUNCTIONS(VANTREL_CHECK, VANTREL_CHECK_V)
#pragma GCC diagnostic pop

namespace {

constexpr const char *kDefaultClientLibrary = "libfbclient.so.2";
constexpr const char *kXMLLibrary = "libibxml.so";

// The refusal of a function of a group the loaded client lacks; the Always
// group refuses an entry point that is not resolved (the library is not
// loaded, or its loading stopped before the entry point).
[[noreturn]] void Refuse(TEntryGroup group, const char *name) {
    const String text = Utf8ToString(name);
    const char16_t *version = nullptr;  // of a later client
    switch (group) {
        case TEntryGroup::V6:
            // The encoder of time stamps announces itself by its InterBase name.
            RaiseClientError(ClientError::IB60Feature,
                             {text == u"isc_encode_timestamp" ? String(u"isc_encode_sql_timestamp") : text});
        case TEntryGroup::VersionQuery:
        case TEntryGroup::V70: version = u"7.0"; break;
        case TEntryGroup::V71: version = u"7.1"; break;
        case TEntryGroup::V80: version = u"2007"; break;
        case TEntryGroup::Xml:
            throw EIBClientError(0, Format(kXmlLibraryMissingMessage, {text, Utf8ToString(kXMLLibrary)}));
        case TEntryGroup::Firebird:
        case TEntryGroup::Always: RaiseClientError(ClientError::FunctionNotAvailable, {text});
    }
    // The 7.x texts name the function with a blank after it.
    const String shown = group == TEntryGroup::V80 ? text : text + u" ";
    throw EIBClientError(0, Format(kLaterClientFunctionMessage, {shown, String(version), String(version)}));
}

// A string usable as a template argument, so that each refusal routine is a
// plain function that knows its own name.
template <size_t N>
struct TFixedName {
    char Text[N];
    constexpr TFixedName(const char (&text)[N]) {
        for (size_t i = 0; i < N; ++i) Text[i] = text[i];
    }
};

// A function of exactly the entry point's type that raises when called.
template <class F, TEntryGroup Group, TFixedName Name>
struct TRefusalRoutine;

template <class R, class... A, TEntryGroup Group, TFixedName Name>
struct TRefusalRoutine<R(A...), Group, Name> {
    static R Call(A...) { Refuse(Group, Name.Text); }
};

template <class R, class... A, TEntryGroup Group, TFixedName Name>
struct TRefusalRoutine<R(A..., ...), Group, Name> {
    static R Call(A..., ...) { Refuse(Group, Name.Text); }
};

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

ISC_STATUS *StatusVector() { return tStatusVector; }

// ---- TIBServerLibrary --------------------------------------------------------

#define VANTREL_VISIT(group, R, name, ...)                                                        \
    Visit(TEntryGroup::group, #name, F##name,                                                      \
          &TRefusalRoutine<std::remove_pointer_t<decltype(F##name)>, TEntryGroup::group, #name>::Call, \
          &TRefusalRoutine<std::remove_pointer_t<decltype(F##name)>, TEntryGroup::Always, #name>::Call);

template <class Visitor>
void TIBServerLibrary::ForEachEntry(Visitor &&Visit) {
    VANTREL_CLIENT_FUNCTIONS(VANTREL_VISIT, VANTREL_VISIT)
}

void TIBServerLibrary::ResetEntryPoints() {
    ForEachEntry([](TEntryGroup, const char *, auto &entry, auto, auto unresolved) { entry = unresolved; });
    FResolvedGroups.fill(false);
}

void TIBServerLibrary::ResolveGroup(TEntryGroup Group, void *Library) {
    ForEachEntry([&](TEntryGroup group, const char *name, auto &entry, auto, auto) {
        if (group == Group) Require(Library, name, entry);
    });
    FResolvedGroups[static_cast<size_t>(Group)] = true;
}

void TIBServerLibrary::RefuseGroup(TEntryGroup Group) {
    ForEachEntry([&](TEntryGroup group, const char *, auto &entry, auto refusal, auto) {
        if (group == Group) entry = refusal;
    });
    FResolvedGroups[static_cast<size_t>(Group)] = false;
}

bool TIBServerLibrary::HasEntryGroup(TEntryGroup Group) const { return FResolvedGroups[static_cast<size_t>(Group)]; }

TIBServerLibrary::TIBServerLibrary() { ResetEntryPoints(); }

// Loaded libraries stay loaded until the process ends.
TIBServerLibrary::~TIBServerLibrary() = default;

String TIBServerLibrary::LibraryName() const {
    const char *name = std::getenv("VANTREL_CLIENT_LIBRARY");
    return AnsiString(name != nullptr && *name != '\0' ? name : kDefaultClientLibrary);
}

String TIBEmbeddedLibrary::LibraryName() const { return TIBServerLibrary::LibraryName(); }

void TIBServerLibrary::LoadIBLibrary() {
    ResetEntryPoints();
    FIBClientVersion = 0;
    FFirebird4Types = false;
    FLoadError.clear();
    const std::string name = AnsiBytes(LibraryName());
    FIBLibrary = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (FIBLibrary == nullptr) {
        const char *error = dlerror();
        if (error != nullptr && !NotFound(name, error)) FLoadError = AnsiString(error);
        return;
    }
    ResolveGroup(TEntryGroup::Always, FIBLibrary);

    // InterBase 6 brought retaining rollback, the services and the SQL
    // date/time types.
    const bool v6 = Probe(FIBLibrary, "isc_rollback_retaining", Fisc_rollback_retaining);
    FIBClientVersion = v6 ? 60000 : 50000;
    v6 ? ResolveGroup(TEntryGroup::V6, FIBLibrary) : RefuseGroup(TEntryGroup::V6);

    if (Probe(FIBLibrary, "isc_get_client_version", Fisc_get_client_version)) {
        ResolveGroup(TEntryGroup::VersionQuery, FIBLibrary);
        const double version = Fisc_get_client_major_version() + Fisc_get_client_minor_version() / 10.0;
        FIBClientVersion = std::llround(version * 10000);
    } else {
        RefuseGroup(TEntryGroup::VersionQuery);
    }
    // Firebird's shutdown control (Firebird 2.5 and later), which InterBase
    // clients lack whatever version they report.
    Probe(FIBLibrary, "fb_shutdown_callback", Ffb_shutdown_callback) ? ResolveGroup(TEntryGroup::Firebird, FIBLibrary)
                                                                     : RefuseGroup(TEntryGroup::Firebird);
    for (auto [group, version] : {std::pair{TEntryGroup::V70, 70000}, {TEntryGroup::V71, 71000}, {TEntryGroup::V80, 80000}})
        FIBClientVersion >= version ? ResolveGroup(group, FIBLibrary) : RefuseGroup(group);

    // Firebird 4's client still answers the version queries with 6.3; what
    // tells it from Firebird 3's is what it exports.
    FFirebird4Types = dlsym(FIBLibrary, "fb_get_statement_interface") != nullptr;
    dlerror();

    // The XML output library is optional; its absence is normal.
    FIBXMLLibrary = dlopen(kXMLLibrary, RTLD_NOW | RTLD_LOCAL);
    if (FIBXMLLibrary == nullptr) dlerror();
    FIBXMLLibrary != nullptr ? ResolveGroup(TEntryGroup::Xml, FIBXMLLibrary) : RefuseGroup(TEntryGroup::Xml);
}

void TIBServerLibrary::FreeIBLibrary() {
    if (FIBLibrary != nullptr) dlclose(FIBLibrary);
    if (FIBXMLLibrary != nullptr) dlclose(FIBXMLLibrary);
    FIBLibrary = nullptr;
    FIBXMLLibrary = nullptr;
    FIBClientVersion = 0;
    FFirebird4Types = false;
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
    if (reason.empty()) RaiseClientError(ClientError::InterBaseMissing, {LibraryName()});
    throw EIBClientError(ClientError::InterBaseMissing,
                         Format(kLibraryNotLoadableMessage, {LibraryName(), reason}));
}

int64_t TIBServerLibrary::GetIBClientVersion() {
    CheckIBLoaded();
    return FIBClientVersion;
}

bool TIBServerLibrary::ClientHasFirebird4Types() {
    CheckIBLoaded();
    return FFirebird4Types;
}

// ---- Forwarding ---------------------------------------------------------------

#define VANTREL_FORWARD(group, R, name, ...) \
    R TIBServerLibrary::name(VANTREL_PARAMS(__VA_ARGS__)) { return F##name(VANTREL_ARGS(__VA_ARGS__)); }
#define VANTREL_FORWARD_BY_HAND(...)
VANTREL_CLIENT_FUNCTIONS(VANTREL_FORWARD, VANTREL_FORWARD_BY_HAND)

// The two variadic functions. C cannot pass a va_list on to a variadic
// function: the arguments are read and the entry point is called through
// the call tables above.

ISC_STATUS TIBServerLibrary::isc_start_transaction(ISC_STATUS *status_vector, isc_tr_handle *tran_handle,
                                                   int db_handle_count, ...) {
    const auto databases = static_cast<short>(db_handle_count);
    const size_t count = databases > 0 ? size_t(databases) : 0;
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
        return kStartCallers[count](Fisc_start_transaction, status_vector, tran_handle, databases, targets.data());
    // More databases than the call table covers: the same start through the
    // block form.
    std::vector<TTransactionExistenceBlock> blocks;
    blocks.reserve(count);
    for (const TStartTarget &target : targets) blocks.push_back({target.Database, target.TPBLength, target.TPB});
    return Fisc_start_multiple(status_vector, tran_handle, databases, blocks.data());
}

ISC_LONG TIBServerLibrary::isc_event_block(ISC_UCHAR **event_buffer, ISC_UCHAR **result_buffer, int id_count, ...) {
    const auto count = static_cast<ISC_USHORT>(id_count);
    // More names than the call table covers are refused (0: no block built).
    if (count >= kEventCallers.size()) return 0;
    std::array<const ISC_SCHAR *, kMaxEventNames> names{};
    va_list args;
    va_start(args, id_count);
    for (size_t i = 0; i < count; ++i) names[i] = va_arg(args, const ISC_SCHAR *);
    va_end(args);
    return kEventCallers[count](Fisc_event_block, event_buffer, result_buffer, count, names.data());
}

}  // namespace vantrel
