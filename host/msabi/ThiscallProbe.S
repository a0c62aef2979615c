# Calls one table slot as a thiscall and measures how far the stack moved across the call.
#
# int ThiscallStackDelta(const void* function, void* self, const unsigned* args, int count,
#                        unsigned* eax)    (cdecl)
# Pushes args[count-1] .. args[0], puts self in ECX, calls function, stores what it left in EAX,
# and answers ESP after the call minus ESP before the pushes: 0 when the callee popped exactly
# its arguments, as a thiscall must; -4 for each argument it left behind.
    .text
    .globl _ThiscallStackDelta
_ThiscallStackDelta:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    pushl %ebx
    movl %esp, %esi
    movl 16(%ebp), %edi
    movl 20(%ebp), %ebx
1:
    testl %ebx, %ebx
    jz 2f
    decl %ebx
    pushl (%edi,%ebx,4)
    jmp 1b
2:
    movl 12(%ebp), %ecx
    calll *8(%ebp)
    movl 24(%ebp), %edx
    movl %eax, (%edx)
    movl %esp, %eax
    subl %esi, %eax
    movl %esi, %esp
    popl %ebx
    popl %edi
    popl %esi
    popl %ebp
    retl
