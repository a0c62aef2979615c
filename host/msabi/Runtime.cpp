// The freestanding runtime of the conformance host: memory, strings, output and the compiler's few needs.
#include "Runtime.h"

extern "C" {
// The compiler asks for this symbol when a program uses floating point.
int _fltused = 0;

void* memset(void* dest, int value, size_t count)
{
    auto* d = static_cast<volatile unsigned char*>(dest);
    for (size_t i = 0; i < count; ++i) d[i] = static_cast<unsigned char>(value);
    return dest;
}

void* memcpy(void* dest, const void* src, size_t count)
{
    auto* d = static_cast<volatile unsigned char*>(dest);
    auto* s = static_cast<const unsigned char*>(src);
    for (size_t i = 0; i < count; ++i) d[i] = s[i];
    return dest;
}

int memcmp(const void* a, const void* b, size_t count)
{
    auto* x = static_cast<const unsigned char*>(a);
    auto* y = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < count; ++i)
        if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    return 0;
}

// A call of a pure virtual function: the host's tables are wrong, and nothing can go on.
int _purecall()
{
    rt::Print("conformance: FAILED: a pure virtual function was called\n");
    ExitProcess(3);
    return 0;
}
}

void* operator new(size_t bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1); }
void operator delete(void* block) { HeapFree(GetProcessHeap(), 0, block); }
void operator delete(void* block, size_t) { HeapFree(GetProcessHeap(), 0, block); }

namespace rt {

int StrCmp(const char* a, const char* b)
{
    if (!a || !b) return a == b ? 0 : 1;
    while (*a && *a == *b) ++a, ++b;
    return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

size_t StrLen(const char* s)
{
    size_t n = 0;
    while (s && s[n]) ++n;
    return n;
}

void Print(const char* text)
{
    unsigned long written = 0;
    WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, StrLen(text), &written, nullptr);
}

void PrintInt(long value)
{
    char buffer[16];
    char* p = buffer + sizeof buffer;
    *--p = 0;
    unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) *--p = '-';
    Print(p);
}

void PrintHex(unsigned long value)
{
    char buffer[11] = "0x";
    for (int i = 0; i < 8; ++i) buffer[2 + i] = "0123456789ABCDEF"[(value >> (28 - 4 * i)) & 15];
    buffer[10] = 0;
    Print(buffer);
}

}  // namespace rt
