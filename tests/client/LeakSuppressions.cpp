// Firebird's embedded engine (loaded by the client library into the test
// process) keeps ICU objects it never frees; LeakSanitizer would report
// them at exit. The stacks end inside ICU because neither library keeps
// frame pointers, so the suppression names ICU and the engine's libraries.
// Weak, so that another definition in this executable takes precedence.
extern "C" __attribute__((weak)) const char *__lsan_default_suppressions() {
    return "leak:libicuuc.so\nleak:libEngine12.so\nleak:libfbclient.so\n";
}
