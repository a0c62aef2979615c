// The host's Video Post image filter: the base class a filter plug-in derives from, and the
// messages a filter sends to the Video Post progress window while it renders.
#pragma once

#include "Bitmap.h"
#include "Interface.h"
#include "Win32.h"

// Sent before each row: wParam the row, lParam the last row.
constexpr UINT FLT_PROGRESS = WM_USER + 0x20;
// Sent after FLT_PROGRESS: lParam points at a BOOL the host sets non-zero to ask for abort.
constexpr UINT FLT_CHECKABORT = WM_USER + 0x21;

// Capability bits a filter reports.
constexpr DWORD IMGFLT_CONTROL = 2;  // has a control panel
constexpr DWORD IMGFLT_FILTER = 4;   // is a filter (not a compositor)

// The host's slots, in its order, from the destructor (MsAbi.h) to FilterUpdate.
class ImageFilter {
public:
    ImageFilter();

    MSABI_DELETING_DESTRUCTOR(ImageFilter)
    virtual const TCHAR* Description() = 0;
    virtual const TCHAR* AuthorName() = 0;
    virtual const TCHAR* CopyrightMessage() = 0;
    virtual UINT Version() = 0;
    virtual DWORD Capability() = 0;
    virtual void ShowAbout(HWND hWnd) = 0;
    virtual BOOL ShowControl(HWND hWnd);
    virtual void SetSource(Bitmap* map);
    virtual void SetForeground(Bitmap* map);
    virtual void SetMask(Bitmap* map);
    virtual void SetFilterInfo(void* info);
    virtual BOOL Render(HWND hWnd) = 0;
    virtual Interface* Max();
    // The host declares the WORD overload first; its compiler puts the last declared first.
    virtual void Lerp(BMM_Color_64* out, const BMM_Color_64* in1, const BMM_Color_64* in2, float t);
    virtual void Lerp(BMM_Color_64* out, const BMM_Color_64* in1, const BMM_Color_64* in2, WORD alpha);
    virtual DWORD EvaluateConfigure();
    virtual BOOL LoadConfigure(void* ptr);
    virtual BOOL SaveConfigure(void* ptr);
    virtual BOOL CreatePreview(HWND hWnd, Bitmap** bitmap, int frame, int width, int height);
    virtual DWORD ChannelsRequired();
    virtual HWND DlgHandle();
    virtual void MakeDlgInteractive(HWND hWnd);
    virtual BOOL IsInteractive();
    virtual void* CreateNode();
    virtual void* Node();
    virtual void FilterUpdate();

    // Past the host's slots.
    virtual ~ImageFilter();

protected:
    Bitmap* srcmap = nullptr;
    Bitmap* frgmap = nullptr;
    Bitmap* mskmap = nullptr;
    void* ifi = nullptr;
    HWND vpSetup = nullptr;
    BOOL interactive = FALSE;
    void* node = nullptr;
};
