// The render driver: one frame of the host's Video Post through the convolution engine, in place.
#include "ImageAccess.h"
#include "KernelFilter.h"

BOOL KernelFilter::Render(HWND hWnd)
{
    if (!srcmap) return FALSE;
    KernelImage image(hWnd, srcmap);
    // A frame copy that could not be allocated: leave the host's bitmap exactly as it was.
    if (!image.Ready()) return FALSE;

    // Packed once; a damaged block's size is decided there.
    const PackedKernel kernel = PackKernel(settings.kernel);

    bool run = false;
    int maskId = -1;
    switch (settings.sourceMode) {
    case kSourceWholeImage: run = true; break;
    case kSourceMaterialEffects:
        run = image.RequestChannel(GB_CHAN_MTL_EFFECTS) == 1;
        maskId = settings.materialId;
        break;
    case kSourceObject:
        run = image.RequestChannel(GB_CHAN_OBJECT) == 1;
        maskId = settings.objectId;
        break;
    default: break;
    }
    if (run) image.Convolve(kernel.ForMask(maskId));
    image.WriteBack();
    return TRUE;
}
