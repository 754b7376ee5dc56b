/*
 * Vantrel: keeps the schema of a Firebird/InterBase database current.
 *
 * This header is the whole public interface of libvantrel.so. It is plain C
 * so that hosts in any language can load the library.
 */
#ifndef VANTREL_VANTREL_H
#define VANTREL_VANTREL_H

#include <stdint.h>

#if defined(__GNUC__)
#define VANTREL_API __attribute__((visibility("default")))
#else
#define VANTREL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* OLE Automation style variant. A BSTR points at NUL-terminated UTF-16 text
 * preceded by a 32-bit byte length; only Vantrel's allocator may create or
 * free one. */
#ifdef __cplusplus
typedef char16_t VANTREL_WCHAR;
#else
typedef uint16_t VANTREL_WCHAR;
#endif
typedef VANTREL_WCHAR *BSTR;
typedef uint16_t VARTYPE;

enum {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_BYREF = 0x4000
};

typedef struct tagVARIANT {
    VARTYPE vt;
    uint16_t wReserved1;
    uint16_t wReserved2;
    uint16_t wReserved3;
    union {
        int8_t cVal;
        uint8_t bVal;
        int16_t iVal;
        uint16_t uiVal;
        int32_t lVal;
        uint32_t ulVal;
        int64_t llVal;
        uint64_t ullVal;
        float fltVal;
        double dblVal;
        int64_t cyVal;      /* currency: value times 10000 */
        double date;        /* days since 1899-12-30, fraction = time of day */
        int16_t boolVal;    /* VARIANT_TRUE (-1) or VARIANT_FALSE (0) */
        BSTR bstrVal;
        struct tagVARIANT *pvarVal;
        void *byref;
    } u;
} VARIANT;

/* BSTR and VARIANT helpers for hosts. VantrelSysAllocStringLen returns NULL
 * when memory runs out or when the length in bytes (2 * length) does not fit
 * the 32-bit length prefix, that is for lengths above 0x7FFFFFFF. */
VANTREL_API BSTR VantrelSysAllocStringLen(const VANTREL_WCHAR *text, uint32_t length);
VANTREL_API void VantrelSysFreeString(BSTR text);
VANTREL_API uint32_t VantrelSysStringLen(BSTR text);
VANTREL_API void VantrelVariantInit(VARIANT *value);
VANTREL_API void VantrelVariantClear(VARIANT *value);

/* The handler receives the text of the modal message box (UTF-16, NUL
 * terminated); the library waits until it returns. Without a handler the
 * text goes to standard error. Pass NULL to remove the handler. */
typedef void (*VantrelMessageBoxHandler)(const VANTREL_WCHAR *text, void *context);
VANTREL_API void VantrelSetMessageBoxHandler(VantrelMessageBoxHandler handler, void *context);

/* Returns the schema version stored in table VER, or 0 when there is none.
 * Errors leave as C++ exceptions derived from std::exception; hosts that
 * cannot catch them use CheckDBVersionEx. */
VANTREL_API int32_t CheckDBVersion(VARIANT DatabaseName);

/* Applies the update script ScriptFile to DatabaseName in one transaction.
 * ErrorText receives VT_BSTR: a null string on success, the error text on
 * failure (release it with VantrelVariantClear). */
VANTREL_API void UpdateDB(VARIANT DatabaseName, VARIANT ScriptFile, VARIANT *ErrorText);

/* As above, but nothing crosses the boundary as an exception: they return 1
 * and put the message into ErrorText when an error would have left the plain
 * function, 0 otherwise. */
VANTREL_API int32_t CheckDBVersionEx(VARIANT DatabaseName, int32_t *Version, VARIANT *ErrorText);
VANTREL_API int32_t UpdateDBEx(VARIANT DatabaseName, VARIANT ScriptFile, VARIANT *ErrorText);

/* As the Ex functions, connecting with the host's own connection parameters:
 * Params converts to text of name=value lines (CR LF, LF or CR between
 * them), each replacing the module's line of the same name (names in any
 * case, with or without "isc_dpb_"), for example
 *     user_name=ALICE
 *     password=secret
 *     lc_ctype=UTF8
 *     sql_role_name=UPDATER
 * Lines of other names are added. Everything else of the module stays as
 * it is; empty Params (VT_EMPTY or an empty string) connects exactly as the
 * Ex functions do. Error texts never contain the password. */
VANTREL_API int32_t CheckDBVersionWithParams(VARIANT DatabaseName, VARIANT Params, int32_t *Version,
                                             VARIANT *ErrorText);
VANTREL_API int32_t UpdateDBWithParams(VARIANT DatabaseName, VARIANT ScriptFile, VARIANT Params,
                                       VARIANT *ErrorText);

#ifdef __cplusplus
}
#endif

#endif /* VANTREL_VANTREL_H */
