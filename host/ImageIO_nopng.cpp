// The Windows build of vphost has no PNG library: it reads and writes PAM only.
#include "ImageIO.h"

bool PngSupported() { return false; }

bool DecodePng(ByteSource&, RasterSink&, std::string& error)
{
    error = "this build of vphost reads PAM only; convert the PNG to PAM";
    return false;
}

bool PngWritesSixteenBits() { return false; }

bool EncodePng(AtomicFile&, const Image&, const WriteOptions&, std::string& error)
{
    error = "this build of vphost writes PAM only";
    return false;
}
