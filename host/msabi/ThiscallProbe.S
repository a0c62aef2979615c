# The two hand-written calls of the conformance host: one that measures the stack balance of a
# table slot, and one that runs its road with the stack at a chosen offset from a 16-byte boundary.
#
# int ThiscallStackDelta(const void* function, void* self, const unsigned* args, int count,
#                        unsigned* eax)    (cdecl)
# Pushes args[count-1] .. args[0], puts self in ECX, calls function, stores what it left in EAX,
# and answers ESP after the call minus ESP before the pushes: 0 when the callee popped exactly
# its arguments, as a thiscall must; -4 for each argument it left behind. ESP at the call
# instruction, after the pushes, is left in probeStackAtCall.
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
    movl %esp, _probeStackAtCall
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

# void RunAtStackResidue(void (*road)(void*), void* context, unsigned residue)    (cdecl)
# Calls road(context) with ESP at residue modulo 16 at the call instruction (residue 0, 4, 8 or
# 12, with the argument pushed), as a caller that keeps only 4-byte alignment may leave it.
    .globl _RunAtStackResidue
_RunAtStackResidue:
    pushl %ebp
    movl %esp, %ebp
    movl 8(%ebp), %eax
    movl 12(%ebp), %edx
    movl 16(%ebp), %ecx
    andl $-16, %esp
    # After the push of context ESP is to be residue mod 16: drop (12 - residue) mod 16 first.
    negl %ecx
    addl $12, %ecx
    andl $15, %ecx
    subl %ecx, %esp
    pushl %edx
    calll *%eax
    movl %ebp, %esp
    popl %ebp
    retl

    .data
    .globl _probeStackAtCall
_probeStackAtCall:
    .long 0
