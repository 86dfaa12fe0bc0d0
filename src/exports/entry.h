// The library's entry point: load and unload of the shared object.
#pragma once

// Every global of every subsystem back to its load value, and the platform layer back
// to real time with no hooks. Used at load and by tests between cases (not exported).
void ResetLibraryForTests();
