#!/usr/bin/env python3
"""Fails when a PE file holds an instruction a Pentium III lacks outside the objects allowed to.

check_isa.py OBJDUMP BINARY MAP [--dispatched REGEX]

The Pentium III (and the Athlon XP) have MMX and SSE, not SSE2. Every instruction of BINARY's code
sections is read with binutils' disassembler; the link MAP (ld -Map) says which object each byte
came from. An instruction of SSE2 or later is allowed only in an object whose name matches
--dispatched: code the program runs only after CPUID said the CPU has it. Without --dispatched no
such instruction is allowed anywhere.
"""
import bisect
import re
import subprocess
import sys

# The SSE (1) instructions that take XMM registers; any other instruction on an XMM register is
# SSE2 or later.
SSE1_XMM = set("""
movaps movups movss movlps movhps movlhps movhlps movmskps movntps
addps addss subps subss mulps mulss divps divss rcpps rcpss sqrtps sqrtss rsqrtps rsqrtss
maxps maxss minps minss cmpps cmpss comiss ucomiss andps andnps orps xorps shufps unpckhps unpcklps
cvtpi2ps cvtps2pi cvttps2pi cvtsi2ss cvtsi2ssl cvtss2si cvttss2si
""".split())
# cmpps/cmpss also print as their predicates: cmpltps, cmpneqss, ...
SSE1_CMP = re.compile(r"^cmp(eq|lt|le|unord|neq|nlt|nle|ord)(ps|ss)$")
# MMX registers: MMX and SSE's integer additions are fine; these came with SSE2 or SSSE3.
LATER_ON_MMX = set("""
paddq psubq pmuludq movdq2q movq2dq
pshufb phaddw phaddd phaddsw phsubw phsubd phsubsw pmaddubsw pmulhrsw psignb psignw psignd
pabsb pabsw pabsd palignr
""".split())
# Later instructions on no vector register at all.
LATER_PLAIN = set("""
lfence mfence clflush clflushopt clwb movnti fisttp fisttps fisttpl fisttpll monitor mwait
popcnt lzcnt tzcnt crc32 crc32b crc32w crc32l movbe andn bextr blsi blsmsk blsr bzhi mulx pdep pext
rorx sarx shlx shrx adcx adox rdrand rdseed xgetbv xsave xrstor xsaveopt rdtscp prefetchw
""".split())
# CPUID-guarded uses in code we did not write: libgcc asks the OS whether it saves the AVX
# registers (XGETBV) only after CPUID said OSXSAVE.
# std::random_device takes RDRAND and RDSEED only where CPUID offers them.
ALLOWED = [(re.compile(r"libgcc\.a\(cpuinfo\.o\)"), {"xgetbv"}),
           (re.compile(r"libstdc\+\+\.a\(random\.o\)"), {"rdrand", "rdseed"})]


def later_instruction(mnemonic, operands):
    """The reason an instruction is not a Pentium III's, or None."""
    base = mnemonic.split()[-1] if mnemonic else ""
    if re.search(r"%[yz]mm\d|%k[0-7]\b", operands) or (base.startswith("v") and "%xmm" in operands):
        return "AVX or later"
    if "%xmm" in operands and base not in SSE1_XMM and not SSE1_CMP.match(base):
        return "SSE2 or later"
    if re.search(r"%mm\d", operands) and base in LATER_ON_MMX:
        return "SSE2 or later on MMX"
    if base in LATER_PLAIN:
        return "after the Pentium III"
    return None


def read_map(path):
    """(start, end, object, section) for every input section of the link map, sorted by start."""
    ranges = []
    pending = None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"^ (\.\S+)\s*$", line)
            if m:  # a long section name: its address, size and object follow on the next line
                pending = m.group(1)
                continue
            m = re.match(r"^ (\.\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
            section = (m.group(1) if m and m.group(1) else pending) if m else None
            pending = None
            if m and section:
                start, size = int(m.group(2), 16), int(m.group(3), 16)
                if size:
                    ranges.append((start, start + size, m.group(4).strip(), section))
    ranges.sort()
    return ranges


def main():
    args = sys.argv[1:]
    dispatched = None
    if "--dispatched" in args:
        i = args.index("--dispatched")
        dispatched = re.compile(args[i + 1])
        del args[i:i + 2]
    if len(args) != 3:
        sys.exit(__doc__)
    objdump, binary, mapFile = args
    ranges = read_map(mapFile)
    if not ranges:
        sys.exit(f"{mapFile}: no code sections in the link map")
    starts = [r[0] for r in ranges]
    listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", "-M", "suffix", binary],
                             check=True, capture_output=True, text=True).stdout

    import bisect
    bad = {}
    count = 0
    for line in listing.splitlines():
        m = re.match(r"^\s*([0-9a-f]+):\s+(\S+(?:\s+\S+)?)\s*(.*)$", line)
        if not m:
            continue
        address = int(m.group(1), 16)
        parts = (m.group(2) + " " + m.group(3)).split(None, 1)
        mnemonic = parts[0].removesuffix(".s")  # ".s": the other encoding of the same instruction
        operands = parts[1] if len(parts) > 1 else ""
        if mnemonic in ("(bad)", ".byte"):
            continue
        if mnemonic in ("rep", "repz", "repnz", "lock", "data16", "addr16", "cs", "ds", "ss", "es", "fs", "gs") and operands:
            sub = operands.split(None, 1)
            mnemonic, operands = sub[0], (sub[1] if len(sub) > 1 else "")
        count += 1
        reason = later_instruction(mnemonic, operands)
        if not reason:
            continue
        i = bisect.bisect_right(starts, address) - 1
        inside = i >= 0 and address < ranges[i][1]
        if inside and not ranges[i][3].startswith(".text"):
            continue  # data the linker keeps in the code section (exception tables)
        owner = ranges[i][2] if inside else "(no object in the map)"
        if dispatched and dispatched.search(owner):
            continue
        if any(p.search(owner) and mnemonic in names for p, names in ALLOWED):
            continue
        entry = bad.setdefault(owner, [0, f"{address:x}: {mnemonic} {operands} ({reason})"])
        entry[0] += 1
    if count == 0:
        sys.exit(f"{binary}: no instructions read")
    if bad:
        total = sum(v[0] for v in bad.values())
        print(f"{binary}: {total} instructions a Pentium III lacks, in {len(bad)} objects outside the dispatched ones:")
        for owner, (n, first) in sorted(bad.items()):
            print(f"  {owner}: {n}, first {first}")
        sys.exit(1)
    print(f"{binary}: {count} instructions, none a Pentium III lacks outside the dispatched objects")


if __name__ == "__main__":
    main()
