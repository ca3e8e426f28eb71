// Counting the process's live GDI objects, for the leak checks of the Windows tests.
#pragma once

namespace v7test {

// GetGuiResources where the system counts them. Wine answers 0 there, but its handle table takes
// a handle's low word alone, so the live objects are counted by asking the type of every index.
unsigned CountGdiObjects();

}  // namespace v7test
