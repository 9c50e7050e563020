// A stand-in for the player: loads the plug-in DLL as the player does, drives
// its window through the Win32 API and its audio callback with real blocks,
// and compares what it hears with the portable core run in this process.
//   orve_win32_host.exe PLUGIN.dll [SCREENSHOT_DIR]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/plugin_window_state.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/resource_ids.h"
#include "platform/win32/resource_kernels.h"
#include "platform/win32/winamp_dsp.h"
#include "plugin/audio_path.h"
#include "plugin/effect_actions.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"
#include "ui/knob_format.h"
#include "ui/meter_paint.h"
#include "ui/preset_logic.h"
#include "ui/window_actions.h"
#include "ui/window_layout.h"
#include "win32/host_support.h"
#include "win32/programme.h"

using namespace orve;
using namespace orve::wintest;
using orve::win32::DspHeader;
using orve::win32::DspModule;

namespace {

constexpr int32_t kModernHost = 0x5066;
constexpr int kFrames = kProgrammeFrames;

// The effect at a position of the window's list.
EffectId Effect(int32_t number) { return static_cast<EffectId>(number); }

Checks checks;
// What every build must agree on, written to results-<precision>.txt: the
// digest of each effect's programme and the settings records.
std::vector<std::string> results;
const DWORD startTicks = GetTickCount();

// Progress with elapsed time, so a slow Wine start can be told from a slow test.
void Milestone(const char* what) {
    std::printf("[%6lu ms] %s\n", static_cast<unsigned long>(GetTickCount() - startTicks), what);
    std::fflush(stdout);
}

// The plug-in as the player calls it: every entry point through CallPlugin,
// on a stack as a 32-bit player may leave it.
struct Plugin {
    HMODULE library = nullptr;
    DspHeader* header = nullptr;
    DspModule* module = nullptr;

    int Init() { return CallPlugin(module->Init, module); }
    void Config() { CallPlugin(module->Config, module); }
    void Quit() { CallPlugin(module->Quit, module); }
    int Modify(int16_t* samples, int frames, int bps, int channels, int rate) {
        return CallPlugin(module->ModifySamples, module, reinterpret_cast<short*>(samples), frames, bps, channels,
                          rate);
    }
};

bool Load(Plugin& plugin, const std::string& path, HWND hostWindow, bool quiet = false) {
    plugin.library = LoadLibraryA(path.c_str());
    if (!checks.Expect(plugin.library != nullptr, "the DLL loads: " + path)) return false;
    auto get = reinterpret_cast<DspHeader* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(plugin.library, "winampDSPGetHeader2")));
    if (!checks.Expect(get != nullptr, "winampDSPGetHeader2 is exported")) return false;
    plugin.header = CallPlugin(get);
    plugin.module = CallPlugin(plugin.header->getModule, 0);
    if (!quiet) {
        checks.Expect(plugin.header->version == 0x20, "header version 0x20");
        checks.Expect(std::strcmp(plugin.header->description, "ORVE Studio 1.2") == 0, "header description");
        checks.Expect(CallPlugin(plugin.header->getModule, 1) == nullptr, "getModule(1) is null");
    }
    if (!checks.Expect(plugin.module != nullptr, "getModule(0) gives the module")) return false;
    checks.Expect(std::strcmp(plugin.module->description, "ORVE Studio") == 0, "module description");
    plugin.module->hwndParent = hostWindow;
    plugin.module->hDllInstance = plugin.library;
    return true;
}

HWND PluginWindow() { return FindWindowA("#32770", "ORVE Studio V1.2"); }

int Selected(HWND window, int item) { return static_cast<int>(SendDlgItemMessageW(window, item, CB_GETCURSEL, 0, 0)); }

void ChooseInList(HWND window, int item, int row) {
    SendDlgItemMessageW(window, item, CB_SETCURSEL, row, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(item, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, item)));
    Pump(20);
}

void MoveSlider(HWND window, HWND slider, int position) {
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    SendMessageW(window, WM_VSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(slider));
}

void Click(HWND window, int item, bool check) {
    SendDlgItemMessageW(window, item, BM_SETCHECK, check ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(item, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, item)));
}

int SliderPosition(HWND slider) { return static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0)); }

struct Reference {
    std::unique_ptr<win32::ResourceKernels> kernels;
    std::unique_ptr<PluginState> state;
};

Reference MakeReference(HMODULE library, int32_t effectId) {
    Reference ref;
    ref.kernels = std::make_unique<win32::ResourceKernels>(library);
    ref.state = std::make_unique<PluginState>(nullptr, ref.kernels.get(), nullptr);
    ref.state->effectId = Effect(effectId);
    BuildEffect(*ref.state, 44100, 2, false);
    return ref;
}

// Runs the same blocks through the plug-in and through the reference state;
// true when every returned frame count and sample agree. The plug-in's output
// goes into the digest.
bool SameAudio(Plugin& plugin, PluginState& reference, int firstBlock, int blocks, AudioDigest& digest,
               std::string* where) {
    for (int b = firstBlock; b < firstBlock + blocks; ++b) {
        std::vector<int16_t> ours = ProgrammeBlock(b, 2), theirs = ours;
        const int gotFrames = plugin.Modify(ours.data(), kFrames, 16, 2, 44100);
        const int expectedFrames = ModifySamples(reference, theirs.data(), kFrames, 16, 2, 44100);
        if (gotFrames >= 0 && gotFrames <= 2 * kFrames) digest.Add(gotFrames, ours.data(), 2 * gotFrames);
        if (gotFrames != expectedFrames) {
            *where = Format("block %d: %d frames, expected %d", b, gotFrames, expectedFrames);
            return false;
        }
        for (int i = 0; i < gotFrames * 2; ++i)
            if (ours[i] != theirs[i]) {
                *where = Format("block %d value %d: %d, expected %d", b, i, ours[i], theirs[i]);
                return false;
            }
    }
    return true;
}

std::wstring ListText(HWND window, int item, int row) {
    wchar_t text[128] = {};
    SendDlgItemMessageW(window, item, CB_GETLBTEXT, row, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring Widen(const char* text) {
    std::wstring out;
    for (; *text; ++text) out += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return out;
}

// The window's controls against the layout the portable code computes.
void CheckLayout(HWND window, int32_t effectId, int32_t hostVersion, EffectProcessor& model) {
    const EffectId id = Effect(effectId);
    const char* name = EffectText(id);
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    const int W = client.right, H = client.bottom;
    checks.Expect(outer.right - outer.left == ui::WindowWidth(id, hostVersion) && outer.bottom - outer.top == ui::kWindowHeight,
                  Format("%s: window %ldx%ld", name, outer.right - outer.left, outer.bottom - outer.top));
    auto at = [&](int item, const ui::Rect& e, bool checkHeight = true) {
        const RECT r = ChildRect(GetDlgItem(window, item));
        return r.left == e.x && r.top == e.y && r.right - r.left == e.width && (!checkHeight || r.bottom - r.top == e.height);
    };
    auto isTrackbar = [&](int item) {
        char className[64] = {};
        if (HWND control = GetDlgItem(window, item)) GetClassNameA(control, className, sizeof className);
        return std::strcmp(className, TRACKBAR_CLASSA) == 0;
    };

    KnobSpec knobs[kMaxKnobs] = {};
    const int32_t knobCount = model.DescribeKnobs(knobs);
    const ui::KnobRow row = ui::KnobRowFor(W, knobCount);
    int wrongKnobs = 0;
    for (int i = 0; i < knobCount; ++i) {
        char label[32] = {};
        GetWindowTextA(GetDlgItem(window, 600 + i), label, sizeof label);
        const bool enabled = IsWindowEnabled(GetDlgItem(window, i)) != FALSE;
        wrongKnobs += !IsShown(GetDlgItem(window, i)) || !isTrackbar(i) || !at(i, ui::KnobTrackbarRect(row, i, H)) ||
                      std::strcmp(label, knobs[i].label) != 0 || ChildRect(GetDlgItem(window, 600 + i)).top != 5 ||
                      enabled == ui::KnobLooksDisabled(id, i, knobCount);
    }
    checks.Expect(wrongKnobs == 0 && !isTrackbar(knobCount),
                  Format("%s: %d knobs placed under their labels, enabled but the room chooser, no more (%d wrong)",
                         name, knobCount, wrongKnobs));

    const ui::PresetTable presets = ui::PresetsOf(&model);
    HWND presetList = GetDlgItem(window, IDC_PRESET_LIST);
    bool listRight = IsShown(presetList) == !presets.Empty();
    if (!presets.Empty()) {
        listRight = listRight && SendMessageW(presetList, CB_GETCOUNT, 0, 0) == presets.count &&
                    at(IDC_PRESET_LIST, ui::Rect{260, H - 25, 127, 0}, false);
        for (int p = 0; listRight && p < presets.count; ++p)
            listRight = ListText(window, IDC_PRESET_LIST, p) == Widen(presets.rows[p].name);
    }
    checks.Expect(listRight, Format("%s: preset list shown iff presets, placed, holding the table's rows", name));

    const ui::ChannelSwitches switches = ui::ChannelSwitchesFor(id, 2, H);
    const struct {
        int item;
        bool shown;
        ui::Rect rect;
        bool checkHeight;
    } controls[] = {
        {IDC_GAIN_SLIDER, true, ui::GainSliderRect(row, H), true},
        {IDC_METER_LEFT, true, ui::MeterRect(false, H), true},
        {IDC_METER_RIGHT, true, ui::MeterRect(true, H), true},
        {IDC_KNOB_FRAME, true, ui::KnobFrameRect(W, H), true},
        {IDC_EFFECT_LIST, true, ui::EffectListRect(H), false},
        {IDC_OUT_BUTTON, ui::ShowsOutButton(hostVersion), ui::OutButtonRect(W, H), true},
        {IDC_SNAP_NOISE, ui::ShowsSnapNoise(id), ui::SnapNoiseRect(H), true},
        {IDC_SWITCH_PASS, switches.passOnly, switches.pass, true},
        {IDC_SWITCH_LEFT, !switches.passOnly, switches.left, true},
        {IDC_SWITCH_RIGHT, !switches.passOnly, switches.right, true},
    };
    std::string wrong;
    for (const auto& c : controls)
        if (IsShown(GetDlgItem(window, c.item)) != c.shown || (c.shown && !at(c.item, c.rect, c.checkHeight)))
            wrong += Format(" %d", c.item);
    checks.Expect(wrong.empty(), Format("%s: gain, meters, frame, effect list, OUT for host 0x%x, Snap Noise and %s "
                                        "switches shown and placed (wrong:%s)",
                                        name, hostVersion, switches.passOnly ? "PASS" : "L/R", wrong.c_str()));
    checks.Expect(Selected(window, IDC_EFFECT_LIST) == effectId, Format("%s: selected in the effect list", name));
}

void CheckMenu(HMODULE library) {
    HMENU menu = LoadMenuA(library, MAKEINTRESOURCEA(IDR_POPUP_MENU));
    if (!checks.Expect(menu != nullptr, "menu 119 is in the DLL")) return;
    HMENU popup = GetSubMenu(menu, 0);
    char home[64] = {}, help[64] = {};
    GetMenuStringA(popup, IDM_HOME, home, sizeof home, MF_BYCOMMAND);
    GetMenuStringA(popup, IDM_HELP, help, sizeof help, MF_BYCOMMAND);
    checks.Expect(std::strcmp(home, "ORVE Studio Home") == 0 && std::strcmp(help, "Help") == 0 &&
                      GetMenuItemID(popup, 0) == IDM_HOME && GetMenuItemID(popup, 1) == IDM_HELP,
                  "the pop-up menu offers \"ORVE Studio Home\" (40003) and \"Help\" (40007)");
    DestroyMenu(menu);
    checks.Expect(LoadIconA(library, MAKEINTRESOURCEA(IDI_PLUGIN_ICON)) != nullptr, "icon 122 is in the DLL");
}

void CheckEffectList(HWND window) {
    checks.Expect(SendDlgItemMessageW(window, IDC_EFFECT_LIST, CB_GETCOUNT, 0, 0) == kSelectableEffects,
                  "the effect list offers 22 effects");
    bool names = true;
    for (int id = 0; id < kSelectableEffects; ++id) {
        std::wstring expected(1, CatalogueEntry(Effect(id)).GlyphIsBlack() ? L'\x25C6' : L'\x25C7');
        expected += Widen(EffectText(Effect(id)));
        if (ListText(window, IDC_EFFECT_LIST, id) != expected) names = false;
    }
    checks.Expect(names, "the effect list shows the catalogue names in order");
}

// Level Tuning passes the signal and applies the slider's gain, clipped.
void CheckGain(Plugin& plugin, HWND window) {
    MoveSlider(window, GetDlgItem(window, IDC_GAIN_SLIDER), 3333);   // +20 dB
    std::vector<int16_t> block = ProgrammeBlock(0, 2);
    const std::vector<int16_t> input = block;
    const int frames = plugin.Modify(block.data(), kFrames, 16, 2, 44100);
    checks.Expect(frames == kFrames, "Level Tuning keeps the block length");
    const double gain = GainPositionToFactor(3333);
    int wrong = 0;
    for (int i = 0; i < kFrames * 2; ++i) {
        double x = std::nearbyint(input[i] * gain);   // to the nearest step
        x = x >= 32768 ? 32767 : (x < -32768 ? -32768 : x);
        if (block[i] != static_cast<int16_t>(x)) ++wrong;
    }
    checks.Expect(wrong == 0, Format("Level Tuning applies +20 dB with clipping (%d samples differ)", wrong));
    MoveSlider(window, GetDlgItem(window, IDC_GAIN_SLIDER), 5000);
}

COLORREF MeterBottomPixel(HWND window) {
    HWND meter = GetDlgItem(window, IDC_METER_LEFT);
    RECT client;
    GetClientRect(meter, &client);
    POINT bottom{client.right / 2, client.bottom - 2};
    ClientToScreen(meter, &bottom);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, bottom.x, bottom.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

// The audio path paints the meters; once blocks stop, the one-second timer
// blanks them within two ticks.
void CheckMetersBlankWhenPlaybackStops(HWND window) {
    const COLORREF background = RGB(kBackgroundColour.red, kBackgroundColour.green, kBackgroundColour.blue);
    const COLORREF playing = MeterBottomPixel(window);
    checks.Expect(GetGValue(playing) >= 70 && GetRValue(playing) < 40,
                  Format("a playing meter is green at the bottom (%06lx)", static_cast<unsigned long>(playing)));
    Pump(2200);
    checks.Expect(MeterBottomPixel(window) == background, "the meters are blanked when blocks stop");
}

// The window of an effect as the user sees it while music plays: the meters
// are painted by the audio path, so a silent and a loud block go through just
// before the picture (any repaint in between would blank them).
void Screenshots(Plugin& plugin, HWND& window, const std::string& dir) {
    if (dir.empty()) return;
    const struct { int32_t id; const char* file; } shots[] = {
        {0, "level_tuning.bmp"}, {4, "denoise.bmp"}, {11, "geq31.bmp"}};
    for (const auto& shot : shots) {
        ChooseInList(window, IDC_EFFECT_LIST, shot.id);
        window = PluginWindow();
        Pump(150);
        std::vector<int16_t> silence(kFrames * 4, 0);
        plugin.Modify(silence.data(), kFrames, 16, 2, 44100);
        for (int b = 0; b < 3; ++b) {
            std::vector<int16_t> block = ProgrammeBlock(b, 2);
            plugin.Modify(block.data(), kFrames, 16, 2, 44100);
        }
        checks.Expect(SaveWindowBitmap(window, dir + "\\" + shot.file), Format("screenshot %s", shot.file));
        if (shot.id == 0) CheckMetersBlankWhenPlaybackStops(window);
    }
    // The widest values on the thumbs: the gain at both ends, the equaliser's
    // bands at both ends, the de-vocal's frequencies (Hi F 16k) and the
    // vibrato's delay (100k) at their tops.
    const struct { int32_t id; int gain; bool alternate; const char* file; } extremes[] = {
        {8, 10000, true, "extremes_geq10.bmp"}, {12, 0, false, "extremes_devocal.bmp"},
        {20, 10000, false, "extremes_vibrato.bmp"}};
    for (const auto& shot : extremes) {
        ChooseInList(window, IDC_EFFECT_LIST, shot.id);
        window = PluginWindow();
        MoveSlider(window, GetDlgItem(window, IDC_GAIN_SLIDER), shot.gain);
        for (int knob = 0; GetDlgItem(window, knob); ++knob)
            MoveSlider(window, GetDlgItem(window, knob), shot.alternate && knob % 2 ? kKnobPositionMax : 0);
        Pump(150);
        checks.Expect(SaveWindowBitmap(window, dir + "\\" + shot.file), Format("screenshot %s", shot.file));
    }
}

// Every thumb's text fits between the thumb's outline in the first value
// font, measured as the system renders it: the texts of every hundredth
// position of every knob and of the gain slider.
void CheckThumbTextsFit(HWND window) {
    RECT thumb{};
    SendMessageW(GetDlgItem(window, IDC_GAIN_SLIDER), TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    checks.Expect(thumb.right - thumb.left == ui::kThumbLength,
                  Format("the gain slider's thumb is %ld pixels across", thumb.right - thumb.left));
    HFONT font = win32::CreateValueFont(ui::kValueFonts[0]);
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    int widest = 0;
    std::string widestText;
    auto measure = [&](const std::string& text) {
        SIZE size{};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        if (size.cx > widest) {
            widest = size.cx;
            widestText = text;
        }
    };
    for (int32_t p = 0; p <= kKnobPositionMax; p += 100) measure(ui::GainThumbText(p));
    const EffectBuildContext context{44100, 2, nullptr, nullptr};
    for (int32_t id = 0; id < kSelectableEffects; ++id) {
        const std::unique_ptr<EffectProcessor> effect = MakeEffect(Effect(id), context);
        KnobSpec knobs[kMaxKnobs];
        const int32_t n = effect->DescribeKnobs(knobs);
        for (int32_t k = 0; k < n; ++k)
            for (int32_t p = 0; p <= kKnobPositionMax; p += 100)
                measure(ui::FormatKnobValue(effect->DisplayValue(k, KnobValueAt(knobs[k], p))));
    }
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    DeleteObject(font);
    checks.Expect(widest <= ui::kThumbTextWidth, Format("the widest thumb text, \"%s\", takes %d of the thumb's %d pixels",
                                                        widestText.c_str(), widest, ui::kThumbTextWidth));
}

// The programme of one effect played through the window and the audio
// callback, and through the reference state built into this host.
class HostPlayer : public ProgrammePlayer {
public:
    HostPlayer(Plugin& plugin, HWND window, int32_t effectId, PluginState& reference)
        : plugin(plugin), window(window), effectId(effectId), reference(reference) {}

    bool Play(int first, int count) override {
        if (!ComparesAudio(effectId)) return true;
        std::string where;
        const bool same = SameAudio(plugin, reference, first, count, digest, &where);
        checks.Expect(same, Format("%s: blocks %d..%d equal the core's (%s)", EffectText(Effect(effectId)), first,
                                   first + count - 1, where.c_str()));
        return same;
    }

    void SnapNoise() override {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SNAP_NOISE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_SNAP_NOISE)));
        orve::SnapNoise(*reference.currentEffect);
    }

    bool ChoosePreset(int32_t row) override {
        const ui::PresetTable presets = ui::PresetsOf(reference.currentEffect.get());
        ChooseInList(window, IDC_PRESET_LIST, row);
        ui::SliderPositions expected;
        ui::SelectPreset(reference, presets, row, expected);
        bool slidersMoved = SliderPosition(GetDlgItem(window, IDC_GAIN_SLIDER)) == expected.gain;
        for (int i = 0; i < expected.knobCount; ++i)
            slidersMoved = slidersMoved && SliderPosition(GetDlgItem(window, i)) == expected.knobs[i];
        chosenRow = row;
        return checks.Expect(slidersMoved, Format("%s: preset \"%s\" moves gain and knobs", EffectText(Effect(effectId)),
                                                  presets.rows[row].name));
    }

    AudioDigest digest;
    int32_t chosenRow = 0;

private:
    Plugin& plugin;
    HWND window;
    int32_t effectId;
    PluginState& reference;
};

// Every effect: layout, then the programme against the core, then a knob move.
void CheckEveryEffect(Plugin& plugin, HWND& window) {
    for (int32_t id = 0; id < kSelectableEffects; ++id) {
        ChooseInList(window, IDC_EFFECT_LIST, id);
        window = PluginWindow();
        Reference ref = MakeReference(plugin.library, id);
        CheckLayout(window, id, kModernHost, *ref.state->currentEffect);
        checks.Expect(*static_cast<int32_t*>(plugin.module->userData) == id,
                      Format("%s: the module's user data follows the selection", EffectText(Effect(id))));

        HostPlayer player(plugin, window, id, *ref.state);
        const int32_t presetCount = ui::PresetsOf(ref.state->currentEffect.get()).count;
        PlayProgramme(id, presetCount, player);
        if (ComparesAudio(id)) results.push_back(Format("audio %2d %s", id, player.digest.Hex().c_str()));

        if (presetCount > 0 && ref.state->knobCount > 0 && !ui::KnobLooksDisabled(Effect(id), 0, ref.state->knobCount)) {
            const int32_t row = player.chosenRow;
            MoveSlider(window, GetDlgItem(window, 0), 2500);
            // The list follows only for effects that count a user-setting row.
            const int32_t follow = ui::PresetAfterManualChange(ref.state->currentEffect->PresetCount(), row);
            checks.Expect(Selected(window, IDC_PRESET_LIST) == (follow < 0 ? row : follow),
                          Format("%s: moving a knob selects row %d", EffectText(Effect(id)), follow < 0 ? row : follow));
            // Choosing the effect already selected changes nothing.
            ChooseInList(window, IDC_EFFECT_LIST, id);
            checks.Expect(PluginWindow() == window && SliderPosition(GetDlgItem(window, 0)) == 2500,
                          Format("%s: choosing it again keeps the knobs", EffectText(Effect(id))));
        }
    }
}

// The audio path re-lays the switches for a mono stream; PASS then bypasses.
void CheckMonoAndPass(Plugin& plugin, HWND window) {
    ChooseInList(window, IDC_EFFECT_LIST, 0);
    window = PluginWindow();
    MoveSlider(window, GetDlgItem(window, IDC_GAIN_SLIDER), 4000);
    std::vector<int16_t> block = ProgrammeBlock(0, 1);
    plugin.Modify(block.data(), kFrames, 16, 1, 44100);
    checks.Expect(IsShown(GetDlgItem(window, IDC_SWITCH_PASS)) && !IsShown(GetDlgItem(window, IDC_SWITCH_LEFT)) &&
                      !IsShown(GetDlgItem(window, IDC_SWITCH_RIGHT)),
                  "a mono stream shows PASS instead of L and R");
    checks.Expect(IsDlgButtonChecked(window, IDC_SWITCH_PASS) == BST_UNCHECKED, "PASS starts unchecked");
    Click(window, IDC_SWITCH_PASS, true);
    block = ProgrammeBlock(1, 1);
    const std::vector<int16_t> input = block;
    const int frames = plugin.Modify(block.data(), kFrames, 16, 1, 44100);
    checks.Expect(frames == kFrames && std::memcmp(block.data(), input.data(), kFrames * 2) == 0,
                  "PASS leaves the block untouched despite the gain");
    Click(window, IDC_SWITCH_PASS, false);
    block = ProgrammeBlock(2, 2);
    plugin.Modify(block.data(), kFrames, 16, 2, 44100);
    checks.Expect(!IsShown(GetDlgItem(window, IDC_SWITCH_PASS)) && IsShown(GetDlgItem(window, IDC_SWITCH_LEFT)) &&
                      IsShown(GetDlgItem(window, IDC_SWITCH_RIGHT)) &&
                      IsDlgButtonChecked(window, IDC_SWITCH_LEFT) == BST_CHECKED &&
                      IsDlgButtonChecked(window, IDC_SWITCH_RIGHT) == BST_CHECKED,
                  "a stereo stream brings L and R back, both checked");
    // Only R on: the left channel comes back without the gain.
    Click(window, IDC_SWITCH_LEFT, false);
    block = ProgrammeBlock(3, 2);
    const std::vector<int16_t> stereo = block;
    plugin.Modify(block.data(), kFrames, 16, 2, 44100);
    checks.Expect(block[0] == stereo[0] && block[2] == stereo[2] && block[1] != stereo[1],
                  "with only R checked the gain acts on the right channel alone");
    Click(window, IDC_SWITCH_LEFT, true);
    MoveSlider(window, GetDlgItem(window, IDC_GAIN_SLIDER), 5000);
}

void CheckOutAndF12(const HostWindow& host, HWND window) {
    const int before = host.preferenceRequests;
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_OUT_BUTTON, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_OUT_BUTTON)));
    checks.Expect(host.preferenceRequests == before + 1, "OUT asks the host for its output preferences");
    SetWindowPos(host.window, nullptr, 160, 560, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT docked;
    GetWindowRect(window, &docked);
    checks.Expect(docked.left == 160 && docked.top == 560 - ui::kWindowHeight, "the window follows the player");
    SendMessageW(window, WM_CLOSE, 0, 0);
    Pump(20);
    checks.Expect(PluginWindow() == nullptr, "closing the window destroys it");
    SendMessageW(host.window, WM_KEYUP, VK_F12, 0);
    Pump(20);
    checks.Expect(PluginWindow() != nullptr, "F12 in the player reopens the window");
}

struct StoredSetting {
    int32_t effectId, presetIndex, gainPosition, knobPosition;   // knob 0's
};

// Leaves the plug-in on the effect with the most knobs (the 31-band
// equaliser), its last preset row, the gain and the first knob moved, and
// returns what the registry should then hold: the teardown saves the
// positions the values convert back to, the very positions the sliders stand at.
StoredSetting PrepareSetting(Plugin& plugin, HWND& window) {
    const StoredSetting s{EffectNumber(EffectId::Geq31Bands),
                          MakeReference(plugin.library, EffectNumber(EffectId::Geq31Bands)).state->currentEffect->PresetCount() - 1,
                          4000, 1234};
    ChooseInList(window, IDC_EFFECT_LIST, s.effectId);
    window = PluginWindow();
    MoveSlider(window, GetDlgItem(window, IDC_GAIN_SLIDER), s.gainPosition);
    MoveSlider(window, GetDlgItem(window, 0), s.knobPosition);
    return s;
}

bool ReadStored(int32_t slots[40]) {
    win32::RegistrySettingsStore store;
    uint8_t bytes[160];
    size_t got = 0;
    if (!store.Read(bytes, sizeof bytes, &got) || got != 160) return false;
    SettingsBlob blob;
    blob.FromBytes(bytes, got);
    std::memcpy(slots, blob.slots, sizeof blob.slots);
    return true;
}

std::string RecordText(const int32_t slots[40]) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += Format(i ? " %d" : "%d", slots[i]);
    return text;
}

// Forty sessions of a player: each loads the DLL (the record is read), opens
// the window on the stored setting, plays a few blocks, closes and unloads
// (the record is written). The record holds positions that a truncating
// conversion walked one step per session (knob 16 of the 31-band equaliser
// at 465, the gain at 6556), and every other slot of the effect's.
void CheckSessionsKeepTheRecord(const std::string& dllPath, HWND hostWindow) {
    const EffectBuildContext context{44100, 2, nullptr, nullptr};
    SettingsBlob start;
    start.slots[SettingsBlob::kEffectSlot] = EffectNumber(EffectId::Geq31Bands);
    start.slots[SettingsBlob::kPresetSlot] = MakeEffect(EffectId::Geq31Bands, context)->PresetCount() - 1;
    start.slots[SettingsBlob::kGainSlot] = 6556;
    for (int i = 0; i < SettingsBlob::kMaxStoredKnobs; ++i)
        start.slots[SettingsBlob::kFirstKnobSlot + i] = (1234 + 577 * (i + 1)) % 10001;
    uint8_t bytes[SettingsBlob::kBytes];
    start.ToBytes(bytes);
    win32::RegistrySettingsStore().Write(bytes, sizeof bytes);

    constexpr int kSessions = 40;
    int session = 0;
    for (; session < kSessions; ++session) {
        Plugin plugin;
        if (!Load(plugin, dllPath, hostWindow, true)) break;
        plugin.Init();
        Pump(10);
        for (int b = 0; b < 2; ++b) {
            std::vector<int16_t> block = ProgrammeBlock(b, 2);
            plugin.Modify(block.data(), kFrames, 16, 2, 44100);
        }
        plugin.Quit();
        FreeLibrary(plugin.library);
    }
    int32_t slots[40] = {};
    if (!checks.Expect(session == kSessions && ReadStored(slots), "forty sessions load, run and save")) return;
    int moved = 0, firstMoved = -1;
    for (int i = 0; i < 40; ++i)
        if (slots[i] != start.slots[i] && moved++ == 0) firstMoved = i;
    checks.Expect(moved == 0, Format("forty sessions leave the record as it was (%d slots moved, slot %d: %d, was %d)",
                                     moved, firstMoved, firstMoved < 0 ? 0 : slots[firstMoved],
                                     firstMoved < 0 ? 0 : start.slots[firstMoved]));
    results.push_back("record after sessions " + RecordText(slots));
}

// The host's close: stop, settle, unhook, tell the host, quit the loop.
void CheckHostClose(HostWindow& host, Plugin& plugin) {
    SendMessageW(host.window, WM_CLOSE, 0, 0);
    checks.Expect(host.stopCommands == 1, "closing the player stops playback first");
    checks.Expect(host.shutdownMessages == 1, "closing the player sends WM_USER 2/3011");
    checks.Expect(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(host.window, GWLP_WNDPROC)) == HostWindowOwnProc(),
                  "closing the player restores its window procedure");
    checks.Expect(Pump(20), "closing the player posts a quit message");
    plugin.Quit();   // the host's own Quit after the hook's: tolerated
}

// A missing kernel set makes the plug-in show a message box, whose modal loop
// would wait for a click forever; this dismisses such boxes and counts them.
int errorBoxes = 0;
DWORD WINAPI DismissErrorBoxes(void*) {
    for (;;) {
        if (HWND box = FindWindowA("#32770", "Error")) {
            ++errorBoxes;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        Sleep(50);
    }
}

// outDir receives results-<precision>.txt and, at 64 bits, the screenshots.
int Run(const std::string& dllPath, const std::string& outDir, int precision) {
    const int inForce = SetFpuPrecision(precision);
    std::printf("x87 precision word: %d bits\n", inForce);
    checks.Expect(inForce == precision, Format("the x87 precision word is set to %d bits", precision));
    const std::string shots = precision == 64 ? outDir : "";
    CreateThread(nullptr, 0, DismissErrorBoxes, nullptr, 0, nullptr);
    RegDeleteKeyA(HKEY_CURRENT_USER, win32::kSettingsKey);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    Milestone("start");
    HostWindow host;
    if (!checks.Expect(CreateHostWindow(host, L"Winamp v1.x", kModernHost, 120, 500), "host window")) return 1;

    // First load: a first run, with no stored settings.
    Plugin plugin;
    if (!Load(plugin, dllPath, host.window)) return 1;
    checks.Expect(plugin.Init() == 0, "Init returns 0");
    Pump(50);
    HWND window = PluginWindow();
    if (!checks.Expect(window != nullptr, "Init opens the window")) return 1;
    checks.Expect(GetWindow(window, GW_OWNER) == host.window, "the window is owned by the player");
    RECT hostRect, ownRect;
    GetWindowRect(host.window, &hostRect);
    GetWindowRect(window, &ownRect);
    checks.Expect(ownRect.left == hostRect.left && ownRect.top == hostRect.top - ui::kWindowHeight,
                  "the window docks above the player");
    checks.Expect(hostRect.right - hostRect.left == ui::WindowWidth(EffectId::LevelTuning, kModernHost),
                  "the player takes the window's width");
    checks.Expect(Selected(window, IDC_EFFECT_LIST) == 0 &&
                      SliderPosition(GetDlgItem(window, IDC_GAIN_SLIDER)) == 5000,
                  "first run: Level Tuning at 0 dB");
    Milestone("window open");
    CheckEffectList(window);
    CheckMenu(plugin.library);
    CheckGain(plugin, window);
    CheckEveryEffect(plugin, window);
    CheckThumbTextsFit(window);
    Screenshots(plugin, window, shots);
    Milestone("every effect checked");
    CheckMonoAndPass(plugin, window);
    window = PluginWindow();
    CheckOutAndF12(host, window);
    window = PluginWindow();
    const StoredSetting stored = PrepareSetting(plugin, window);
    CheckHostClose(host, plugin);
    FreeLibrary(plugin.library);
    Milestone("first load unloaded");

    int32_t slots[40] = {};
    if (checks.Expect(ReadStored(slots), "unloading writes the 160-byte ORVESETTING value")) {
        results.push_back("record after first load " + RecordText(slots));
        checks.Expect(slots[39] == stored.effectId && slots[38] == stored.presetIndex && slots[0] == stored.gainPosition &&
                          slots[1] == stored.knobPosition,
                      Format("stored effect %d, preset %d, gain %d, knob %d (expected %d, %d, %d, %d)", slots[39],
                             slots[38], slots[0], slots[1], stored.effectId, stored.presetIndex, stored.gainPosition,
                             stored.knobPosition));
    }

    // Second load: the stored setting comes back; Init twice is harmless.
    if (!Load(plugin, dllPath, host.window)) return 1;
    plugin.Init();
    plugin.Init();
    Pump(50);
    checks.Expect(SendMessageW(host.window, WM_USER, 0, 0) == kModernHost, "a second Init keeps the hook chain sound");
    window = PluginWindow();
    if (checks.Expect(window != nullptr, "the window opens again")) {
        const int shown[] = {Selected(window, IDC_EFFECT_LIST), Selected(window, IDC_PRESET_LIST),
                             SliderPosition(GetDlgItem(window, IDC_GAIN_SLIDER)), SliderPosition(GetDlgItem(window, 0))};
        checks.Expect(shown[0] == stored.effectId && shown[1] == stored.presetIndex && shown[2] == stored.gainPosition &&
                          shown[3] == stored.knobPosition,
                      Format("the stored setting is restored: effect %d, preset %d, gain %d, knob %d", shown[0],
                             shown[1], shown[2], shown[3]));
    }
    plugin.Quit();

    // The oldest host: no version query, narrower window, no OUT button.
    // Window classes are matched without regard to case, so the modern
    // player's class has to go before the oldest one can exist.
    DestroyWindow(host.window);
    UnregisterClassW(L"Winamp v1.x", GetModuleHandleW(nullptr));
    HostWindow oldHost;
    CreateHostWindow(oldHost, L"Winamp V1.x", 0x7777, 120, 500);
    plugin.module->hwndParent = oldHost.window;
    plugin.Init();
    Pump(50);
    window = PluginWindow();
    if (checks.Expect(window != nullptr, "the window opens for the oldest host")) {
        RECT r;
        GetWindowRect(window, &r);
        checks.Expect(r.right - r.left == ui::WindowWidth(Effect(stored.effectId), 0), "the oldest host gets the narrow width");
        checks.Expect(!IsShown(GetDlgItem(window, IDC_OUT_BUTTON)), "the oldest host gets no OUT button");
    }
    SendMessageW(oldHost.window, WM_CLOSE, 0, 0);
    checks.Expect(oldHost.stopCommands == 0 && oldHost.shutdownMessages == 0,
                  "closing the oldest host passes straight on, without a stop command");
    plugin.Quit();
    FreeLibrary(plugin.library);
    Milestone("oldest host checked");
    CheckSessionsKeepTheRecord(dllPath, oldHost.window);
    Milestone("sessions done");

    if (FILE* out = std::fopen((outDir + Format("\\results-%d.txt", precision)).c_str(), "wb")) {
        for (const std::string& line : results) std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    } else {
        checks.Expect(false, "the results file is written");
    }
    if (errorBoxes > 0) std::printf("note: %d \"Error\" message boxes were dismissed (kernel sets missing?)\n", errorBoxes);
    Milestone("done");
    checks.Summary();
    return checks.Failed() == 0 ? 0 : 1;
}

// A fault in the plug-in ends the run at once with its address, instead of
// waiting in a debugger.
LONG WINAPI ReportFault(EXCEPTION_POINTERS* info) {
    std::printf("FAILED: unhandled exception %08lx at %p\n",
                static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                info->ExceptionRecord->ExceptionAddress);
    std::fflush(stdout);
    ExitProcess(3);
}

}  // namespace

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(ReportFault);
    if (argc < 3) {
        std::fprintf(stderr, "usage: orve_win32_host PLUGIN.dll OUT_DIR [53|64]\n");
        return 2;
    }
    return Run(argv[1], argv[2], argc > 3 && std::strcmp(argv[3], "53") == 0 ? 53 : 64);
}
