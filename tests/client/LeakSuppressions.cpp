// Firebird's embedded engine, which the client library loads into the test
// process, builds ICU tables for character sets that it never frees;
// LeakSanitizer would report them at exit. They are the engine's, reached
// through the client calls named below, not this library's. Matching the
// caller needs whole allocation stacks (the fast ones end inside ICU, which
// keeps no frame pointers). Weak, so that another definition in this
// executable takes precedence.
extern "C" __attribute__((weak)) const char *__lsan_default_suppressions() {
    return "leak:isc_dsql_exec_immed2\nleak:isc_create_database\nleak:isc_attach_database\n";
}
extern "C" __attribute__((weak)) const char *__asan_default_options() { return "fast_unwind_on_malloc=0"; }
