// The Kernelcraft image filter: the object the host creates for each Video Post filter event.
#pragma once

#include "ImageFilter.h"
#include "KernelRecord.h"

class ICustEdit;
class ISpinnerControl;

constexpr int kPresetPathChars = 260;  // 259 characters and the terminator
constexpr const TCHAR* kPresetFileName = "ZAV_KCF.SET";

// Answers the host's identity questions from the module's filter information record.
class KernelFilterBase : public ImageFilter {
public:
    const TCHAR* Description() override;
    const TCHAR* AuthorName() override;
    const TCHAR* CopyrightMessage() override;
    UINT Version() override;
    DWORD Capability() override;
};

class KernelFilter : public KernelFilterBase {
public:
    KernelFilter();
    ~KernelFilter() override;

    void ShowAbout(HWND hWnd) override;
    BOOL ShowControl(HWND hWnd) override;
    BOOL Render(HWND hWnd) override;
    DWORD EvaluateConfigure() override;
    BOOL LoadConfigure(void* ptr) override;
    BOOL SaveConfigure(void* ptr) override;
    DWORD ChannelsRequired() override;

    FilterSettings settings;

    // The control dialog's interfaces, valid only while it is open.
    ICustEdit* cellEdits[kGridCells] = {};
    ICustEdit* divideEdit = nullptr;
    ICustEdit* offsetEdit = nullptr;
    ISpinnerControl* divideSpin = nullptr;
    ISpinnerControl* offsetSpin = nullptr;

    // The bitmap Render works on (the host sets it with SetSource).
    Bitmap* Source() const { return srcmap; }

private:
    void BuildPresetLibraryPath();
};

// The preset library's full path, shared by every filter object; empty when it cannot be formed.
const TCHAR* PresetLibraryPath();

// Joins directory and name as "dir<sep>name" into out (capacity chars); an empty out when the
// result would not fit, since a truncated path names another file.
void JoinPath(char* out, size_t capacity, const char* dir, const char* name);
