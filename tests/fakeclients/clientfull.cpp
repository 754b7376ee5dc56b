// A complete client of version 3.0, the behaviour of every fake call chosen
// by the test.
#include "FakeClient.h"
