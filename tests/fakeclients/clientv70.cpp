// A client reporting version 7.0: descriptor "2" functions, but neither
// savepoints nor batch execution.
#define FAKE_MAJOR 7
#define FAKE_MINOR 0
#define FAKE_IB7
#include "FakeClient.h"
