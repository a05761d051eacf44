#pragma once

// The test binary's operator new fails (throws std::bad_alloc) once this
// many more allocations have been made through it; negative: never.
extern long g_allocationsBeforeFailure;
