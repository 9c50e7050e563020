// End-to-end runs of the built `orve` on files written here with libsndfile.
#include <fcntl.h>
#include <pty.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;
using nlohmann::json;

struct Result {
    int status;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct Audio {
    SF_INFO info{};
    std::vector<int32_t> values;   // on the 32-bit scale, as libsndfile reads ints
    std::vector<int32_t> At(int shift) const {
        std::vector<int32_t> v(values);
        for (auto& x : v) x >>= shift;
        return v;
    }
};

class OrveCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orve-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        config = dir / "config";
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs orve with its settings location inside the temporary directory, so
    // no test ever reads or writes the real user's record. With `terminal`,
    // stderr is a terminal and what orve wrote there comes back as err.
    Result Run(const std::vector<std::string>& args, bool terminal = false) {
        const fs::path outPath = dir / "stdout.txt", errPath = dir / "stderr.txt";
        int master = -1, slave = -1;
        if (terminal && openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {-1, "", "no pty"};
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            dup2(terminal ? slave : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            if (chdir(dir.c_str()) != 0) _exit(127);
            std::vector<char*> argv{const_cast<char*>(ORVE_CLI_PATH)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(ORVE_CLI_PATH, argv.data());
            _exit(127);
        }
        std::string err;
        if (terminal) {
            close(slave);
            // Drained while the child runs: a full terminal buffer would stall it.
            char buffer[4096];
            for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) err.append(buffer, static_cast<size_t>(n));
            close(master);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        Result r{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Slurp(outPath),
                 terminal ? err : Slurp(errPath)};
        fs::remove(outPath);
        fs::remove(errPath);
        return r;
    }

    // A 16-bit file (or another format) from values on the 16-bit scale.
    fs::path Write(const std::string& name, int channels, const std::vector<int16_t>& values,
                   int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int rate = 44100) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        const fs::path path = dir / name;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        sf_writef_short(f, values.data(), static_cast<sf_count_t>(values.size() / channels));
        sf_close(f);
        return path;
    }

    Audio Read(const fs::path& path) {
        Audio a;
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a.info);
        EXPECT_NE(f, nullptr) << path;
        if (!f) return a;
        a.values.resize(static_cast<size_t>(a.info.frames * a.info.channels));
        sf_readf_int(f, a.values.data(), a.info.frames);
        sf_close(f);
        return a;
    }

    // Files in the directory other than those a test made: a run must leave
    // no temporary or partial output behind.
    std::vector<std::string> Entries() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
    fs::path config;
};

// A stereo ramp-like test signal with distinct left and right values.
std::vector<int16_t> Stereo(int frames) {
    std::vector<int16_t> v(2 * frames);
    for (int f = 0; f < frames; ++f) {
        v[2 * f] = static_cast<int16_t>(8000.0 * std::sin(0.05 * f));
        v[2 * f + 1] = static_cast<int16_t>(-5000.0 * std::sin(0.031 * f + 1.0));
    }
    return v;
}

int32_t Scaled(int32_t x, double db) { return static_cast<int32_t>(std::nearbyint(x * std::pow(10.0, db * 0.05))); }

// Steady tones below 2 kHz, different on the two channels, after `leadFrames`
// of silence: nothing a sibilance or hiss remover acts on.
std::vector<int16_t> Tones(int frames, int leadFrames = 0) {
    std::vector<int16_t> v(2 * frames, 0);
    for (int f = leadFrames; f < frames; ++f) {
        const double t = f / 44100.0;
        v[2 * f] = static_cast<int16_t>(6000.0 * std::sin(2 * M_PI * 440.0 * t) + 2000.0 * std::sin(2 * M_PI * 1234.0 * t));
        v[2 * f + 1] = static_cast<int16_t>(5000.0 * std::sin(2 * M_PI * 660.0 * t + 1.0) +
                                            1500.0 * std::sin(2 * M_PI * 173.0 * t));
    }
    return v;
}

// RMS of output minus input on one channel over frames [first, end),
// relative to the input's: small only when the output is the input, sample
// for sample (a shift of even one sample of these tones leaves a large residue).
double Residual(const std::vector<int16_t>& in, const std::vector<int32_t>& out, int channel, int first, int end) {
    double diff = 0.0, power = 0.0;
    for (int f = first; f < end; ++f) {
        const double d = out[2 * f + channel] - in[2 * f + channel];
        diff += d * d;
        power += static_cast<double>(in[2 * f + channel]) * in[2 * f + channel];
    }
    return std::sqrt(diff / power);
}

// ---------------------------------------------------------------------------
// Catalogue inspection

TEST_F(OrveCli, ListShowsTheTwentyTwoSelectableEffects) {
    const Result text = Run({"list"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 22);
    EXPECT_NE(text.out.find(" 4  \xE2\x97\x86Restoration-DeNoise\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(" 0  \xE2\x97\x87Level Tuning\n"), std::string::npos);
    EXPECT_EQ(text.out.find("ASImpact"), std::string::npos);

    const Result js = Run({"list", "--json"});
    ASSERT_EQ(js.status, 0);
    const json list = json::parse(js.out);
    ASSERT_EQ(list.size(), 22u);
    EXPECT_EQ(list[8]["text"], "GEQ-10 Bands 1    Oct");
    EXPECT_EQ(list[21]["name"], "\xE2\x97\x86" "Distortion-Whisper");
}

TEST_F(OrveCli, DescribeFindsEffectsByIdNameOrBareName) {
    // An id, the name with or without its family prefix or the list's
    // diamond, in any case, spaces optional, or a unique beginning of a name.
    const std::pair<std::string, int> found[] = {
        {"4", 4},      {"Restoration-DeNoise", 4}, {"DENOISE", 4},  {" restoration-denoise ", 4},
        {"\xE2\x97\x86Restoration-DeNoise", 4},   {"geq-10bands1oct", 8}, {"tempo", 18}, {"geq-31", 11},
        {"dehu", 6}};
    for (const auto& [text, id] : found) {
        const Result r = Run({"describe", text, "--json"});
        ASSERT_EQ(r.status, 0) << text << ": " << r.err;
        EXPECT_EQ(json::parse(r.out)["id"], id) << text;
    }
    const Result ambiguous = Run({"describe", "geq"});
    EXPECT_NE(ambiguous.status, 0);
    EXPECT_NE(ambiguous.err.find("ambiguous"), std::string::npos) << ambiguous.err;
}

TEST_F(OrveCli, DescribeShowsKnobsAsTheWindowPrintsThem) {
    const Result r = Run({"describe", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json all = json::parse(r.out);
    ASSERT_EQ(all.size(), 22u);
    // Level Dynamic reports its six rows but no user's row.
    EXPECT_EQ(all[1]["presetCount"], 0);
    EXPECT_EQ(all[1]["presets"].size(), 6u);
    // What the help page and the window's users read: the effect's paragraph,
    // and for every knob its unit and a sentence on what it does.
    for (const auto& d : all) {
        EXPECT_GT(d["description"].get<std::string>().size(), 40u) << d["text"];
        for (const auto& k : d["knobs"]) {
            const std::string help = k["help"].get<std::string>();
            EXPECT_GT(help.size(), 30u) << d["text"] << " " << k["label"];
            EXPECT_EQ(help.back(), '.') << d["text"] << " " << k["label"];
            EXPECT_TRUE(k["unit"].is_string()) << d["text"] << " " << k["label"];
        }
    }
    // Knobs holding a logarithm show the factor: 3^v for the pitch ratio,
    // 2^v for the tempo.
    for (const auto& [id, base] : std::vector<std::pair<int, double>>{{19, 3.0}, {18, 2.0}}) {
        const auto& k = all[id]["knobs"][0];
        EXPECT_NEAR(k["startShown"].get<double>(), std::pow(base, k["start"].get<double>()), 1e-9) << id;
        EXPECT_NEAR(k["defaultShown"].get<double>(), std::pow(base, k["default"].get<double>()), 1e-9) << id;
    }
    const Result text = Run({"describe"});
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Level Tuning"), std::string::npos);
    EXPECT_NE(text.out.find("Sets the output level only"), std::string::npos);
    EXPECT_NE(text.out.find("Strength of de-essing"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Processing: what ModifySamples does to the samples, end to end

// The gain lands where the channel switches say, on the samples' own scale,
// clipped at the integer limits; a mono stream has the one switch PASS, and a
// wider one follows the plug-in's rule (channel c when (c + 1) AND mask).
TEST_F(OrveCli, GainAppliesWhereTheChannelSwitchesSay) {
    const auto stereo = Stereo(3000);
    std::vector<int16_t> eight(8 * 100);
    for (size_t i = 0; i < eight.size(); ++i) eight[i] = static_cast<int16_t>(i * 7 - 2000);
    const std::vector<int16_t> loud{20000, -20000, 32767, -32768, 100, -100};
    const std::vector<int16_t> mono{1000, -2000, 3000, -4000, 5000};
    const struct {
        int channels;
        const std::vector<int16_t>* in;
        std::string switches;
        int mask;
    } cases[] = {{2, &stereo, "LR", 3}, {2, &stereo, "L", 1}, {2, &stereo, "r", 2}, {2, &stereo, "PASS", 0},
                 {2, &loud, "LR", 3},   {1, &mono, "L", 1},     {1, &mono, "R", 1},   {1, &mono, "PASS", 0},
                 {8, &eight, "LR", 3}};
    for (const auto& c : cases) {
        Write("in.wav", c.channels, *c.in, (c.channels > 2 ? SF_FORMAT_WAVEX : SF_FORMAT_WAV) | SF_FORMAT_PCM_16);
        const Result r = Run({"process", "in.wav", "out.wav", "-e", "Level Tuning", "-g", "6", "-c", c.switches});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        const Audio out = Read(dir / "out.wav");
        ASSERT_EQ(out.info.channels, c.channels);
        const auto got = out.At(16);
        ASSERT_EQ(got.size(), c.in->size());
        for (size_t i = 0; i < got.size(); ++i) {
            const int32_t x = (*c.in)[i];
            const int32_t scaled = std::clamp(Scaled(x, 6.0), -32768, 32767);
            ASSERT_EQ(got[i], ((static_cast<int>(i % c.channels) + 1) & c.mask) ? scaled : x)
                << c.channels << " channels, " << c.switches << ", value " << i;
        }
    }
}

TEST_F(OrveCli, PassThroughKeepsLengthAlignmentRateAndContainer) {
    // 12345 frames: not a multiple of any block size used.
    const auto in = Stereo(12345);
    Write("in.aiff", 2, in, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 22050);
    for (const std::string block : {"1", "576", "1000", "20000"}) {
        const Result r = Run({"process", "in.aiff", "out.aiff", "-e", "0", "--block", block});
        ASSERT_EQ(r.status, 0) << r.err;
        const Audio out = Read(dir / "out.aiff");
        EXPECT_EQ(out.info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_AIFF);
        EXPECT_EQ(out.info.samplerate, 22050);
        ASSERT_EQ(out.info.frames, 12345) << block;
        EXPECT_EQ(out.At(16), std::vector<int32_t>(in.begin(), in.end())) << "block " << block;
    }
}

TEST_F(OrveCli, TailAppendsSilenceAfterTheInput) {
    const auto in = Stereo(4410);
    Write("in.wav", 2, in);
    const Result r = Run({"process", "in.wav", "out.wav", "-e", "0", "--tail", "0.25"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio out = Read(dir / "out.wav");
    ASSERT_EQ(out.info.frames, 4410 + 11025);
    const auto got = out.At(16);
    EXPECT_TRUE(std::equal(in.begin(), in.end(), got.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + in.size(), got.end(), [](int32_t v) { return v == 0; }));
}

TEST_F(OrveCli, BitsSetsTheWidthTheAudioPathRunsAt) {
    const auto in = Stereo(2000);
    Write("in.wav", 2, in);

    // 8 bits: the 16-bit samples are cut to their top byte, WAV stores it unsigned.
    ASSERT_EQ(Run({"process", "in.wav", "o8.wav", "-e", "0", "--bits", "8"}).status, 0);
    const Audio o8 = Read(dir / "o8.wav");
    EXPECT_EQ(o8.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
    const auto got8 = o8.At(24);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(got8[i], in[i] >> 8) << i;

    // 32 bits: full resolution, gain applied on the 32-bit scale.
    ASSERT_EQ(Run({"process", "in.wav", "o32.wav", "-e", "0", "--bits", "32", "-g", "-6"}).status, 0);
    const Audio o32 = Read(dir / "o32.wav");
    EXPECT_EQ(o32.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_32);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(o32.values[i], Scaled(in[i] * 65536, -6.0)) << i;

    // 8-bit output in a container whose 8-bit PCM is signed.
    Write("in.aiff", 2, in, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    ASSERT_EQ(Run({"process", "in.aiff", "o8.aiff", "-e", "0", "--bits", "8"}).status, 0);
    EXPECT_EQ(Read(dir / "o8.aiff").info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_S8);
}

TEST_F(OrveCli, ContainersWithoutTheWidthKeepTheirOwnEncoding) {
    const auto in = Stereo(3000);
    Write("in.flac", 2, in, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    // FLAC has no 32-bit PCM: the audio path runs at 32 bits, the file stays 16-bit.
    const Result r = Run({"process", "in.flac", "out.flac", "-e", "0", "--bits", "32"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio out = Read(dir / "out.flac");
    EXPECT_EQ(out.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(out.At(16), std::vector<int32_t>(in.begin(), in.end()));
}

TEST_F(OrveCli, ReplacesAnExistingOutputCompletely) {
    Write("in.wav", 2, Stereo(100));
    Write("out.wav", 2, Stereo(9000));
    ASSERT_EQ(Run({"process", "in.wav", "out.wav", "-e", "0"}).status, 0);
    EXPECT_EQ(Read(dir / "out.wav").info.frames, 100);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST_F(OrveCli, SpectralEffectsAtIdentityGiveTheInputSampleAligned) {
    // Frame-based effects hold N - hop samples back; the host feeds silence
    // at the end until all of the input has come out, and the file must be
    // the input's length with sample j of the output made from sample j of
    // the input.
    const int frames = 44100 + 777;
    const auto in = Tones(frames);
    Write("in.wav", 2, in);
    const std::vector<std::vector<std::string>> identities = {
        {"-e", "whisper", "--knob", "Wet=0"},
        {"-e", "pitchscaler", "--knob", "Pitch=0"},
        {"-e", "deess"},
    };
    for (const auto& effect : identities) {
        std::vector<std::string> args = {"process", "in.wav", "out.wav", "--block", "1000"};
        args.insert(args.end(), effect.begin(), effect.end());
        const Result r = Run(args);
        ASSERT_EQ(r.status, 0) << effect[1] << ": " << r.err;
        const Audio out = Read(dir / "out.wav");
        ASSERT_EQ(out.info.frames, frames) << effect[1];
        const auto got = out.At(16);
        for (int channel : {0, 1})
            EXPECT_LT(Residual(in, got, channel, 2000, frames - 2000), 0.01) << effect[1] << " channel " << channel;
    }
}

TEST_F(OrveCli, DeNoiseLearnsFromTheStartAndAgainAtEverySnap) {
    // 0.3 s of silence to learn from, then tones: a profile of silence
    // removes nothing, so after learning the output is the input, aligned.
    const int frames = 2 * 44100;
    const auto in = Tones(frames, 13230);
    Write("in.wav", 2, in);
    auto quiet = [](const std::vector<int32_t>& v, double from, double to) {
        int32_t peak = 0;
        for (int f = static_cast<int>(from * 44100); f < static_cast<int>(to * 44100); ++f)
            peak = std::max({peak, std::abs(v[2 * f]), std::abs(v[2 * f + 1])});
        return peak;
    };

    const Result plain = Run({"process", "in.wav", "plain.wav", "-e", "denoise"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const Audio p = Read(dir / "plain.wav");
    ASSERT_EQ(p.info.frames, frames);
    const auto once = p.At(16);
    EXPECT_EQ(quiet(once, 0.0, 0.15), 0);   // learning: muted
    EXPECT_LT(Residual(in, once, 0, 22050, frames - 2000), 0.05);
    EXPECT_GT(quiet(once, 1.0, 1.2), 3000);

    // Two snaps restart learning twice: the output mutes again after each
    // (V samples of the stream are dropped at each snap, so the muted stretch
    // begins slightly before the snap time), and what is learned now is the
    // tones themselves, which are then taken out.
    const Result snapped =
        Run({"process", "in.wav", "snap.wav", "-e", "denoise", "--snap-noise", "1.5", "--snap-noise", "0.8"});
    ASSERT_EQ(snapped.status, 0) << snapped.err;
    EXPECT_TRUE(snapped.err.empty()) << snapped.err;
    const Audio s = Read(dir / "snap.wav");
    ASSERT_EQ(s.info.frames, frames);
    const auto twice = s.At(16);
    EXPECT_EQ(quiet(twice, 0.80, 0.90), 0);
    EXPECT_EQ(quiet(twice, 1.50, 1.60), 0);
    EXPECT_LT(quiet(twice, 1.1, 1.4), quiet(once, 1.1, 1.4) / 4);
    EXPECT_EQ(quiet(twice, 0.5, 0.7), quiet(once, 0.5, 0.7));

    // On another effect the option is reported, not silently dropped.
    const Result other = Run({"process", "in.wav", "other.wav", "-e", "0", "--snap-noise", "0.5"});
    ASSERT_EQ(other.status, 0) << other.err;
    EXPECT_NE(other.err.find("warning"), std::string::npos) << other.err;
}

TEST_F(OrveCli, ProgressBarOnlyOnATerminal) {
    Write("in.wav", 2, Stereo(44100));
    const Result shown = Run({"process", "in.wav", "out.wav", "-e", "0", "--block", "100"}, true);
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.err.find("100%"), std::string::npos) << shown.err;
    EXPECT_TRUE(shown.out.empty());
    EXPECT_EQ(Read(dir / "out.wav").info.frames, 44100);
    // Redirected, stderr stays empty (see the Level Tuning case above).
    const Result hidden = Run({"process", "in.wav", "out2.wav", "-e", "0", "--block", "100"});
    ASSERT_EQ(hidden.status, 0);
    EXPECT_TRUE(hidden.err.empty()) << hidden.err;
}

// ---------------------------------------------------------------------------
// Failures: one line, a non-zero status, no output, the input untouched

TEST_F(OrveCli, EveryErrorIsOneLineAndLeavesNoOutput) {
    Write("in.wav", 2, Stereo(3000));
    Write("nine.wav", 9, std::vector<int16_t>(9 * 10, 5), SF_FORMAT_WAVEX | SF_FORMAT_PCM_16);
    std::ofstream(dir / "text.wav") << "not audio at all, just text";
    fs::create_directory(dir / "adir");
    fs::create_symlink(dir / "in.wav", dir / "link.wav");
    // A file without read permission (root reads it regardless, so only
    // other users can see this case fail).
    Write("locked.wav", 2, Stereo(100));
    fs::permissions(dir / "locked.wav", fs::perms::none);
    const std::string inBytes = Slurp(dir / "in.wav");
    const auto before = Entries();

    std::vector<std::vector<std::string>> cases = {
        {"process", "missing.wav", "out.wav", "-e", "0"},
        {"process", "text.wav", "out.wav", "-e", "0"},
        {"process", "adir", "out.wav", "-e", "0"},
        {"process", "nine.wav", "out.wav", "-e", "0"},
        {"process", "in.wav", "out.wav", "-e", "nosuch"},
        {"process", "in.wav", "out.wav", "-e", "22"},
        {"process", "in.wav", "out.wav", "-e", "0", "--preset", "Custom"},
        {"process", "in.wav", "out.wav", "-e", "0", "--knob", "Gain=1"},
        {"process", "in.wav", "out.wav", "-e", "0", "--knob", "novalue"},
        {"process", "in.wav", "out.wav", "-e", "denoise", "--preset", "nosuch"},
        {"process", "in.wav", "out.wav", "-e", "denoise", "--knob", "Nosuch=1"},
        {"process", "in.wav", "out.wav", "-e", "denoise", "--knob", "Thresh=1.5"},
        {"process", "in.wav", "out.wav", "-e", "denoise", "--knob", "Thresh=-0.1"},
        {"process", "in.wav", "out.wav", "-e", "denoise", "--knob", "Thresh=half"},
        {"process", "in.wav", "out.wav", "-e", "denoise", "--snap-noise", "-1"},
        {"process", "in.wav", "in.wav", "-e", "0"},
        {"process", "in.wav", "./in.wav", "-e", "0"},
        {"process", "in.wav", "../" + dir.filename().string() + "/in.wav", "-e", "0"},
        {"process", "in.wav", "link.wav", "-e", "0"},
        {"process", "in.wav", "adir", "-e", "0"},
        {"process", "in.wav", "nodir/out.wav", "-e", "0"},
        {"process", "in.wav", "out.wav", "-e", "0", "--block", "0"},
        {"process", "in.wav", "out.wav", "-e", "0", "--block", "-5"},
        {"process", "in.wav", "out.wav", "-e", "0", "--block", "many"},
        {"process", "in.wav", "out.wav", "-e", "0", "--bits", "24"},
        {"process", "in.wav", "out.wav", "-e", "0", "--channels", "LEFT"},
        {"process", "in.wav", "out.wav", "-e", "0", "--gain-db", "61"},
        {"process", "in.wav", "out.wav", "-e", "0", "--tail", "-1"},
        {"process", "in.wav", "out.wav"},
        {"process", "in.wav"},
        {"describe", "nosuch"},
        {"frobnicate"},
    };
    if (geteuid() != 0) cases.push_back({"process", "locked.wav", "out.wav", "-e", "0"});
    for (const auto& args : cases) {
        std::string line;
        for (const auto& a : args) line += a + " ";
        const Result r = Run(args);
        EXPECT_NE(r.status, 0) << line;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << line << "-> " << r.err;
        EXPECT_EQ(r.err.rfind("orve: ", 0), 0u) << line << "-> " << r.err;
        EXPECT_TRUE(r.out.empty()) << line;
        EXPECT_EQ(Entries(), before) << line;
        EXPECT_EQ(Slurp(dir / "in.wav"), inBytes) << line;
    }
}

// ---------------------------------------------------------------------------
// The settings record

TEST_F(OrveCli, RememberSavesTheRecordAndPlainRunsDoNot) {
    Write("in.wav", 2, Stereo(1000));
    const fs::path record = config / "orve-studio" / "ORVESETTING";
    ASSERT_EQ(Run({"process", "in.wav", "out.wav", "-e", "0", "-g", "6"}).status, 0);
    EXPECT_FALSE(fs::exists(record));
    const Result none = Run({"settings", "--json"});
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_FALSE(json::parse(none.out)["stored"].get<bool>());

    // A failed run saves nothing either.
    EXPECT_NE(Run({"process", "in.wav", "in.wav", "-e", "0", "--remember"}).status, 0);
    EXPECT_FALSE(fs::exists(record));

    ASSERT_EQ(Run({"process", "in.wav", "out.wav", "-e", "0", "-g", "6", "--remember"}).status, 0);
    ASSERT_TRUE(fs::exists(record));
    const std::string bytes = Slurp(record);
    ASSERT_EQ(bytes.size(), 160u);
    auto slot = [&](int i) {
        uint32_t v = 0;
        for (int b = 0; b < 4; ++b) v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[4 * i + b])) << (8 * b);
        return static_cast<int32_t>(v);
    };
    const int32_t gainPosition =
        static_cast<int32_t>((60.0 - 20.0 * std::log10(std::pow(10.0, 6.0 * 0.05))) * 83.33333333333333);
    EXPECT_EQ(slot(0), gainPosition);
    EXPECT_EQ(slot(39), 0);

    const Result shown = Run({"settings", "--json"});
    ASSERT_EQ(shown.status, 0);
    const json s = json::parse(shown.out);
    EXPECT_TRUE(s["stored"].get<bool>());
    EXPECT_EQ(s["effectId"], 0);
    EXPECT_EQ(s["gainPosition"], gainPosition);
    EXPECT_NEAR(s["gainDb"].get<double>(), 6.0, 0.02);
    const Result text = Run({"settings"});
    EXPECT_NE(text.out.find("Level Tuning"), std::string::npos) << text.out;

    // Looking at the record does not rewrite it.
    EXPECT_EQ(Slurp(record), bytes);
}

TEST_F(OrveCli, SettingsReadLikeThePluginLoadsThem) {
    // A stored effect id the window cannot offer loads as Level Tuning, preset 0.
    fs::create_directories(config / "orve-studio");
    std::string bytes(160, '\0');
    bytes[0] = static_cast<char>(5000 & 0xFF);
    bytes[1] = static_cast<char>(5000 >> 8);
    bytes[38 * 4] = 3;
    bytes[39 * 4] = 22;
    std::ofstream(config / "orve-studio" / "ORVESETTING", std::ios::binary) << bytes;
    const json s = json::parse(Run({"settings", "--json"}).out);
    EXPECT_EQ(s["effectId"], 0);
    EXPECT_EQ(s["presetIndex"], 0);
    EXPECT_EQ(s["slots"][39], 22);
}

// ---------------------------------------------------------------------------
// The demo

TEST_F(OrveCli, DemoWritesTheProgrammeAndEveryCase) {
    const Result r = Run({"demo", "show"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio input = Read(dir / "show" / "input.wav");
    EXPECT_EQ(input.info.channels, 2);
    EXPECT_NEAR(input.info.frames / 44100.0, 6.0, 0.5);
    // Nothing in the programme clips, even after the +6 dB case.
    int32_t peak = 0;
    for (int32_t v : input.At(16)) peak = std::max(peak, std::abs(v));
    EXPECT_LT(peak, 16000);
    EXPECT_GT(peak, 4000);
    EXPECT_EQ(Read(dir / "show" / "level-tuning.wav").info.frames, input.info.frames);
    // A header, one row per case, a blank line and the summary.
    const size_t rows = std::count(r.out.begin(), r.out.end(), '\n') - 3;
    const auto files = std::distance(fs::directory_iterator(dir / "show"), fs::directory_iterator());
    EXPECT_EQ(files, static_cast<long>(rows) + 1);   // and input.wav
    EXPECT_EQ(r.out.find("unexpected"), std::string::npos) << r.out;
}

}  // namespace
