#include "platform/Memory.h"

#include <malloc.h>

namespace vantrel {

void ReturnFreedMemory() { malloc_trim(0); }

}  // namespace vantrel
