#include "effects/equaliser/graphic_eq.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>

namespace orve {
namespace {

// ---- 3 bands, 2.661 octaves ----------------------------------------------
const double kCentres3[] = {200, 1265, 8000};
const char* const kLabels3[] = {"<200", "1265", ">8k"};
const double k3Flat[] = {0, 0, 0, 0};
const double k3Bass[] = {-5, 15, 0, 0};
const double k3Tremble[] = {0, 0, 0, 15};
const double k3BassTremble[] = {-6, 15, 0, 15};
const double k3MidBoost[] = {-3, 0, 10, 0};
const double k3Custom[] = {0, 0, 0, 0};
const EffectPreset kPresets3[] = {
    {"FLAT", k3Flat},         {"BASS", k3Bass},         {"Tremble", k3Tremble},
    {"Bass&Tremble", k3BassTremble}, {"MidBoost", k3MidBoost}, {"Custom", k3Custom},
};

// ---- 10 bands, one octave -------------------------------------------------
const double kCentres10[] = {31, 62, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
const char* const kLabels10[] = {"<31", "62", "125", "250", "500", "1k", "2k", "4k", "8k", ">16k"};
const double k10Flat[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const double k10_1965[] = {-5, -6, -17.2, -6, 0, -3.6, 9.2, 1.2, 9.2, 3.6, -5.2};
const double k10_1965II[] = {-5, -18, -14.4, 0, 0, -3.6, 9.2, 1.2, 9.2, 3.6, -5.2};
const double k10BassVib[] = {-5, 1.8, 4.95, -6.75, 1.35, -0.9, 0, 0, 0, 0, 0};
const double k10PresenceMusic[] = {-4, 0, 0, 0, 0, 0, 2.5, 5, 2.5, 0, 0};
const double k10HighPass[] = {3, -18, -18, -18, -18, -18, 0, 0, 0, 0, 0};
const double k10LowPass[] = {0, 0, 0, 0, 0, 0, -18, -18, -18, -18, -18};
const double k10RattleTrunk[] = {-10, 18, 18, 9, 0, 0, 0, 0, 0, 0, 0};
const double k10BassCut[] = {0, -4, -3, -2, -2, -2, 0, 0, 0, 0, 0};
const double k10BassLift[] = {-3, 6, 6, 3, 3, 3, 0, 0, 0, 0, 0};
const double k10TrembleCut[] = {0, 0, 0, 0, 0, 0, -2, -2, -3, -3, -3};
const double k10TrembleLift[] = {0, 0, 0, 0, 0, 0, 1, 2, 2, 3, 4};
const double k10MidBoost[] = {-4, 0, 0, 0, 1.5, 3, 6, 3, 1.5, 0, 0};
const double k10MidCut[] = {0, 0, 0, 0, -1.5, -3, -6, -3, -1.5, 0, 0};
const double k10Notch2Oct[] = {-3, -18, 18, -18, 18, -18, 18, -18, 18, -18, 18};
const double k10VocalBoost[] = {-2, 0, 0, 0, 0, 0, 0, 6.5, 0, 0, 0};
const double k10VocalCut[] = {0, 0, 0, 0, 0, 0, 0, -6.5, 0, 0, 0};
const double k10Custom[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const EffectPreset kPresets10[] = {
    {"FLAT", k10Flat},
    {"1965", k10_1965},
    {"1965-II", k10_1965II},
    {"Bass Vib", k10BassVib},
    {"PresenceMusic", k10PresenceMusic},
    {"High Pass", k10HighPass},
    {"Low Pass", k10LowPass},
    {"Rattle Trunk", k10RattleTrunk},
    {"Bass Cut", k10BassCut},
    {"Bass Lift", k10BassLift},
    {"Tremble Cut", k10TrembleCut},
    {"Tremble Lift", k10TrembleLift},
    {"Mid Boost", k10MidBoost},
    {"Mid Cut", k10MidCut},
    {"Notch2Oct", k10Notch2Oct},
    {"Vocal Boost", k10VocalBoost},
    {"Vocal Cut", k10VocalCut},
    {"Custom", k10Custom},
};

// ---- 15 bands, 2/3 octave -------------------------------------------------
const double kCentres15[] = {25, 40, 63, 100, 160, 250, 400, 630, 1000, 1600, 2500, 4000, 6300, 10000, 16000};
const char* const kLabels15[] = {"<25", "40",  "63",  "100", "160", "250", "400", "630",
                                 "1k",  "1.6", "2.5", "4k",  "6.3", "10k", ">16k"};
const double k15Flat[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const double k15BrightFlat[] = {-4, 1.44, 7.92, 9, 5.94, 1.98, 0, 0, 0, 0, 0, 1.44, 3.42, 5.04, 5.58, 5.94};
const double k15UltraLoudness[] = {-4,    10.08, 12.96, 11.52, 7.02, 2.52, 0,    -1.98,
                                   -4.5,  -5.94, -5.94, -3.96, 1.08, 4.5,  10.08, 18};
const double k15EnhanceLight[] = {0, -18, -18, -18, 7.02, 3.42, 0, 0, 0, 0, 0, 3.06, 5.58, 7.56, 5.04, 3.96};
const double k15EnhanceHeavy[] = {-5, -18, -18, -18, 14.04, 13.5, 5.94, 0, 0, 0, 0, 3.06, 8.46, 9.54, 8.46, 3.96};
const double k15Acoustical[] = {0, -1.08, 0, 1.08, 1.8, 1.08, 0, 0, 0, 0, 0, 0, 0, 1.44, 1.8, 3.24};
const double k15Blues[] = {0, -5.04, -1.8, 0.36, 2.16, 3.24, 1.8, 0, 0, 0, 0, 0, 0, -1.44, -2.16, -4.32};
const double k15BrightFat[] = {0, 0, 5.4, 7.2, 3.6, 1.8, 0, 0, 0, 0, 0, 1.8, 3.6, 4.68, 5.4, 5.4};
const double k15Classic[] = {-3, 2.52, 5.76, 8.28, 7.2, 4.68, 2.16, 0.72, 0, 0, 0, 0.72, 1.08, 1.44, 2.16, 3.24};
const double k15Dance[] = {-5, 5.04, 8.64, 10.08, 7.56, 3.24, 0, -2.88, -3.6, -1.8, 0, 2.16, 4.32, 7.2, 9, 7.2};
const double k15HipHop[] = {-5,   5.4,  7.92, 8.64, 5.4, 3.24, 3.6,  1.08,
                            -1.8, -1.8, -1.44, 0.72, 1.8, 1.44, 2.52, 4.32};
const double k15HomeTheater[] = {-3,    6.84, 9,    11.16, 4.32, 0.72, -0.72, -4.32,
                                 -4.32, 0,    4.68, 4.68,  0,    4.68, 11.52, 9};
const double k15Jazz[] = {0, 0, 0, 0, 0, 2.16, 3.96, 4.32, 3.96, 2.88, 1.08, 0, 2.16, 3.96, 5.4, 6.84};
const double k15Latin[] = {0,    5.76,  6.84,  4.68,  2.16, 0,   -1.08, -2.52,
                           -2.88, -3.6, -3.24, -2.16, 0,    1.8, 3.6,   6.84};
const double k15Loudness[] = {0,     6.768, 7.488, 6.012,  5.256, 2.556, 0,     -2.016,
                              -4.5,  -6.48, -6.48, -6.48, -2.988, 0.612, 2.988, 4.032};
const double k15Metal[] = {0, -5.04, -2.52, 0, 0, 0, 0, 0, 1.08, 3.24, 1.44, 0, 0, 1.44, 3.24, 1.08};
const double k15NewAge[] = {0, 0, 2.16, 3.96, 3.6, 2.16, 0.72, 0, 0, 0, 0, 0, 0, 0, 2.52, 2.52};
const double k15NoBoomBass[] = {0, -2.988, 6.444, 9.756, 3.456, -9.54, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const double k15Presence[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.512, 4.5, 7.056, 6.012, 2.556, 0};
const double k15RnB[] = {-3,    2.52,  5.76, 9.36, 5.4,  2.52, -0.36, -2.16,
                         -3.24, -4.32, -2.52, 2.52, 3.6, 4.68, 4.68,  5.04};
const double k15Rock[] = {-3, -1.8, 0.72, 2.16, 3.24, 4.32, 5.04, 2.16, 0.72, 0, 0, 0, 2.52, 3.6, 5.76, 6.84};
const double k15SmallRadio[] = {0, -18, -18, -18, -9, 1.512, 0, 0, 0, 0, 1.512, 2.556, 2.988, -9, -18, -18};
const double k15SpokenWord[] = {0,    -7.2, -2.88, 0,    1.8,   2.88,  0,     1.44,
                                2.88, 4.32, 5.4,   3.6,  0.72, -3.24, -5.04, -7.92};
const double k15Telephone[] = {0, -18, -18, -18, -18, -18, -18, 4.5, 4.5, 4.5, 4.5, 4.5, -18, -18, -18, -18};
const double k15UltraLowBoos[] = {0, 18, 13.5, 4.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const double k15UltraLowCut[] = {0, -18, -18, -4.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const double k15VocalBoost[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 2.16, 6.84, 6.84, 2.16, 0, 0, 0};
const double k15VocalCut[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, -2.16, -6.84, -6.84, -2.16, 0, 0, 0};
const double k15Woody[] = {0,     -3.456, -2.556, -1.944, 1.044, 3.888,  5.544,  6.444,
                           7.488, 6.444,  5.544,  3.888,  1.044, -1.944, -2.556, -3.456};
const double k15Custom[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const EffectPreset kPresets15[] = {
    {"FLAT", k15Flat},
    {"Bright&Flat", k15BrightFlat},
    {"UltraLoudness", k15UltraLoudness},
    {"EnhanceLight", k15EnhanceLight},
    {"EnhanceHeavy", k15EnhanceHeavy},
    {"Acoustical", k15Acoustical},
    {"Blues", k15Blues},
    {"BrightFat", k15BrightFat},
    {"Classic", k15Classic},
    {"Dance", k15Dance},
    {"HipHop", k15HipHop},
    {"HomeTheater", k15HomeTheater},
    {"Jazz", k15Jazz},
    {"Latin", k15Latin},
    {"Loudness", k15Loudness},
    {"Metal", k15Metal},
    {"NewAge", k15NewAge},
    {"NoBoomBass", k15NoBoomBass},
    {"Presence", k15Presence},
    {"R&B", k15RnB},
    {"Rock", k15Rock},
    {"SmallRadio", k15SmallRadio},
    {"SpokenWord", k15SpokenWord},
    {"Telephone", k15Telephone},
    {"UltraLowBoos", k15UltraLowBoos},
    {"UltraLowCut", k15UltraLowCut},
    {"VocalBoost", k15VocalBoost},
    {"VocalCut", k15VocalCut},
    {"Woody", k15Woody},
    {"Custom", k15Custom},
};

// ---- 20 bands, half octave ------------------------------------------------
const double kCentres20[] = {31,   44,   63,   88,   125,  180,  250,  355,   500,   710,
                             1000, 1400, 2000, 2800, 4000, 5600, 8000, 11300, 16000, 20000};
const char* const kLabels20[] = {"<31", "44",   "63", "88",   "125", "180",  "250", "355",   "500", "710",
                                 "1k",  "1.4k", "2k", "2.8k", "4k",  "5.6k", "8k",  "11.3k", "16k", ">20k"};
const double k20Flat[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const double k20ClassicV[] = {0, 5, 6, 3.54, 0.59, -0.48, -2.5, -5, -7, -8, -8, -7, -5, -3, -2.5, -1, 2, 3, 4, 5, 4.02};
const double k20BowedString[] = {-2, 0, 0, -1.2, -1.6, -2.4, -2.8, -1.6, -1.6, -1.6, 0,
                                 0,  0, 0, 0,    2.4,  3.6,  5.6,  0,    0,    0};
const double k20BrightPunchy[] = {-4, -3, 3, 6, 4.5, 3, 1.5, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 4, 4, 4};
const double k20DarkDull[] = {-2, -6, -4, -2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -3, -6, -9, -12, -15, -18, -18};
const double k20CarStereo[] = {-3, -4, -2, 0, 3, 4, 3, 1.5, 0, -1, -2, -2, -1, 0, 1, 2, 3, 4, 2, 0, -3};
const double k20LowFidelity[] = {0,   -18, -18, -18, -18, -18, -18, -18, -9,  0,  0,
                                 0,   0,   0,   -6,  -12, -15, -18, -18, -18, -18};
const double k20NotchOct[] = {-3, -18, 18, -18, 18, -18, 18, -18, 18, -18, 18,
                              -18, 18, -18, 18, -18, 18, -18, 18, -18, 18};
const double k20PossibleBass[] = {-5, 0, 0, 5.2, 6, 3.2, 0, -11.6, -5.2, -4, -4,
                                  0,  3.2, 4.8, 0, 0, 0, -3.2, -7.2, -10.8, -14};
const double k20SlopeTremble[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 6, 7, 8, 8};
const double k20SlopeBass[] = {-5, 8, 8, 8, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const double k20SpitClear[] = {0, 0, 0, 2, 0, 0, 0, -0.8, -3.2, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1.6, 2, 0};
const double k20TinyBrittle[] = {-2, -10, -9, -8, -7, -6, -5, -4, -3, -2, -1, 0, 0, 0, 0, 1, 3, 6, 6, 3, 1};
const double k20Custom[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const EffectPreset kPresets20[] = {
    {"FLAT", k20Flat},
    {"Classic-V", k20ClassicV},
    {"Bowed String", k20BowedString},
    {"Bright Punchy", k20BrightPunchy},
    {"Dark&Dull", k20DarkDull},
    {"CarStereo", k20CarStereo},
    {"LowFidelity", k20LowFidelity},
    {"NotchOct", k20NotchOct},
    {"PossibleBass", k20PossibleBass},
    {"SlopeTremble", k20SlopeTremble},
    {"SlopeBass", k20SlopeBass},
    {"SpitClear", k20SpitClear},
    {"TinyBrittle", k20TinyBrittle},
    {"Custom", k20Custom},
};

// ---- 31 bands, third octave -----------------------------------------------
const double kCentres31[] = {20,   25,   31.5, 40,   50,   63,    80,    100,   125,   160,  200,
                             250,  315,  400,  500,  630,  800,   1000,  1250,  1600,  2000, 2500,
                             3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};
const char* const kLabels31[] = {"<20", "25",  "31.5", "40",  "50",  "63",  "80",  "100", "125", "160", "200",
                                 "250", "315", "400",  "500", "630", "800", "1k",  "1250", "1.6", "2k",  "2.5",
                                 "3.1", "4k",  "5k",   "6.3", "8k",  "10k", "12.5", "16k", ">20k"};
const double k31Flat[32] = {};
const double k31ClassicV[] = {-1,   4.1,   5.6,   7.67,  9.44, 9.44, 7.67,  5.6,  4.13, 3.52, 1.18,
                              -0.89, -2.07, -3.54, -5.9, -8,   -8,   -8,    -8,   -5,   -3.84, -3,
                              -1.18, 0,     -1,    0.89, 3.25, 3,    5.02,  5.9,  5,    7.1};
const double k31Pop[] = {-1,    1.6,   3,    4.8,  6.4,  7.2, 6,   5.61, 4.13, 3.52, 1.18,
                         -0.89, -2.07, -3.54, -3.6, -4.4, -4.4, -1.6, -0.8, 1.6, 1.6,  0.8,
                         1.2,   0,     4,    2,    2,    4,   5.02, 5.9, 6.8, 7.6};
const double k31PunchSparkle[] = {-1,  0.8,  1,    1.2,  3.2, 4.4,  5.2, 6,   4.13, 1.6, 0,
                                  -1.6, -3.2, -3.54, -3.6, -2.4, -1.2, 0.8, 0.8, 1.6, 3.2, 2,
                                  2.4,  0.8,  4,    2.8,  1.2,  3.2,  4.4, 5.9, 5.2, 3.8};
const double k31HomeTheater[] = {-3, 2,  3,    4.5, 6,   7.5, 7.5, 5, 3,   1.5, 0.5, 0,   -0.5, -1.5, -3, -5,
                                 -3, -1.5, 0, 1.5, 3,   3,   3,   1.5, 0, 0,   3,   6,   7.5,  7.5,  6,  3};
const double k31GentleHiBoost[] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   0,   0, 0, 0, 0,
                                   0,  0, 0, 0, 0, 0, 0, 0, 0.5, 1.5, 3, 5, 5, 3, 1};
const double k31GentleHiCut[] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,    0,    0,  0,  0,  0,
                                 0,  0, 0, 0, 0, 0, 0, 0, -0.5, -0.5, -3, -5, -5, -3, -1};
const double k31GentleLowBoost[] = {-1, 0, 0, 0, 0.5, 1.5, 3, 5, 3, 1.5, 0.5, 0, 0, 0, 0, 0,
                                    0,  0, 0, 0, 0,   0,   0, 0, 0, 0,   0,   0, 0, 0, 0, 0};
const double k31GentleLowCut[] = {-1, 0, 0, 0, -0.5, -1.5, -3, -5, -3, -1.5, -0.5, 0, 0, 0, 0, 0,
                                  0,  0, 0, 0, 0,    0,    0,  0,  0,  0,    0,    0, 0, 0, 0, 0};
const double k31GentleMidBoost[] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0.5, 1.5, 3, 5, 5, 3, 1.5, 0.5, 0, 0, 0, 0, 0, 0, 0, 0};
const double k31GentleMidCut[] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                  -0.5, -1.5, -3, -5, -5, -3, -1.5, -0.5, 0, 0, 0, 0, 0, 0, 0, 0};
const double k31Notch[] = {-3,  -18, 18, -18, 18, -18, 18, -18, 18, -18, 18, -18, 18, -18, 18, -18,
                           18, -18, 18, -18, 18, -18, 18, -18, 18, -18, 18, -18, 18, -18, 18, -18};
const double k31Premaster[] = {0, 0, 0, 0, 0, 0, 2.4, 0.8, 2.8, 0, 0, 0, -2.4, -2.4, 0, 0,
                               0, 0, 1.6, 2, 0, 1.6, 0, 0, 3.2, 0, 0, 2.4, 0, 2.8, 3.2, 2.8};
const double k31PrePhoneCut[] = {0,   -5, -5,   -7.6, -4.8, -4, -1.6, -4, -5.6, -8, -4, -2.4, -4, -6.4, -1.6, 0,
                                 0,   0,  0.8,  0,    0,    0,  0,    0,  0.8,  0,  -1.2, 0,  0,  0.4,  0,    0};
const double k31PresentDrum[] = {0, 0, 0, 0, 0, 0, 2, 1.6, 0, 0, 0, 0, 0, -1.6, 0, -2.8,
                                 0, 0, -0.45, 0, 0, 0, 0, 2, 0, 0, 0, 0.8, 0, 3.6, 0, 0};
const double k31ShimmerVox[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, -0.4, -1.6, -2, -4, -6.8, -4.9, 0,
                                0, 0, 0, 0, 0, 0, 0, 1.1, 4.2, 1.4, 0.7, 2.5, 3.2, 3.6, 4.4, 0};
const double k31Custom[32] = {};
const EffectPreset kPresets31[] = {
    {"FLAT", k31Flat},
    {"ClassicV", k31ClassicV},
    {"Pop", k31Pop},
    {"Punch&Sparkle", k31PunchSparkle},
    {"HomeTheater", k31HomeTheater},
    {"GentleHiBoost", k31GentleHiBoost},
    {"GentleHiCut", k31GentleHiCut},
    {"GentleLowBoost", k31GentleLowBoost},
    {"GentleLowCut", k31GentleLowCut},
    {"GentleMidBoost", k31GentleMidBoost},
    {"GentleMidCut", k31GentleMidCut},
    {"Notch2/3Oct", k31Notch},
    {"Premaster", k31Premaster},
    {"PrePhoneCut", k31PrePhoneCut},
    {"PresentDrum", k31PresentDrum},
    {"ShimmerVox", k31ShimmerVox},
    {"Custom", k31Custom},
};

template <size_t Bands, size_t Rows>
GeqLayout MakeLayout(const double (&centres)[Bands], double octaves, const char* const (&labels)[Bands],
                     const EffectPreset (&presets)[Rows]) {
    return GeqLayout{centres, octaves, static_cast<int32_t>(Bands), labels, presets, static_cast<int32_t>(Rows)};
}

// A shelf corner exactly at half the sample rate (the top band at 8000, 16000,
// 25000, 32000 or 40000 Hz) would need tan(pi/2): K is then ~1e16, both poles
// land on z = -1 and the section is marginally stable with its gain change
// rounded away. Such a corner is moved to 0.49 fs, where the poles sit at
// radius ~0.96 and the shelf still reaches its full gain V at half the sample
// rate. Every corner below half the rate keeps the bilinear design unchanged.
constexpr double kHalfRateShelfCorner = 0.49;

double ShelfPrewarp(double centre, double fs) {
    const double corner = centre >= 0.5 * fs ? kHalfRateShelfCorner * fs : centre;
    return std::tan(M_PI * corner / fs);
}

// One section in transposed direct form II over n samples: two memories per
// section, good rounding for poles close to the unit circle.
void RunSection(const double* c, double* z, const double* in, double* out, int32_t n) {
    const double b0 = c[0], b1 = c[1], b2 = c[2], a1 = c[4], a2 = c[5];
    double z0 = z[0], z1 = z[1];
    for (int32_t f = 0; f < n; ++f) {
        const double x = in[f];
        const double y = b0 * x + z0;
        z0 = b1 * x + z1 - a1 * y;
        z1 = b2 * x - a2 * y;
        out[f] = y;
    }
    z[0] = z0;
    z[1] = z1;
}

// Two sections in cascade (coefficients c and d, memories z and w).
void RunSectionPair(const double* c, double* z, const double* d, double* w2, const double* in, double* out,
                    int32_t n) {
    const double p0 = c[0], p1 = c[1], p2 = c[2], q1 = c[4], q2 = c[5];
    const double r0 = d[0], r1 = d[1], r2 = d[2], s1 = d[4], s2 = d[5];
    double u0 = z[0], u1 = z[1], v0 = w2[0], v1 = w2[1];
    for (int32_t f = 0; f < n; ++f) {
        const double x = in[f];
        const double y = p0 * x + u0;
        u0 = p1 * x + u1 - q1 * y;
        u1 = p2 * x - q2 * y;
        const double w = r0 * y + v0;
        v0 = r1 * y + v1 - s1 * w;
        v1 = r2 * y - s2 * w;
        out[f] = w;
    }
    z[0] = u0;
    z[1] = u1;
    w2[0] = v0;
    w2[1] = v1;
}

constexpr int32_t kMaxBands = 31;   // the largest layout

// A section at 0 dB whose numerator equals its denominator, at rest, gives
// its input back exactly and stays at rest (y = x + 0, and b1 x - a1 y = 0):
// running it would change nothing.
bool PassesExactly(const double* c, const double* z) {
    return c[0] == 1.0 && c[1] == c[4] && c[2] == c[5] && z[0] == 0.0 && z[1] == 0.0;
}

}  // namespace

GeqLayout GeqLayoutFor(int32_t bandCount) {
    switch (bandCount) {
        case 3: return MakeLayout(kCentres3, 2.661, kLabels3, kPresets3);
        case 15: return MakeLayout(kCentres15, 0.6666666666666666, kLabels15, kPresets15);
        case 20: return MakeLayout(kCentres20, 0.5, kLabels20, kPresets20);
        case 31: return MakeLayout(kCentres31, 0.3333333333333333, kLabels31, kPresets31);
        default: return MakeLayout(kCentres10, 1.0, kLabels10, kPresets10);
    }
}

GraphicEq::GraphicEq(double sampleRate, int32_t channels, int32_t bandCount)
    : GraphicEq(sampleRate, channels, GeqLayoutFor(bandCount)) {}

GraphicEq::GraphicEq(double sampleRate, int32_t channels, const GeqLayout& layout)
    : ChannelEffect(channels, 5000),
      sampleRate(sampleRate),
      bandwidthOctaves(layout.bandwidthOctaves),
      activeBands(layout.bandCount),
      bandCount(layout.bandCount),
      knobs(static_cast<size_t>(layout.bandCount)) {
    // Every band keeps its knob, also one the sample rate leaves inactive.
    for (int32_t b = 0; b < bandCount; ++b) {
        KnobSpec& k = knobs[b];
        std::strncpy(k.label, layout.labels[b], sizeof(k.label) - 1);
        k.startValue = 18.0;
        k.endValue = -18.0;
        k.defaultValue = 0.0;
    }
    ServeTables(knobs.data(), bandCount, layout.presets, layout.presetCount);
    // Bands above half the sample rate cannot be represented; a band exactly
    // at half the rate stays (as the top shelf).
    for (int32_t b = 0; b < bandCount; ++b) {
        if (layout.centres[b] > 0.5 * sampleRate) {
            activeBands = b;
            break;
        }
    }
    // What each knob does depends on the kind of section its band got.
    for (int32_t b = 0; b < bandCount; ++b) {
        KnobSpec& k = knobs[b];
        k.unit = "dB";
        if (b >= activeBands)
            k.help = "This band lies above half the sample rate: at this rate it has nothing to act on.";
        else if (b == 0)
            k.help = "Gain of everything below the corner frequency on the label, in dB (a low shelf): up boosts, "
                     "down cuts, 0 leaves it flat.";
        else if (b == activeBands - 1)
            k.help = "Gain of everything above the corner frequency on the label, in dB (a high shelf): up "
                     "boosts, down cuts, 0 leaves it flat.";
        else
            k.help = "Gain of the band around the frequency on the label, in dB: up boosts, down cuts, 0 leaves "
                     "it flat.";
    }
    const size_t a = static_cast<size_t>(activeBands);
    storage.assign(a * (2 * static_cast<size_t>(channels) + 8), 0.0);
    coefficients = storage.data();
    state = coefficients + 6 * a;
    gainsDb = state + 2 * a * channels;
    centres = gainsDb + a;
    std::copy(layout.centres, layout.centres + activeBands, centres);
    DesignSections();
}

void GraphicEq::SetParameters(const double* values) {
    // Knobs of bands above half the sample rate have nothing to act on.
    std::copy(values, values + activeBands, gainsDb);
    coefficientsStale = true;
}

int32_t GraphicEq::Reset() {
    std::fill(state, state + 2 * activeBands * channels, 0.0);
    return EffectProcessor::Reset();
}

double GraphicEq::ResponseDb(double hz) const {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * hz / sampleRate);
    const std::complex<double> z2 = z1 * z1;
    double db = 0.0;
    for (int32_t b = 0; b < activeBands; ++b) {
        const double* c = coefficients + 6 * b;
        db += 20.0 * std::log10(std::abs((c[0] + c[1] * z1 + c[2] * z2) / (c[3] + c[4] * z1 + c[5] * z2)));
    }
    return db;
}

void GraphicEq::DesignSections() {
    const double fs = sampleRate;
    const int32_t last = activeBands - 1;
    if (activeBands <= 0) return;

    // Low shelf on band 0 (RBJ-style bilinear shelf, Butterworth corner);
    // one formula covers boost and cut, gain V at 0 Hz.
    {
        double* c = coefficients;
        const double K = ShelfPrewarp(centres[0], fs);
        const double V = std::pow(10.0, gainsDb[0] * 0.05);
        const double K2 = K * K;
        const double D = V + std::sqrt(2.0 * V) * K + K2;
        c[0] = V * (1.0 + M_SQRT2 * K + K2) / D;
        c[1] = 2.0 * V * (K2 - 1.0) / D;
        c[2] = V * (1.0 - M_SQRT2 * K + K2) / D;
        c[3] = 1.0;
        c[4] = 2.0 * (K2 / V - 1.0) * V / D;
        c[5] = (1.0 - std::sqrt(2.0 / V) * K + K2 / V) * V / D;
    }

    // Peaking sections: constant Q for the layout's bandwidth in octaves.
    const double B = bandwidthOctaves;
    const double Q = std::pow(2.0, B / 2.0) / (std::pow(2.0, B) - 1.0);
    for (int32_t b = 1; b < last; ++b) {
        double* c = coefficients + 6 * b;
        const double w0 = 2.0 * M_PI * centres[b] / fs;
        const double alpha = std::sin(w0) / (2.0 * Q);
        const double A = std::sqrt(std::pow(10.0, gainsDb[b] * 0.05));
        const double n = 1.0 / (1.0 + alpha / A);
        const double cw = -2.0 * std::cos(w0) * n;
        c[0] = (1.0 + alpha * A) * n;
        c[1] = cw;
        c[2] = (1.0 - alpha * A) * n;
        c[3] = 1.0;
        c[4] = cw;
        c[5] = (1.0 - alpha / A) * n;
    }

    // High shelf on the last active band, gain V at half the sample rate.
    // With a single active band it replaces the low shelf.
    {
        double* c = coefficients + 6 * last;
        const double K = ShelfPrewarp(centres[last], fs);
        const double V = std::pow(10.0, gainsDb[last] * 0.05);
        const double K2 = K * K;
        const double rootV = std::sqrt(2.0 * V) * K;
        const double E = 1.0 + M_SQRT2 * K + K2;
        c[0] = (V + rootV + K2) / E;
        c[1] = 2.0 * (K2 - V) / E;
        c[2] = (V - rootV + K2) / E;
        c[3] = 1.0;
        c[4] = 2.0 * (K2 - 1.0) / E;
        c[5] = (1.0 - M_SQRT2 * K + K2) / E;
    }
}

void GraphicEq::ProcessChannels(int32_t channelMask) {
    if (coefficientsStale) {
        // Redesigned here, on the audio thread, so a gain change lands on a
        // block boundary; the filter memories carry over.
        coefficientsStale = false;
        DesignSections();
    }
    const int32_t frames = InputFrames();
    for (int32_t ch = 0; ch < channels; ++ch) {
        const double* in = InputPlane(ch);
        double* out = OutputPlane(ch);
        if (!ChannelEnabled(channelMask, ch) || activeBands == 0) {
            std::copy(in, in + frames, out);
            continue;
        }
        double* z = state + 2 * activeBands * ch;
        // Flat bands at rest are left out (most of a preset's bands often are).
        int32_t live[kMaxBands];
        int32_t count = 0;
        for (int32_t b = 0; b < activeBands; ++b) {
            live[count] = b;
            count += !PassesExactly(coefficients + 6 * b, z + 2 * b);
        }
        const double* source = in;
        int32_t i = 0;
        // Two sections per pass: each section's recursion is a serial chain,
        // so running the pair in one loop lets the second section work on
        // sample n while the first already computes n + 1. The arithmetic of
        // each section is unchanged.
        for (; i + 1 < count; i += 2) {
            const int32_t b = live[i], d = live[i + 1];
            RunSectionPair(coefficients + 6 * b, z + 2 * b, coefficients + 6 * d, z + 2 * d, source, out, frames);
            source = out;
        }
        if (i < count) {
            RunSection(coefficients + 6 * live[i], z + 2 * live[i], source, out, frames);
            source = out;
        }
        if (source == in) std::copy(in, in + frames, out);
    }
}

}  // namespace orve
