// Returning freed heap memory to the system.
#pragma once

namespace vantrel {

// Gives the whole free pages of the heap back to the system. Freeing many
// small blocks leaves their pages resident for later use by the same heap;
// a run that lets go of many while it fills one large block elsewhere (a
// script's lines released as a large statement is read) would otherwise
// keep both.
void ReturnFreedMemory();

}  // namespace vantrel
