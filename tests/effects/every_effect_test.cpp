// What every effect of the catalogue must do, whatever it is: consistent
// tables, any stream format, silence kept silent, switched-off channels left
// alone, the stream independent of the block sizes (identity where a setting
// asks for none: audio_path_levels_test.cpp, bit for bit through the path).
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/embedded_kernels.h"
#include "plugin/effect_factory.h"
#include "support/test_signals.h"

namespace orve {
namespace {

std::vector<EffectId> Everything() {
    std::vector<EffectId> ids;
    for (int32_t n = 0; n < kEffectCount; ++n) ids.push_back(static_cast<EffectId>(n));
    return ids;
}

// Output stream j is input stream j, bit for bit whatever the blocks, for
// these: per-sample filters and the frame-based effects. The convolution
// effects are aligned too, but add their partition levels' outputs in an order
// that follows the blocks (their own tests hold them to the direct
// convolution); the tempo scaler and resampler change the length.
bool StreamAligned(EffectId id) {
    switch (id) {
        case EffectId::SampleReverb: case EffectId::ModalReverb: case EffectId::Virtual3D:
        case EffectId::Resampler: case EffectId::TempoScaler:
            return false;
        default: return true;
    }
}

TEST(EveryEffect, TablesAreConsistent) {
    for (const EffectEntry& entry : OfferedEffects()) {
        SCOPED_TRACE(entry.Text());
        const auto effect = test::BuildAtDefaults(entry.id, 2);
        KnobSpec knobs[kMaxKnobs];
        const int32_t count = effect->DescribeKnobs(knobs);
        ASSERT_LE(count, 31);
        std::set<std::string> labels;
        for (int32_t k = 0; k < count; ++k) {
            const KnobSpec& knob = knobs[k];
            EXPECT_TRUE(labels.insert(knob.label).second) << "label " << knob.label;
            EXPECT_NE(knob.startValue, knob.endValue) << knob.label;
            EXPECT_GE(knob.defaultValue, std::min(knob.startValue, knob.endValue)) << knob.label;
            EXPECT_LE(knob.defaultValue, std::max(knob.startValue, knob.endValue)) << knob.label;
            for (double v : {knob.startValue, knob.endValue}) EXPECT_TRUE(std::isfinite(effect->DisplayValue(k, v)));
        }
        const EffectPreset* presets = nullptr;
        const int32_t rows = effect->GetPresets(&presets);
        // Level Dynamic offers its table but counts no user's row.
        EXPECT_EQ(effect->PresetCount(), entry.id == EffectId::LevelDynamic ? 0 : rows);
        for (int32_t r = 0; r < rows; ++r) {
            ASSERT_NE(presets[r].name, nullptr);
            for (int32_t k = 0; k < count; ++k) {
                const double v = presets[r].values[k + 1];
                EXPECT_GE(v, std::min(knobs[k].startValue, knobs[k].endValue)) << presets[r].name << " " << k;
                EXPECT_LE(v, std::max(knobs[k].startValue, knobs[k].endValue)) << presets[r].name << " " << k;
            }
        }
    }
}

TEST(EveryEffect, AnyChannelCountRunsAndSilenceStaysSilent) {
    for (EffectId id : Everything()) {
        for (int32_t channels : {1, 2, 3, 6, 8}) {
            SCOPED_TRACE(std::string(EffectText(id)) + ", " + std::to_string(channels) + " channels");
            auto effect = test::BuildAtDefaults(id, channels);
            // An odd block size leaves partial frames; every channel switched on.
            const std::vector<double> quiet(channels * 9000, 0.0);
            const auto silence = test::RunBlocks(*effect, quiet, channels, 333, 0xff);
            for (double v : silence) ASSERT_EQ(v, 0.0);
            const auto noise = test::Noise(channels * 9000, 8000.0, channels);
            const auto out = test::RunBlocks(*effect, noise, channels, 333, 0xff);
            ASSERT_EQ(out.size() % channels, 0u);
            for (double v : out) ASSERT_TRUE(std::isfinite(v));
        }
    }
}

// Channel c is processed when (c + 1) AND mask is non-zero: L alone, R alone,
// and the fourth channel of a wider stream under L and R pass untouched (the
// effects that work on the pair as a whole aside). The effects that hold state
// for a pair of channels only (a detector, a canceller, two ears or two room
// responses) pass every further channel untouched, bit for bit.
TEST(EveryEffect, SwitchedOffChannelsAndChannelsBeyondAPairPassUntouched) {
    const struct {
        int32_t channels, mask, off;
    } cases[] = {{2, 1, 1}, {2, 2, 0}, {4, 3, 3}, {3, 0xff, 2}, {6, 0xff, 2}};
    for (const EffectEntry& entry : OfferedEffects()) {
        const bool pairOnly = entry.id == EffectId::LevelDynamic || entry.id == EffectId::DeHum ||
                              entry.id == EffectId::SampleReverb || entry.id == EffectId::Virtual3D;
        for (const auto& c : cases) {
            const bool beyond = c.mask == 0xff;
            if (beyond ? !pairOnly : entry.passOnly) continue;
            SCOPED_TRACE(::testing::Message() << entry.Text() << ", " << c.channels << " channels, mask " << c.mask);
            const auto input = test::Noise(c.channels * 12000, 8000.0, 5);
            auto effect = test::BuildAtDefaults(entry.id, c.channels);
            const auto out = test::RunBlocks(*effect, input, c.channels, 576, c.mask);
            ASSERT_GT(out.size(), input.size() / 2);
            for (int32_t off = c.off; off < (beyond ? c.channels : c.off + 1); ++off)
                EXPECT_LE(test::MaxDifference(out, input, c.channels, off), beyond ? 0.0 : 1e-6) << off;
            if (beyond) {
                EXPECT_GT(test::Rms(out, 0, c.channels, out.size() / c.channels), 100.0);
            }
        }
    }
}

TEST(EveryEffect, BlockSizesDoNotChangeTheStream) {
    const auto input = test::Noise(2 * 20000, 8000.0, 9);
    for (EffectId id : Everything()) {
        if (!StreamAligned(id)) continue;
        SCOPED_TRACE(EffectText(id));
        auto whole = test::BuildAtDefaults(id, 2), small = test::BuildAtDefaults(id, 2),
             odd = test::BuildAtDefaults(id, 2);
        const auto reference = test::RunBlocks(*whole, input, 2, 4000);
        for (auto* effect : {small.get(), odd.get()}) {
            const auto out = test::RunBlocks(*effect, input, 2, effect == small.get() ? 37 : 1001);
            const size_t common = std::min(out.size(), reference.size());
            ASSERT_GT(common, input.size() / 2);
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + common, reference.begin()));
        }
    }
}

// Reset starts the stream again: the same input gives the same output. Kept
// across it by design: what DeHum and DeNoise learnt, the resampler's
// converters, Whisper's random sequence; and Virtual3D has no Reset of its own.
TEST(EveryEffect, ResetStartsTheStreamAgain) {
    const auto input = test::Noise(2 * 20000, 5000.0, 6);
    for (EffectId id : Everything()) {
        if (id == EffectId::DeHum || id == EffectId::DeNoise || id == EffectId::Resampler || id == EffectId::Whisper ||
            id == EffectId::Virtual3D)
            continue;
        SCOPED_TRACE(EffectText(id));
        auto effect = test::BuildAtDefaults(id, 2);
        const auto first = test::RunBlocks(*effect, input, 2, 576);
        EXPECT_EQ(effect->Reset(), 0);
        EXPECT_EQ(effect->ExtraOutput(), 0);
        EXPECT_EQ(test::RunBlocks(*effect, input, 2, 576), first);
    }
}

// The effects that play embedded impulse responses: a set that is absent or
// shorter than its layout is reported once and the effect stays silent
// rather than reading past it; the whole set is not reported.
TEST(EveryEffect, AMissingKernelSetIsReportedAndSilent) {
    struct Sink : ErrorSink {
        std::vector<std::string> messages;
        void ShowError(const char* text) override { messages.emplace_back(text); }
    };
    struct CutSource : KernelSource {
        bool present = true;
        size_t cut = 0;
        const int16_t* Find(int32_t id, size_t* count) override {
            static EmbeddedKernels whole;
            const int16_t* data = whole.Find(id, count);
            *count -= cut;
            return present ? data : nullptr;
        }
    };
    for (EffectId id : {EffectId::SampleReverb, EffectId::Virtual3D}) {
        for (const auto& [present, cut] : {std::pair<bool, size_t>{false, 0}, {true, 1}, {true, 0}}) {
            SCOPED_TRACE(std::string(EffectText(id)) + (present ? " cut by " + std::to_string(cut) : " absent"));
            Sink sink;
            CutSource source;
            source.present = present;
            source.cut = cut;
            auto effect = MakeEffect(id, EffectBuildContext{44100, 2, &source, &sink});
            if (present && cut == 0) {
                EXPECT_TRUE(sink.messages.empty());
                continue;
            }
            ASSERT_EQ(sink.messages, std::vector<std::string>{kKernelFileMissed});
            const double room = 3.0;   // a room change must not reach for the data either
            if (id == EffectId::SampleReverb) effect->SetParameters(&room);
            const auto out = test::RunBlocks(*effect, test::Noise(2 * 576 * 6, 10000.0, 1), 2, 576);
            EXPECT_EQ(test::Rms(out), 0.0);
        }
    }
}

}  // namespace
}  // namespace orve
