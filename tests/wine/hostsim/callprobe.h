// i386 only: calls a function with arguments pushed on the stack and measures
// how far the stack pointer moved, to prove the calling convention of a slot
// (stdcall: the callee removes its arguments, drift 0) or of an export (cdecl:
// the caller removes them, drift -4 per argument). A frame-pointer epilogue
// in the caller would silently repair a wrong convention, so ordinary calls
// cannot show it.
#pragma once

#include <cstdint>
#include <vector>

namespace hostsim {

#if defined(_WIN32) && !defined(_WIN64)
#define HOSTSIM_HAS_CALL_PROBE 1
// Calls fn with args (args[0] leftmost), stores EAX into *result and answers
// ESP after the call minus ESP before the arguments were pushed.
int32_t CallProbe(const void* fn, const std::vector<uintptr_t>& args, uintptr_t* result);
// The same for thiscall: args[0] goes in ECX, the rest on the stack (the
// callee removes them: drift 0). args must not be empty.
int32_t ThiscallProbe(const void* fn, const std::vector<uintptr_t>& args, uintptr_t* result);
#else
#define HOSTSIM_HAS_CALL_PROBE 0
#endif

}  // namespace hostsim
