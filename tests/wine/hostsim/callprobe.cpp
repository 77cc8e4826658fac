#include "tests/wine/hostsim/callprobe.h"

#if HOSTSIM_HAS_CALL_PROBE

// int32_t __cdecl HostsimCallProbe(const void* fn, int32_t count, const uintptr_t* args, uintptr_t* result)
asm(R"(
    .text
    .globl _HostsimCallProbe
_HostsimCallProbe:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl %esp, %esi
    movl 12(%ebp), %ecx
    movl 16(%ebp), %edi
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%edi,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    movl 20(%ebp), %ecx
    movl %eax, (%ecx)
    movl %esp, %eax
    subl %esi, %eax
    movl %esi, %esp
    popl %ebx
    popl %edi
    popl %esi
    popl %ebp
    ret
)");

// int32_t __cdecl HostsimThiscallProbe(const void* fn, int32_t count, const uintptr_t* args, uintptr_t* result)
asm(R"(
    .text
    .globl _HostsimThiscallProbe
_HostsimThiscallProbe:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl %esp, %esi
    movl 12(%ebp), %ecx
    movl 16(%ebp), %edi
1:  cmpl $1, %ecx
    jbe 2f
    decl %ecx
    pushl (%edi,%ecx,4)
    jmp 1b
2:  movl (%edi), %ecx
    call *8(%ebp)
    movl 20(%ebp), %ecx
    movl %eax, (%ecx)
    movl %esp, %eax
    subl %esi, %eax
    movl %esi, %esp
    popl %ebx
    popl %edi
    popl %esi
    popl %ebp
    ret
)");

extern "C" int32_t __cdecl HostsimThiscallProbe(const void* fn, int32_t count, const uintptr_t* args,
                                                uintptr_t* result);
extern "C" int32_t __cdecl HostsimCallProbe(const void* fn, int32_t count, const uintptr_t* args, uintptr_t* result);

namespace hostsim {

int32_t CallProbe(const void* fn, const std::vector<uintptr_t>& args, uintptr_t* result) {
    uintptr_t ignored = 0;
    return HostsimCallProbe(fn, static_cast<int32_t>(args.size()), args.empty() ? nullptr : args.data(),
                            result != nullptr ? result : &ignored);
}

int32_t ThiscallProbe(const void* fn, const std::vector<uintptr_t>& args, uintptr_t* result) {
    uintptr_t ignored = 0;
    if (args.empty()) return -1;
    return HostsimThiscallProbe(fn, static_cast<int32_t>(args.size()), args.data(),
                                result != nullptr ? result : &ignored);
}

}  // namespace hostsim

#endif
