// A client that lacks isc_transaction_info, the last required entry point.
#define FAKE_NO_TRANSACTION_INFO
#include "FakeClient.h"
