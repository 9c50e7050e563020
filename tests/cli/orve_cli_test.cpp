// End-to-end runs of the built `orve` on files written here with libsndfile.
#include <fcntl.h>
#include <pty.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "analysis/measures.h"

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
    // no test ever reads or writes the real user's record. Stdin and stdout
    // are pipes, as in a shell pipeline; `signalAt` (if given) is sent once
    // a temporary output file has appeared in the directory. With `terminal`,
    // stderr is a terminal instead and stdout a file.
    Result Run(const std::vector<std::string>& args, const std::string& input = "", int signalAt = 0,
               size_t stdoutLimit = std::string::npos, bool terminal = false) {
        const fs::path errPath = dir / "stderr.txt", outPath = dir / "stdout.txt";
        int in[2], out[2], master = -1, slave = -1;
        if (pipe(in) != 0 || pipe(out) != 0) return {-1, "", "no pipe"};
        if (terminal && openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {-1, "", "no pty"};
        const pid_t pid = fork();
        if (pid == 0) {
            const int err = terminal ? slave : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in[0], STDIN_FILENO);
            dup2(terminal ? open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644) : out[1], STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            for (int fd : {in[0], in[1], out[0], out[1], err, master}) close(fd);
            // As a shell starts it (the feeder below ignores SIGPIPE in this process).
            signal(SIGPIPE, SIG_DFL);
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            if (chdir(dir.c_str()) != 0) _exit(127);
            std::vector<char*> argv{const_cast<char*>(ORVE_CLI_PATH)};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(ORVE_CLI_PATH, argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        if (terminal) close(slave);
        std::thread feeder([&] {
            signal(SIGPIPE, SIG_IGN);
            for (size_t done = 0; done < input.size();) {
                const ssize_t n = write(in[1], input.data() + done, input.size() - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            close(in[1]);
        });
        std::thread signaller;
        if (signalAt != 0)
            signaller = std::thread([&] {
                for (int i = 0; i < 3000 && !HasTemporary(); ++i) usleep(1000);
                kill(pid, signalAt);
            });
        // Drained while the child runs: a full pipe or terminal buffer would stall it.
        std::string bytes;
        char buffer[65536];
        const int from = terminal ? master : out[0];
        for (ssize_t n; bytes.size() < stdoutLimit && (n = read(from, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, static_cast<size_t>(n));
        close(out[0]);
        if (terminal) close(master);
        int status = 0;
        waitpid(pid, &status, 0);
        feeder.join();
        if (signaller.joinable()) signaller.join();
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        Result r = terminal ? Result{code, Slurp(outPath), bytes} : Result{code, bytes, Slurp(errPath)};
        fs::remove(errPath);
        fs::remove(outPath);
        return r;
    }

    bool HasTemporary() {
        for (const auto& e : fs::recursive_directory_iterator(dir))
            if (e.path().filename().string().find(".orve-") != std::string::npos) return true;
        return false;
    }

    // A 16-bit file (or another format) from values on the 16-bit scale.
    fs::path Write(const std::string& name, int channels, const std::vector<int16_t>& values,
                   int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int rate = 44100) {
        std::vector<double> v(values.begin(), values.end());
        for (double& x : v) x /= 32768.0;
        return WriteDoubles(name, channels, v, format, rate);
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

    // Any format from values on the +-1 scale, and back.
    fs::path WriteDoubles(const std::string& name, int channels, const std::vector<double>& values, int format,
                          int rate = 44100) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        const fs::path path = dir / name;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        if (!f) return path;
        // Integers exactly: libsndfile scales doubles written to PCM by 2^(n-1) - 1.
        sf_command(f, SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);
        const int bits = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24 ? 24 : 16;
        const bool integer = (format & SF_FORMAT_SUBMASK) != SF_FORMAT_FLOAT && (format & SF_FORMAT_SUBMASK) != SF_FORMAT_DOUBLE;
        std::vector<double> v(values);
        if (integer)
            for (auto& x : v) x = std::nearbyint(x * std::ldexp(1.0, bits - 1));
        else
            sf_command(f, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
        sf_writef_double(f, v.data(), static_cast<sf_count_t>(v.size() / channels));
        sf_close(f);
        return path;
    }

    std::vector<double> ReadDoubles(const fs::path& path, SF_INFO* infoOut = nullptr) {
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        EXPECT_NE(f, nullptr) << path;
        if (!f) return {};
        std::vector<double> v(static_cast<size_t>(info.frames * info.channels));
        sf_readf_double(f, v.data(), info.frames);
        sf_close(f);
        if (infoOut) *infoOut = info;
        return v;
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
        {"dehu", 6}, {"geq-3", 7}};
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
        // Two of the loud samples were at full scale already; two more are now.
        EXPECT_EQ(r.err, c.in == &loud ? "orve: clipped 2 samples (33.3 %)\n" : "") << c.switches;
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

TEST_F(OrveCli, JsonSummaryDescribesTheRun) {
    Write("in.wav", 2, {20000, -20000, 32767, -32768, 100, -100});
    const Result r = Run({"process", "in.wav", "out.wav", "-e", "0", "--gain-db", "6", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json summary = json::parse(r.out);
    EXPECT_EQ(summary["framesIn"], 3);
    EXPECT_EQ(summary["framesOut"], 3);
    EXPECT_EQ(summary["clipped"], 2);
    EXPECT_EQ(summary["latency"], 0);
    EXPECT_NEAR(summary["peak"].get<double>(), 1.0, 1e-4);
    ASSERT_EQ(summary["stages"].size(), 1u);
    const json& stage = summary["stages"][0];
    EXPECT_EQ(stage["effect"]["id"], 0);
    EXPECT_NEAR(stage["gainDb"].get<double>(), 6.0, 1e-9);
    EXPECT_EQ(stage["channels"], "LR");
    // A frame-based effect holds its look-ahead back and says how much.
    const Result ess = Run({"process", "in.wav", "ess.wav", "-e", "deess", "--json"});
    ASSERT_EQ(ess.status, 0) << ess.err;
    EXPECT_GT(json::parse(ess.out)["latency"].get<int>(), 0);

    // Every knob with the value it ran at, the preset by its name.
    const json described = json::parse(Run({"describe", "geq-10", "--json"}).out);
    const std::string preset = described["presets"][1]["name"];
    const Result d = Run({"process", "in.wav", "eq.wav", "-e", "geq-10", "-p", preset, "-c", "r", "--json"});
    ASSERT_EQ(d.status, 0) << d.err;
    const json dn = json::parse(d.out)["stages"][0];
    EXPECT_EQ(dn["preset"], preset.substr(0, preset.find_last_not_of(' ') + 1));
    EXPECT_EQ(dn["channels"], "R");
    ASSERT_EQ(dn["knobs"].size(), described["knobs"].size());
    for (size_t k = 0; k < dn["knobs"].size(); ++k)
        EXPECT_EQ(dn["knobs"][k]["value"], described["presets"][1]["values"][k]) << k;
}

// An integer file comes through a path at least as wide code for code, and
// its full scale is counted as its own: the largest code either way, whatever
// the path's width, so that only samples the gain pushed there count as
// clipped (one of the four loud ones here).
TEST_F(OrveCli, IntegerFilesKeepTheirCodesAndTheirFullScale) {
    const struct {
        std::string name;
        int format, bits;
        std::vector<std::string> options;
    } cases[] = {{"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8, {}},
                 {"s8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 8, {"--bits", "8"}},
                 {"8to32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8, {"--bits", "32"}},
                 {"16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16, {}},
                 {"16to32.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 16, {"--bits", "32"}},
                 {"24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 24, {}},
                 {"32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 32, {}}};
    for (const auto& c : cases) {
        const int32_t top = static_cast<int32_t>((int64_t{1} << (c.bits - 1)) - 1);
        std::vector<int32_t> codes{top, -top, -top - 1, top - 1, 1, -1};
        for (auto& v : codes) v = static_cast<int32_t>(static_cast<uint32_t>(v) << (32 - c.bits));
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = c.format;
        SNDFILE* f = sf_open((dir / c.name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << c.name;
        sf_writef_int(f, codes.data(), 3);
        sf_close(f);
        for (const std::string gain : {"0", "6"}) {
            std::vector<std::string> args = {"process", c.name, "out-" + c.name, "-e", "0", "-g", gain,
                                             "--no-dither", "--json"};
            args.insert(args.end(), c.options.begin(), c.options.end());
            const Result r = Run(args);
            ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
            EXPECT_EQ(json::parse(r.out)["clipped"], gain == "0" ? 0 : 1) << c.name;
            if (gain == "0") {
                EXPECT_EQ(Read(dir / ("out-" + c.name)).values, codes) << c.name;
            }
        }
    }
    // Companded files clipped at the negative end: libsndfile's int interface
    // writes the most negative value as the loudest positive code.
    for (const int format : {SF_FORMAT_WAV | SF_FORMAT_ULAW, SF_FORMAT_WAV | SF_FORMAT_ALAW}) {
        const std::vector<int32_t> square{20000 * 65536, -20000 * 65536, 20000 * 65536, -20000 * 65536};
        SF_INFO info{};
        info.samplerate = 8000;
        info.channels = 1;
        info.format = format;
        SNDFILE* f = sf_open((dir / "law.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        sf_writef_int(f, square.data(), 4);
        sf_close(f);
        ASSERT_EQ(Run({"process", "law.wav", "law-out.wav", "-e", "0", "-g", "12"}).status, 0);
        const std::vector<int32_t> out = Read(dir / "law-out.wav").values;
        ASSERT_EQ(out.size(), square.size());
        for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i] < 0, square[i] < 0) << format << " " << i;
    }
}

// A chain runs in one pass and gives, sample for sample, what its stages
// give run one after another on each other's output at the same width; the
// tail is silence after the input, so it goes to the first run.
TEST_F(OrveCli, ChainEqualsItsStagesRunOneAfterAnother) {
    Write("in.wav", 2, Tones(30000, 8820));   // silence first, for DeNoise to learn
    const std::vector<std::vector<std::vector<std::string>>> chains = {
        {{"-e", "denoise", "--snap-noise", "0"}, {"-e", "geq-10", "-p", "1965"}, {"-e", "samplereverb", "-p", "studio"}},
        {{"-e", "tempo", "-k", "Tempo=0.4"}, {"-e", "deess", "-c", "L"}, {"-e", "resampler", "-p", "DownSample", "-g", "-3"}},
    };
    const std::vector<std::string> common = {"--bits", "32", "--output-bits", "32", "--block", "1000"};
    for (const auto& chain : chains) {
        std::vector<std::string> args = {"process", "in.wav", "chain.wav", "--tail", "0.2", "--json"};
        args.insert(args.end(), common.begin(), common.end());
        std::string from = "in.wav";
        for (size_t k = 0; k < chain.size(); ++k) {
            args.insert(args.end(), chain[k].begin(), chain[k].end());
            std::vector<std::string> one = {"process", from, "stage" + std::to_string(k) + ".wav"};
            one.insert(one.end(), common.begin(), common.end());
            one.insert(one.end(), chain[k].begin(), chain[k].end());
            if (k == 0) one.insert(one.end(), {"--tail", "0.2"});
            const Result r = Run(one);
            ASSERT_EQ(r.status, 0) << chain[k][1] << ": " << r.err;
            from = one[2];
        }
        const Result r = Run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const json stages = json::parse(r.out)["stages"];
        ASSERT_EQ(stages.size(), chain.size());
        EXPECT_EQ(stages[1]["channels"], chain == chains[1] ? "L" : "LR");
        const Audio whole = Read(dir / "chain.wav"), apart = Read(dir / from);
        EXPECT_GT(whole.info.frames, 30000 * (chain == chains[1] ? 0.8 : 1.0));
        EXPECT_EQ(whole.values, apart.values) << chain[0][1];
    }
    // Options before the first -e belong to it; a stage takes one preset.
    const Result early = Run({"process", "in.wav", "early.wav", "-g", "6", "-e", "0", "-e", "0", "--json"});
    ASSERT_EQ(early.status, 0) << early.err;
    EXPECT_NEAR(json::parse(early.out)["stages"][0]["gainDb"].get<double>(), 6.0, 1e-9);
    const Result twice = Run({"process", "in.wav", "x.wav", "-e", "geq-10", "-p", "1965", "-p", "flat"});
    EXPECT_NE(twice.status, 0);
    EXPECT_NE(twice.err.find("twice for stage 1"), std::string::npos) << twice.err;
    // describe takes the chain's effects in order.
    const json described = json::parse(Run({"describe", "denoise", "geq-10", "--json"}).out);
    ASSERT_EQ(described.size(), 2u);
    EXPECT_EQ(described[1]["id"], 8);
}

TEST_F(OrveCli, EncodingsKeepTheirLevelAndResolution) {
    // A -1 dBFS tone with a detail 120 dB down: lost in any 16-bit step.
    std::vector<double> in(2 * 3000);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = 0.891 * std::sin(0.01 * static_cast<double>(i)) + 1e-6 * std::sin(0.37 * static_cast<double>(i));
    const double lsb16 = 1.0 / 32768, lsb24 = 1.0 / 8388608, lsb32 = std::ldexp(1.0, -31);
    // Floating point through the 32-bit path: one step of dither, the
    // rounding, and the float's own rounding where its spacing is that step.
    const double viaPath = 2.5 * lsb32;
    struct Case {
        std::string name;
        int inFormat;
        std::vector<std::string> options;
        int outFormat;
        double gainDb;
        double tolerance;   // largest difference from the input (times the gain) on the +-1 scale
    };
    const std::vector<Case> cases = {
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, {}, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, viaPath},
        {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, {}, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 0, viaPath},
        {"float.caf", SF_FORMAT_CAF | SF_FORMAT_FLOAT, {}, SF_FORMAT_CAF | SF_FORMAT_FLOAT, 0, viaPath},
        {"24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, {}, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, lsb24 / 2},
        {"24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 0, lsb24 / 2},
        {"24f.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, {"--output-bits", "float"}, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, lsb24 / 2},
        {"16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, {"--output-bits", "24"}, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, lsb16 / 2},
        // FLAC has no 32-bit PCM: the path runs at 32 bits, the file stays as it was.
        {"16.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, {"--bits", "32"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0, lsb16 / 2},
        {"16g.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, {"--bits", "32", "--output-bits", "32", "-g", "-6"},
         SF_FORMAT_WAV | SF_FORMAT_PCM_32, -6, lsb16 / 2 + lsb32},
        // Narrower than the path: dithered (one step of TPDF plus the rounding).
        {"8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, {"--bits", "8"}, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 1.5 / 128 + lsb16},
        {"8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, {"--output-bits", "8", "--no-dither"}, SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 0, 0.5 / 128 + lsb16},
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, {"--output-bits", "8"}, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 0, 1.5 / 128 + lsb16},
    };
    for (const Case& c : cases) {
        WriteDoubles(c.name, 2, in, c.inFormat);
        const std::vector<double> written = ReadDoubles(dir / c.name);
        std::vector<std::string> args = {"process", c.name, "out-" + c.name, "-e", "0"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Result r = Run(args);
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        SF_INFO info{};
        const std::vector<double> out = ReadDoubles(dir / ("out-" + c.name), &info);
        EXPECT_EQ(info.format, c.outFormat) << c.name;
        ASSERT_EQ(out.size(), written.size()) << c.name;
        const double gain = std::pow(10.0, c.gainDb / 20.0);
        double worst = 0.0;
        for (size_t i = 0; i < out.size(); ++i) worst = std::max(worst, std::fabs(out[i] - written[i] * gain));
        EXPECT_LE(worst, c.tolerance) << c.name;
    }
}

TEST_F(OrveCli, DitherLeavesNoHarmonicsWhenShorteningTheWord) {
    // A -85 dBFS tone in 24 bits is under two steps of 16-bit audio: rounded
    // plainly it turns into harmonics and an offset, dithered into noise.
    const int n = 1 << 16, bin = 1001;
    std::vector<double> in(n);
    const double amplitude = std::pow(10.0, -85.0 / 20.0);
    for (int i = 0; i < n; ++i) in[i] = amplitude * std::sin(2 * M_PI * bin * i / n);
    WriteDoubles("quiet.wav", 1, in, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    // Power of one DFT bin of the output (only ratios of it are used).
    auto power = [](const std::vector<double>& v, int k) {
        const double a = orve::analysis::ToneAmplitude(v, 1, 0, k * 44100.0 / v.size(), 44100.0, 0, v.size());
        return a * a;
    };
    auto analyse = [&](const std::vector<std::string>& extra, const std::string& name) {
        std::vector<std::string> args = {"process", "quiet.wav", name, "-e", "0", "--output-bits", "16"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Result r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::vector<double> out = ReadDoubles(dir / name);
        double floor = 0.0;
        for (int k = 3000; k < 3064; ++k) floor += power(out, k) / 64.0;
        double harmonic = 0.0;
        for (int h = 2; h <= 7; ++h) harmonic = std::max(harmonic, power(out, h * bin));
        double mean = 0.0;
        for (double v : out) mean += v * 32768 / static_cast<double>(out.size());
        return std::make_tuple(harmonic / floor, mean, power(out, bin) / floor);
    };
    const auto [dithered, offset, tone] = analyse({}, "dithered.wav");
    EXPECT_LT(dithered, 10.0);              // no harmonic 10 dB above the floor
    EXPECT_LT(std::fabs(offset), 0.02);     // and no offset
    EXPECT_GT(tone, 1000.0);                // the tone itself is there
    // Plain rounding, for contrast: harmonics stand out.
    EXPECT_GT(std::get<0>(analyse({"--no-dither"}, "plain.wav")), 30.0);
    // The dither has a fixed seed: the same command gives the same bytes.
    ASSERT_EQ(Run({"process", "quiet.wav", "again.wav", "-e", "0", "--output-bits", "16"}).status, 0);
    EXPECT_EQ(Slurp(dir / "again.wav"), Slurp(dir / "dithered.wav"));
}

TEST_F(OrveCli, ReplacesAnExistingOutputCompletely) {
    Write("in.wav", 2, Stereo(100));
    Write("out.wav", 2, Stereo(9000));
    ASSERT_EQ(Run({"process", "in.wav", "out.wav", "-e", "0"}).status, 0);
    EXPECT_EQ(Read(dir / "out.wav").info.frames, 100);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST_F(OrveCli, ShellConventions) {
    const auto in = Stereo(3000);
    Write("in.wav", 2, in);
    Write("in.flac", 2, in, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::vector<int32_t> expected(in.begin(), in.end());
    auto decoded = [&](const std::string& bytes) {
        std::ofstream(dir / "piped.bin", std::ios::binary) << bytes;
        const Audio a = Read(dir / "piped.bin");
        fs::remove(dir / "piped.bin");
        return a;
    };

    // "-" for stdout: WAV is made whole and then sent, AU streamed; FLAC
    // (which libsndfile cannot read from a pipe) comes in on stdin.
    for (const auto& [type, major] : std::vector<std::pair<std::string, int>>{{"wav", SF_FORMAT_WAV}, {"au", SF_FORMAT_AU}}) {
        const Result r = Run({"process", "-", "-", "-e", "0", "-t", type}, Slurp(dir / "in.flac"));
        ASSERT_EQ(r.status, 0) << type << ": " << r.err;
        const Audio a = decoded(r.out);
        EXPECT_EQ(a.info.format & SF_FORMAT_TYPEMASK, major) << type;
        EXPECT_EQ(a.At(16), expected) << type;
    }
    // A WAV that another program streamed has all-ones sizes: no warning.
    // One cut inside its audio is processed, with one.
    const std::string wav = Slurp(dir / "in.wav");
    std::string streamed = wav;
    streamed.replace(4, 4, "\xFF\xFF\xFF\xFF").replace(40, 4, "\xFF\xFF\xFF\xFF");
    const Result whole = Run({"process", "-", "whole.wav", "-e", "0"}, streamed);
    EXPECT_TRUE(whole.err.empty()) << whole.err;
    EXPECT_EQ(Read(dir / "whole.wav").At(16), expected);
    const Result cut = Run({"process", "-", "cut.wav", "-e", "0"}, wav.substr(0, 44 + 4000));
    EXPECT_EQ(cut.err.rfind("orve: warning: ", 0), 0u) << cut.err;
    EXPECT_EQ(std::count(cut.err.begin(), cut.err.end(), '\n'), 1) << cut.err;
    EXPECT_EQ(Read(dir / "cut.wav").info.frames, 1000);

    // Without -t a stream keeps the input's container.
    EXPECT_EQ(decoded(Run({"process", "in.wav", "-", "-e", "0"}).out).info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);

    // The container follows OUT's extension; -t overrides it.
    for (const auto& [name, major] : std::vector<std::pair<std::string, int>>{
             {"o.flac", SF_FORMAT_FLAC}, {"o.aif", SF_FORMAT_AIFF}, {"o.ogg", SF_FORMAT_OGG}, {"o.caf", SF_FORMAT_CAF},
             {"o.mp3", SF_FORMAT_MPEG}}) {
        ASSERT_EQ(Run({"process", "in.wav", name, "-e", "0"}).status, 0) << name;
        EXPECT_EQ(Read(dir / name).info.format & SF_FORMAT_TYPEMASK, major) << name;
    }
    // A lossy file into a container of another codec: 16-bit PCM there.
    for (const std::string lossy : {"o.ogg", "o.mp3"}) {
        const Result back = Run({"process", lossy, "back.wav", "-e", "0"});
        ASSERT_EQ(back.status, 0) << lossy << ": " << back.err;
        EXPECT_EQ(Read(dir / "back.wav").info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16) << lossy;
    }
    ASSERT_EQ(Run({"process", "in.wav", "o.wav", "-e", "0", "-t", "au"}).status, 0);
    EXPECT_EQ(Read(dir / "o.wav").info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_AU);

    // A symlink is written through: the link stays, its target gets the audio.
    fs::create_directory(dir / "takes");
    fs::create_symlink("takes/take.flac", dir / "latest");
    ASSERT_EQ(Run({"process", "in.wav", "latest", "-e", "0", "-g", "6"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "latest"));
    EXPECT_EQ(Read(dir / "takes" / "take.flac").info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
    EXPECT_EQ(Read(dir / "latest").At(16)[0], Scaled(in[0], 6.0));

    // A FIFO is written to and stays a FIFO.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    std::string fromFifo;
    std::thread reader([&] { fromFifo = Slurp(dir / "fifo"); });
    const Result fifo = Run({"process", "in.wav", "fifo", "-e", "0"});
    reader.join();
    ASSERT_EQ(fifo.status, 0) << fifo.err;
    struct stat st {};
    ASSERT_EQ(lstat((dir / "fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(decoded(fromFifo).At(16), expected);

    // A legal name of 255 bytes: the temporary beside it is shortened to fit.
    const std::string longName = std::string(251, 'x') + ".wav";
    const Result longRun = Run({"process", "in.wav", longName, "-e", "0"});
    ASSERT_EQ(longRun.status, 0) << longRun.err;
    EXPECT_EQ(Read(dir / longName).At(16), expected);
}

TEST_F(OrveCli, MetadataTravelsWhereTheContainerHoldsIt) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open((dir / "tagged.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_set_string(f, SF_STR_TITLE, "Take Five");
    sf_set_string(f, SF_STR_ARTIST, "The Quartet");
    SF_BROADCAST_INFO bext{};
    std::snprintf(bext.description, sizeof bext.description, "studio B");
    bext.time_reference_low = 123456;
    sf_command(f, SFC_SET_BROADCAST_INFO, &bext, sizeof bext);
    SF_CUES cues{};
    cues.cue_count = 1;
    cues.cue_points[0] = {1, 1000, 0x61746164, 0, 0, 1000, ""};
    sf_command(f, SFC_SET_CUE, &cues, sizeof cues);
    SF_INSTRUMENT instrument{};
    instrument.basenote = 60;
    instrument.key_hi = instrument.velocity_hi = 127;
    instrument.loop_count = 1;
    instrument.loops[0] = {SF_LOOP_FORWARD, 2000, 4000, 0};
    sf_command(f, SFC_SET_INSTRUMENT, &instrument, sizeof instrument);
    const auto samples = Stereo(6000);
    sf_writef_short(f, samples.data(), 6000);
    sf_close(f);

    struct Seen {
        std::string title, artist, description;
        uint32_t cue = 0, loopStart = 0;
    };
    auto look = [&](const std::string& name) {
        SF_INFO i{};
        SNDFILE* g = sf_open((dir / name).c_str(), SFM_READ, &i);
        Seen seen;
        if (!g) return seen;
        if (const char* t = sf_get_string(g, SF_STR_TITLE)) seen.title = t;
        if (const char* a = sf_get_string(g, SF_STR_ARTIST)) seen.artist = a;
        SF_BROADCAST_INFO b{};
        if (sf_command(g, SFC_GET_BROADCAST_INFO, &b, sizeof b) == SF_TRUE) seen.description = b.description;
        SF_CUES c{};
        if (sf_command(g, SFC_GET_CUE, &c, sizeof c) == SF_TRUE && c.cue_count > 0) seen.cue = c.cue_points[0].position;
        SF_INSTRUMENT in{};
        if (sf_command(g, SFC_GET_INSTRUMENT, &in, sizeof in) == SF_TRUE && in.loop_count > 0) seen.loopStart = in.loops[0].start;
        sf_close(g);
        return seen;
    };

    const Result wav = Run({"process", "tagged.wav", "out.wav", "-e", "0"});
    ASSERT_EQ(wav.status, 0) << wav.err;
    EXPECT_TRUE(wav.err.empty()) << wav.err;
    const Seen all = look("out.wav");
    EXPECT_EQ(all.title, "Take Five");
    EXPECT_EQ(all.artist, "The Quartet");
    EXPECT_EQ(all.description, "studio B");
    EXPECT_EQ(all.cue, 1000u);
    EXPECT_EQ(all.loopStart, 2000u);

    // Twice the length, after the tempo scaler's leading margin (the file's
    // length less twice the input's, halved): the markers move with the audio
    // they mark.
    ASSERT_EQ(Run({"process", "tagged.wav", "slow.wav", "-e", "tempo", "-k", "Tempo=1"}).status, 0);
    const auto margin =
        static_cast<uint32_t>(Read(dir / "slow.wav").info.frames - 2 * Read(dir / "tagged.wav").info.frames) / 2;
    EXPECT_EQ(look("slow.wav").cue, 2000u + margin);
    EXPECT_EQ(look("slow.wav").loopStart, 4000u + margin);

    // FLAC keeps the strings as comments; what it cannot hold is named once.
    const Result flac = Run({"process", "tagged.wav", "out.flac", "-e", "0"});
    ASSERT_EQ(flac.status, 0) << flac.err;
    EXPECT_EQ(look("out.flac").title, "Take Five");
    EXPECT_EQ(std::count(flac.err.begin(), flac.err.end(), '\n'), 1) << flac.err;
    EXPECT_NE(flac.err.find("broadcast info"), std::string::npos) << flac.err;
}

TEST_F(OrveCli, BatchDoesEachFileAsASingleRunAndGoesOnPastBadOnes) {
    fs::create_directories(dir / "archive" / "disc 2");
    fs::create_directories(dir / "archive" / ".trash");
    Write("archive/a.wav", 2, Stereo(3000));
    Write("archive/disc 2/b.aiff", 2, Tones(5000), SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    Write("archive/.trash/c.wav", 2, Stereo(100));
    std::ofstream(dir / "archive" / "disc 2" / "broken.wav") << "not audio";
    std::ofstream(dir / "archive" / "notes.txt") << "not audio either, and not taken";
    Write("loose.wav", 1, {1, 2, 3});

    const Result batch = Run({"process", "archive", "loose.wav", "--out-dir", "out", "-e", "denoise", "-j", "2", "--json"});
    EXPECT_EQ(batch.status, 1);
    // One line for the failure, one summing up.
    EXPECT_EQ(std::count(batch.err.begin(), batch.err.end(), '\n'), 2) << batch.err;
    EXPECT_EQ(batch.err.rfind("orve: archive/disc 2/broken.wav: ", 0), 0u) << batch.err;
    EXPECT_NE(batch.err.find("orve: processed 3 of 4 files; 1 failed\n"), std::string::npos) << batch.err;
    EXPECT_EQ(std::count(batch.out.begin(), batch.out.end(), '\n'), 3) << batch.out;
    EXPECT_FALSE(fs::exists(dir / "out" / ".trash"));

    // Each output is the very file a single run makes.
    for (const auto& [input, output] : std::vector<std::pair<std::string, std::string>>{
             {"archive/a.wav", "out/a.wav"}, {"archive/disc 2/b.aiff", "out/disc 2/b.aiff"}, {"loose.wav", "out/loose.wav"}}) {
        ASSERT_EQ(Run({"process", input, "single", "-t", output.substr(output.rfind('.') + 1), "-e", "denoise"}).status, 0);
        EXPECT_EQ(Slurp(dir / output), Slurp(dir / "single")) << output;
    }

    // -t renames; two inputs for one output stop the batch before it starts.
    ASSERT_EQ(Run({"process", "loose.wav", "--out-dir", "flac", "-t", "flac", "-e", "0"}).status, 0);
    EXPECT_TRUE(fs::exists(dir / "flac" / "loose.flac"));
    const Result clash = Run({"process", "loose.wav", "./loose.wav", "--out-dir", "clash", "-e", "0"});
    EXPECT_EQ(clash.status, 1);
    EXPECT_FALSE(fs::exists(dir / "clash"));
}

TEST_F(OrveCli, StopSignalsEndTheRunWithOneLineAndNothingLeft) {
    Write("in.wav", 2, Tones(10 * 44100));
    const auto before = Entries();
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        const Result r = Run({"process", "in.wav", "out.wav", "-e", "samplereverb", "--block", "16"}, "", sig);
        EXPECT_EQ(r.status, 128 + sig) << sig << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("orve: ", 0), 0u) << r.err;
        EXPECT_EQ(Entries(), before) << sig;
    }
    // A batch passes the signal to its workers and reports once.
    const Result batch = Run({"process", "in.wav", "--out-dir", "out", "-e", "samplereverb", "--block", "16"}, "", SIGTERM);
    EXPECT_EQ(batch.status, 128 + SIGTERM) << batch.err;
    EXPECT_EQ(batch.err, "orve: interrupted (SIGTERM)\n");
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    // The reader of the output pipe goes away: the same, for SIGPIPE.
    const Result pipe = Run({"process", "in.wav", "-", "-t", "au", "-e", "samplereverb"}, "", 0, 1000);
    EXPECT_EQ(pipe.status, 128 + SIGPIPE) << pipe.err;
    EXPECT_EQ(std::count(pipe.err.begin(), pipe.err.end(), '\n'), 1) << pipe.err;
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

    // Two snaps restart learning twice: the output mutes again after each,
    // and what is learned now is the tones themselves, which are then taken out.
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

    // A snap in a pause learns silence again: the tones after it come out as
    // they went in, at their own samples (nothing dropped at the snap).
    std::vector<int16_t> paused = in;
    std::fill(paused.begin() + 2 * 39690, paused.begin() + 2 * 61740, 0);   // 0.9 .. 1.4 s
    Write("paused.wav", 2, paused);
    const Result gap = Run({"process", "paused.wav", "gap.wav", "-e", "denoise", "--snap-noise", "0.92"});
    ASSERT_EQ(gap.status, 0) << gap.err;
    const auto after = Read(dir / "gap.wav").At(16);
    ASSERT_EQ(after.size(), paused.size());
    for (int channel : {0, 1}) EXPECT_LT(Residual(paused, after, channel, 66150, frames - 2000), 0.05) << channel;

    // On another effect the option is reported, not silently dropped.
    const Result other = Run({"process", "in.wav", "other.wav", "-e", "0", "--snap-noise", "0.5"});
    ASSERT_EQ(other.status, 0) << other.err;
    EXPECT_NE(other.err.find("warning"), std::string::npos) << other.err;
}

TEST_F(OrveCli, ProgressBarOnlyOnATerminal) {
    Write("in.wav", 2, Stereo(44100));
    const Result shown = Run({"process", "in.wav", "out.wav", "-e", "0", "--block", "100"}, "", 0, std::string::npos, true);
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
    // A header cut inside its data size, and bytes that set libsndfile's MPEG
    // decoder talking on stderr.
    std::ofstream(dir / "cut.wav", std::ios::binary) << Slurp(dir / "in.wav").substr(0, 43);
    std::mt19937 random(4);
    std::string junk(5000, '\0');
    for (char& c : junk) c = static_cast<char>(random());
    for (size_t k = 0; k + 1 < junk.size(); k += 417) junk.replace(k, 2, "\xFF\xFB");
    std::ofstream(dir / "junk.wav", std::ios::binary) << junk;
    // A file without read permission (root reads it regardless, so only
    // other users can see this case fail).
    Write("locked.wav", 2, Stereo(100));
    fs::permissions(dir / "locked.wav", fs::perms::none);
    // Rates no effect is built for (a header may declare any).
    Write("slow.wav", 2, Stereo(100), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7);
    Write("fast.wav", 2, Stereo(100), SF_FORMAT_WAV | SF_FORMAT_PCM_16, INT32_MAX);
    const std::string inBytes = Slurp(dir / "in.wav");
    const auto before = Entries();

    std::vector<std::vector<std::string>> cases = {
        {"process", "missing.wav", "out.wav", "-e", "0"},
        {"process", "text.wav", "out.wav", "-e", "0"},
        {"process", "adir", "out.wav", "-e", "0"},
        {"process", "nine.wav", "out.wav", "-e", "0"},
        {"process", "slow.wav", "out.wav", "-e", "vibrato"},
        {"process", "fast.wav", "out.wav", "-e", "tempo"},
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
        {"process", "cut.wav", "out.wav", "-e", "0"},
        {"process", "junk.wav", "out.wav", "-e", "0"},
        {"process", "in.wav", "out.xyz", "-e", "0"},
        {"process", "in.wav", "out", "-e", "0"},
        {"process", "in.wav", "out.wav", "-e", "0", "-t", "nosuch"},
        {"process", "in.wav", "out.flac", "-e", "0", "--output-bits", "32"},
        {"process", "in.wav", "out.wav", "-e", "0", "--output-bits", "12"},
        {"process", "in.wav", "in.wav", "out.wav", "-e", "0"},
        {"process", "in.wav", "-e", "0"},
        {"process", "in.wav", "out.wav"},
        {"process", "in.wav"},
        {"describe", "nosuch"},
        {"frobnicate"},
    };
    if (geteuid() != 0) cases.push_back({"process", "locked.wav", "out.wav", "-e", "0"});
    // Refusals whose words matter (IN, then the options): the range named,
    // knob ranges in both forms, the unit a knob shows, the stage at fault.
    const std::vector<std::pair<std::vector<std::string>, std::string>> named = {
        {{"slow.wav", "-e", "0"}, "orve: 'slow.wav' is 7 Hz with 2 channels; orve processes 8000 to 192000 Hz, 1 to 8 channels"},
        {{"in.wav", "-e", "pitchscaler", "-k", "Pitch=x9"}, "Pitch=x9: Pitch of T/P-PitchScaler takes x0.333333 .. x3 (stored -1 .. 1)"},
        {{"in.wav", "-e", "pitchscaler", "-k", "Pitch=1.5"}, "takes x0.333333 .. x3 (stored -1 .. 1)"},
        {{"in.wav", "-e", "pitchscaler", "-k", "Pitch=1.5Hz"}, "shows a factor, not Hz"},
        {{"in.wav", "-e", "vibrato", "-k", "Delay=5us"}, "takes 10 \xC2\xB5s .. 100000 \xC2\xB5s (stored -5 .. -1)"},
        {{"in.wav", "-e", "devocalmono", "-k", "Hi F=20k"}, "takes 4000 Hz .. 16000 Hz (stored 4000 .. 16000)"},
        {{"in.wav", "-e", "leveldynamic", "-k", "Ratio=40:1"}, "takes 1:1 .. 20:1 (stored 1 .. 20)"},
        {{"in.wav", "-e", "dehiss", "-k", "Thresh=0.5dB"}, "shows a plain number, not dB"},
        {{"in.wav", "-e", "dehiss", "-k", "Thresh=x0.5"}, "shows a plain number"},
        {{"in.wav", "-e", "vibrato", "-k", "Delay=1kg"}, "the value must be a number"},
        {{"in.wav", "-e", "vibrato", "-k", "Delay=0x10"}, "the value must be a number"},
        {{"in.wav", "-e", "modalreverb", "--seed", "-1"}, "--seed must lie between 0 and 4294967295"},
        {{"in.wav", "-e", "0", "-e", "denoise", "-g", "61"}, "orve: stage 2: "},
        {{"in.wav", "-e", "0", "-e", "denoise", "-c", "Q"}, "orve: stage 2: "},
        {{"in.wav", "-e", "0", "-e", "denoise", "--snap-noise", "-1"}, "orve: stage 2: "},
    };
    std::vector<std::string> messages(cases.size());
    for (const auto& [options, message] : named) {
        std::vector<std::string> args = {"process", options[0], "out.wav"};   // IN first, then the options
        args.insert(args.end(), options.begin() + 1, options.end());
        cases.push_back(args);
        messages.push_back(message);
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        std::string line;
        for (const auto& a : cases[i]) line += a + " ";
        const Result r = Run(cases[i]);
        EXPECT_NE(r.status, 0) << line;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << line << "-> " << r.err;
        EXPECT_EQ(r.err.rfind("orve: ", 0), 0u) << line << "-> " << r.err;
        EXPECT_NE(r.err.find(messages[i]), std::string::npos) << line << "-> " << r.err;
        EXPECT_TRUE(r.out.empty()) << line;
        EXPECT_EQ(Entries(), before) << line;
        EXPECT_EQ(Slurp(dir / "in.wav"), inBytes) << line;
    }
}

// ---------------------------------------------------------------------------
// Knob values as the window shows them, and reproducible runs

TEST_F(OrveCli, KnobsTakeTheShownValueWithItsUnit) {
    Write("in.wav", 2, Tones(6000));
    // Stored value, then shown forms of it: each gives the same bytes, and
    // the setting changes the sound (it is not the default).
    const std::vector<std::vector<std::string>> rows = {
        {"pitchscaler", "Pitch=0.4", "Pitch=x1.55185", "Pitch=\xC3\x97" "1.55185"},
        {"tempo", "Tempo=-1", "Tempo=x0.5", "Tempo=0.5x"},
        {"vibrato", "Delay=-2", "Delay=10000us", "Delay=10ms", "Delay=10k", "Delay=10000 \xC2\xB5s"},
        {"devocalmono", "Hi F=16000", "Hi F=16k", "Hi F=16kHz"},
        {"denoise", "Window=20", "Window=20ms", "Window=0.02s"},
        {"leveldynamic", "Thresh=-30", "Thresh=-30dB", "Thresh=-30 db"},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(Run({"process", "in.wav", "default.wav", "-e", row[0]}).status, 0);
        const Result stored = Run({"process", "in.wav", "stored.wav", "-e", row[0], "-k", row[1]});
        ASSERT_EQ(stored.status, 0) << row[1] << ": " << stored.err;
        EXPECT_TRUE(Slurp(dir / "stored.wav") != Slurp(dir / "default.wav")) << row[1];
        for (size_t i = 2; i < row.size(); ++i) {
            const Result shown = Run({"process", "in.wav", "shown.wav", "-e", row[0], "-k", row[i]});
            ASSERT_EQ(shown.status, 0) << row[i] << ": " << shown.err;
            EXPECT_TRUE(Slurp(dir / "shown.wav") == Slurp(dir / "stored.wav")) << row[i];
        }
    }
    // describe gives both forms; what it prints for a preset runs as the preset.
    const Result text = Run({"describe", "pitchscaler"});
    EXPECT_NE(text.out.find("1 .. -1, 0"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("x3 .. x0.333333, x1"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("0.4 (x1.55185)"), std::string::npos) << text.out;
}

TEST_F(OrveCli, SameSeedSameBytes) {
    Write("in.wav", 2, Tones(4000));
    auto reverb = [&](const std::string& out, std::vector<std::string> seed) {
        std::vector<std::string> args = {"process", "in.wav", out, "-e", "modalreverb", "--tail", "0.3", "--json"};
        args.insert(args.end(), seed.begin(), seed.end());
        const Result r = Run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return std::make_pair(Slurp(dir / out), r.status == 0 ? json::parse(r.out)["seed"] : json());
    };
    const auto a = reverb("a.wav", {"--seed", "7"}), b = reverb("b.wav", {"--seed", "7"});
    const auto c = reverb("c.wav", {"--seed", "8"}), d = reverb("d.wav", {}), e = reverb("e.wav", {});
    EXPECT_TRUE(a.first == b.first);
    EXPECT_TRUE(a.first != c.first);
    EXPECT_TRUE(d.first == e.first);
    EXPECT_EQ(a.second, 7);
    EXPECT_EQ(d.second, 1);
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

    const Result shown = Run({"settings", "--json"});
    ASSERT_EQ(shown.status, 0);
    const json s = json::parse(shown.out);
    EXPECT_TRUE(s["stored"].get<bool>());
    EXPECT_EQ(s["effectId"], 0);
    EXPECT_NEAR(s["gainDb"].get<double>(), 6.0, 0.02);
    const Result text = Run({"settings"});
    EXPECT_NE(text.out.find("Level Tuning"), std::string::npos) << text.out;

    // Looking at the record does not rewrite it.
    EXPECT_EQ(Slurp(record), bytes);
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
