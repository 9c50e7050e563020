// A stand-in for the player: loads the plug-in DLL as the player does, drives
// its window through the Win32 API and its audio callback with real blocks,
// and compares what it hears with the portable core run in this process.
//   orve_win32_host.exe PLUGIN.dll OUT_DIR [53|64]
// OUT_DIR receives results-<precision>.txt and, at 64 bits, the screenshots.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/win32/plugin_window_state.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/resource_ids.h"
#include "platform/win32/resource_kernels.h"
#include "platform/win32/winamp_dsp.h"
#include "plugin/audio_path.h"
#include "plugin/effect_actions.h"
#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"
#include "ui/knob_format.h"
#include "ui/meter_paint.h"
#include "ui/preset_logic.h"
#include "ui/window_actions.h"
#include "ui/window_layout.h"
#include "win32/programme.h"

#if defined(__i386__)
// args[0 .. count) are copied to a stack that sits 4 bytes past a 16-byte
// boundary at the call; the callee pops nothing (cdecl).
extern "C" intptr_t OrveCallOnPlayerStack(const void* function, const intptr_t* args, int count);
__asm__(
    ".text\n"
    ".globl _OrveCallOnPlayerStack\n"
    "_OrveCallOnPlayerStack:\n"
    "    push %ebp; mov %esp, %ebp; push %esi; push %edi\n"
    "    mov 12(%ebp), %esi; mov 16(%ebp), %ecx; lea (,%ecx,4), %edx\n"
    "    mov %esp, %eax; sub %edx, %eax; sub $16, %eax; and $-16, %eax; add $4, %eax\n"
    "    mov %eax, %esp; mov %esp, %edi; cld; rep movsl\n"
    "    call *8(%ebp)\n"
    "    lea -8(%ebp), %esp; pop %edi; pop %esi; pop %ebp; ret\n");
#endif

using namespace orve;
using namespace orve::wintest;
using orve::win32::DspHeader;
using orve::win32::DspModule;

namespace {

constexpr int32_t kModernHost = 0x5066;
constexpr int kFrames = kProgrammeFrames;

// The effect at a position of the window's list.
EffectId Effect(int32_t number) { return static_cast<EffectId>(number); }

int passed = 0, failed = 0;
// What every build must agree on, written to results-<precision>.txt: the
// digest of each effect's programme and the settings records.
std::vector<std::string> results;
const DWORD startTicks = GetTickCount();

// Records one expectation; prints it when it fails.
bool Expect(bool ok, const std::string& what) {
    (ok ? passed : failed) += 1;
    if (!ok) std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
    return ok;
}

std::string Format(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// Progress with elapsed time, so a slow Wine start can be told from a slow test.
void Milestone(const char* what) {
    std::printf("[%6lu ms] %s\n", static_cast<unsigned long>(GetTickCount() - startTicks), what);
    std::fflush(stdout);
}

// Calls a function of the plug-in as a player may: in 32-bit code with the
// stack only 4-byte aligned, so that an entry point relying on 16-byte
// alignment for SSE2 spills faults (qemu checks the alignment of aligned SSE
// moves). A plain call in 64-bit code, whose ABI always aligns the stack.
template <typename R, typename... Params, typename... Args>
R CallPlugin(R (*function)(Params...), Args... args) {
#if defined(__i386__)
    auto word = [](auto v) -> intptr_t {
        if constexpr (std::is_pointer_v<decltype(v)>) return reinterpret_cast<intptr_t>(v);
        else return static_cast<intptr_t>(v);
    };
    (void)word;   // unused for a function without arguments
    const intptr_t words[] = {0, word(Params(args))...};
    const intptr_t result =
        OrveCallOnPlayerStack(reinterpret_cast<const void*>(function), words + 1, static_cast<int>(sizeof...(Params)));
    if constexpr (std::is_pointer_v<R>) return reinterpret_cast<R>(result);
    else if constexpr (!std::is_void_v<R>) return static_cast<R>(result);
#else
    return function(args...);
#endif
}

// Sets the x87 precision word of this thread to 64 or 53 bits, as players
// differ (the host's runtime starts at 64); returns the precision now in force.
int SetFpuPrecision(int bits) {
    auto controlWord = [] {
        uint16_t word = 0;
        __asm__ volatile("fnstcw %0" : "=m"(word));
        return word;
    };
    // Set directly: the 64-bit runtime's _controlfp leaves the x87 word alone
    // (its own code uses SSE2 only); the plug-in's code would not.
    uint16_t word = static_cast<uint16_t>((controlWord() & ~0x0300u) | (bits == 53 ? 0x0200u : 0x0300u));
    __asm__ volatile("fldcw %0" : : "m"(word));
    const unsigned inForce = controlWord() & 0x0300u;
    return inForce == 0x0200u ? 53 : (inForce == 0x0300u ? 64 : 24);
}

// The player's main window as the plug-in sees it: a top-level window of the
// player's class ("Winamp v1.x" answers the version query, "Winamp V1.x" is
// the oldest host) that records the commands the plug-in sends it.
struct HostWindow {
    HWND window = nullptr;
    int32_t version = 0;
    int stopCommands = 0;         // WM_COMMAND 40047
    int shutdownMessages = 0;     // WM_USER 2/3011
    int preferenceRequests = 0;   // WM_USER 32/380
};
HostWindow* activeHost = nullptr;   // one player window at a time

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (HostWindow* host = activeHost; host && host->window == window) {
        if (message == WM_USER && wParam == 0 && lParam == 0) return host->version;
        host->shutdownMessages += message == WM_USER && wParam == 2 && lParam == 3011;
        host->preferenceRequests += message == WM_USER && wParam == 32 && lParam == 380;
        host->stopCommands += message == WM_COMMAND && LOWORD(wParam) == 40047;
        if (message == WM_CLOSE) return 0;   // the test decides when the host goes
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool CreateHostWindow(HostWindow& host, const wchar_t* className, int32_t version) {
    const WNDCLASSW windowClass{0, HostProc, 0, 0, GetModuleHandleW(nullptr), nullptr, nullptr,
                                static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)), nullptr, className};
    RegisterClassW(&windowClass);
    host.version = version;
    activeHost = &host;
    host.window = CreateWindowExW(0, className, L"Player", WS_POPUP | WS_VISIBLE, 120, 500, 275, 116, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    return host.window != nullptr;
}

// Handles every pending message for about `milliseconds`; true when WM_QUIT was seen.
bool Pump(int milliseconds) {
    bool quit = false;
    for (const DWORD end = GetTickCount() + milliseconds; GetTickCount() < end; Sleep(5))
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); DispatchMessageW(&message)) {
            quit = quit || message.message == WM_QUIT;
            TranslateMessage(&message);
        }
    return quit;
}

// Copies the window's screen area, as it is now, into a 24-bit BMP file.
bool SaveWindowBitmap(HWND window, const std::string& path) {
    GdiFlush();
    RECT r;
    GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    const DWORD imageSize = ((width * 3 + 3) / 4) * 4 * height;
    // Bottom-up, as BMP files store it.
    BITMAPINFOHEADER header{sizeof header, width, height, 1, 24, BI_RGB, imageSize, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof header;
    const BITMAPFILEHEADER file{0x4D42, offset + imageSize, 0, 0, offset};
    bool ok = false;
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&header, sizeof header, 1, out) == 1 &&
             std::fwrite(bits, 1, imageSize, out) == imageSize;
        ok = std::fclose(out) == 0 && ok;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

// The plug-in as the player calls it: every entry point through CallPlugin.
struct Plugin {
    HMODULE library = nullptr;
    DspHeader* header = nullptr;
    DspModule* module = nullptr;

    int Init() { return CallPlugin(module->Init, module); }
    void Quit() { CallPlugin(module->Quit, module); }
    int Modify(std::vector<int16_t>& block, int channels = 2) {
        return CallPlugin(module->ModifySamples, module, reinterpret_cast<short*>(block.data()), kFrames, 16, channels,
                          44100);
    }
    void Play(int first, int count) {
        for (int b = first; b < first + count; ++b) {
            std::vector<int16_t> block = ProgrammeBlock(b, 2);
            Modify(block);
        }
    }
};

bool Load(Plugin& plugin, const std::string& path, HWND hostWindow) {
    plugin.library = LoadLibraryA(path.c_str());
    if (!Expect(plugin.library != nullptr, "the DLL loads: " + path)) return false;
    auto get = reinterpret_cast<DspHeader* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(plugin.library, "winampDSPGetHeader2")));
    if (!Expect(get != nullptr, "winampDSPGetHeader2 is exported")) return false;
    plugin.header = CallPlugin(get);
    plugin.module = CallPlugin(plugin.header->getModule, 0);
    if (!Expect(plugin.module != nullptr, "getModule(0) gives the module")) return false;
    plugin.module->hwndParent = hostWindow;
    plugin.module->hDllInstance = plugin.library;
    return true;
}

HWND PluginWindow() { return FindWindowA("#32770", "ORVE Studio V1.2"); }
bool Shown(HWND window, int item) {
    HWND control = GetDlgItem(window, item);
    return control && (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}
bool Checked(HWND window, int item) { return IsDlgButtonChecked(window, item) == BST_CHECKED; }
int Selected(HWND window, int item) { return static_cast<int>(SendDlgItemMessageW(window, item, CB_GETCURSEL, 0, 0)); }
int SliderPosition(HWND window, int item) {
    return static_cast<int>(SendDlgItemMessageW(window, item, TBM_GETPOS, 0, 0));
}

// A control's notification, as the control itself sends it to the window.
void Notify(HWND window, int item, int code) {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(item, code), reinterpret_cast<LPARAM>(GetDlgItem(window, item)));
}

void ChooseInList(HWND window, int item, int row) {
    SendDlgItemMessageW(window, item, CB_SETCURSEL, row, 0);
    Notify(window, item, CBN_SELCHANGE);
    Pump(20);
}

// Choosing an effect lays the window out anew; returns the window then.
HWND ChooseEffect(HWND window, int32_t id) {
    ChooseInList(window, IDC_EFFECT_LIST, id);
    return PluginWindow();
}

void MoveSlider(HWND window, int item, int position) {
    SendDlgItemMessageW(window, item, TBM_SETPOS, TRUE, position);
    SendMessageW(window, WM_VSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, item)));
}

void Click(HWND window, int item, bool check) {
    SendDlgItemMessageW(window, item, BM_SETCHECK, check ? BST_CHECKED : BST_UNCHECKED, 0);
    Notify(window, item, BN_CLICKED);
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
    Expect(outer.right - outer.left == ui::WindowWidth(id, hostVersion) && outer.bottom - outer.top == ui::kWindowHeight,
           Format("%s: window %ldx%ld", name, outer.right - outer.left, outer.bottom - outer.top));
    auto rectOf = [&](int item) {   // in the window's client area
        RECT r{};
        GetWindowRect(GetDlgItem(window, item), &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    auto at = [&](int item, const ui::Rect& e, bool checkHeight = true) {
        const RECT r = rectOf(item);
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
        wrongKnobs += !Shown(window, i) || !isTrackbar(i) || !at(i, ui::KnobTrackbarRect(row, i, H)) ||
                      std::strcmp(label, knobs[i].label) != 0 || rectOf(600 + i).top != 5 ||
                      enabled == ui::KnobLooksDisabled(id, i, knobCount);
    }
    Expect(wrongKnobs == 0 && !isTrackbar(knobCount),
           Format("%s: %d knobs placed under their labels, enabled but the room chooser, no more (%d wrong)", name,
                  knobCount, wrongKnobs));

    const ui::PresetTable presets = ui::PresetsOf(&model);
    bool listRight = Shown(window, IDC_PRESET_LIST) == !presets.Empty();
    if (!presets.Empty()) {
        listRight = listRight && SendDlgItemMessageW(window, IDC_PRESET_LIST, CB_GETCOUNT, 0, 0) == presets.count &&
                    at(IDC_PRESET_LIST, ui::Rect{260, H - 25, 127, 0}, false);
        for (int p = 0; listRight && p < presets.count; ++p)
            listRight = ListText(window, IDC_PRESET_LIST, p) == Widen(presets.rows[p].name);
    }
    Expect(listRight, Format("%s: preset list shown iff presets, placed, holding the table's rows", name));

    const ui::ChannelSwitches switches = ui::ChannelSwitchesFor(id, 2, H);
    const struct { int item; bool shown; ui::Rect rect; bool checkHeight; } controls[] = {
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
        if (Shown(window, c.item) != c.shown || (c.shown && !at(c.item, c.rect, c.checkHeight)))
            wrong += Format(" %d", c.item);
    Expect(wrong.empty(), Format("%s: gain, meters, frame, effect list, OUT for host 0x%x, Snap Noise and %s "
                                 "switches shown and placed (wrong:%s)",
                                 name, hostVersion, switches.passOnly ? "PASS" : "L/R", wrong.c_str()));
    Expect(Selected(window, IDC_EFFECT_LIST) == effectId, Format("%s: selected in the effect list", name));
}

// The effect list offers the catalogue in order, each name behind its glyph;
// the pop-up menu and the icon load from the DLL's resources.
void CheckEffectListAndResources(HWND window, HMODULE library) {
    Expect(SendDlgItemMessageW(window, IDC_EFFECT_LIST, CB_GETCOUNT, 0, 0) == kSelectableEffects,
           "the effect list offers 22 effects");
    bool names = true;
    for (int id = 0; id < kSelectableEffects; ++id) {
        const wchar_t glyph = CatalogueEntry(Effect(id)).GlyphIsBlack() ? L'\x25C6' : L'\x25C7';
        names = names && ListText(window, IDC_EFFECT_LIST, id) == glyph + Widen(EffectText(Effect(id)));
    }
    Expect(names, "the effect list shows the catalogue names in order");
    HMENU menu = LoadMenuA(library, MAKEINTRESOURCEA(IDR_POPUP_MENU));
    Expect(menu != nullptr, "menu 119 is in the DLL");
    DestroyMenu(menu);
    Expect(LoadIconA(library, MAKEINTRESOURCEA(IDI_PLUGIN_ICON)) != nullptr, "icon 122 is in the DLL");
}

// Level Tuning passes the signal and applies the slider's gain, rounded to
// the nearest step and clipped.
void CheckGain(Plugin& plugin, HWND window) {
    MoveSlider(window, IDC_GAIN_SLIDER, 3333);   // +20 dB
    const std::vector<int16_t> input = ProgrammeBlock(0, 2);
    std::vector<int16_t> block = input;
    Expect(plugin.Modify(block) == kFrames, "Level Tuning keeps the block length");
    const double gain = GainPositionToFactor(3333);
    int wrong = 0;
    for (int i = 0; i < kFrames * 2; ++i)
        wrong += block[i] != static_cast<int16_t>(std::clamp(std::nearbyint(input[i] * gain), -32768.0, 32767.0));
    Expect(wrong == 0, Format("Level Tuning applies +20 dB with clipping (%d samples differ)", wrong));
    MoveSlider(window, IDC_GAIN_SLIDER, 5000);
}

// Three windows as the user sees them while music plays: the meters are
// painted by the audio path, so a silent and a loud block go through just
// before the picture (any repaint in between would blank them). Then the
// widest values on the thumbs: the gain at both ends, the equaliser's bands
// at both ends, the de-vocal's frequencies (Hi F 16k) and the vibrato's delay
// (100k) at their tops; the even knobs at 0, the odd ones at `oddKnobs`.
void Screenshots(Plugin& plugin, HWND& window, const std::string& dir) {
    if (dir.empty()) return;
    auto bottomPixel = [](HWND window) {   // of the left meter, as on the screen
        HWND meter = GetDlgItem(window, IDC_METER_LEFT);
        RECT client;
        GetClientRect(meter, &client);
        POINT bottom{client.right / 2, client.bottom - 2};
        ClientToScreen(meter, &bottom);
        HDC screen = GetDC(nullptr);
        const COLORREF colour = GetPixel(screen, bottom.x, bottom.y);
        ReleaseDC(nullptr, screen);
        return colour;
    };
    const struct { EffectId id; bool playing; int gain, oddKnobs; const char* file; } shots[] = {
        {EffectId::LevelTuning, true, 0, 0, "level_tuning.bmp"},
        {EffectId::DeNoise, true, 0, 0, "denoise.bmp"},
        {EffectId::Geq31Bands, true, 0, 0, "geq31.bmp"},
        {EffectId::Geq10Bands, false, 10000, kKnobPositionMax, "extremes_geq10.bmp"},
        {EffectId::DeVocalMono, false, 0, 0, "extremes_devocal.bmp"},
        {EffectId::Vibrato, false, 10000, 0, "extremes_vibrato.bmp"}};
    for (const auto& shot : shots) {
        window = ChooseEffect(window, EffectNumber(shot.id));
        if (!shot.playing) {
            MoveSlider(window, IDC_GAIN_SLIDER, shot.gain);
            for (int knob = 0; GetDlgItem(window, knob); ++knob) MoveSlider(window, knob, knob % 2 ? shot.oddKnobs : 0);
        }
        Pump(150);
        if (shot.playing) {
            std::vector<int16_t> silence(kFrames * 4, 0);
            plugin.Modify(silence);
            plugin.Play(0, 3);
        }
        Expect(SaveWindowBitmap(window, dir + "\\" + shot.file), Format("screenshot %s", shot.file));
        if (shot.id != EffectId::LevelTuning) continue;
        // The audio path paints the meters; once blocks stop, the one-second
        // timer blanks them within two ticks (watched for longer: emulated
        // 32-bit Wine runs the timer late under load).
        const COLORREF playing = bottomPixel(window);
        Expect(GetGValue(playing) >= 70 && GetRValue(playing) < 40,
               Format("a playing meter is green at the bottom (%06lx)", static_cast<unsigned long>(playing)));
        const COLORREF blank = RGB(kBackgroundColour.red, kBackgroundColour.green, kBackgroundColour.blue);
        for (int waited = 0; waited < 6000 && bottomPixel(window) != blank; waited += 100) Pump(100);
        Expect(bottomPixel(window) == blank, "the meters are blanked when blocks stop");
    }
}

// Every thumb's text fits between the thumb's outline in the first value
// font, measured as the system renders it: the texts of every hundredth
// position of every knob and of the gain slider.
void CheckThumbTextsFit(HWND window) {
    RECT thumb{};
    SendDlgItemMessageW(window, IDC_GAIN_SLIDER, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    Expect(thumb.right - thumb.left == ui::kThumbLength,
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
    Expect(widest <= ui::kThumbTextWidth, Format("the widest thumb text, \"%s\", takes %d of the thumb's %d pixels",
                                                 widestText.c_str(), widest, ui::kThumbTextWidth));
}

// The programme of one effect played through the window and the audio
// callback, and through the reference state built into this host.
struct HostPlayer {
    Plugin& plugin;
    HWND window;
    int32_t id;
    PluginState& reference;
    AudioDigest digest{};
    int32_t chosenRow = 0;

    // Every returned frame count and sample must agree; the plug-in's output
    // goes into the digest.
    bool Play(int first, int count) {
        if (!ComparesAudio(id)) return true;
        std::string where;
        for (int b = first; b < first + count && where.empty(); ++b) {
            std::vector<int16_t> ours = ProgrammeBlock(b, 2), theirs = ours;
            const int got = plugin.Modify(ours);
            const int expected = ModifySamples(reference, theirs.data(), kFrames, 16, 2, 44100);
            if (got >= 0 && got <= 2 * kFrames) digest.Add(got, ours.data(), 2 * got);
            if (got != expected) where = Format("block %d: %d frames, expected %d", b, got, expected);
            for (int i = 0; where.empty() && i < got * 2; ++i)
                if (ours[i] != theirs[i]) where = Format("block %d value %d: %d, expected %d", b, i, ours[i], theirs[i]);
        }
        return Expect(where.empty(), Format("%s: blocks %d..%d equal the core's (%s)", EffectText(Effect(id)), first,
                                            first + count - 1, where.c_str()));
    }

    void SnapNoise() {
        Notify(window, IDC_SNAP_NOISE, BN_CLICKED);
        orve::SnapNoise(*reference.currentEffect);
    }

    bool ChoosePreset(int32_t row) {
        const ui::PresetTable presets = ui::PresetsOf(reference.currentEffect.get());
        ChooseInList(window, IDC_PRESET_LIST, row);
        ui::SliderPositions expected;
        ui::SelectPreset(reference, presets, row, expected);
        bool slidersMoved = SliderPosition(window, IDC_GAIN_SLIDER) == expected.gain;
        for (int i = 0; i < expected.knobCount; ++i)
            slidersMoved = slidersMoved && SliderPosition(window, i) == expected.knobs[i];
        chosenRow = row;
        return Expect(slidersMoved, Format("%s: preset \"%s\" moves gain and knobs", EffectText(Effect(id)),
                                           presets.rows[row].name));
    }
};

// Every effect: layout, then the programme against the core, then a knob move.
void CheckEveryEffect(Plugin& plugin, HWND& window) {
    win32::ResourceKernels kernels(plugin.library);
    for (int32_t id = 0; id < kSelectableEffects; ++id) {
        const char* name = EffectText(Effect(id));
        window = ChooseEffect(window, id);
        PluginState reference(nullptr, &kernels, nullptr);
        reference.effectId = Effect(id);
        BuildEffect(reference, 44100, 2, false);
        CheckLayout(window, id, kModernHost, *reference.currentEffect);
        Expect(*static_cast<int32_t*>(plugin.module->userData) == id,
               Format("%s: the module's user data follows the selection", name));

        HostPlayer player{plugin, window, id, reference};
        const int32_t presetCount = ui::PresetsOf(reference.currentEffect.get()).count;
        PlayProgramme(id, presetCount, player);
        if (ComparesAudio(id)) results.push_back(Format("audio %2d %s", id, player.digest.Hex().c_str()));
        if (presetCount <= 0 || reference.knobCount <= 0 || ui::KnobLooksDisabled(Effect(id), 0, reference.knobCount))
            continue;

        MoveSlider(window, 0, 2500);
        // The list follows only for effects that count a user-setting row.
        const int32_t follow = ui::PresetAfterManualChange(reference.currentEffect->PresetCount(), player.chosenRow);
        const int32_t expected = follow < 0 ? player.chosenRow : follow;
        Expect(Selected(window, IDC_PRESET_LIST) == expected, Format("%s: moving a knob selects row %d", name, expected));
        // Choosing the effect already selected changes nothing.
        ChooseInList(window, IDC_EFFECT_LIST, id);
        Expect(PluginWindow() == window && SliderPosition(window, 0) == 2500,
               Format("%s: choosing it again keeps the knobs", name));
    }
}

// The audio path re-lays the switches for a mono stream; PASS then bypasses.
// With only R checked the gain acts on the right channel alone.
void CheckMonoAndPass(Plugin& plugin, HWND window) {
    window = ChooseEffect(window, EffectNumber(EffectId::LevelTuning));
    MoveSlider(window, IDC_GAIN_SLIDER, 4000);
    std::vector<int16_t> block = ProgrammeBlock(0, 1);
    plugin.Modify(block, 1);
    Expect(Shown(window, IDC_SWITCH_PASS) && !Shown(window, IDC_SWITCH_LEFT) && !Shown(window, IDC_SWITCH_RIGHT),
           "a mono stream shows PASS instead of L and R");
    Expect(!Checked(window, IDC_SWITCH_PASS), "PASS starts unchecked");
    Click(window, IDC_SWITCH_PASS, true);
    const std::vector<int16_t> mono = ProgrammeBlock(1, 1);
    block = mono;
    Expect(plugin.Modify(block, 1) == kFrames && std::equal(mono.begin(), mono.begin() + kFrames, block.begin()),
           "PASS leaves the block untouched despite the gain");
    Click(window, IDC_SWITCH_PASS, false);
    plugin.Play(2, 1);
    Expect(!Shown(window, IDC_SWITCH_PASS) && Shown(window, IDC_SWITCH_LEFT) && Shown(window, IDC_SWITCH_RIGHT) &&
               Checked(window, IDC_SWITCH_LEFT) && Checked(window, IDC_SWITCH_RIGHT),
           "a stereo stream brings L and R back, both checked");
    Click(window, IDC_SWITCH_LEFT, false);
    const std::vector<int16_t> stereo = ProgrammeBlock(3, 2);
    block = stereo;
    plugin.Modify(block);
    Expect(block[0] == stereo[0] && block[2] == stereo[2] && block[1] != stereo[1],
           "with only R checked the gain acts on the right channel alone");
    Click(window, IDC_SWITCH_LEFT, true);
    MoveSlider(window, IDC_GAIN_SLIDER, 5000);
}

bool ReadStored(SettingsBlob& blob) {
    uint8_t bytes[SettingsBlob::kBytes];
    size_t got = 0;
    if (!win32::RegistrySettingsStore().Read(bytes, sizeof bytes, &got) || got != SettingsBlob::kBytes) return false;
    blob.FromBytes(bytes, got);
    return true;
}

std::string RecordText(const SettingsBlob& blob) {
    std::string text;
    for (int i = 0; i < SettingsBlob::kSlots; ++i) text += Format(i ? " %d" : "%d", blob.slots[i]);
    return text;
}

// Forty sessions of a player: each loads the DLL (the record is read), opens
// the window on the stored setting, plays a few blocks, closes and unloads
// (the record is written). The record holds positions that a truncating
// conversion walked one step per session (knob 16 of the 31-band equaliser
// at 465, the gain at 6556), and every other slot of the effect's.
void CheckSessionsKeepTheRecord(const std::string& dllPath, HWND hostWindow, int32_t lastGeq31Row) {
    SettingsBlob start;
    start.slots[SettingsBlob::kEffectSlot] = EffectNumber(EffectId::Geq31Bands);
    start.slots[SettingsBlob::kPresetSlot] = lastGeq31Row;
    start.slots[SettingsBlob::kGainSlot] = 6556;
    for (int i = 0; i < SettingsBlob::kMaxStoredKnobs; ++i)
        start.slots[SettingsBlob::kFirstKnobSlot + i] = (1234 + 577 * (i + 1)) % 10001;
    uint8_t bytes[SettingsBlob::kBytes];
    start.ToBytes(bytes);
    win32::RegistrySettingsStore().Write(bytes, sizeof bytes);

    int session = 0;
    for (Plugin plugin; session < 40 && Load(plugin, dllPath, hostWindow); ++session) {
        plugin.Init();
        Pump(10);
        plugin.Play(0, 2);
        plugin.Quit();
        FreeLibrary(plugin.library);
    }
    SettingsBlob stored;
    if (!Expect(session == 40 && ReadStored(stored), "forty sessions load, run and save")) return;
    const std::string record = RecordText(stored);
    Expect(record == RecordText(start), "forty sessions leave the record as it was: " + record);
    results.push_back("record after sessions " + record);
}

// A missing kernel set makes the plug-in show a message box, whose modal loop
// would wait for a click forever; this dismisses such boxes and counts them.
int errorBoxes = 0;
DWORD WINAPI DismissErrorBoxes(void*) {
    for (;; Sleep(50))
        if (HWND box = FindWindowA("#32770", "Error")) {
            ++errorBoxes;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
}

int Run(const std::string& dllPath, const std::string& outDir, int precision) {
    const int inForce = SetFpuPrecision(precision);
    std::printf("x87 precision word: %d bits\n", inForce);
    Expect(inForce == precision, Format("the x87 precision word is set to %d bits", precision));
    CreateThread(nullptr, 0, DismissErrorBoxes, nullptr, 0, nullptr);
    RegDeleteKeyA(HKEY_CURRENT_USER, win32::kSettingsKey);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HostWindow host;
    if (!Expect(CreateHostWindow(host, L"Winamp v1.x", kModernHost), "host window")) return 1;

    // First load: a first run, with no stored settings.
    Plugin plugin;
    if (!Load(plugin, dllPath, host.window)) return 1;
    Expect(plugin.header->version == 0x20, "header version 0x20");
    Expect(CallPlugin(plugin.header->getModule, 1) == nullptr, "getModule(1) is null");
    Expect(plugin.Init() == 0, "Init returns 0");
    Pump(50);
    HWND window = PluginWindow();
    if (!Expect(window != nullptr, "Init opens the window")) return 1;
    Expect(GetWindow(window, GW_OWNER) == host.window, "the window is owned by the player");
    RECT hostRect, ownRect;
    GetWindowRect(host.window, &hostRect);
    GetWindowRect(window, &ownRect);
    Expect(ownRect.left == hostRect.left && ownRect.top == hostRect.top - ui::kWindowHeight,
           "the window docks above the player");
    Expect(hostRect.right - hostRect.left == ui::WindowWidth(EffectId::LevelTuning, kModernHost),
           "the player takes the window's width");
    Expect(Selected(window, IDC_EFFECT_LIST) == 0 && SliderPosition(window, IDC_GAIN_SLIDER) == 5000,
           "first run: Level Tuning at 0 dB");
    Milestone("window open");
    CheckEffectListAndResources(window, plugin.library);
    CheckGain(plugin, window);
    CheckEveryEffect(plugin, window);
    CheckThumbTextsFit(window);
    Screenshots(plugin, window, precision == 64 ? outDir : "");
    Milestone("every effect checked");
    CheckMonoAndPass(plugin, window);
    // OUT, docking, closing and F12.
    window = PluginWindow();
    const int requests = host.preferenceRequests;
    Notify(window, IDC_OUT_BUTTON, BN_CLICKED);
    Expect(host.preferenceRequests == requests + 1, "OUT asks the host for its output preferences");
    SetWindowPos(host.window, nullptr, 160, 560, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(window, &ownRect);
    Expect(ownRect.left == 160 && ownRect.top == 560 - ui::kWindowHeight, "the window follows the player");
    SendMessageW(window, WM_CLOSE, 0, 0);
    Pump(20);
    Expect(PluginWindow() == nullptr, "closing the window destroys it");
    SendMessageW(host.window, WM_KEYUP, VK_F12, 0);
    Pump(20);
    Expect(PluginWindow() != nullptr, "F12 in the player reopens the window");

    // The teardown saves the positions the values convert back to, the very
    // positions the sliders stand at.
    // The effect with the most knobs, the 31-band equaliser, on its last preset row.
    const int32_t storedEffect = EffectNumber(EffectId::Geq31Bands);
    const int32_t storedPreset = MakeEffect(Effect(storedEffect), {44100, 2, nullptr, nullptr})->PresetCount() - 1;
    // Effect, preset row, gain and knob 0 as stored and as the window shows them again.
    auto isStored = [&](const char* what, const std::vector<int32_t>& have) {
        const std::vector<int32_t> want{storedEffect, storedPreset, 4000, 1234};
        return Expect(have == want, Format("%s: effect %d, preset %d, gain %d, knob %d (expected %d, %d, 4000, 1234)",
                                           what, have[0], have[1], have[2], have[3], storedEffect, storedPreset));
    };
    window = ChooseEffect(PluginWindow(), storedEffect);
    MoveSlider(window, IDC_GAIN_SLIDER, 4000);
    MoveSlider(window, 0, 1234);
    // The player's close: stop, settle, unhook, tell the player, quit the loop.
    SendMessageW(host.window, WM_CLOSE, 0, 0);
    Expect(host.stopCommands == 1, "closing the player stops playback first");
    Expect(host.shutdownMessages == 1, "closing the player sends WM_USER 2/3011");
    Expect(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(host.window, GWLP_WNDPROC)) == HostProc,
           "closing the player restores its window procedure");
    Expect(Pump(20), "closing the player posts a quit message");
    plugin.Quit();   // the player's own Quit after the hook's: tolerated
    FreeLibrary(plugin.library);

    SettingsBlob stored;
    if (Expect(ReadStored(stored), "unloading writes the 160-byte ORVESETTING value")) {
        results.push_back("record after first load " + RecordText(stored));
        isStored("stored", {stored.slots[39], stored.slots[38], stored.slots[0], stored.slots[1]});
    }

    // Second load: the stored setting comes back; Init twice is harmless.
    if (!Load(plugin, dllPath, host.window)) return 1;
    plugin.Init();
    plugin.Init();
    Pump(50);
    Expect(SendMessageW(host.window, WM_USER, 0, 0) == kModernHost, "a second Init keeps the hook chain sound");
    window = PluginWindow();
    if (Expect(window != nullptr, "the window opens again"))
        isStored("the stored setting is restored", {Selected(window, IDC_EFFECT_LIST), Selected(window, IDC_PRESET_LIST),
                                                    SliderPosition(window, IDC_GAIN_SLIDER), SliderPosition(window, 0)});
    plugin.Quit();

    // The oldest host: no version query, narrower window, no OUT button.
    // Window classes are matched without regard to case, so the modern
    // player's class has to go before the oldest one can exist.
    DestroyWindow(host.window);
    UnregisterClassW(L"Winamp v1.x", GetModuleHandleW(nullptr));
    HostWindow oldHost;
    CreateHostWindow(oldHost, L"Winamp V1.x", 0x7777);
    plugin.module->hwndParent = oldHost.window;
    plugin.Init();
    Pump(50);
    window = PluginWindow();
    if (Expect(window != nullptr, "the window opens for the oldest host")) {
        GetWindowRect(window, &ownRect);
        Expect(ownRect.right - ownRect.left == ui::WindowWidth(Effect(storedEffect), 0),
               "the oldest host gets the narrow width");
        Expect(!Shown(window, IDC_OUT_BUTTON), "the oldest host gets no OUT button");
    }
    SendMessageW(oldHost.window, WM_CLOSE, 0, 0);
    Expect(oldHost.stopCommands == 0 && oldHost.shutdownMessages == 0,
           "closing the oldest host passes straight on, without a stop command");
    plugin.Quit();
    FreeLibrary(plugin.library);
    Milestone("oldest host checked");
    CheckSessionsKeepTheRecord(dllPath, oldHost.window, storedPreset);

    if (FILE* out = std::fopen((outDir + Format("\\results-%d.txt", precision)).c_str(), "wb")) {
        for (const std::string& line : results) std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    } else {
        Expect(false, "the results file is written");
    }
    if (errorBoxes > 0) std::printf("note: %d \"Error\" message boxes were dismissed (kernel sets missing?)\n", errorBoxes);
    Milestone("done");
    std::printf("win32: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
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
