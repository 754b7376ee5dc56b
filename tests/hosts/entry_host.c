/* A host written in C that links libvantrel.so like any application. It runs
 * UpdateDBEx once per argument group and prints what came back, so that tests
 * can watch fresh processes (for example the first load of the client
 * library).
 *
 * usage: entry_host update DATABASE SCRIPT [setenv NAME VALUE | update ...]...
 *        entry_host version DATABASE ...
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vantrel/vantrel.h>

static VARIANT text(const char *s) {
    VARIANT v;
    VANTREL_WCHAR buf[4096];
    uint32_t n = 0;
    VantrelVariantInit(&v);
    /* Arguments are ASCII in the tests; copy them as they are. */
    while (s[n] && n < 4095) { buf[n] = (VANTREL_WCHAR)(unsigned char)s[n]; n++; }
    v.vt = VT_BSTR;
    v.u.bstrVal = VantrelSysAllocStringLen(buf, n);
    return v;
}

static void print_text(const VARIANT *v) {
    uint32_t i, n;
    if (v->vt != VT_BSTR) { printf("<vt %u>", (unsigned)v->vt); return; }
    if (!v->u.bstrVal) { printf("<null>"); return; }
    n = VantrelSysStringLen(v->u.bstrVal);
    for (i = 0; i < n; i++) {
        VANTREL_WCHAR c = v->u.bstrVal[i];
        if (c < 0x80) putchar((int)c);
        else if (c < 0x800) { putchar(0xC0 | (c >> 6)); putchar(0x80 | (c & 0x3F)); }
        else { putchar(0xE0 | (c >> 12)); putchar(0x80 | ((c >> 6) & 0x3F)); putchar(0x80 | (c & 0x3F)); }
    }
}

int main(int argc, char **argv) {
    int i = 1;
    while (i < argc) {
        if (strcmp(argv[i], "setenv") == 0 && i + 2 < argc) {
            setenv(argv[i + 1], argv[i + 2], 1);
            i += 3;
        } else if (strcmp(argv[i], "update") == 0 && i + 2 < argc) {
            VARIANT db = text(argv[i + 1]), script = text(argv[i + 2]), error;
            int32_t rc = UpdateDBEx(db, script, &error);
            printf("update %d ", rc);
            print_text(&error);
            printf("\n");
            VantrelVariantClear(&error);
            VantrelVariantClear(&db);
            VantrelVariantClear(&script);
            i += 3;
        } else if (strcmp(argv[i], "version") == 0 && i + 1 < argc) {
            VARIANT db = text(argv[i + 1]), error;
            int32_t version = -1;
            int32_t rc = CheckDBVersionEx(db, &version, &error);
            printf("version %d %d ", rc, version);
            print_text(&error);
            printf("\n");
            VantrelVariantClear(&error);
            VantrelVariantClear(&db);
            i += 2;
        } else {
            fprintf(stderr, "entry_host: bad arguments\n");
            return 2;
        }
    }
    return 0;
}
