// An InterBase 6 era client: isc_rollback_retaining, but no client version
// functions.
#define FAKE_NO_CLIENT_VERSION
#include "FakeClient.h"
