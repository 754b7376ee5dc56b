/* The example host of the README, built against the installed package. */
#include <stdio.h>
#include <string.h>
#include <vantrel/vantrel.h>

static VARIANT text(const char *s) {          /* ASCII only, for brevity */
    VARIANT v; VantrelVariantInit(&v);
    VANTREL_WCHAR buf[512]; uint32_t n = (uint32_t)strlen(s);
    for (uint32_t i = 0; i < n; i++) buf[i] = (VANTREL_WCHAR)s[i];
    v.vt = VT_BSTR; v.u.bstrVal = VantrelSysAllocStringLen(buf, n);
    return v;
}

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    VARIANT db = text(argv[1]), script = text(argv[2]), error;
    int32_t version = 0;
    if (UpdateDBEx(db, script, &error) || error.u.bstrVal) {
        printf("update failed (%u characters of error text)\n", VantrelSysStringLen(error.u.bstrVal));
    }
    VantrelVariantClear(&error);
    if (CheckDBVersionEx(db, &version, &error) == 0)
        printf("schema version %d\n", version);
    VantrelVariantClear(&error);
    VantrelVariantClear(&db);
    VantrelVariantClear(&script);
    return 0;
}
