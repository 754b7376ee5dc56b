// A client reporting version 7.1: descriptor "2" functions and savepoints,
// no batch execution.
#define FAKE_MAJOR 7
#define FAKE_MINOR 1
#define FAKE_IB7
#define FAKE_SAVEPOINTS
#include "FakeClient.h"
