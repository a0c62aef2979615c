// The host's default operations of ImageFilter.
#include "ImageFilter.h"

ImageFilter::ImageFilter() = default;
ImageFilter::~ImageFilter() = default;

BOOL ImageFilter::ShowControl(HWND) { return FALSE; }
void ImageFilter::SetSource(Bitmap* map) { srcmap = map; }
void ImageFilter::SetForeground(Bitmap* map) { frgmap = map; }
void ImageFilter::SetMask(Bitmap* map) { mskmap = map; }
void ImageFilter::SetFilterInfo(void* info) { ifi = info; }
Interface* ImageFilter::Max() { return FindCOREInterface(); }

void ImageFilter::Lerp(BMM_Color_64* out, const BMM_Color_64* in1, const BMM_Color_64* in2, WORD alpha)
{
    auto mix = [alpha](unsigned a, unsigned b) {
        return static_cast<uint16_t>((a * (65535u - alpha) + b * alpha) / 65535u);
    };
    out->r = mix(in1->r, in2->r);
    out->g = mix(in1->g, in2->g);
    out->b = mix(in1->b, in2->b);
    out->a = mix(in1->a, in2->a);
}

void ImageFilter::Lerp(BMM_Color_64* out, const BMM_Color_64* in1, const BMM_Color_64* in2, float t)
{
    if (t < 0.0f) t = 0.0f;
    if (t > 1.0f) t = 1.0f;
    Lerp(out, in1, in2, static_cast<WORD>(t * 65535.0f + 0.5f));
}

DWORD ImageFilter::EvaluateConfigure() { return 0; }
BOOL ImageFilter::LoadConfigure(void*) { return FALSE; }
BOOL ImageFilter::SaveConfigure(void*) { return FALSE; }
BOOL ImageFilter::CreatePreview(HWND, Bitmap**, int, int, int) { return FALSE; }
DWORD ImageFilter::ChannelsRequired() { return 0; }
HWND ImageFilter::DlgHandle() { return vpSetup; }
void ImageFilter::MakeDlgInteractive(HWND hWnd) { vpSetup = hWnd; interactive = TRUE; }
BOOL ImageFilter::IsInteractive() { return interactive; }
void* ImageFilter::CreateNode() { return nullptr; }
void* ImageFilter::Node() { return node; }
void ImageFilter::FilterUpdate() {}
