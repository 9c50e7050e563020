#include "audio_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli_error.h"

namespace orve::cli {
namespace fs = std::filesystem;
namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// libsndfile's int interface is on the 32-bit scale; the audio path runs at `bits`.
int32_t ShiftFor(int32_t bits) { return 32 - bits; }

bool IsWavFamily(int32_t major) {
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64 || major == SF_FORMAT_W64;
}

}  // namespace

AudioReader::AudioReader(const std::string& pathIn, int32_t bits) : path(pathIn), shift(ShiftFor(bits)) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) throw CliError("cannot read " + Quoted(path) + ": no such file");
    if (fs::is_directory(status)) throw CliError("cannot read " + Quoted(path) + ": it is a directory");
    if (::access(path.c_str(), R_OK) != 0)
        throw CliError("cannot read " + Quoted(path) + ": " + std::strerror(errno));
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        throw CliError("cannot read " + Quoted(path) + ": not an audio format libsndfile reads (" +
                       sf_strerror(nullptr) + ")");
    if (info.channels < 1 || info.channels > kMaxChannels) {
        const int channels = info.channels;
        sf_close(file);
        file = nullptr;
        throw CliError(Quoted(path) + " has " + std::to_string(channels) + " channels; orve handles 1 to " +
                       std::to_string(kMaxChannels));
    }
    if (info.samplerate < 1) {
        sf_close(file);
        file = nullptr;
        throw CliError(Quoted(path) + " has no valid sample rate");
    }
    // Floating-point files may exceed full scale; clip rather than wrap.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioReader::~AudioReader() {
    if (file) sf_close(file);
}

int64_t AudioReader::Read(int32_t* values, int64_t frames) {
    const sf_count_t got = sf_readf_int(file, values, frames);
    if (got < 0) return 0;
    const int64_t count = got * info.channels;
    if (shift > 0)
        for (int64_t i = 0; i < count; ++i) values[i] >>= shift;
    return got;
}

AudioWriter::AudioWriter(const std::string& pathIn, int32_t format, int32_t sampleRate, int32_t channelsIn,
                         int32_t bits)
    : path(pathIn), channels(channelsIn), shift(ShiftFor(bits)) {
    const fs::path target(path);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::string pattern = (dir / ("." + target.filename().string() + ".orve-XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw CliError("cannot write " + Quoted(path) + ": " + std::strerror(errno));
    tempPath = pattern;

    // mkstemp creates the file private; give it the mode a new file (or the
    // file it replaces) would have.
    mode_t mode;
    struct stat existing;
    if (::stat(path.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);

    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!file) {
        const std::string reason = sf_strerror(nullptr);
        ::close(fd);
        ::unlink(tempPath.c_str());
        throw CliError("cannot write " + Quoted(path) + ": " + reason);
    }
    // Integer PCM out of the audio path must reach the file unchanged.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (file) sf_close(file);
    if (!committed && !tempPath.empty()) ::unlink(tempPath.c_str());
}

void AudioWriter::Write(const int32_t* values, int64_t frames) {
    const int64_t count = frames * channels;
    scaled.resize(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i)
        scaled[i] = static_cast<int32_t>(static_cast<uint32_t>(values[i]) << shift);
    if (sf_writef_int(file, scaled.data(), frames) != frames)
        throw CliError("cannot write " + Quoted(path) + ": " + sf_strerror(file));
}

void AudioWriter::Commit() {
    sf_write_sync(file);
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0) throw CliError("cannot write " + Quoted(path) + ": " + sf_error_number(closed));
    if (std::rename(tempPath.c_str(), path.c_str()) != 0)
        throw CliError("cannot write " + Quoted(path) + ": " + std::strerror(errno));
    committed = true;
}

int32_t OutputFormat(const SF_INFO& input, int32_t bits) {
    const int32_t major = input.format & SF_FORMAT_TYPEMASK;
    std::vector<int32_t> wanted;
    switch (bits) {
        case 8:
            // WAV's 8-bit PCM is unsigned by definition; most others are signed.
            if (IsWavFamily(major)) wanted = {SF_FORMAT_PCM_U8, SF_FORMAT_PCM_S8};
            else wanted = {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8};
            break;
        case 16: wanted = {SF_FORMAT_PCM_16}; break;
        default: wanted = {SF_FORMAT_PCM_32}; break;
    }
    wanted.push_back(input.format & SF_FORMAT_SUBMASK);
    for (int32_t subtype : wanted) {
        SF_INFO probe{};
        probe.samplerate = input.samplerate;
        probe.channels = input.channels;
        probe.format = major | subtype | (input.format & SF_FORMAT_ENDMASK);
        if (sf_format_check(&probe)) return probe.format;
    }
    throw CliError("libsndfile cannot write this container format");
}

void CheckDistinctOutput(const std::string& input, const std::string& output) {
    std::error_code ec;
    if (fs::is_directory(output, ec)) throw CliError("cannot write " + Quoted(output) + ": it is a directory");
    const fs::path a = fs::weakly_canonical(input, ec);
    const fs::path b = fs::weakly_canonical(output, ec);
    bool same = !ec && a == b;
    struct stat si, so;
    if (::stat(input.c_str(), &si) == 0 && ::stat(output.c_str(), &so) == 0)
        same = same || (si.st_dev == so.st_dev && si.st_ino == so.st_ino);
    if (same) throw CliError("output " + Quoted(output) + " is the input file; choose another output");
}

void WriteWav16(const std::string& path, const analysis::Signal& signal) {
    AudioWriter writer(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, signal.sampleRate, signal.channels, 16);
    std::vector<int32_t> values(signal.samples.size());
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<int32_t>(std::clamp(std::nearbyint(signal.samples[i]), -32768.0, 32767.0));
    writer.Write(values.data(), signal.Frames());
    writer.Commit();
}

}  // namespace orve::cli
