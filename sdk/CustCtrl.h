// The host's custom controls: the CustEdit and SpinnerControl window classes and their interfaces.
#pragma once

#include "Win32.h"

// Registers the custom control window classes for a module's dialogs; safe to call more than once.
void InitCustomControls(HINSTANCE hInstance);
// Takes the classes back when the module that registered them unloads.
void ReleaseCustomControls(HINSTANCE hInstance);

// A spinner sends this to its parent when the user changes its value: the low word of wParam is
// the spinner's id, the high word 1 while a mouse button holds an arrow; lParam is its window.
constexpr UINT CC_SPINNER_CHANGE = WM_USER + 600;

// The host's one-line edit.
class ICustEdit {
public:
    // The host declares the text overload first; its compiler puts the last declared first.
    virtual void SetText(int value) = 0;
    virtual void SetText(const TCHAR* text) = 0;
    // The text as an integer: its leading number (saturated to the range of int); 0 for empty or
    // non-numeric text. valid, when given, says whether the whole text was one number.
    virtual int GetInt(BOOL* valid = nullptr) = 0;

protected:
    ~ICustEdit() = default;  // released with ReleaseICustEdit
};

enum EditSpinnerType { EDITTYPE_INT = 1 };

// The host's spinner: two arrow buttons that step a value and show it in a linked edit.
class ISpinnerControl {
public:
    // Shows the value in edit, and takes what the user types there as the value.
    virtual void LinkToEdit(HWND edit, EditSpinnerType type) = 0;
    // The range the user can step and type into; limitCurrent clamps the present value as well.
    virtual void SetLimits(int minimum, int maximum, BOOL limitCurrent = TRUE) = 0;
    // Sets the value as given (limits apply to the user's changes); notify sends CC_SPINNER_CHANGE.
    virtual void SetValue(int value, int notify) = 0;
    // The value, after taking up whatever the user typed into the linked edit.
    virtual int GetIVal() = 0;

protected:
    ~ISpinnerControl() = default;  // released with ReleaseISpinner
};

// Interfaces of a control window; null when the window is not of the control's class.
ICustEdit* GetICustEdit(HWND control);
void ReleaseICustEdit(ICustEdit* edit);
ISpinnerControl* GetISpinner(HWND control);
void ReleaseISpinner(ISpinnerControl* spinner);

// Links spinner spinId of a dialog to its edit editId as an integer spinner with the given
// limits (the value is not clamped to them) and value; the caller releases the result.
ISpinnerControl* SetupIntSpinner(HWND dialog, int spinId, int editId, int minimum, int maximum, int value);

// Centres window over parent (over the work area without a visible parent), inside the work area.
void CenterWindow(HWND window, HWND parent);
