// A client older than InterBase 6: neither isc_rollback_retaining nor the
// client version functions.
#define FAKE_NO_IB6
#define FAKE_NO_CLIENT_VERSION
#include "FakeClient.h"
