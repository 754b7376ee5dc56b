// A client reporting version 8.0: everything, batch execution included.
#define FAKE_MAJOR 8
#define FAKE_MINOR 0
#define FAKE_IB7
#define FAKE_SAVEPOINTS
#define FAKE_BATCH
#include "FakeClient.h"
