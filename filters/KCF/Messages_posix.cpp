// Outside Windows a message goes to standard error as "caption: text".
#include "Messages.h"

#include <cstdio>

void PlatformShowMessage(const char* text, const char* caption) { std::fprintf(stderr, "%s: %s\n", caption, text); }
