// The filter's dialogs and the Windows pieces they are made of: the About box, the preset list,
// and the preview in the control dialog's picture.
#pragma once

#include "KernelFilter.h"

// Runs the About box (dialog 101) owned by parent; returns its end code: 1 OK, 0 Escape.
INT_PTR RunAboutBox(HWND parent, KernelFilter* filter);

// Runs the control dialog (dialog 102) on filter, owned by parent; returns 1 for OK, 0 for Cancel
// (and 0 at once when a control dialog is already open).
INT_PTR RunControlDialog(HWND parent, KernelFilter* filter);

// Fills the preset list box with every name of the library at path and selects name: the item
// that is exactly name, else the first that begins with it (no selection for an empty name).
// Selecting sends no notification. False, with the list as it was, when the library cannot be
// opened (the user is told).
bool LoadPresetList(HWND list, const char* path, const char* name);

// Convolves bitmap resource bitmapId of the module with the packed kernel and shows the result in
// the picture control, where it stays until the next preview or ReleasePreview.
void PreviewKernel(HWND picture, int bitmapId, const PackedKernel& kernel);
// Gives the picture control its own picture back and frees the preview.
void ReleasePreview(HWND picture);
// Sizes the picture control so that its inside is exactly its picture, about the same centre.
void FitPictureToImage(HWND picture);
