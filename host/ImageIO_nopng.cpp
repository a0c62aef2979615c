// The Windows build of vphost has no PNG library: it reads and writes PAM only.
#include "ImageIO.h"

bool PngSupported() { return false; }

bool DecodePng(ByteSource&, RasterSink&, std::string& error)
{
    error = "this build of vphost reads PAM only; convert the PNG to PAM";
    return false;
}

bool EncodePng(AtomicFile&, const Image&, std::string& error)
{
    error = "this build of vphost writes PAM only";
    return false;
}
