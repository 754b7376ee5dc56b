// Binding to the InterBase/Firebird client library, loaded at run time with
// dlopen/dlsym. IGDSLibrary is the one road to the client functions: every
// published function is a method of the same name and arguments, generated
// from the list below. StatusVector() hands out the calling thread's status
// vector; the server type registry is in ServerLibraries.h.
#pragma once

#include <ibase.h>

#include <array>
#include <cstdint>
#include <mutex>

#include "client/ServerLibraries.h"
#include "platform/Text.h"

namespace vantrel {

// Descriptor layouts of the InterBase 7 array and blob functions (the "2"
// variants), which take 68-byte metadata names. Firebird's header lacks them.
inline constexpr int kMetadataLengthV2 = 68;

struct TArrayDescriptorWide {
    short array_desc_version;
    ISC_UCHAR array_desc_dtype;
    ISC_UCHAR array_desc_subtype;
    ISC_SCHAR array_desc_scale;
    unsigned short array_desc_length;
    ISC_SCHAR array_desc_field_name[kMetadataLengthV2];
    ISC_SCHAR array_desc_relation_name[kMetadataLengthV2];
    short array_desc_dimensions;
    short array_desc_flags;
    ISC_ARRAY_BOUND array_desc_bounds[16];
};

struct TBlobDescriptorWide {
    short blob_desc_version;
    short blob_desc_subtype;
    short blob_desc_charset;
    short blob_desc_segment_size;
    ISC_UCHAR blob_desc_field_name[kMetadataLengthV2];
    ISC_UCHAR blob_desc_relation_name[kMetadataLengthV2];
};

// Descriptor of the optional XML output library (opaque here).
struct TXmlOutputArea;

// Every client function, once: X(version group, result, name, argument
// types...), in the order of loading within each group. V marks the two
// variadic functions (their forwarding is written by hand). Those of the
// groups Always, V6 and VersionQuery are checked against ibase.h; the others
// (savepoints, batch execution, the "2" descriptor variants, XML output)
// follow the InterBase client interface. Groups: Always (required of every
// client), V6 (InterBase 6, probed through isc_rollback_retaining),
// VersionQuery (probed through isc_get_client_version), V70, V71, V80 (by the
// client's version), Firebird (Firebird's own shutdown control, probed
// through fb_shutdown_callback) and Xml (the optional XML output library).
#define VANTREL_CLIENT_FUNCTIONS(X, V) \
    X(Always, int, BLOB_get, FB_BLOB_STREAM) \
    X(Always, int, BLOB_put, ISC_SCHAR, FB_BLOB_STREAM) \
    X(Always, ISC_LONG, isc_sqlcode, const ISC_STATUS*) \
    X(Always, void, isc_sql_interprete, short, ISC_SCHAR*, short) \
    X(Always, ISC_LONG, isc_interprete, ISC_SCHAR*, ISC_STATUS**) \
    X(Always, ISC_LONG, isc_vax_integer, const ISC_SCHAR*, short) \
    X(Always, ISC_INT64, isc_portable_integer, const ISC_UCHAR*, short) \
    X(Always, ISC_STATUS, isc_blob_info, ISC_STATUS*, isc_blob_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*) \
    X(Always, ISC_STATUS, isc_open_blob2, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, isc_blob_handle*, ISC_QUAD*, ISC_USHORT, const ISC_UCHAR*) \
    X(Always, ISC_STATUS, isc_close_blob, ISC_STATUS*, isc_blob_handle*) \
    X(Always, ISC_STATUS, isc_get_segment, ISC_STATUS*, isc_blob_handle*, unsigned short*, unsigned short, ISC_SCHAR*) \
    X(Always, ISC_STATUS, isc_put_segment, ISC_STATUS*, isc_blob_handle*, unsigned short, const ISC_SCHAR*) \
    X(Always, ISC_STATUS, isc_create_blob2, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, isc_blob_handle*, ISC_QUAD*, short, const ISC_SCHAR*) \
    X(Always, ISC_STATUS, isc_create_database, ISC_STATUS*, short, const ISC_SCHAR*, isc_db_handle*, short, const ISC_SCHAR*, short) \
    X(Always, ISC_STATUS, isc_cancel_blob, ISC_STATUS*, isc_blob_handle*) \
    X(Always, ISC_STATUS, isc_array_gen_sdl, ISC_STATUS*, const ISC_ARRAY_DESC*, ISC_SHORT*, ISC_UCHAR*, ISC_SHORT*) \
    X(Always, ISC_STATUS, isc_array_get_slice, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const ISC_ARRAY_DESC*, void*, ISC_LONG*) \
    X(Always, ISC_STATUS, isc_array_lookup_bounds, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC*) \
    X(Always, ISC_STATUS, isc_array_lookup_desc, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC*) \
    X(Always, ISC_STATUS, isc_array_set_desc, ISC_STATUS*, const ISC_SCHAR*, const ISC_SCHAR*, const short*, const short*, const short*, ISC_ARRAY_DESC*) \
    X(Always, ISC_STATUS, isc_array_put_slice, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const ISC_ARRAY_DESC*, void*, ISC_LONG*) \
    X(Always, void, isc_blob_default_desc, ISC_BLOB_DESC*, const ISC_UCHAR*, const ISC_UCHAR*) \
    X(Always, ISC_STATUS, isc_blob_gen_bpb, ISC_STATUS*, const ISC_BLOB_DESC*, const ISC_BLOB_DESC*, unsigned short, ISC_UCHAR*, unsigned short*) \
    X(Always, ISC_STATUS, isc_blob_lookup_desc, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_UCHAR*, const ISC_UCHAR*, ISC_BLOB_DESC*, ISC_UCHAR*) \
    X(Always, ISC_STATUS, isc_blob_set_desc, ISC_STATUS*, const ISC_UCHAR*, const ISC_UCHAR*, short, short, short, ISC_BLOB_DESC*) \
    X(Always, void, isc_decode_date, const ISC_QUAD*, void*) \
    X(Always, void, isc_encode_date, const void*, ISC_QUAD*) \
    X(Always, ISC_STATUS, isc_dsql_free_statement, ISC_STATUS*, isc_stmt_handle*, unsigned short) \
    X(Always, ISC_STATUS, isc_dsql_execute2, ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short, const XSQLDA*, const XSQLDA*) \
    X(Always, ISC_STATUS, isc_dsql_execute, ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short, const XSQLDA*) \
    X(Always, ISC_STATUS, isc_dsql_set_cursor_name, ISC_STATUS*, isc_stmt_handle*, const ISC_SCHAR*, unsigned short) \
    X(Always, ISC_STATUS, isc_dsql_fetch, ISC_STATUS*, isc_stmt_handle*, unsigned short, const XSQLDA*) \
    X(Always, ISC_STATUS, isc_dsql_sql_info, ISC_STATUS*, isc_stmt_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*) \
    X(Always, ISC_STATUS, isc_dsql_alloc_statement2, ISC_STATUS*, isc_db_handle*, isc_stmt_handle*) \
    X(Always, ISC_STATUS, isc_dsql_allocate_statement, ISC_STATUS*, isc_db_handle*, isc_stmt_handle*) \
    X(Always, ISC_STATUS, isc_dsql_prepare, ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short, const ISC_SCHAR*, unsigned short, XSQLDA*) \
    X(Always, ISC_STATUS, isc_dsql_describe_bind, ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*) \
    X(Always, ISC_STATUS, isc_dsql_exec_immed2, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, unsigned short, const ISC_SCHAR*, unsigned short, const XSQLDA*, const XSQLDA*) \
    X(Always, ISC_STATUS, isc_dsql_describe, ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*) \
    X(Always, ISC_STATUS, isc_dsql_execute_immediate, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, unsigned short, const ISC_SCHAR*, unsigned short, const XSQLDA*) \
    X(Always, ISC_STATUS, isc_drop_database, ISC_STATUS*, isc_db_handle*) \
    X(Always, ISC_STATUS, isc_detach_database, ISC_STATUS*, isc_db_handle*) \
    X(Always, ISC_STATUS, isc_attach_database, ISC_STATUS*, short, const ISC_SCHAR*, isc_db_handle*, short, const ISC_SCHAR*) \
    X(Always, ISC_STATUS, isc_database_info, ISC_STATUS*, isc_db_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*) \
    X(Always, ISC_STATUS, isc_start_multiple, ISC_STATUS*, isc_tr_handle*, short, void*) \
    V(Always, ISC_STATUS, isc_start_transaction, ISC_STATUS*, isc_tr_handle*, short) \
    X(Always, ISC_STATUS, isc_commit_transaction, ISC_STATUS*, isc_tr_handle*) \
    X(Always, ISC_STATUS, isc_commit_retaining, ISC_STATUS*, isc_tr_handle*) \
    X(Always, ISC_STATUS, isc_rollback_transaction, ISC_STATUS*, isc_tr_handle*) \
    X(Always, ISC_STATUS, isc_cancel_events, ISC_STATUS*, isc_db_handle*, ISC_LONG*) \
    X(Always, ISC_STATUS, isc_que_events, ISC_STATUS*, isc_db_handle*, ISC_LONG*, short, const ISC_UCHAR*, ISC_EVENT_CALLBACK, void*) \
    X(Always, void, isc_event_counts, ISC_ULONG*, short, ISC_UCHAR*, const ISC_UCHAR*) \
    V(Always, ISC_LONG, isc_event_block, ISC_UCHAR**, ISC_UCHAR**, ISC_USHORT) \
    X(Always, ISC_LONG, isc_free, ISC_SCHAR*) \
    X(Always, ISC_STATUS, isc_add_user, ISC_STATUS*, const USER_SEC_DATA*) \
    X(Always, ISC_STATUS, isc_delete_user, ISC_STATUS*, const USER_SEC_DATA*) \
    X(Always, ISC_STATUS, isc_modify_user, ISC_STATUS*, const USER_SEC_DATA*) \
    X(Always, ISC_STATUS, isc_prepare_transaction, ISC_STATUS*, isc_tr_handle*) \
    X(Always, ISC_STATUS, isc_prepare_transaction2, ISC_STATUS*, isc_tr_handle*, ISC_USHORT, const ISC_UCHAR*) \
    X(Always, ISC_STATUS, isc_transaction_info, ISC_STATUS*, isc_tr_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*) \
    X(V6, ISC_STATUS, isc_rollback_retaining, ISC_STATUS*, isc_tr_handle*) \
    X(V6, ISC_STATUS, isc_service_attach, ISC_STATUS*, unsigned short, const ISC_SCHAR*, isc_svc_handle*, unsigned short, const ISC_SCHAR*) \
    X(V6, ISC_STATUS, isc_service_detach, ISC_STATUS*, isc_svc_handle*) \
    X(V6, ISC_STATUS, isc_service_query, ISC_STATUS*, isc_svc_handle*, isc_resv_handle*, unsigned short, const ISC_SCHAR*, unsigned short, const ISC_SCHAR*, unsigned short, ISC_SCHAR*) \
    X(V6, ISC_STATUS, isc_service_start, ISC_STATUS*, isc_svc_handle*, isc_resv_handle*, unsigned short, const ISC_SCHAR*) \
    X(V6, void, isc_decode_sql_date, const ISC_DATE*, void*) \
    X(V6, void, isc_decode_sql_time, const ISC_TIME*, void*) \
    X(V6, void, isc_decode_timestamp, const ISC_TIMESTAMP*, void*) \
    X(V6, void, isc_encode_sql_date, const void*, ISC_DATE*) \
    X(V6, void, isc_encode_sql_time, const void*, ISC_TIME*) \
    X(V6, void, isc_encode_timestamp, const void*, ISC_TIMESTAMP*) \
    X(VersionQuery, void, isc_get_client_version, ISC_SCHAR*) \
    X(VersionQuery, int, isc_get_client_major_version) \
    X(VersionQuery, int, isc_get_client_minor_version) \
    X(V70, ISC_STATUS, isc_array_gen_sdl2, ISC_STATUS*, const TArrayDescriptorWide*, ISC_SHORT*, ISC_UCHAR*, ISC_SHORT*) \
    X(V70, ISC_STATUS, isc_array_get_slice2, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const TArrayDescriptorWide*, void*, ISC_LONG*) \
    X(V70, ISC_STATUS, isc_array_lookup_bounds2, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, TArrayDescriptorWide*) \
    X(V70, ISC_STATUS, isc_array_lookup_desc2, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, TArrayDescriptorWide*) \
    X(V70, ISC_STATUS, isc_array_set_desc2, ISC_STATUS*, const ISC_SCHAR*, const ISC_SCHAR*, const short*, const short*, const short*, TArrayDescriptorWide*) \
    X(V70, ISC_STATUS, isc_array_put_slice2, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const TArrayDescriptorWide*, void*, ISC_LONG*) \
    X(V70, void, isc_blob_default_desc2, TBlobDescriptorWide*, const ISC_UCHAR*, const ISC_UCHAR*) \
    X(V70, ISC_STATUS, isc_blob_gen_bpb2, ISC_STATUS*, const TBlobDescriptorWide*, const TBlobDescriptorWide*, unsigned short, ISC_UCHAR*, unsigned short*) \
    X(V70, ISC_STATUS, isc_blob_lookup_desc2, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_UCHAR*, const ISC_UCHAR*, TBlobDescriptorWide*, ISC_UCHAR*) \
    X(V70, ISC_STATUS, isc_blob_set_desc2, ISC_STATUS*, const ISC_UCHAR*, const ISC_UCHAR*, short, short, short, TBlobDescriptorWide*) \
    X(V71, ISC_STATUS, isc_release_savepoint, ISC_STATUS*, isc_tr_handle*, const ISC_SCHAR*) \
    X(V71, ISC_STATUS, isc_rollback_savepoint, ISC_STATUS*, isc_tr_handle*, const ISC_SCHAR*, ISC_USHORT) \
    X(V71, ISC_STATUS, isc_start_savepoint, ISC_STATUS*, isc_tr_handle*, const ISC_SCHAR*) \
    X(V80, ISC_STATUS, isc_dsql_batch_execute_immed, ISC_STATUS*, isc_db_handle*, isc_tr_handle*, unsigned short, ISC_ULONG, ISC_SCHAR**, ISC_ULONG*) \
    X(Firebird, int, fb_shutdown, unsigned int, const int) \
    X(Firebird, ISC_STATUS, fb_shutdown_callback, ISC_STATUS*, FB_SHUTDOWN_CALLBACK, const int, void*) \
    X(V80, ISC_STATUS, isc_dsql_batch_execute, ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short, XSQLDA*, unsigned short, XSQLVAR**, ISC_ULONG*) \
    X(Xml, int, isc_dsql_xml_fetch, ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*, TXmlOutputArea*) \
    X(Xml, int, isc_dsql_xml_fetch_all, ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*, TXmlOutputArea*) \
    X(Xml, int, isc_dsql_xml_buffer_fetch, ISC_STATUS*, isc_stmt_handle*, ISC_SCHAR*, int, unsigned short, XSQLDA*, TXmlOutputArea*)

// Parameter lists with generated names (p1, p2, ...) for the generated
// forwarding, from the argument types of an entry.
#define VANTREL_COUNT_(_1, _2, _3, _4, _5, _6, _7, _8, _9, N, ...) N
#define VANTREL_COUNT(...) VANTREL_COUNT_(__VA_ARGS__ __VA_OPT__(, ) 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define VANTREL_JOIN_(a, b) a##b
#define VANTREL_JOIN(a, b) VANTREL_JOIN_(a, b)
#define VANTREL_PARAMS(...) VANTREL_JOIN(VANTREL_PARAMS_, VANTREL_COUNT(__VA_ARGS__))(__VA_ARGS__)
#define VANTREL_PARAMS_0()
#define VANTREL_PARAMS_1(a) a p1
#define VANTREL_PARAMS_2(a, b) VANTREL_PARAMS_1(a), b p2
#define VANTREL_PARAMS_3(a, b, c) VANTREL_PARAMS_2(a, b), c p3
#define VANTREL_PARAMS_4(a, b, c, d) VANTREL_PARAMS_3(a, b, c), d p4
#define VANTREL_PARAMS_5(a, b, c, d, e) VANTREL_PARAMS_4(a, b, c, d), e p5
#define VANTREL_PARAMS_6(a, b, c, d, e, f) VANTREL_PARAMS_5(a, b, c, d, e), f p6
#define VANTREL_PARAMS_7(a, b, c, d, e, f, g) VANTREL_PARAMS_6(a, b, c, d, e, f), g p7
#define VANTREL_PARAMS_8(a, b, c, d, e, f, g, h) VANTREL_PARAMS_7(a, b, c, d, e, f, g), h p8
#define VANTREL_PARAMS_9(a, b, c, d, e, f, g, h, i) VANTREL_PARAMS_8(a, b, c, d, e, f, g, h), i p9
#define VANTREL_ARGS(...) VANTREL_JOIN(VANTREL_ARGS_, VANTREL_COUNT(__VA_ARGS__))
#define VANTREL_ARGS_0
#define VANTREL_ARGS_1 p1
#define VANTREL_ARGS_2 p1, p2
#define VANTREL_ARGS_3 p1, p2, p3
#define VANTREL_ARGS_4 p1, p2, p3, p4
#define VANTREL_ARGS_5 p1, p2, p3, p4, p5
#define VANTREL_ARGS_6 p1, p2, p3, p4, p5, p6
#define VANTREL_ARGS_7 p1, p2, p3, p4, p5, p6, p7
#define VANTREL_ARGS_8 p1, p2, p3, p4, p5, p6, p7, p8
#define VANTREL_ARGS_9 p1, p2, p3, p4, p5, p6, p7, p8, p9

// The version groups of the list.
enum class TEntryGroup { Always, V6, VersionQuery, V70, V71, V80, Firebird, Xml };

#define VANTREL_PURE(group, R, name, ...) virtual R name(__VA_ARGS__) = 0;
// The variadic functions are declared by hand (below).
#define VANTREL_PURE_V(...)
#define VANTREL_OVERRIDE(group, R, name, ...) R name(__VA_ARGS__) override;
#define VANTREL_OVERRIDE_V(...)
#define VANTREL_TYPE(group, R, name, ...) using T##name = R(__VA_ARGS__);
#define VANTREL_TYPE_V(group, R, name, ...) using T##name = R(__VA_ARGS__, ...);
#define VANTREL_FIELD(group, R, name, ...) T##name *F##name = nullptr;

// Function types of the entry points: Tisc_attach_database, ...
VANTREL_CLIENT_FUNCTIONS(VANTREL_TYPE, VANTREL_TYPE_V)

// The binding of one server type. Forwarding methods do not check that the
// library is loaded: an entry point that is not resolved (the library is
// not loaded, or its loading stopped at a missing function) refuses the call
// with client error 2 instead of jumping through a null address.
class IGDSLibrary {
public:
    virtual ~IGDSLibrary() = default;

    // File name of the client library (the one actually loaded).
    virtual String LibraryName() const = 0;
    // Loads the library and resolves the entry points. Raises EOSError when a
    // required entry point is missing.
    virtual void LoadIBLibrary() = 0;
    // Unloads the client and XML libraries (never called by the layer itself).
    virtual void FreeIBLibrary() = 0;
    // Loads the library unless loaded; true when it is loaded now.
    virtual bool TryIBLoad() = 0;
    // TryIBLoad, raising EIBClientError 1 (library not found) on failure.
    virtual void CheckIBLoaded() = 0;
    // True when the loaded library has the functions of the group (false
    // while it is not loaded).
    virtual bool HasEntryGroup(TEntryGroup Group) const = 0;
    // Client version x 10000 (71000 for 7.1), major + minor / 10 as the
    // client's version functions report them: Firebird 3 reports 6.3, so
    // 63000. Loads the library first.
    virtual int64_t GetIBClientVersion() = 0;
    // True when the client library is Firebird 4's or a later one (it
    // exports fb_get_statement_interface, which came with 4.0): it describes
    // and carries Firebird 4's data types. An older client cannot, so the
    // connection asks a newer server for their legacy forms. Loads the
    // library first.
    virtual bool ClientHasFirebird4Types() = 0;

    VANTREL_CLIENT_FUNCTIONS(VANTREL_PURE, VANTREL_PURE_V)
    // The two variadic functions take their count as int, the type a short
    // count is promoted to when it is passed: reading the arguments that
    // follow a parameter of a promotable type is undefined. The count is
    // read back as the client header's type and goes on as that.
    virtual ISC_STATUS isc_start_transaction(ISC_STATUS *status_vector, isc_tr_handle *tran_handle,
                                             int db_handle_count, ...) = 0;
    virtual ISC_LONG isc_event_block(ISC_UCHAR **event_buffer, ISC_UCHAR **result_buffer, int id_count, ...) = 0;
};

// The binding of the "IBServer" type; the client functions forward to the
// resolved entry points.
class TIBServerLibrary : public IGDSLibrary {
public:
    TIBServerLibrary();
    ~TIBServerLibrary() override;  // does not unload the library
    TIBServerLibrary(const TIBServerLibrary &) = delete;
    TIBServerLibrary &operator=(const TIBServerLibrary &) = delete;

    String LibraryName() const override;
    bool HasEntryGroup(TEntryGroup Group) const override;
    void LoadIBLibrary() override;
    void FreeIBLibrary() override;
    bool TryIBLoad() override;
    void CheckIBLoaded() override;
    int64_t GetIBClientVersion() override;
    bool ClientHasFirebird4Types() override;

    VANTREL_CLIENT_FUNCTIONS(VANTREL_OVERRIDE, VANTREL_OVERRIDE_V)
    ISC_STATUS isc_start_transaction(ISC_STATUS *status_vector, isc_tr_handle *tran_handle, int db_handle_count,
                                     ...) override;
    ISC_LONG isc_event_block(ISC_UCHAR **event_buffer, ISC_UCHAR **result_buffer, int id_count, ...) override;

    // dlopen handles (null while not loaded), for diagnostics and tests.
    void *LibraryHandle() const { return FIBLibrary; }
    void *XMLLibraryHandle() const { return FIBXMLLibrary; }

private:
    // Calls Visit(group, name, entry, refusal of the group, refusal of an
    // unresolved entry) for every entry point.
    template <class Visitor>
    void ForEachEntry(Visitor &&Visit);
    void ResetEntryPoints();
    void ResolveGroup(TEntryGroup Group, void *Library);
    void RefuseGroup(TEntryGroup Group);
    // Loads unless loaded, under the load lock, so that threads creating
    // their first connections at once load the library once. Returns
    // whether it is loaded, and why not in Reason.
    bool LoadOnce(String &Reason);

    std::mutex FLoadLock;
    void *FIBLibrary = nullptr;
    void *FIBXMLLibrary = nullptr;
    // The groups resolved by the last load, by their place in TEntryGroup.
    std::array<bool, 8> FResolvedGroups{};
    // The loader's reason when the file was found but could not be loaded
    // (empty when it was not found at all).
    String FLoadError;
    int64_t FIBClientVersion = 0;
    bool FFirebird4Types = false;
    VANTREL_CLIENT_FUNCTIONS(VANTREL_FIELD, VANTREL_FIELD)
};

// The binding of the "IBEmbedded" type: same library, own object.
class TIBEmbeddedLibrary : public TIBServerLibrary {
public:
    String LibraryName() const override;
};

// The calling thread's status vector (ISC_STATUS_LENGTH entries).
ISC_STATUS *StatusVector();

}  // namespace vantrel
