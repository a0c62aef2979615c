// make-starter-presets: writes the starter preset library with the filter's own AppendPreset.
#include "StarterPresets.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-starter-presets OUT (OUT must not exist)\n");
        return 2;
    }
    if (!WriteStarterPresets(argv[1])) {
        std::fprintf(stderr, "make-starter-presets: cannot write %s (it must not exist yet)\n", argv[1]);
        return 1;
    }
    return 0;
}
