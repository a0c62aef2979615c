// The control dialog driven through its controls: set-up, layout, the enable rule, presets,
// Save, Cancel, OK and the preview, with the user's message boxes answered by the test.
#include "DialogDriver.h"
#include "FilterUi.h"
#include "HostCore.h"
#include "Module.h"
#include "PresetLibrary.h"
#include "PreviewKernel.h"
#include "Resource.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>

namespace {

// The dialogs and bitmaps are linked into this program: it plays the module.
class ModuleEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(ModuleAttach(GetModuleHandleA(nullptr))); }
};
const auto* const moduleEnvironment = ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

constexpr const char* kCaption = "Kernelcraft Filter Control";

int Cell(int r, int c) { return IDC_GRID_FIRST + 9 * r + c; }

KernelRecord Kernel3(std::initializer_list<int32_t> block, int32_t divisor = 1, int32_t offset = 0,
                     int32_t invert = 0)
{
    KernelRecord k = DefaultKernelRecord();
    int i = 0;
    for (int32_t w : block) {
        k.weights[(3 + i / 3) * 9 + 3 + i % 3] = w;
        ++i;
    }
    k.divisor = divisor;
    k.offset = offset;
    k.invert = invert;
    return k;
}

bool SameSettings(const FilterSettings& a, const FilterSettings& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class ControlDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetHostPlugCfgDir(dir.Path().string());
        filter = std::make_unique<KernelFilter>();
        library = PresetLibraryPath();
        ASSERT_EQ(library, dir.File("ZAV_KCF.SET"));
    }
    void UseStarterLibrary() { WriteFileBytes(library, ReadFileBytes("testdata/ZAV_KCF.SET")); }
    void UseLibrary(const std::vector<std::pair<std::string, KernelRecord>>& records)
    {
        std::remove(library.c_str());
        for (const auto& [name, k] : records) ASSERT_TRUE(AppendPreset(library.c_str(), name.c_str(), &k));
    }
    INT_PTR Run(const std::function<void(HWND)>& script)
    {
        return DriveDialog(kCaption, [&] { return RunControlDialog(nullptr, filter.get()); }, script);
    }
    void ExpectInterfacesReleased()
    {
        EXPECT_EQ(filter->divideEdit, nullptr);
        EXPECT_EQ(filter->offsetEdit, nullptr);
        EXPECT_EQ(filter->divideSpin, nullptr);
        EXPECT_EQ(filter->offsetSpin, nullptr);
        for (ICustEdit* cell : filter->cellEdits) EXPECT_EQ(cell, nullptr);
    }

    ScratchDir dir;
    MessageRecorder user;
    std::unique_ptr<KernelFilter> filter;
    std::string library;
};

}  // namespace

TEST_F(ControlDialogTest, NewFilterOpensInItsDefaultState)
{
    UseStarterLibrary();
    const FilterSettings before = filter->settings;
    const INT_PTR result = Run([&](HWND d) {
        EXPECT_TRUE(Checked(d, IDC_WHOLE_IMAGE));
        EXPECT_FALSE(Checked(d, IDC_MATERIAL_CHANNEL));
        EXPECT_FALSE(Checked(d, IDC_OBJECT_CHANNEL));
        for (int id : {IDC_MATERIAL_EDIT, IDC_MATERIAL_SPIN, IDC_OBJECT_EDIT, IDC_OBJECT_SPIN})
            EXPECT_FALSE(Enabled(d, id)) << id;
        for (int id = IDC_GRID_FIRST; id <= IDC_GRID_LAST; ++id) {
            EXPECT_EQ(ItemText(d, id), "") << id;
            EXPECT_TRUE(Enabled(d, id)) << id;
        }
        EXPECT_EQ(ItemText(d, IDC_DIVIDE_EDIT), "1");
        EXPECT_EQ(ItemText(d, IDC_OFFSET_EDIT), "0");
        EXPECT_EQ(ItemText(d, IDC_MATERIAL_EDIT), "0");
        EXPECT_EQ(ItemText(d, IDC_OBJECT_EDIT), "0");
        EXPECT_FALSE(Checked(d, IDC_INVERT));
        EXPECT_EQ(ItemText(d, IDC_PRESET_NAME), "");

        std::vector<std::string> names;
        ASSERT_TRUE(ListPresetNames(library.c_str(), names));
        EXPECT_EQ(ListItems(GetDlgItem(d, IDC_PRESET_LIST)), names) << "the list's order is kcftool's";
        EXPECT_EQ(names.size(), 15u);
        EXPECT_EQ(SelectedItem(GetDlgItem(d, IDC_PRESET_LIST)), "<none>");

        // While the dialog is open the filter holds its controls' interfaces.
        EXPECT_NE(filter->divideEdit, nullptr);
        EXPECT_NE(filter->offsetSpin, nullptr);
        for (ICustEdit* cell : filter->cellEdits) EXPECT_NE(cell, nullptr);

        // One control dialog at a time.
        KernelFilter other;
        EXPECT_EQ(RunControlDialog(nullptr, &other), 0);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(SameSettings(before, filter->settings));
    ExpectInterfacesReleased();
    EXPECT_TRUE(user.messages.empty());
}

TEST_F(ControlDialogTest, SourceGroupPictureAndWholeListRows)
{
    UseStarterLibrary();
    Run([&](HWND d) {
        // The three Source buttons make one group, and the grid is not in it.
        std::set<int> group;
        HWND first = GetDlgItem(d, IDC_WHOLE_IMAGE), at = first;
        do {
            group.insert(GetDlgCtrlID(at));
            at = GetNextDlgGroupItem(d, at, FALSE);
        } while (at && at != first && group.size() < 50);
        EXPECT_TRUE(group.count(IDC_MATERIAL_CHANNEL) && group.count(IDC_OBJECT_CHANNEL));
        EXPECT_FALSE(group.count(IDC_GRID_FIRST));
        Click(d, IDC_OBJECT_CHANNEL);
        EXPECT_FALSE(Checked(d, IDC_WHOLE_IMAGE));

        // The picture shows the 160 x 120 sample, its inside exactly the picture.
        HWND picture = GetDlgItem(d, IDC_PICTURE);
        int width = 0, height = 0;
        BitmapPixels(reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)), width, height);
        EXPECT_EQ(width, 160);
        EXPECT_EQ(height, 120);
        RECT inside;
        GetClientRect(picture, &inside);
        EXPECT_EQ(inside.right, 160);
        EXPECT_EQ(inside.bottom, 120);

        // The preset list shows whole rows: its inside is a whole number of rows high.
        HWND list = GetDlgItem(d, IDC_PRESET_LIST);
        RECT rows;
        GetClientRect(list, &rows);
        const LRESULT row = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
        ASSERT_GT(row, 0);
        EXPECT_EQ(rows.bottom % row, 0) << rows.bottom << " pixels, rows of " << row;
        Click(d, IDCANCEL);
    });
}

TEST_F(ControlDialogTest, EnableRule)
{
    UseStarterLibrary();
    filter->settings.sourceMode = kSourceMaterialEffects;
    Run([&](HWND d) {
        auto expect = [&](bool material, bool object, const char* when) {
            EXPECT_EQ(Enabled(d, IDC_MATERIAL_EDIT), material) << when;
            EXPECT_EQ(Enabled(d, IDC_MATERIAL_SPIN), material) << when;
            EXPECT_EQ(Enabled(d, IDC_OBJECT_EDIT), object) << when;
            EXPECT_EQ(Enabled(d, IDC_OBJECT_SPIN), object) << when;
            for (int id : {Cell(0, 0), Cell(8, 8), IDC_DIVIDE_EDIT, IDC_OFFSET_SPIN, IDC_INVERT, IDC_PRESET_LIST})
                EXPECT_TRUE(Enabled(d, id)) << when << " " << id;
        };
        EXPECT_TRUE(Checked(d, IDC_MATERIAL_CHANNEL));
        expect(true, false, "set up on the material effects channel");
        Click(d, IDC_OBJECT_CHANNEL);
        expect(false, true, "object channel");
        Click(d, IDC_MATERIAL_CHANNEL);
        expect(true, false, "material effects channel");
        Click(d, IDC_WHOLE_IMAGE);
        expect(false, false, "whole image");
        Click(d, IDCANCEL);
    });
}

TEST_F(ControlDialogTest, CancelRestoresTheSettingsAndKeepsTheSavedPreset)
{
    UseStarterLibrary();
    FilterSettings& s = filter->settings;
    s.kernel = Kernel3({1, 2, 3, 4, 5, 6, 7, 8, 9}, 45, -7, 1);
    s.kernel.size = 3;
    s.sourceMode = kSourceObject;
    s.objectId = 321;
    s.materialId = 9;
    std::strcpy(s.presetName, "Mine");
    const FilterSettings before = s;

    const INT_PTR result = Run([&](HWND d) {
        EXPECT_EQ(ItemText(d, Cell(3, 3)), "1");
        EXPECT_EQ(ItemText(d, Cell(0, 0)), "");
        EXPECT_EQ(ItemText(d, IDC_DIVIDE_EDIT), "45");
        EXPECT_TRUE(Checked(d, IDC_INVERT));
        EXPECT_EQ(ItemText(d, IDC_PRESET_NAME), "Mine");
        ASSERT_TRUE(ClickListItem(GetDlgItem(d, IDC_PRESET_LIST), "Sobel X"));
        EXPECT_EQ(ItemText(d, IDC_OFFSET_EDIT), "32768");
        SetItemText(d, Cell(0, 8), "5");
        TypeInto(d, IDC_PRESET_NAME, "Sobel X wide");
        Click(d, IDC_SAVE);
        EXPECT_EQ(filter->settings.kernel.size, 9) << "Save reads the grid";
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(SameSettings(before, filter->settings));
    KernelRecord saved = DefaultKernelRecord();
    ASSERT_TRUE(FindPreset(library.c_str(), "Sobel X wide", &saved));
    EXPECT_EQ(saved.size, 9);
    EXPECT_EQ(saved.weights[8], 5);
    EXPECT_EQ(saved.offset, 32768);
    EXPECT_TRUE(user.messages.empty());
    ExpectInterfacesReleased();
}

TEST_F(ControlDialogTest, SaveRefusesAnEmptyOrStoredName)
{
    UseStarterLibrary();
    const std::string before = ReadFileBytes(library);
    Run([&](HWND d) {
        Click(d, IDC_SAVE);
        ASSERT_EQ(user.messages.size(), 1u);
        EXPECT_EQ(user.messages[0].text, "Input the filter name!");
        EXPECT_EQ(user.messages[0].caption, "Error");
        TypeInto(d, IDC_PRESET_NAME, "Sharpen");
        SetItemText(d, Cell(4, 4), "3");
        Click(d, IDC_SAVE);
        ASSERT_EQ(user.messages.size(), 2u);
        EXPECT_EQ(user.messages[1].text, "Change the filter name!");
        EXPECT_EQ(user.messages[1].caption, "Error");
        EXPECT_TRUE(IsWindowVisible(d)) << "the dialog stays open";
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(ReadFileBytes(library), before) << "nothing is written";
}

TEST_F(ControlDialogTest, MissingLibraryIsReportedAndCreatedByTheFirstSave)
{
    const std::string expected = "Can't open file: " + library;
    Run([&](HWND d) {
        ASSERT_EQ(user.messages.size(), 1u) << "once at set-up";
        EXPECT_EQ(user.messages[0].text, expected);
        EXPECT_EQ(user.messages[0].caption, "Error");
        EXPECT_TRUE(ListItems(GetDlgItem(d, IDC_PRESET_LIST)).empty());

        // A selection of an item that is not in any file reports the missing file too.
        SendDlgItemMessageA(d, IDC_PRESET_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Ghost"));
        ClickListItem(GetDlgItem(d, IDC_PRESET_LIST), "Ghost");
        ASSERT_EQ(user.messages.size(), 2u);
        EXPECT_EQ(user.messages[1].text, expected);

        SetItemText(d, Cell(4, 4), "1");
        TypeInto(d, IDC_PRESET_NAME, "First");
        Click(d, IDC_SAVE);
        ASSERT_EQ(user.messages.size(), 3u) << "once more, from the duplicate check";
        EXPECT_EQ(user.messages[2].text, expected);
        EXPECT_EQ(ListItems(GetDlgItem(d, IDC_PRESET_LIST)), std::vector<std::string>{"First"});
        EXPECT_EQ(SelectedItem(GetDlgItem(d, IDC_PRESET_LIST)), "First");
        Click(d, IDCANCEL);
    });
    KernelRecord k = DefaultKernelRecord();
    EXPECT_TRUE(FindPreset(library.c_str(), "First", &k));
    EXPECT_EQ(k.weights[40], 1);
}

TEST_F(ControlDialogTest, SaveSelectsTheSavedNameItself)
{
    UseLibrary({{"Blur 2", Kernel3({1, 1, 1, 1, 1, 1, 1, 1, 1}, 9)}, {"blur", Kernel3({0, 0, 0, 0, 1, 0, 0, 0, 0})}});
    Run([&](HWND d) {
        HWND list = GetDlgItem(d, IDC_PRESET_LIST);
        TypeInto(d, IDC_PRESET_NAME, "Blur");
        Click(d, IDC_SAVE);
        EXPECT_EQ(ListItems(list).size(), 3u);
        EXPECT_EQ(SelectedItem(list), "Blur") << "not the first item that begins with it";
        EXPECT_EQ(ItemText(d, IDC_PRESET_NAME), "Blur");
        Click(d, IDCANCEL);
    });
    EXPECT_TRUE(user.messages.empty());
}

TEST_F(ControlDialogTest, ListSelectionLoadsAPresetAndLeavesTheSource)
{
    UseStarterLibrary();
    filter->settings.sourceMode = kSourceObject;
    filter->settings.objectId = 300;
    filter->settings.materialId = 4;
    const INT_PTR result = Run([&](HWND d) {
        ASSERT_TRUE(ClickListItem(GetDlgItem(d, IDC_PRESET_LIST), "Emboss"));
        const int emboss[9] = {-2, -1, 0, -1, 0, 1, 0, 1, 2};
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(ItemText(d, Cell(3 + i / 3, 3 + i % 3)), emboss[i] ? std::to_string(emboss[i]) : "") << i;
        EXPECT_EQ(ItemText(d, IDC_DIVIDE_EDIT), "1");
        EXPECT_EQ(ItemText(d, IDC_OFFSET_EDIT), "32768");
        EXPECT_FALSE(Checked(d, IDC_INVERT));
        EXPECT_EQ(ItemText(d, IDC_PRESET_NAME), "Emboss");
        EXPECT_STREQ(filter->settings.presetName, "Emboss");
        EXPECT_TRUE(Checked(d, IDC_OBJECT_CHANNEL));
        EXPECT_EQ(ItemText(d, IDC_OBJECT_EDIT), "300");
        EXPECT_EQ(ItemText(d, IDC_MATERIAL_EDIT), "4");
        EXPECT_EQ(filter->settings.sourceMode, kSourceObject);

        // Another one replaces the whole record, Invert, Offset and the outer cells included.
        ASSERT_TRUE(ClickListItem(GetDlgItem(d, IDC_PRESET_LIST), "Box Blur 9x9"));
        EXPECT_EQ(ItemText(d, Cell(0, 0)), "1");
        EXPECT_EQ(ItemText(d, IDC_DIVIDE_EDIT), "81");
        Click(d, IDOK);
    });
    EXPECT_EQ(result, 1);
    KernelRecord box = DefaultKernelRecord();
    ASSERT_TRUE(FindPreset(library.c_str(), "Box Blur 9x9", &box));
    EXPECT_EQ(std::memcmp(&filter->settings.kernel, &box, sizeof box), 0);
    EXPECT_STREQ(filter->settings.presetName, "Box Blur 9x9");
    EXPECT_EQ(filter->settings.sourceMode, kSourceObject);
    EXPECT_EQ(filter->settings.objectId, 300);
    EXPECT_EQ(filter->settings.materialId, 4);
}

TEST_F(ControlDialogTest, ANameGoneFromTheFileChangesNothing)
{
    UseLibrary({{"Keep", Kernel3({0, 0, 0, 0, 2, 0, 0, 0, 0})},
                {"Gone", Kernel3({9, 9, 9, 9, 9, 9, 9, 9, 9}, 81)},
                {"Last", Kernel3({5, 0, 0, 0, 0, 0, 0, 0, 5}, 10, 3, 1)}});
    filter->settings.kernel = Kernel3({0, 1, 0, 1, 1, 1, 0, 1, 0}, 5);
    std::strcpy(filter->settings.presetName, "Mine");
    Run([&](HWND d) {
        // The file changes on disk while the dialog is open: "Gone" is no longer in it.
        UseLibrary({{"Keep", Kernel3({0, 0, 0, 0, 2, 0, 0, 0, 0})},
                    {"Last", Kernel3({5, 0, 0, 0, 0, 0, 0, 0, 5}, 10, 3, 1)}});
        const FilterSettings before = filter->settings;
        ASSERT_TRUE(ClickListItem(GetDlgItem(d, IDC_PRESET_LIST), "Gone"));
        EXPECT_TRUE(SameSettings(before, filter->settings)) << "not the file's last record";
        EXPECT_EQ(ItemText(d, Cell(3, 3)), "");
        EXPECT_EQ(ItemText(d, Cell(3, 4)), "1");
        EXPECT_EQ(ItemText(d, IDC_DIVIDE_EDIT), "5");
        EXPECT_FALSE(Checked(d, IDC_INVERT));
        EXPECT_EQ(ItemText(d, IDC_PRESET_NAME), "Mine");
        Click(d, IDCANCEL);
    });
    EXPECT_TRUE(user.messages.empty());
}

TEST_F(ControlDialogTest, TwoRecordsOfOneNameLoadTheFirst)
{
    UseLibrary({{"Twin", Kernel3({0, 0, 0, 0, 7, 0, 0, 0, 0})}, {"Twin", Kernel3({0, 0, 0, 0, 8, 0, 0, 0, 0})}});
    Run([&](HWND d) {
        HWND list = GetDlgItem(d, IDC_PRESET_LIST);
        EXPECT_EQ(ListItems(list), (std::vector<std::string>{"Twin", "Twin"}));
        for (int item : {0, 1}) {
            SendMessageA(list, LB_SETCURSEL, item, 0);
            SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_PRESET_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
            EXPECT_EQ(ItemText(d, Cell(4, 4)), "7") << item;
        }
        Click(d, IDCANCEL);
    });
}

TEST_F(ControlDialogTest, OkCommitsSourceIdsKernelAndName)
{
    UseStarterLibrary();
    const INT_PTR result = Run([&](HWND d) {
        Click(d, IDC_OBJECT_CHANNEL);
        TypeInto(d, IDC_OBJECT_EDIT, "70000");  // kept within 0 .. 65535
        Click(d, IDC_MATERIAL_CHANNEL);
        EXPECT_FALSE(Enabled(d, IDC_OBJECT_EDIT));
        TypeInto(d, IDC_MATERIAL_EDIT, "12");
        SetItemText(d, Cell(0, 8), "-3");
        SetItemText(d, Cell(4, 4), "17");
        SetItemText(d, Cell(5, 5), "junk");
        HWND divideSpin = GetDlgItem(d, IDC_DIVIDE_SPIN);
        SendMessageA(divideSpin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 1));  // the up arrow: 1 -> 2
        SendMessageA(divideSpin, WM_LBUTTONUP, 0, MAKELPARAM(2, 1));
        TypeInto(d, IDC_OFFSET_EDIT, "-123456");  // kept within -99999 .. 99999
        Click(d, IDC_INVERT);
        TypeInto(d, IDC_PRESET_NAME, "My kernel");
        Click(d, IDOK);
    });
    EXPECT_EQ(result, 1);
    const FilterSettings& s = filter->settings;
    EXPECT_EQ(s.sourceMode, kSourceMaterialEffects);
    EXPECT_EQ(s.materialId, 12);
    EXPECT_EQ(s.objectId, 65535) << "both ids are committed, whichever source is chosen";
    EXPECT_EQ(s.kernel.weights[8], -3);
    EXPECT_EQ(s.kernel.weights[40], 17);
    EXPECT_EQ(s.kernel.weights[50], 0);
    EXPECT_EQ(s.kernel.size, 9);
    EXPECT_EQ(s.kernel.divisor, 2);
    EXPECT_EQ(s.kernel.offset, -99999);
    EXPECT_EQ(s.kernel.invert, 1);
    EXPECT_STREQ(s.presetName, "My kernel");
    EXPECT_EQ(s.tag, kSettingsTag);
    ExpectInterfacesReleased();
}

TEST_F(ControlDialogTest, DamagedSettingsOpenSafelyAndCancelRestoresThemExactly)
{
    UseStarterLibrary();
    FilterSettings& s = filter->settings;
    std::memset(s.presetName, 'Q', sizeof s.presetName);  // no terminator
    s.kernel.size = 4;
    s.kernel.divisor = 250000;  // beyond the spinner's limits
    s.sourceMode = 2000;
    s.materialId = -5;
    const FilterSettings before = s;
    Run([&](HWND d) {
        EXPECT_EQ(ItemText(d, IDC_PRESET_NAME), std::string(255, 'Q'));
        EXPECT_EQ(ItemText(d, IDC_DIVIDE_EDIT), "250000") << "shown as it is, not clamped";
        for (int id : {IDC_WHOLE_IMAGE, IDC_MATERIAL_CHANNEL, IDC_OBJECT_CHANNEL}) EXPECT_FALSE(Checked(d, id));
        Click(d, IDCANCEL);
    });
    EXPECT_TRUE(SameSettings(before, filter->settings));

    // OK with nothing touched keeps the values the spinners were given.
    Run([&](HWND d) { Click(d, IDOK); });
    EXPECT_EQ(s.kernel.divisor, 250000);
    EXPECT_EQ(s.materialId, -5);
    EXPECT_EQ(s.sourceMode, kSourceWholeImage) << "no Source button checked";
    EXPECT_EQ(s.kernel.size, 3);
    EXPECT_EQ(std::string(s.presetName), std::string(255, 'Q'));
}

TEST_F(ControlDialogTest, PreviewShowsTheKernelOnTheSampleAndKeepsItThroughARepaint)
{
    UseStarterLibrary();
    std::vector<Rgb8> sample;
    int width = 0, height = 0;
    ASSERT_TRUE(ReadBmp24("testdata/sample.bmp", sample, width, height));
    ASSERT_EQ(width, 160);
    ASSERT_EQ(height, 120);

    struct Case {
        const char* what;
        std::vector<std::pair<int, int32_t>> cells;  // grid index, weight
        int32_t divisor, offset;
        bool invert;
    };
    const Case cases[] = {
        {"sharpen", {{31, -1}, {39, -1}, {40, 5}, {41, -1}, {49, -1}}, 1, 0, false},
        {"divisor 0: the undivided sums", {{30, 1}, {40, 1}, {50, 1}}, 0, -200, false},
        {"one outer weight makes it 9 wide", {{0, 1}, {40, 1}}, 2, 0, false},
        {"a 5 wide gradient, inverted", {{20, -1}, {24, 1}, {56, -2}, {60, 2}}, 3, 64, true},
    };
    Run([&](HWND d) {
        HWND picture = GetDlgItem(d, IDC_PICTURE);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            KernelRecord k = DefaultKernelRecord();
            for (int id = IDC_GRID_FIRST; id <= IDC_GRID_LAST; ++id) SetItemText(d, id, "");
            for (auto [cell, w] : c.cells) {
                SetItemText(d, IDC_GRID_FIRST + cell, std::to_string(w));
                k.weights[cell] = w;
            }
            TypeInto(d, IDC_DIVIDE_EDIT, std::to_string(c.divisor));
            TypeInto(d, IDC_OFFSET_EDIT, std::to_string(c.offset));
            if (Checked(d, IDC_INVERT) != c.invert) Click(d, IDC_INVERT);
            Click(d, IDC_PREVIEW_BUTTON);
            EXPECT_TRUE(Enabled(d, IDC_PREVIEW_BUTTON));

            // Preview reads the controls into the settings' kernel.
            k.size = KernelSizeOf(k.weights);
            EXPECT_EQ(filter->settings.kernel.size, k.size);
            EXPECT_EQ(filter->settings.kernel.divisor, c.divisor);
            EXPECT_EQ(filter->settings.kernel.invert, c.invert ? 1 : 0);
            int32_t block[81];
            ExtractSubKernel(k.weights, k.size, block);
            std::vector<Rgb8> expected(sample.size());
            PreviewConvolve(sample.data(), width, height, block, k.size, c.divisor, c.offset, c.invert ? 1 : 0,
                            expected.data());

            int w = 0, h = 0;
            const auto shown =
                BitmapPixels(reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)), w, h);
            ASSERT_EQ(w, width);
            ASSERT_EQ(h, height);
            int different = 0;
            for (size_t i = 0; i < shown.size(); ++i)
                different += shown[i].r != expected[i].r || shown[i].g != expected[i].g || shown[i].b != expected[i].b;
            EXPECT_EQ(different, 0);

            // Repainted, the picture still shows the preview, not the sample.
            RedrawWindow(picture, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            const auto screen = ScreenPixels(picture, width, height);
            different = 0;
            for (size_t i = 0; i < screen.size(); ++i)
                different += screen[i].r != expected[i].r || screen[i].g != expected[i].g || screen[i].b != expected[i].b;
            EXPECT_EQ(different, 0);
        }
        Click(d, IDCANCEL);
    });
}
