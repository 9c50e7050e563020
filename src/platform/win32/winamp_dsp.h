#pragma once
// The two records a DSP host reads from the plug-in, as the host lays them
// out: plain C structs of 32-bit integers and pointers, callbacks in the
// default (cdecl) calling convention.
#include <windows.h>

#include <cstdint>

namespace orve::win32 {

struct DspModule;

struct DspHeader {
    int32_t version;            // 0x20: the module interface this library speaks
    const char* description;    // "ORVE Studio 1.2"
    DspModule* (*getModule)(int);
};

struct DspModule {
    const char* description;    // "ORVE Studio"
    HWND hwndParent;            // the host's main window, filled in by the host before Init
    HINSTANCE hDllInstance;     // this library, filled in by the host before Init
    void (*Config)(DspModule*);
    int (*Init)(DspModule*);
    // samples: numsamples frames of nch interleaved samples of bps bits, rewritten
    // in place; returns the frame count now in the buffer.
    int (*ModifySamples)(DspModule*, short* samples, int numsamples, int bps, int nch, int srate);
    void (*Quit)(DspModule*);
    void* userData;             // points at the current effect id; the host ignores it
};

constexpr int32_t kDspHeaderVersion = 0x20;

}  // namespace orve::win32

extern "C" orve::win32::DspHeader* winampDSPGetHeader2();
