// The filter control dialog: the kernel grid, divisor, offset, invert, source and preset name,
// with the preset list, the preview, and OK and Cancel.
#include "FilterUi.h"

#include "CustCtrl.h"
#include "Messages.h"
#include "Module.h"
#include "PresetLibrary.h"
#include "Resource.h"
#include "SettingsText.h"

#include <algorithm>
#include <cstring>

namespace {

// The open dialog's state, one for the process: one control dialog is open at a time.
struct ControlDialog {
    bool open = false;
    KernelFilter* filter = nullptr;  // bound at WM_INITDIALOG
    FilterSettings saved = {};       // the settings as they were when the dialog opened
    ISpinnerControl* materialSpin = nullptr;
    ISpinnerControl* objectSpin = nullptr;
    bool endedWithOk = false;
};
ControlDialog gDialog;

// A stored name may come from a damaged block without its terminator: copy at most 255 characters.
void CopyName(char (&to)[kNameChars], const char* from, size_t capacity)
{
    char name[kNameChars] = {};
    std::memcpy(name, from, std::min<size_t>(strnlen(from, capacity), kNameChars - 1));
    std::memcpy(to, name, sizeof name);
}

void ReadNameBox(HWND dialog, char (&name)[kNameChars])
{
    char text[kNameChars] = {};
    GetDlgItemTextA(dialog, IDC_PRESET_NAME, text, sizeof text);
    CopyName(name, text, sizeof text);
}

// Shows a record: 0 as an empty cell, divisor and offset without notification, the Invert box;
// then the record's size follows its weights.
void ShowRecord(HWND dialog, KernelFilter& f, KernelRecord& record)
{
    for (int i = 0; i < kGridCells; ++i) {
        if (!f.cellEdits[i]) continue;
        if (record.weights[i] == 0) f.cellEdits[i]->SetText("");
        else f.cellEdits[i]->SetText(record.weights[i]);
    }
    if (f.divideSpin) f.divideSpin->SetValue(record.divisor, FALSE);
    if (f.offsetSpin) f.offsetSpin->SetValue(record.offset, FALSE);
    CheckDlgButton(dialog, IDC_INVERT, record.invert ? BST_CHECKED : BST_UNCHECKED);
    SetSizeFromWeights(record);
}

void ReadControls(HWND dialog, KernelFilter& f, KernelRecord& record)
{
    for (int i = 0; i < kGridCells; ++i)
        if (f.cellEdits[i]) record.weights[i] = f.cellEdits[i]->GetInt();
    if (f.divideSpin) record.divisor = f.divideSpin->GetIVal();
    if (f.offsetSpin) record.offset = f.offsetSpin->GetIVal();
    record.invert = IsDlgButtonChecked(dialog, IDC_INVERT) == BST_CHECKED ? 1 : 0;
    SetSizeFromWeights(record);
}

void ApplyEnableRule(HWND dialog)
{
    const BOOL material = IsDlgButtonChecked(dialog, IDC_MATERIAL_CHANNEL) == BST_CHECKED;
    const BOOL object = IsDlgButtonChecked(dialog, IDC_OBJECT_CHANNEL) == BST_CHECKED;
    EnableWindow(GetDlgItem(dialog, IDC_MATERIAL_EDIT), material);
    EnableWindow(GetDlgItem(dialog, IDC_MATERIAL_SPIN), material);
    EnableWindow(GetDlgItem(dialog, IDC_OBJECT_EDIT), object);
    EnableWindow(GetDlgItem(dialog, IDC_OBJECT_SPIN), object);
}

ISpinnerControl* LinkChannelSpinner(HWND dialog, int spinId, int editId, int maximum, int value)
{
    ISpinnerControl* spinner = GetISpinner(GetDlgItem(dialog, spinId));
    if (!spinner) return nullptr;
    spinner->LinkToEdit(GetDlgItem(dialog, editId), EDITTYPE_INT);
    spinner->SetLimits(0, maximum, FALSE);
    spinner->SetValue(value, FALSE);
    return spinner;
}

void SetUp(HWND dialog, KernelFilter& f)
{
    CenterWindow(dialog, GetParent(dialog));
    SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
    gDialog.saved = f.settings;
    gDialog.endedWithOk = false;
    FilterSettings& s = f.settings;

    f.divideEdit = GetICustEdit(GetDlgItem(dialog, IDC_DIVIDE_EDIT));
    f.divideSpin = SetupIntSpinner(dialog, IDC_DIVIDE_SPIN, IDC_DIVIDE_EDIT, -kSpinnerLimit, kSpinnerLimit,
                                   s.kernel.divisor);
    f.offsetEdit = GetICustEdit(GetDlgItem(dialog, IDC_OFFSET_EDIT));
    f.offsetSpin = SetupIntSpinner(dialog, IDC_OFFSET_SPIN, IDC_OFFSET_EDIT, -kSpinnerLimit, kSpinnerLimit,
                                   s.kernel.offset);
    for (int i = 0; i < kGridCells; ++i) f.cellEdits[i] = GetICustEdit(GetDlgItem(dialog, IDC_GRID_FIRST + i));

    ShowRecord(dialog, f, s.kernel);
    CopyName(s.presetName, s.presetName, sizeof s.presetName);
    SendDlgItemMessageA(dialog, IDC_PRESET_NAME, EM_LIMITTEXT, kNameChars - 1, 0);
    LoadPresetList(GetDlgItem(dialog, IDC_PRESET_LIST), PresetLibraryPath(), s.presetName);
    SetDlgItemTextA(dialog, IDC_PRESET_NAME, s.presetName);

    CheckRadioButton(dialog, IDC_WHOLE_IMAGE, IDC_OBJECT_CHANNEL, s.sourceMode);
    gDialog.materialSpin = LinkChannelSpinner(dialog, IDC_MATERIAL_SPIN, IDC_MATERIAL_EDIT, kMaxMaterialId, s.materialId);
    gDialog.objectSpin = LinkChannelSpinner(dialog, IDC_OBJECT_SPIN, IDC_OBJECT_EDIT, kMaxObjectId, s.objectId);
    ApplyEnableRule(dialog);
    FitPictureToImage(GetDlgItem(dialog, IDC_PICTURE));
}

void CloseDown(HWND dialog, KernelFilter& f)
{
    if (gDialog.materialSpin) ReleaseISpinner(gDialog.materialSpin);
    if (gDialog.objectSpin) ReleaseISpinner(gDialog.objectSpin);
    gDialog.materialSpin = gDialog.objectSpin = nullptr;
    if (gDialog.endedWithOk) {
        ReadControls(dialog, f, f.settings.kernel);
        ReadNameBox(dialog, f.settings.presetName);
    }
    if (f.divideEdit) ReleaseICustEdit(f.divideEdit);
    if (f.divideSpin) ReleaseISpinner(f.divideSpin);
    if (f.offsetEdit) ReleaseICustEdit(f.offsetEdit);
    if (f.offsetSpin) ReleaseISpinner(f.offsetSpin);
    f.divideEdit = f.offsetEdit = nullptr;
    f.divideSpin = f.offsetSpin = nullptr;
    for (ICustEdit*& cell : f.cellEdits) {
        if (cell) ReleaseICustEdit(cell);
        cell = nullptr;
    }
    ReleasePreview(GetDlgItem(dialog, IDC_PICTURE));
}

void Ok(HWND dialog, KernelFilter& f)
{
    FilterSettings& s = f.settings;
    s.sourceMode = kSourceWholeImage;
    for (int id : {IDC_WHOLE_IMAGE, IDC_MATERIAL_CHANNEL, IDC_OBJECT_CHANNEL}) {
        if (IsDlgButtonChecked(dialog, id) == BST_CHECKED) {
            s.sourceMode = id;
            break;
        }
    }
    if (gDialog.materialSpin) s.materialId = gDialog.materialSpin->GetIVal();
    if (gDialog.objectSpin) s.objectId = gDialog.objectSpin->GetIVal();
    gDialog.endedWithOk = true;
    EndDialog(dialog, 1);
}

void Preview(HWND dialog, KernelFilter& f)
{
    HWND button = GetDlgItem(dialog, IDC_PREVIEW_BUTTON);
    const bool hadFocus = GetFocus() == button;
    EnableWindow(button, FALSE);
    KernelRecord& k = f.settings.kernel;
    ReadControls(dialog, f, k);
    PreviewKernel(GetDlgItem(dialog, IDC_PICTURE), IDB_SAMPLE, PackKernel(k));
    EnableWindow(button, TRUE);
    if (hadFocus) SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
}

void Save(HWND dialog, KernelFilter& f)
{
    FilterSettings& s = f.settings;
    ReadControls(dialog, f, s.kernel);
    ReadNameBox(dialog, s.presetName);
    // The name checks and the append, under the library's lock.
    const char* path = PresetLibraryPath();
    if (SavePreset(path, s.presetName, &s.kernel)) LoadPresetList(GetDlgItem(dialog, IDC_PRESET_LIST), path, s.presetName);
}

void SelectionChanged(HWND dialog, KernelFilter& f)
{
    HWND list = GetDlgItem(dialog, IDC_PRESET_LIST);
    const LRESULT item = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (item == LB_ERR) return;
    const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, item, 0);
    if (length < 0 || length >= kNameChars) return;
    char name[kNameChars] = {};
    if (SendMessageA(list, LB_GETTEXT, item, reinterpret_cast<LPARAM>(name)) == LB_ERR) return;
    // Into a scratch record: a name no longer in the file changes nothing.
    KernelRecord found = f.settings.kernel;
    if (!FindPreset(PresetLibraryPath(), name, &found)) return;
    f.settings.kernel = found;
    CopyName(f.settings.presetName, name, sizeof name);
    ShowRecord(dialog, f, f.settings.kernel);
    SetDlgItemTextA(dialog, IDC_PRESET_NAME, f.settings.presetName);
}

INT_PTR HandleMessage(HWND dialog, KernelFilter& f, UINT msg, WPARAM wParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        SetUp(dialog, f);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: Ok(dialog, f); break;
        case IDCANCEL:
            f.settings = gDialog.saved;
            EndDialog(dialog, 0);
            break;
        case IDC_PREVIEW_BUTTON: Preview(dialog, f); break;
        case IDC_SAVE: Save(dialog, f); break;
        case IDC_WHOLE_IMAGE:
        case IDC_MATERIAL_CHANNEL:
        case IDC_OBJECT_CHANNEL: ApplyEnableRule(dialog); break;
        case IDC_PRESET_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE) SelectionChanged(dialog, f);
            break;
        default: break;
        }
        return TRUE;
    case WM_DESTROY:
        CloseDown(dialog, f);
        return TRUE;
    case CC_SPINNER_CHANGE:
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ControlDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    try {
        if (msg == WM_INITDIALOG) gDialog.filter = reinterpret_cast<KernelFilter*>(lParam);
        if (!gDialog.filter) return FALSE;
        return HandleMessage(dialog, *gDialog.filter, msg, wParam);
    } catch (...) {
        return FALSE;  // nothing of ours throws; a window procedure must not let anything through
    }
}

}  // namespace

INT_PTR RunControlDialog(HWND parent, KernelFilter* filter)
{
    if (gDialog.open || !filter) return 0;
    gDialog.open = true;
    const INT_PTR result = DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_CONTROL), parent,
                                           ControlDialogProc, reinterpret_cast<LPARAM>(filter));
    gDialog.open = false;
    gDialog.filter = nullptr;
    return result == 1 ? 1 : 0;
}

BOOL KernelFilter::ShowControl(HWND hWnd) { return RunControlDialog(hWnd, this) == 1 ? TRUE : FALSE; }
