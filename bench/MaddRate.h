// The machine's 16-bit multiply-add rate, measured for the benchmark's roofline.
#pragma once

// Independent 512-bit vpdpwssd (wide = true, AVX-512 VNNI) or 256-bit vpmaddwd (AVX2) a
// nanosecond, the best of a few short runs; 0 when the CPU has neither. Each instruction does
// the 16-bit multiply-adds of 16 (or 8) 32-bit lanes.
double MaddsPerNanosecond(bool wide);
