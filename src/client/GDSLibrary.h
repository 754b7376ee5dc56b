// Binding to the InterBase/Firebird client library, loaded at run time with
// dlopen/dlsym. IGDSLibrary is the one road to the client functions: every
// published function is a method of the same name and arguments. The server
// type registry maps "IBServer"/"IBEmbedded" to their shared binding objects,
// and StatusVector() hands out the calling thread's status vector.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Text.h"

namespace vantrel {

// Descriptor layouts of the InterBase 7 array and blob functions (the "2"
// variants), which take 68-byte metadata names. Firebird's header lacks them.
inline constexpr int kMetadataLengthV2 = 68;

struct ISC_ARRAY_DESC_V2 {
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

struct ISC_BLOB_DESC_V2 {
    short blob_desc_version;
    short blob_desc_subtype;
    short blob_desc_charset;
    short blob_desc_segment_size;
    ISC_UCHAR blob_desc_field_name[kMetadataLengthV2];
    ISC_UCHAR blob_desc_relation_name[kMetadataLengthV2];
};

// Descriptor of the optional XML output library (opaque here).
struct IB_XMLDA;

// Function types of the client entry points, in the published argument
// order. Those missing from ibase.h (savepoints, batch execution, the "2"
// descriptor variants, XML output) follow the InterBase client interface.
using Tisc_attach_database = ISC_STATUS(ISC_STATUS*, short, const ISC_SCHAR*, isc_db_handle*, short, const ISC_SCHAR*);
using Tisc_array_gen_sdl = ISC_STATUS(ISC_STATUS*, const ISC_ARRAY_DESC*, ISC_SHORT*, ISC_UCHAR*, ISC_SHORT*);
using Tisc_array_gen_sdl2 = ISC_STATUS(ISC_STATUS*, const ISC_ARRAY_DESC_V2*, ISC_SHORT*, ISC_UCHAR*, ISC_SHORT*);
using Tisc_array_get_slice = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const ISC_ARRAY_DESC*, void*, ISC_LONG*);
using Tisc_array_get_slice2 = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const ISC_ARRAY_DESC_V2*, void*, ISC_LONG*);
using Tisc_array_lookup_bounds = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC*);
using Tisc_array_lookup_bounds2 = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC_V2*);
using Tisc_array_lookup_desc = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC*);
using Tisc_array_lookup_desc2 = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_SCHAR*, const ISC_SCHAR*, ISC_ARRAY_DESC_V2*);
using Tisc_array_set_desc = ISC_STATUS(ISC_STATUS*, const ISC_SCHAR*, const ISC_SCHAR*, const short*, const short*, const short*, ISC_ARRAY_DESC*);
using Tisc_array_set_desc2 = ISC_STATUS(ISC_STATUS*, const ISC_SCHAR*, const ISC_SCHAR*, const short*, const short*, const short*, ISC_ARRAY_DESC_V2*);
using Tisc_array_put_slice = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const ISC_ARRAY_DESC*, void*, ISC_LONG*);
using Tisc_array_put_slice2 = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, ISC_QUAD*, const ISC_ARRAY_DESC_V2*, void*, ISC_LONG*);
using Tisc_blob_default_desc = void(ISC_BLOB_DESC*, const ISC_UCHAR*, const ISC_UCHAR*);
using Tisc_blob_default_desc2 = void(ISC_BLOB_DESC_V2*, const ISC_UCHAR*, const ISC_UCHAR*);
using Tisc_blob_gen_bpb = ISC_STATUS(ISC_STATUS*, const ISC_BLOB_DESC*, const ISC_BLOB_DESC*, unsigned short, ISC_UCHAR*, unsigned short*);
using Tisc_blob_gen_bpb2 = ISC_STATUS(ISC_STATUS*, const ISC_BLOB_DESC_V2*, const ISC_BLOB_DESC_V2*, unsigned short, ISC_UCHAR*, unsigned short*);
using Tisc_blob_info = ISC_STATUS(ISC_STATUS*, isc_blob_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*);
using Tisc_blob_lookup_desc = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_UCHAR*, const ISC_UCHAR*, ISC_BLOB_DESC*, ISC_UCHAR*);
using Tisc_blob_lookup_desc2 = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, const ISC_UCHAR*, const ISC_UCHAR*, ISC_BLOB_DESC_V2*, ISC_UCHAR*);
using Tisc_blob_set_desc = ISC_STATUS(ISC_STATUS*, const ISC_UCHAR*, const ISC_UCHAR*, short, short, short, ISC_BLOB_DESC*);
using Tisc_blob_set_desc2 = ISC_STATUS(ISC_STATUS*, const ISC_UCHAR*, const ISC_UCHAR*, short, short, short, ISC_BLOB_DESC_V2*);
using Tisc_cancel_blob = ISC_STATUS(ISC_STATUS*, isc_blob_handle*);
using Tisc_cancel_events = ISC_STATUS(ISC_STATUS*, isc_db_handle*, ISC_LONG*);
using Tisc_close_blob = ISC_STATUS(ISC_STATUS*, isc_blob_handle*);
using Tisc_commit_retaining = ISC_STATUS(ISC_STATUS*, isc_tr_handle*);
using Tisc_commit_transaction = ISC_STATUS(ISC_STATUS*, isc_tr_handle*);
using Tisc_create_blob2 = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, isc_blob_handle*, ISC_QUAD*, short, const ISC_SCHAR*);
using Tisc_create_database = ISC_STATUS(ISC_STATUS*, short, const ISC_SCHAR*, isc_db_handle*, short, const ISC_SCHAR*, short);
using Tisc_database_info = ISC_STATUS(ISC_STATUS*, isc_db_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*);
using Tisc_decode_date = void(const ISC_QUAD*, void*);
using Tisc_decode_sql_date = void(const ISC_DATE*, void*);
using Tisc_decode_sql_time = void(const ISC_TIME*, void*);
using Tisc_decode_timestamp = void(const ISC_TIMESTAMP*, void*);
using Tisc_detach_database = ISC_STATUS(ISC_STATUS*, isc_db_handle*);
using Tisc_drop_database = ISC_STATUS(ISC_STATUS*, isc_db_handle*);
using Tisc_dsql_alloc_statement2 = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_stmt_handle*);
using Tisc_dsql_describe = ISC_STATUS(ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*);
using Tisc_dsql_describe_bind = ISC_STATUS(ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*);
using Tisc_dsql_exec_immed2 = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, unsigned short, const ISC_SCHAR*, unsigned short, const XSQLDA*, const XSQLDA*);
using Tisc_dsql_execute = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short, const XSQLDA*);
using Tisc_dsql_execute2 = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short, const XSQLDA*, const XSQLDA*);
using Tisc_dsql_execute_immediate = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, unsigned short, const ISC_SCHAR*, unsigned short, const XSQLDA*);
using Tisc_dsql_fetch = ISC_STATUS(ISC_STATUS*, isc_stmt_handle*, unsigned short, const XSQLDA*);
using Tisc_dsql_free_statement = ISC_STATUS(ISC_STATUS*, isc_stmt_handle*, unsigned short);
using Tisc_dsql_prepare = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short, const ISC_SCHAR*, unsigned short, XSQLDA*);
using Tisc_dsql_set_cursor_name = ISC_STATUS(ISC_STATUS*, isc_stmt_handle*, const ISC_SCHAR*, unsigned short);
using Tisc_dsql_sql_info = ISC_STATUS(ISC_STATUS*, isc_stmt_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*);
using Tisc_encode_date = void(const void*, ISC_QUAD*);
using Tisc_encode_sql_date = void(const void*, ISC_DATE*);
using Tisc_encode_sql_time = void(const void*, ISC_TIME*);
using Tisc_encode_timestamp = void(const void*, ISC_TIMESTAMP*);
using Tisc_event_block = ISC_LONG(ISC_UCHAR**, ISC_UCHAR**, ISC_USHORT, ...);
using Tisc_event_counts = void(ISC_ULONG*, short, ISC_UCHAR*, const ISC_UCHAR*);
using Tisc_free = ISC_LONG(ISC_SCHAR*);
using Tisc_get_segment = ISC_STATUS(ISC_STATUS*, isc_blob_handle*, unsigned short*, unsigned short, ISC_SCHAR*);
using Tisc_interprete = ISC_LONG(ISC_SCHAR*, ISC_STATUS**);
using Tisc_open_blob2 = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, isc_blob_handle*, ISC_QUAD*, ISC_USHORT, const ISC_UCHAR*);
using Tisc_prepare_transaction2 = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, ISC_USHORT, const ISC_UCHAR*);
using Tisc_put_segment = ISC_STATUS(ISC_STATUS*, isc_blob_handle*, unsigned short, const ISC_SCHAR*);
using Tisc_que_events = ISC_STATUS(ISC_STATUS*, isc_db_handle*, ISC_LONG*, short, const ISC_UCHAR*, ISC_EVENT_CALLBACK, void*);
using Tisc_release_savepoint = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, const ISC_SCHAR*);
using Tisc_rollback_retaining = ISC_STATUS(ISC_STATUS*, isc_tr_handle*);
using Tisc_rollback_savepoint = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, const ISC_SCHAR*, ISC_USHORT);
using Tisc_rollback_transaction = ISC_STATUS(ISC_STATUS*, isc_tr_handle*);
using Tisc_start_multiple = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, short, void*);
using Tisc_start_transaction = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, short, ...);
using Tisc_start_savepoint = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, const ISC_SCHAR*);
using Tisc_sqlcode = ISC_LONG(const ISC_STATUS*);
using Tisc_sql_interprete = void(short, ISC_SCHAR*, short);
using Tisc_vax_integer = ISC_LONG(const ISC_SCHAR*, short);
using Tisc_portable_integer = ISC_INT64(const ISC_UCHAR*, short);
using Tisc_dsql_batch_execute_immed = ISC_STATUS(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, unsigned short, ISC_ULONG, ISC_SCHAR**, ISC_ULONG*);
using Tisc_dsql_batch_execute = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short, XSQLDA*, unsigned short, XSQLVAR**, ISC_ULONG*);
using Tisc_add_user = ISC_STATUS(ISC_STATUS*, const USER_SEC_DATA*);
using Tisc_delete_user = ISC_STATUS(ISC_STATUS*, const USER_SEC_DATA*);
using Tisc_modify_user = ISC_STATUS(ISC_STATUS*, const USER_SEC_DATA*);
using Tisc_prepare_transaction = ISC_STATUS(ISC_STATUS*, isc_tr_handle*);
using TBLOB_put = int(ISC_SCHAR, FB_BLOB_STREAM);
using TBLOB_get = int(FB_BLOB_STREAM);
using Tisc_service_attach = ISC_STATUS(ISC_STATUS*, unsigned short, const ISC_SCHAR*, isc_svc_handle*, unsigned short, const ISC_SCHAR*);
using Tisc_service_detach = ISC_STATUS(ISC_STATUS*, isc_svc_handle*);
using Tisc_service_query = ISC_STATUS(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*, unsigned short, const ISC_SCHAR*, unsigned short, const ISC_SCHAR*, unsigned short, ISC_SCHAR*);
using Tisc_service_start = ISC_STATUS(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*, unsigned short, const ISC_SCHAR*);
using Tisc_get_client_version = void(ISC_SCHAR*);
using Tisc_get_client_major_version = int();
using Tisc_get_client_minor_version = int();
using Tisc_transaction_info = ISC_STATUS(ISC_STATUS*, isc_tr_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*);
using Tisc_dsql_xml_fetch = int(ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*, IB_XMLDA*);
using Tisc_dsql_xml_fetch_all = int(ISC_STATUS*, isc_stmt_handle*, unsigned short, XSQLDA*, IB_XMLDA*);
using Tisc_dsql_xml_buffer_fetch = int(ISC_STATUS*, isc_stmt_handle*, ISC_SCHAR*, int, unsigned short, XSQLDA*, IB_XMLDA*);

// The binding of one server type. Forwarding methods do not check that the
// library is loaded: obtain the object through CheckIBLoaded first.
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
    // Client version x 10000 (71000 for 7.1), major + minor / 10 as the
    // client's version functions report them: Firebird 3 reports 6.3, so
    // 63000. Loads the library first.
    virtual int64_t GetIBClientVersion() = 0;

    virtual ISC_STATUS isc_attach_database(ISC_STATUS* status_vector, short file_length, const ISC_SCHAR* file_name, isc_db_handle* db_handle, short dpb_length, const ISC_SCHAR* dpb) = 0;
    virtual ISC_STATUS isc_array_gen_sdl(ISC_STATUS* status_vector, const ISC_ARRAY_DESC* desc, ISC_SHORT* sdl_buffer_length, ISC_UCHAR* sdl_buffer, ISC_SHORT* sdl_length) = 0;
    virtual ISC_STATUS isc_array_gen_sdl2(ISC_STATUS* status_vector, const ISC_ARRAY_DESC_V2* desc, ISC_SHORT* sdl_buffer_length, ISC_UCHAR* sdl_buffer, ISC_SHORT* sdl_length) = 0;
    virtual ISC_STATUS isc_array_get_slice(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC* desc, void* dest_array, ISC_LONG* slice_length) = 0;
    virtual ISC_STATUS isc_array_get_slice2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC_V2* desc, void* dest_array, ISC_LONG* slice_length) = 0;
    virtual ISC_STATUS isc_array_lookup_bounds(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC* desc) = 0;
    virtual ISC_STATUS isc_array_lookup_bounds2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC_V2* desc) = 0;
    virtual ISC_STATUS isc_array_lookup_desc(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC* desc) = 0;
    virtual ISC_STATUS isc_array_lookup_desc2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC_V2* desc) = 0;
    virtual ISC_STATUS isc_array_set_desc(ISC_STATUS* status_vector, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, const short* sql_dtype, const short* sql_length, const short* dimensions, ISC_ARRAY_DESC* desc) = 0;
    virtual ISC_STATUS isc_array_set_desc2(ISC_STATUS* status_vector, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, const short* sql_dtype, const short* sql_length, const short* dimensions, ISC_ARRAY_DESC_V2* desc) = 0;
    virtual ISC_STATUS isc_array_put_slice(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC* desc, void* source_array, ISC_LONG* slice_length) = 0;
    virtual ISC_STATUS isc_array_put_slice2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC_V2* desc, void* source_array, ISC_LONG* slice_length) = 0;
    virtual void isc_blob_default_desc(ISC_BLOB_DESC* desc, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name) = 0;
    virtual void isc_blob_default_desc2(ISC_BLOB_DESC_V2* desc, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name) = 0;
    virtual ISC_STATUS isc_blob_gen_bpb(ISC_STATUS* status_vector, const ISC_BLOB_DESC* to_desc, const ISC_BLOB_DESC* from_desc, unsigned short bpb_buffer_length, ISC_UCHAR* bpb_buffer, unsigned short* bpb_length) = 0;
    virtual ISC_STATUS isc_blob_gen_bpb2(ISC_STATUS* status_vector, const ISC_BLOB_DESC_V2* to_desc, const ISC_BLOB_DESC_V2* from_desc, unsigned short bpb_buffer_length, ISC_UCHAR* bpb_buffer, unsigned short* bpb_length) = 0;
    virtual ISC_STATUS isc_blob_info(ISC_STATUS* status_vector, isc_blob_handle* blob_handle, short item_list_buffer_length, const ISC_SCHAR* item_list_buffer, short result_buffer_length, ISC_SCHAR* result_buffer) = 0;
    virtual ISC_STATUS isc_blob_lookup_desc(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, ISC_BLOB_DESC* desc, ISC_UCHAR* global) = 0;
    virtual ISC_STATUS isc_blob_lookup_desc2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, ISC_BLOB_DESC_V2* desc, ISC_UCHAR* global) = 0;
    virtual ISC_STATUS isc_blob_set_desc(ISC_STATUS* status_vector, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, short subtype, short charset, short segment_size, ISC_BLOB_DESC* desc) = 0;
    virtual ISC_STATUS isc_blob_set_desc2(ISC_STATUS* status_vector, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, short subtype, short charset, short segment_size, ISC_BLOB_DESC_V2* desc) = 0;
    virtual ISC_STATUS isc_cancel_blob(ISC_STATUS* status_vector, isc_blob_handle* blob_handle) = 0;
    virtual ISC_STATUS isc_cancel_events(ISC_STATUS* status_vector, isc_db_handle* db_handle, ISC_LONG* event_id) = 0;
    virtual ISC_STATUS isc_close_blob(ISC_STATUS* status_vector, isc_blob_handle* blob_handle) = 0;
    virtual ISC_STATUS isc_commit_retaining(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) = 0;
    virtual ISC_STATUS isc_commit_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) = 0;
    virtual ISC_STATUS isc_create_blob2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, isc_blob_handle* blob_handle, ISC_QUAD* blob_id, short bpb_length, const ISC_SCHAR* bpb_address) = 0;
    virtual ISC_STATUS isc_create_database(ISC_STATUS* status_vector, short file_length, const ISC_SCHAR* file_name, isc_db_handle* db_handle, short dpb_length, const ISC_SCHAR* dpb, short db_type) = 0;
    virtual ISC_STATUS isc_database_info(ISC_STATUS* status_vector, isc_db_handle* db_handle, short item_list_buffer_length, const ISC_SCHAR* item_list_buffer, short result_buffer_length, ISC_SCHAR* result_buffer) = 0;
    virtual void isc_decode_date(const ISC_QUAD* ib_date, void* tm_date) = 0;
    virtual void isc_decode_sql_date(const ISC_DATE* ib_date, void* tm_date) = 0;
    virtual void isc_decode_sql_time(const ISC_TIME* ib_time, void* tm_date) = 0;
    virtual void isc_decode_timestamp(const ISC_TIMESTAMP* ib_timestamp, void* tm_date) = 0;
    virtual ISC_STATUS isc_detach_database(ISC_STATUS* status_vector, isc_db_handle* db_handle) = 0;
    virtual ISC_STATUS isc_drop_database(ISC_STATUS* status_vector, isc_db_handle* db_handle) = 0;
    virtual ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_stmt_handle* stmt_handle) = 0;
    virtual ISC_STATUS isc_dsql_describe(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short dialect, XSQLDA* xsqlda) = 0;
    virtual ISC_STATUS isc_dsql_describe_bind(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short dialect, XSQLDA* xsqlda) = 0;
    virtual ISC_STATUS isc_dsql_exec_immed2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, unsigned short length, const ISC_SCHAR* statement, unsigned short dialect, const XSQLDA* in_xsqlda, const XSQLDA* out_xsqlda) = 0;
    virtual ISC_STATUS isc_dsql_execute(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short dialect, const XSQLDA* xsqlda) = 0;
    virtual ISC_STATUS isc_dsql_execute2(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short dialect, const XSQLDA* in_xsqlda, const XSQLDA* out_xsqlda) = 0;
    virtual ISC_STATUS isc_dsql_execute_immediate(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, unsigned short length, const ISC_SCHAR* statement, unsigned short dialect, const XSQLDA* xsqlda) = 0;
    virtual ISC_STATUS isc_dsql_fetch(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short dialect, const XSQLDA* xsqlda) = 0;
    virtual ISC_STATUS isc_dsql_free_statement(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short option) = 0;
    virtual ISC_STATUS isc_dsql_prepare(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short length, const ISC_SCHAR* statement, unsigned short dialect, XSQLDA* xsqlda) = 0;
    virtual ISC_STATUS isc_dsql_set_cursor_name(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, const ISC_SCHAR* cursor_name, unsigned short type) = 0;
    virtual ISC_STATUS isc_dsql_sql_info(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, short item_length, const ISC_SCHAR* items, short buffer_length, ISC_SCHAR* buffer) = 0;
    virtual void isc_encode_date(const void* tm_date, ISC_QUAD* ib_date) = 0;
    virtual void isc_encode_sql_date(const void* tm_date, ISC_DATE* ib_date) = 0;
    virtual void isc_encode_sql_time(const void* tm_date, ISC_TIME* ib_time) = 0;
    virtual void isc_encode_timestamp(const void* tm_date, ISC_TIMESTAMP* ib_timestamp) = 0;
    virtual ISC_LONG isc_event_block(ISC_UCHAR** event_buffer, ISC_UCHAR** result_buffer, ISC_USHORT id_count, ...) = 0;
    virtual void isc_event_counts(ISC_ULONG* status_vector, short buffer_length, ISC_UCHAR* event_buffer, const ISC_UCHAR* result_buffer) = 0;
    virtual ISC_LONG isc_free(ISC_SCHAR* isc_arg1) = 0;
    virtual ISC_STATUS isc_get_segment(ISC_STATUS* status_vector, isc_blob_handle* blob_handle, unsigned short* actual_seg_length, unsigned short seg_buffer_length, ISC_SCHAR* seg_buffer) = 0;
    virtual ISC_LONG isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** status_vector_ptr) = 0;
    virtual ISC_STATUS isc_open_blob2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, isc_blob_handle* blob_handle, ISC_QUAD* blob_id, ISC_USHORT bpb_length, const ISC_UCHAR* bpb_buffer) = 0;
    virtual ISC_STATUS isc_prepare_transaction2(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, ISC_USHORT msg_length, const ISC_UCHAR* msg) = 0;
    virtual ISC_STATUS isc_put_segment(ISC_STATUS* status_vector, isc_blob_handle* blob_handle, unsigned short seg_buffer_len, const ISC_SCHAR* seg_buffer) = 0;
    virtual ISC_STATUS isc_que_events(ISC_STATUS* status_vector, isc_db_handle* db_handle, ISC_LONG* event_id, short length, const ISC_UCHAR* event_buffer, ISC_EVENT_CALLBACK event_function, void* event_function_arg) = 0;
    virtual ISC_STATUS isc_release_savepoint(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, const ISC_SCHAR* savepoint_name) = 0;
    virtual ISC_STATUS isc_rollback_retaining(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) = 0;
    virtual ISC_STATUS isc_rollback_savepoint(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, const ISC_SCHAR* savepoint_name, ISC_USHORT option) = 0;
    virtual ISC_STATUS isc_rollback_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) = 0;
    virtual ISC_STATUS isc_start_multiple(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, short db_handle_count, void* teb_vector_address) = 0;
    virtual ISC_STATUS isc_start_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, short db_handle_count, ...) = 0;
    virtual ISC_STATUS isc_start_savepoint(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, const ISC_SCHAR* savepoint_name) = 0;
    virtual ISC_LONG isc_sqlcode(const ISC_STATUS* status_vector) = 0;
    virtual void isc_sql_interprete(short sqlcode, ISC_SCHAR* buffer, short buffer_length) = 0;
    virtual ISC_LONG isc_vax_integer(const ISC_SCHAR* buffer, short length) = 0;
    virtual ISC_INT64 isc_portable_integer(const ISC_UCHAR* buffer, short length) = 0;
    virtual ISC_STATUS isc_dsql_batch_execute_immed(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, unsigned short dialect, ISC_ULONG no_of_sql, ISC_SCHAR** statements, ISC_ULONG* rows_affected) = 0;
    virtual ISC_STATUS isc_dsql_batch_execute(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short dialect, XSQLDA* in_xsqlda, unsigned short no_of_rows, XSQLVAR** batch_vars, ISC_ULONG* rows_affected) = 0;
    virtual ISC_STATUS isc_add_user(ISC_STATUS* status_vector, const USER_SEC_DATA* user_sec_data) = 0;
    virtual ISC_STATUS isc_delete_user(ISC_STATUS* status_vector, const USER_SEC_DATA* user_sec_data) = 0;
    virtual ISC_STATUS isc_modify_user(ISC_STATUS* status_vector, const USER_SEC_DATA* user_sec_data) = 0;
    virtual ISC_STATUS isc_prepare_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) = 0;
    virtual int BLOB_put(ISC_SCHAR x, FB_BLOB_STREAM bstream) = 0;
    virtual int BLOB_get(FB_BLOB_STREAM bstream) = 0;
    virtual ISC_STATUS isc_service_attach(ISC_STATUS* status_vector, unsigned short service_length, const ISC_SCHAR* service_name, isc_svc_handle* svc_handle, unsigned short spb_length, const ISC_SCHAR* spb) = 0;
    virtual ISC_STATUS isc_service_detach(ISC_STATUS* status_vector, isc_svc_handle* svc_handle) = 0;
    virtual ISC_STATUS isc_service_query(ISC_STATUS* status_vector, isc_svc_handle* svc_handle, isc_resv_handle* reserved, unsigned short send_spb_length, const ISC_SCHAR* send_spb, unsigned short request_spb_length, const ISC_SCHAR* request_spb, unsigned short buffer_length, ISC_SCHAR* buffer) = 0;
    virtual ISC_STATUS isc_service_start(ISC_STATUS* status_vector, isc_svc_handle* svc_handle, isc_resv_handle* reserved, unsigned short spb_length, const ISC_SCHAR* spb) = 0;
    virtual void isc_get_client_version(ISC_SCHAR* version) = 0;
    virtual int isc_get_client_major_version() = 0;
    virtual int isc_get_client_minor_version() = 0;
    virtual ISC_STATUS isc_transaction_info(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, short item_list_buffer_length, const ISC_SCHAR* item_list_buffer, short result_buffer_length, ISC_SCHAR* result_buffer) = 0;
};

// The binding of the "IBServer" type: one object per process, shared by all
// connections of that type.
class TIBServerLibrary : public IGDSLibrary {
public:
    TIBServerLibrary();
    ~TIBServerLibrary() override;  // does not unload the library
    TIBServerLibrary(const TIBServerLibrary &) = delete;
    TIBServerLibrary &operator=(const TIBServerLibrary &) = delete;

    String LibraryName() const override;
    void LoadIBLibrary() override;
    void FreeIBLibrary() override;
    bool TryIBLoad() override;
    void CheckIBLoaded() override;
    int64_t GetIBClientVersion() override;

    ISC_STATUS isc_attach_database(ISC_STATUS* status_vector, short file_length, const ISC_SCHAR* file_name, isc_db_handle* db_handle, short dpb_length, const ISC_SCHAR* dpb) override;
    ISC_STATUS isc_array_gen_sdl(ISC_STATUS* status_vector, const ISC_ARRAY_DESC* desc, ISC_SHORT* sdl_buffer_length, ISC_UCHAR* sdl_buffer, ISC_SHORT* sdl_length) override;
    ISC_STATUS isc_array_gen_sdl2(ISC_STATUS* status_vector, const ISC_ARRAY_DESC_V2* desc, ISC_SHORT* sdl_buffer_length, ISC_UCHAR* sdl_buffer, ISC_SHORT* sdl_length) override;
    ISC_STATUS isc_array_get_slice(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC* desc, void* dest_array, ISC_LONG* slice_length) override;
    ISC_STATUS isc_array_get_slice2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC_V2* desc, void* dest_array, ISC_LONG* slice_length) override;
    ISC_STATUS isc_array_lookup_bounds(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC* desc) override;
    ISC_STATUS isc_array_lookup_bounds2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC_V2* desc) override;
    ISC_STATUS isc_array_lookup_desc(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC* desc) override;
    ISC_STATUS isc_array_lookup_desc2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, ISC_ARRAY_DESC_V2* desc) override;
    ISC_STATUS isc_array_set_desc(ISC_STATUS* status_vector, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, const short* sql_dtype, const short* sql_length, const short* dimensions, ISC_ARRAY_DESC* desc) override;
    ISC_STATUS isc_array_set_desc2(ISC_STATUS* status_vector, const ISC_SCHAR* table_name, const ISC_SCHAR* column_name, const short* sql_dtype, const short* sql_length, const short* dimensions, ISC_ARRAY_DESC_V2* desc) override;
    ISC_STATUS isc_array_put_slice(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC* desc, void* source_array, ISC_LONG* slice_length) override;
    ISC_STATUS isc_array_put_slice2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, ISC_QUAD* array_id, const ISC_ARRAY_DESC_V2* desc, void* source_array, ISC_LONG* slice_length) override;
    void isc_blob_default_desc(ISC_BLOB_DESC* desc, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name) override;
    void isc_blob_default_desc2(ISC_BLOB_DESC_V2* desc, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name) override;
    ISC_STATUS isc_blob_gen_bpb(ISC_STATUS* status_vector, const ISC_BLOB_DESC* to_desc, const ISC_BLOB_DESC* from_desc, unsigned short bpb_buffer_length, ISC_UCHAR* bpb_buffer, unsigned short* bpb_length) override;
    ISC_STATUS isc_blob_gen_bpb2(ISC_STATUS* status_vector, const ISC_BLOB_DESC_V2* to_desc, const ISC_BLOB_DESC_V2* from_desc, unsigned short bpb_buffer_length, ISC_UCHAR* bpb_buffer, unsigned short* bpb_length) override;
    ISC_STATUS isc_blob_info(ISC_STATUS* status_vector, isc_blob_handle* blob_handle, short item_list_buffer_length, const ISC_SCHAR* item_list_buffer, short result_buffer_length, ISC_SCHAR* result_buffer) override;
    ISC_STATUS isc_blob_lookup_desc(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, ISC_BLOB_DESC* desc, ISC_UCHAR* global) override;
    ISC_STATUS isc_blob_lookup_desc2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, ISC_BLOB_DESC_V2* desc, ISC_UCHAR* global) override;
    ISC_STATUS isc_blob_set_desc(ISC_STATUS* status_vector, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, short subtype, short charset, short segment_size, ISC_BLOB_DESC* desc) override;
    ISC_STATUS isc_blob_set_desc2(ISC_STATUS* status_vector, const ISC_UCHAR* table_name, const ISC_UCHAR* column_name, short subtype, short charset, short segment_size, ISC_BLOB_DESC_V2* desc) override;
    ISC_STATUS isc_cancel_blob(ISC_STATUS* status_vector, isc_blob_handle* blob_handle) override;
    ISC_STATUS isc_cancel_events(ISC_STATUS* status_vector, isc_db_handle* db_handle, ISC_LONG* event_id) override;
    ISC_STATUS isc_close_blob(ISC_STATUS* status_vector, isc_blob_handle* blob_handle) override;
    ISC_STATUS isc_commit_retaining(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) override;
    ISC_STATUS isc_commit_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) override;
    ISC_STATUS isc_create_blob2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, isc_blob_handle* blob_handle, ISC_QUAD* blob_id, short bpb_length, const ISC_SCHAR* bpb_address) override;
    ISC_STATUS isc_create_database(ISC_STATUS* status_vector, short file_length, const ISC_SCHAR* file_name, isc_db_handle* db_handle, short dpb_length, const ISC_SCHAR* dpb, short db_type) override;
    ISC_STATUS isc_database_info(ISC_STATUS* status_vector, isc_db_handle* db_handle, short item_list_buffer_length, const ISC_SCHAR* item_list_buffer, short result_buffer_length, ISC_SCHAR* result_buffer) override;
    void isc_decode_date(const ISC_QUAD* ib_date, void* tm_date) override;
    void isc_decode_sql_date(const ISC_DATE* ib_date, void* tm_date) override;
    void isc_decode_sql_time(const ISC_TIME* ib_time, void* tm_date) override;
    void isc_decode_timestamp(const ISC_TIMESTAMP* ib_timestamp, void* tm_date) override;
    ISC_STATUS isc_detach_database(ISC_STATUS* status_vector, isc_db_handle* db_handle) override;
    ISC_STATUS isc_drop_database(ISC_STATUS* status_vector, isc_db_handle* db_handle) override;
    ISC_STATUS isc_dsql_alloc_statement2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_stmt_handle* stmt_handle) override;
    ISC_STATUS isc_dsql_describe(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short dialect, XSQLDA* xsqlda) override;
    ISC_STATUS isc_dsql_describe_bind(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short dialect, XSQLDA* xsqlda) override;
    ISC_STATUS isc_dsql_exec_immed2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, unsigned short length, const ISC_SCHAR* statement, unsigned short dialect, const XSQLDA* in_xsqlda, const XSQLDA* out_xsqlda) override;
    ISC_STATUS isc_dsql_execute(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short dialect, const XSQLDA* xsqlda) override;
    ISC_STATUS isc_dsql_execute2(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short dialect, const XSQLDA* in_xsqlda, const XSQLDA* out_xsqlda) override;
    ISC_STATUS isc_dsql_execute_immediate(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, unsigned short length, const ISC_SCHAR* statement, unsigned short dialect, const XSQLDA* xsqlda) override;
    ISC_STATUS isc_dsql_fetch(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short dialect, const XSQLDA* xsqlda) override;
    ISC_STATUS isc_dsql_free_statement(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short option) override;
    ISC_STATUS isc_dsql_prepare(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short length, const ISC_SCHAR* statement, unsigned short dialect, XSQLDA* xsqlda) override;
    ISC_STATUS isc_dsql_set_cursor_name(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, const ISC_SCHAR* cursor_name, unsigned short type) override;
    ISC_STATUS isc_dsql_sql_info(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, short item_length, const ISC_SCHAR* items, short buffer_length, ISC_SCHAR* buffer) override;
    void isc_encode_date(const void* tm_date, ISC_QUAD* ib_date) override;
    void isc_encode_sql_date(const void* tm_date, ISC_DATE* ib_date) override;
    void isc_encode_sql_time(const void* tm_date, ISC_TIME* ib_time) override;
    void isc_encode_timestamp(const void* tm_date, ISC_TIMESTAMP* ib_timestamp) override;
    ISC_LONG isc_event_block(ISC_UCHAR** event_buffer, ISC_UCHAR** result_buffer, ISC_USHORT id_count, ...) override;
    void isc_event_counts(ISC_ULONG* status_vector, short buffer_length, ISC_UCHAR* event_buffer, const ISC_UCHAR* result_buffer) override;
    ISC_LONG isc_free(ISC_SCHAR* isc_arg1) override;
    ISC_STATUS isc_get_segment(ISC_STATUS* status_vector, isc_blob_handle* blob_handle, unsigned short* actual_seg_length, unsigned short seg_buffer_length, ISC_SCHAR* seg_buffer) override;
    ISC_LONG isc_interprete(ISC_SCHAR* buffer, ISC_STATUS** status_vector_ptr) override;
    ISC_STATUS isc_open_blob2(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, isc_blob_handle* blob_handle, ISC_QUAD* blob_id, ISC_USHORT bpb_length, const ISC_UCHAR* bpb_buffer) override;
    ISC_STATUS isc_prepare_transaction2(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, ISC_USHORT msg_length, const ISC_UCHAR* msg) override;
    ISC_STATUS isc_put_segment(ISC_STATUS* status_vector, isc_blob_handle* blob_handle, unsigned short seg_buffer_len, const ISC_SCHAR* seg_buffer) override;
    ISC_STATUS isc_que_events(ISC_STATUS* status_vector, isc_db_handle* db_handle, ISC_LONG* event_id, short length, const ISC_UCHAR* event_buffer, ISC_EVENT_CALLBACK event_function, void* event_function_arg) override;
    ISC_STATUS isc_release_savepoint(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, const ISC_SCHAR* savepoint_name) override;
    ISC_STATUS isc_rollback_retaining(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) override;
    ISC_STATUS isc_rollback_savepoint(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, const ISC_SCHAR* savepoint_name, ISC_USHORT option) override;
    ISC_STATUS isc_rollback_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) override;
    ISC_STATUS isc_start_multiple(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, short db_handle_count, void* teb_vector_address) override;
    ISC_STATUS isc_start_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, short db_handle_count, ...) override;
    ISC_STATUS isc_start_savepoint(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, const ISC_SCHAR* savepoint_name) override;
    ISC_LONG isc_sqlcode(const ISC_STATUS* status_vector) override;
    void isc_sql_interprete(short sqlcode, ISC_SCHAR* buffer, short buffer_length) override;
    ISC_LONG isc_vax_integer(const ISC_SCHAR* buffer, short length) override;
    ISC_INT64 isc_portable_integer(const ISC_UCHAR* buffer, short length) override;
    ISC_STATUS isc_dsql_batch_execute_immed(ISC_STATUS* status_vector, isc_db_handle* db_handle, isc_tr_handle* tran_handle, unsigned short dialect, ISC_ULONG no_of_sql, ISC_SCHAR** statements, ISC_ULONG* rows_affected) override;
    ISC_STATUS isc_dsql_batch_execute(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, isc_stmt_handle* stmt_handle, unsigned short dialect, XSQLDA* in_xsqlda, unsigned short no_of_rows, XSQLVAR** batch_vars, ISC_ULONG* rows_affected) override;
    ISC_STATUS isc_add_user(ISC_STATUS* status_vector, const USER_SEC_DATA* user_sec_data) override;
    ISC_STATUS isc_delete_user(ISC_STATUS* status_vector, const USER_SEC_DATA* user_sec_data) override;
    ISC_STATUS isc_modify_user(ISC_STATUS* status_vector, const USER_SEC_DATA* user_sec_data) override;
    ISC_STATUS isc_prepare_transaction(ISC_STATUS* status_vector, isc_tr_handle* tran_handle) override;
    int BLOB_put(ISC_SCHAR x, FB_BLOB_STREAM bstream) override;
    int BLOB_get(FB_BLOB_STREAM bstream) override;
    ISC_STATUS isc_service_attach(ISC_STATUS* status_vector, unsigned short service_length, const ISC_SCHAR* service_name, isc_svc_handle* svc_handle, unsigned short spb_length, const ISC_SCHAR* spb) override;
    ISC_STATUS isc_service_detach(ISC_STATUS* status_vector, isc_svc_handle* svc_handle) override;
    ISC_STATUS isc_service_query(ISC_STATUS* status_vector, isc_svc_handle* svc_handle, isc_resv_handle* reserved, unsigned short send_spb_length, const ISC_SCHAR* send_spb, unsigned short request_spb_length, const ISC_SCHAR* request_spb, unsigned short buffer_length, ISC_SCHAR* buffer) override;
    ISC_STATUS isc_service_start(ISC_STATUS* status_vector, isc_svc_handle* svc_handle, isc_resv_handle* reserved, unsigned short spb_length, const ISC_SCHAR* spb) override;
    void isc_get_client_version(ISC_SCHAR* version) override;
    int isc_get_client_major_version() override;
    int isc_get_client_minor_version() override;
    ISC_STATUS isc_transaction_info(ISC_STATUS* status_vector, isc_tr_handle* tran_handle, short item_list_buffer_length, const ISC_SCHAR* item_list_buffer, short result_buffer_length, ISC_SCHAR* result_buffer) override;

    // XML output (optional library; refused when it is absent).
    int isc_dsql_xml_fetch(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short da_version, XSQLDA* xsqlda, IB_XMLDA* xmlda);
    int isc_dsql_xml_fetch_all(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, unsigned short da_version, XSQLDA* xsqlda, IB_XMLDA* xmlda);
    int isc_dsql_xml_buffer_fetch(ISC_STATUS* status_vector, isc_stmt_handle* stmt_handle, ISC_SCHAR* buffer, int buffer_size, unsigned short da_version, XSQLDA* xsqlda, IB_XMLDA* xmlda);

    // dlopen handles (null while not loaded), for diagnostics and tests.
    void *LibraryHandle() const { return FIBLibrary; }
    void *XMLLibraryHandle() const { return FIBXMLLibrary; }

private:
    void ResetEntryPoints();
    // Loads unless loaded, under the load lock, so that threads creating
    // their first connections at once load the library once. Returns
    // whether it is loaded, and why not in Reason.
    bool LoadOnce(String &Reason);

    std::mutex FLoadLock;
    void *FIBLibrary = nullptr;
    void *FIBXMLLibrary = nullptr;
    // The loader's reason when the file was found but could not be loaded
    // (empty when it was not found at all).
    String FLoadError;
    int64_t FIBClientVersion = 0;
    Tisc_attach_database *Fisc_attach_database = nullptr;
    Tisc_array_gen_sdl *Fisc_array_gen_sdl = nullptr;
    Tisc_array_gen_sdl2 *Fisc_array_gen_sdl2 = nullptr;
    Tisc_array_get_slice *Fisc_array_get_slice = nullptr;
    Tisc_array_get_slice2 *Fisc_array_get_slice2 = nullptr;
    Tisc_array_lookup_bounds *Fisc_array_lookup_bounds = nullptr;
    Tisc_array_lookup_bounds2 *Fisc_array_lookup_bounds2 = nullptr;
    Tisc_array_lookup_desc *Fisc_array_lookup_desc = nullptr;
    Tisc_array_lookup_desc2 *Fisc_array_lookup_desc2 = nullptr;
    Tisc_array_set_desc *Fisc_array_set_desc = nullptr;
    Tisc_array_set_desc2 *Fisc_array_set_desc2 = nullptr;
    Tisc_array_put_slice *Fisc_array_put_slice = nullptr;
    Tisc_array_put_slice2 *Fisc_array_put_slice2 = nullptr;
    Tisc_blob_default_desc *Fisc_blob_default_desc = nullptr;
    Tisc_blob_default_desc2 *Fisc_blob_default_desc2 = nullptr;
    Tisc_blob_gen_bpb *Fisc_blob_gen_bpb = nullptr;
    Tisc_blob_gen_bpb2 *Fisc_blob_gen_bpb2 = nullptr;
    Tisc_blob_info *Fisc_blob_info = nullptr;
    Tisc_blob_lookup_desc *Fisc_blob_lookup_desc = nullptr;
    Tisc_blob_lookup_desc2 *Fisc_blob_lookup_desc2 = nullptr;
    Tisc_blob_set_desc *Fisc_blob_set_desc = nullptr;
    Tisc_blob_set_desc2 *Fisc_blob_set_desc2 = nullptr;
    Tisc_cancel_blob *Fisc_cancel_blob = nullptr;
    Tisc_cancel_events *Fisc_cancel_events = nullptr;
    Tisc_close_blob *Fisc_close_blob = nullptr;
    Tisc_commit_retaining *Fisc_commit_retaining = nullptr;
    Tisc_commit_transaction *Fisc_commit_transaction = nullptr;
    Tisc_create_blob2 *Fisc_create_blob2 = nullptr;
    Tisc_create_database *Fisc_create_database = nullptr;
    Tisc_database_info *Fisc_database_info = nullptr;
    Tisc_decode_date *Fisc_decode_date = nullptr;
    Tisc_decode_sql_date *Fisc_decode_sql_date = nullptr;
    Tisc_decode_sql_time *Fisc_decode_sql_time = nullptr;
    Tisc_decode_timestamp *Fisc_decode_timestamp = nullptr;
    Tisc_detach_database *Fisc_detach_database = nullptr;
    Tisc_drop_database *Fisc_drop_database = nullptr;
    Tisc_dsql_alloc_statement2 *Fisc_dsql_alloc_statement2 = nullptr;
    Tisc_dsql_describe *Fisc_dsql_describe = nullptr;
    Tisc_dsql_describe_bind *Fisc_dsql_describe_bind = nullptr;
    Tisc_dsql_exec_immed2 *Fisc_dsql_exec_immed2 = nullptr;
    Tisc_dsql_execute *Fisc_dsql_execute = nullptr;
    Tisc_dsql_execute2 *Fisc_dsql_execute2 = nullptr;
    Tisc_dsql_execute_immediate *Fisc_dsql_execute_immediate = nullptr;
    Tisc_dsql_fetch *Fisc_dsql_fetch = nullptr;
    Tisc_dsql_free_statement *Fisc_dsql_free_statement = nullptr;
    Tisc_dsql_prepare *Fisc_dsql_prepare = nullptr;
    Tisc_dsql_set_cursor_name *Fisc_dsql_set_cursor_name = nullptr;
    Tisc_dsql_sql_info *Fisc_dsql_sql_info = nullptr;
    Tisc_encode_date *Fisc_encode_date = nullptr;
    Tisc_encode_sql_date *Fisc_encode_sql_date = nullptr;
    Tisc_encode_sql_time *Fisc_encode_sql_time = nullptr;
    Tisc_encode_timestamp *Fisc_encode_timestamp = nullptr;
    Tisc_event_block *Fisc_event_block = nullptr;
    Tisc_event_counts *Fisc_event_counts = nullptr;
    Tisc_free *Fisc_free = nullptr;
    Tisc_get_segment *Fisc_get_segment = nullptr;
    Tisc_interprete *Fisc_interprete = nullptr;
    Tisc_open_blob2 *Fisc_open_blob2 = nullptr;
    Tisc_prepare_transaction2 *Fisc_prepare_transaction2 = nullptr;
    Tisc_put_segment *Fisc_put_segment = nullptr;
    Tisc_que_events *Fisc_que_events = nullptr;
    Tisc_release_savepoint *Fisc_release_savepoint = nullptr;
    Tisc_rollback_retaining *Fisc_rollback_retaining = nullptr;
    Tisc_rollback_savepoint *Fisc_rollback_savepoint = nullptr;
    Tisc_rollback_transaction *Fisc_rollback_transaction = nullptr;
    Tisc_start_multiple *Fisc_start_multiple = nullptr;
    Tisc_start_transaction *Fisc_start_transaction = nullptr;
    Tisc_start_savepoint *Fisc_start_savepoint = nullptr;
    Tisc_sqlcode *Fisc_sqlcode = nullptr;
    Tisc_sql_interprete *Fisc_sql_interprete = nullptr;
    Tisc_vax_integer *Fisc_vax_integer = nullptr;
    Tisc_portable_integer *Fisc_portable_integer = nullptr;
    Tisc_dsql_batch_execute_immed *Fisc_dsql_batch_execute_immed = nullptr;
    Tisc_dsql_batch_execute *Fisc_dsql_batch_execute = nullptr;
    Tisc_add_user *Fisc_add_user = nullptr;
    Tisc_delete_user *Fisc_delete_user = nullptr;
    Tisc_modify_user *Fisc_modify_user = nullptr;
    Tisc_prepare_transaction *Fisc_prepare_transaction = nullptr;
    TBLOB_put *FBLOB_put = nullptr;
    TBLOB_get *FBLOB_get = nullptr;
    Tisc_service_attach *Fisc_service_attach = nullptr;
    Tisc_service_detach *Fisc_service_detach = nullptr;
    Tisc_service_query *Fisc_service_query = nullptr;
    Tisc_service_start *Fisc_service_start = nullptr;
    Tisc_get_client_version *Fisc_get_client_version = nullptr;
    Tisc_get_client_major_version *Fisc_get_client_major_version = nullptr;
    Tisc_get_client_minor_version *Fisc_get_client_minor_version = nullptr;
    Tisc_transaction_info *Fisc_transaction_info = nullptr;
    Tisc_dsql_xml_fetch *Fisc_dsql_xml_fetch = nullptr;
    Tisc_dsql_xml_fetch_all *Fisc_dsql_xml_fetch_all = nullptr;
    Tisc_dsql_xml_buffer_fetch *Fisc_dsql_xml_buffer_fetch = nullptr;
};

// The binding of the "IBEmbedded" type: same library, own object.
class TIBEmbeddedLibrary : public TIBServerLibrary {
public:
    String LibraryName() const override;
};

// The calling thread's status vector (ISC_STATUS_LENGTH entries).
ISC_STATUS *StatusVector();

// Server type registry, in registration order: "IBServer", "IBEmbedded"
// and whatever RegisterServerLibrary added. Names compare ignoring case.
using TServerLibraryEntry = std::pair<String, std::shared_ptr<IGDSLibrary>>;
const std::vector<TServerLibraryEntry> &ServerLibraries();
void RegisterServerLibrary(const String &serverType, std::shared_ptr<IGDSLibrary> library);
// The registered name in its registered form ("ibserver" -> "IBServer");
// raises EIBClientError 123 when nothing matches.
String MatchServerType(const String &text);
// The binding registered under a name; raises EListError "Item not found"
// for an unknown name.
std::shared_ptr<IGDSLibrary> FindServerLibrary(const String &serverType);

}  // namespace vantrel
