#include "audio_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "audio_format.h"
#include "cli_error.h"
#include "dsp/operating_range.h"
#include "interruption.h"

namespace orve::cli {
namespace fs = std::filesystem;
namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::string Shown(const std::string& path) { return path == "-" ? "stdin" : Quoted(path); }

// An unnamed file in $TMPDIR (or /tmp) for a stream that libsndfile can only
// write with seeks: it vanishes with the process, whatever ends it.
int AnonymousFile() {
    const char* env = std::getenv("TMPDIR");
    const std::string dir = env && *env ? env : "/tmp";
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string pattern = dir + "/orve-XXXXXX";
    SignalsHeld held;
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(pattern.c_str());
    return fd;
}

bool WriteAll(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

// libsndfile corrects a header's sizes to what the file holds and notes each
// correction in its log ("data : 176400 (should be 956)"): the one sign of a
// file cut short that it gives. A size larger than the file is a cut; the
// placeholders of a header written before its length was known (all ones)
// are not.
bool HeaderClaimsMore(const char* log) {
    for (const char* at = std::strstr(log, " (should be "); at; at = std::strstr(at + 1, " (should be ")) {
        const char* start = at;
        while (start > log && start[-1] >= '0' && start[-1] <= '9') --start;
        if (start == at) continue;
        const unsigned long long claimed = std::strtoull(start, nullptr, 10);
        const unsigned long long actual = std::strtoull(at + std::strlen(" (should be "), nullptr, 10);
        if (claimed > actual && claimed != 0xFFFFFFFFull && claimed != 0xFFFFFFFFFFFFFFFFull) return true;
    }
    return false;
}

// Copies a pipe into an unnamed file and returns that, positioned at its start.
int Spool(int fd) {
    const int spool = AnonymousFile();
    if (spool < 0) {
        ::close(fd);
        throw CliError(std::string("cannot keep stdin: ") + std::strerror(errno));
    }
    std::vector<char> chunk(1 << 16);
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) break;
        if (n < 0 || !WriteAll(spool, chunk.data(), static_cast<size_t>(n))) {
            const std::string reason = std::strerror(errno);
            ::close(fd);
            ::close(spool);
            throw CliError((n < 0 ? "cannot read stdin: " : "cannot keep stdin: ") + reason);
        }
    }
    ::close(fd);
    ::lseek(spool, 0, SEEK_SET);
    return spool;
}

// The mode (and, for root, the owner) a new file or the file it replaces has.
void MatchReplacedFile(int fd, const std::string& path) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        ::fchmod(fd, existing.st_mode & 07777);
        if (::geteuid() == 0 && ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // Not fatal: the content is what matters; the file is root's then.
        }
        return;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
}

// Codes as libsndfile reads them (in the top bits of a short or an int) on
// the path's scale, `shift` bits down from the 32-bit one. Returns how many
// are at full scale as the file counts it, its largest code either way: the
// same test the doubles make.
template <typename Code>
int64_t ToPath(const Code* in, int64_t n, int32_t shift, int32_t top, int32_t* out) {
    constexpr int32_t up = 32 - 8 * static_cast<int32_t>(sizeof(Code));
    int64_t atTop = 0;
    for (int64_t i = 0; i < n; ++i) {
        const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(in[i]) << up) >> shift;
        atTop += (v >= top) | (v <= -top);
        out[i] = v;
    }
    return atTop;
}

struct Extent {
    int64_t atTop = 0;     // codes at either end of the file's range
    int64_t largest = 0;   // largest magnitude, in codes
};

// Codes of the file's width, `widen` bits short of it, as libsndfile takes
// them: in the top bits of a short or an int. The largest magnitude comes
// from the extremes, so that the most negative code of a 32-bit file has one.
template <typename Sample>
Extent ToFile(const int32_t* codes, int64_t n, int32_t widen, int32_t fileBits, Sample* out) {
    const int32_t top = static_cast<int32_t>((int64_t{1} << (fileBits - 1)) - 1);
    const int32_t shift = 8 * static_cast<int32_t>(sizeof(Sample)) - fileBits;
    int32_t high = 0, low = 0;
    int64_t atTop = 0;
    for (int64_t i = 0; i < n; ++i) {
        const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(codes[i]) << widen);
        atTop += (v >= top) | (v <= -top - 1);
        high = std::max(high, v);
        low = std::min(low, v);
        out[i] = static_cast<Sample>(static_cast<uint32_t>(v) << shift);
    }
    return {atTop, std::max<int64_t>(high, -static_cast<int64_t>(low))};
}

}  // namespace

// ---------------------------------------------------------------------------

AudioReader::AudioReader(const std::string& pathIn) : path(pathIn) {
    const std::string shown = Shown(path);
    const bool fromStdin = path == "-" || path == "/dev/stdin" || path == "/dev/fd/0" || path == "/proc/self/fd/0";
    if (fromStdin) {
        if (::isatty(STDIN_FILENO) == 1) throw CliError("stdin is a terminal: pipe audio into orve or name a file");
        // A copy: libsndfile closes what it was given, also when it fails.
        int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
        if (fd < 0) throw CliError("cannot read stdin: it is closed");
        // libsndfile reads only some containers from a pipe (not FLAC, not
        // the chunks a WAV keeps after its audio): a pipe is kept whole
        // first, in a file that vanishes with the process.
        if (::lseek(fd, 0, SEEK_CUR) < 0) fd = Spool(fd);
        QuietLibraries quiet;
        file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    } else {
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (!fs::exists(status)) throw CliError("cannot read " + shown + ": no such file");
        if (fs::is_directory(status)) throw CliError("cannot read " + shown + ": it is a directory");
        if (::access(path.c_str(), R_OK) != 0) throw CliError("cannot read " + shown + ": " + std::strerror(errno));
        QuietLibraries quiet;
        file = sf_open(path.c_str(), SFM_READ, &info);
    }
    if (!file) {
        // libsndfile's text for an unrecognised file is sometimes a guess
        // about pipes; only its public reasons say something useful.
        const int error = sf_error(nullptr);
        std::string reason = "not an audio format libsndfile reads";
        if (error == SF_ERR_MALFORMED_FILE || error == SF_ERR_UNSUPPORTED_ENCODING)
            reason += std::string(" (") + sf_error_number(error) + ")";
        throw CliError("cannot read " + shown + ": " + reason);
    }
    auto refuse = [&](const std::string& message) {
        sf_close(file);
        file = nullptr;
        throw CliError(message);
    };
    if (!InOperatingRange(info.samplerate, info.channels))
        refuse(shown + " is " + std::to_string(info.samplerate) + " Hz with " + std::to_string(info.channels) +
               " channels; orve processes " + OperatingRangeText());

    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    headerDisagrees = HeaderClaimsMore(log);
    if (headerDisagrees && info.frames == 0)
        refuse("cannot read " + shown + ": the file ends inside its header (truncated?)");
    lengthKnown = info.frames >= 0 && info.frames < SF_COUNT_MAX / 2;

    {
        QuietLibraries quiet;
        metadata = ReadMetadata(file, info.channels);
    }
    const SampleEncoding encoding = EncodingOf(info.format);
    fileBits = encoding.floating ? 0 : encoding.bits;
    fileFullScale = encoding.floating ? 0.0 : std::ldexp(1.0, encoding.bits - 1);
}

AudioReader::~AudioReader() {
    if (file) {
        QuietLibraries quiet;
        sf_close(file);
    }
}

void AudioReader::SetPathBits(int32_t bits, bool dither) {
    rounding = std::make_unique<WordLength>(bits, dither);
    scale = std::ldexp(1.0, bits - 1);
    // An integer file no wider than the path needs no rounding: libsndfile
    // hands its codes over in the top bits of a short or an int, and a shift
    // puts them on the path's scale exactly where the doubles would land.
    readCodes = fileBits > 0 && fileBits <= bits;
    codeShift = 32 - bits;
    codeTop = readCodes ? static_cast<int32_t>(((int64_t{1} << (fileBits - 1)) - 1) << (bits - fileBits)) : 0;
}

bool AudioReader::Fill(int64_t frames) {
    // libsndfile reads straight from the descriptor and the calls are wrapped
    // to silence its chatter: a player-sized block at a time cost more in
    // system calls than most effects do.
    const int64_t want = std::max<int64_t>(kFileChunkFrames, frames);
    const size_t size = static_cast<size_t>(want * info.channels);
    sf_count_t got;
    {
        QuietLibraries quiet;
        if (readCodes && fileBits <= 16) {
            // Shorts are libsndfile's own width for these: read without a
            // conversion pass of its own (a 16-bit WAV is copied as it is).
            if (shortCodes.size() < size) shortCodes.resize(size);
            got = sf_readf_short(file, shortCodes.data(), want);
        } else if (readCodes) {
            if (codes.size() < size) codes.resize(size);
            got = sf_readf_int(file, codes.data(), want);
        } else {
            if (chunk.size() < size) chunk.resize(size);
            got = sf_readf_double(file, chunk.data(), want);
        }
    }
    if (got <= 0) return false;
    chunkStart = 0;
    chunkEnd = got;
    return true;
}

int64_t AudioReader::Read(int32_t* values, int64_t frames) {
    const int32_t channels = info.channels;
    int64_t produced = 0;
    if (readCodes) {
        while (produced < frames) {
            if (chunkStart == chunkEnd && !Fill(frames - produced)) break;
            const int64_t take = std::min(frames - produced, chunkEnd - chunkStart);
            const int64_t n = take * channels;
            int32_t* to = values + produced * channels;
            atFullScale += fileBits <= 16 ? ToPath(shortCodes.data() + chunkStart * channels, n, codeShift, codeTop, to)
                                          : ToPath(codes.data() + chunkStart * channels, n, codeShift, codeTop, to);
            chunkStart += take;
            produced += take;
        }
        framesRead += produced;
        return produced;
    }
    while (produced < frames) {
        if (chunkStart == chunkEnd && !Fill(frames - produced)) break;
        const int64_t take = std::min(frames - produced, chunkEnd - chunkStart);
        const int64_t n = take * channels;
        if (static_cast<int64_t>(scaled.size()) < (produced + take) * channels)
            scaled.resize(static_cast<size_t>((produced + take) * channels));
        const double* in = chunk.data() + chunkStart * channels;
        double* to = scaled.data() + produced * channels;
        // Full scale in the file's own terms: the largest code of an integer
        // encoding (libsndfile reads it as 1 - 2^(1-width)), +-1 for floats.
        int64_t atTop = 0;
        if (fileFullScale > 0.0) {
            const double largest = fileFullScale - 1.0;
            for (int64_t i = 0; i < n; ++i) {
                atTop += std::fabs(in[i]) * fileFullScale >= largest;
                to[i] = in[i] * scale;
            }
        } else {
            for (int64_t i = 0; i < n; ++i) {
                atTop += !(std::fabs(in[i]) < 1.0);
                to[i] = in[i] * scale;
            }
        }
        atFullScale += atTop;
        chunkStart += take;
        produced += take;
    }
    // One rounding for the whole request, whatever chunks it came from: whether
    // a block needs dither is decided per block.
    clippedOnReading += rounding->Round(scaled.data(), produced * channels, values);
    framesRead += produced;
    return produced;
}

std::vector<std::string> AudioReader::Warnings() const {
    std::vector<std::string> lines;
    const std::string shown = Shown(path);
    if (headerDisagrees)
        lines.push_back(shown + " is shorter than its header says (truncated?); its " + std::to_string(framesRead) +
                        " frames were processed");
    else if (lengthKnown && framesRead < info.frames)
        lines.push_back(shown + " ended after " + std::to_string(framesRead) + " of the " +
                        std::to_string(info.frames) + " frames its header announces (damaged or truncated?)");
    if (framesRead == 0 && !headerDisagrees) lines.push_back(shown + " holds no audio");
    // An integer file holds nothing beyond its full scale: what clipped was
    // a value next to it that rounding to a narrower path (with its dither)
    // carried over the top.
    if (clippedOnReading > 0 && fileFullScale > 0.0)
        lines.push_back(shown + " has " + std::to_string(clippedOnReading) + " samples next to full scale that were " +
                        "held at it when rounded to the path's " + std::to_string(rounding->Bits()) + " bits");
    else if (clippedOnReading > 0)
        lines.push_back(shown + " has " + std::to_string(clippedOnReading) +
                        " samples beyond full scale (or not a number); they were clipped on reading");
    return lines;
}

// ---------------------------------------------------------------------------

AudioWriter::AudioWriter(OutputTarget targetIn, const OutputLayout& layoutIn, const Metadata* metadata,
                         const PositionMap& positions)
    : target(std::move(targetIn)), layout(layoutIn) {
    try {
        Open(metadata, positions);
    } catch (...) {
        Release();
        throw;
    }
}

void AudioWriter::Open(const Metadata* metadata, const PositionMap& positions) {
    SF_INFO info{};
    info.samplerate = layout.sampleRate;
    info.channels = layout.channels;
    info.format = layout.format;

    if (target.IsFile()) {
        std::string pattern = TemporaryPattern(target.FilePath());
        int fd;
        {
            SignalsHeld held;
            fd = ::mkostemp(pattern.data(), O_CLOEXEC);
            if (fd >= 0) RegisterTemporary(pattern);
        }
        if (fd < 0) Fail(std::strerror(errno));
        tempPath = pattern;
        MatchReplacedFile(fd, target.FilePath());
        QuietLibraries quiet;
        file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);   // closes fd, also when it fails
        if (!file) Fail(sf_strerror(nullptr));
    } else {
        QuietLibraries quiet;
        // libsndfile closes the descriptor of a failed open whatever it was
        // told, so it gets a copy of its own.
        const int copy = ::fcntl(target.Descriptor(), F_DUPFD_CLOEXEC, 3);
        if (copy < 0) Fail(std::strerror(errno));
        file = sf_open_fd(copy, SFM_WRITE, &info, SF_TRUE);
        if (!file && !target.Seekable()) {
            // WAV, AIFF, CAF and others write their length into the header
            // at the end: the whole file is made first and sent once known.
            const std::string direct = sf_strerror(nullptr);
            bufferFd = AnonymousFile();
            if (bufferFd < 0) Fail(direct);
            info.format = layout.format;
            const int bufferCopy = ::fcntl(bufferFd, F_DUPFD_CLOEXEC, 3);
            if (bufferCopy < 0) Fail(std::strerror(errno));
            file = sf_open_fd(bufferCopy, SFM_WRITE, &info, SF_TRUE);
        }
        if (!file) Fail(sf_strerror(nullptr));
    }

    const SampleEncoding encoding = EncodingOf(layout.format);
    fileBits = encoding.floating ? 0 : encoding.bits;
    // Shorts are libsndfile's own width for PCM of up to 16 bits (a 16-bit
    // file is written from them as they are), and the only safe one for A-law
    // and u-law: its int interface writes their most negative value as the
    // loudest positive code, turning a sample clipped at the bottom over.
    const int32_t subtype = layout.format & SF_FORMAT_SUBMASK;
    writeShorts = subtype == SF_FORMAT_PCM_16 || subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8 ||
                  subtype == SF_FORMAT_ULAW || subtype == SF_FORMAT_ALAW;
    if (fileBits > 0 && fileBits < layout.pathBits) rounding = std::make_unique<WordLength>(fileBits, layout.dither);
    if (metadata) {
        QuietLibraries quiet;
        refused = WriteMetadata(file, *metadata, positions);
    }
}

AudioWriter::~AudioWriter() { Release(); }

void AudioWriter::Release() {
    if (file) {
        QuietLibraries quiet;
        sf_close(file);
    }
    file = nullptr;
    if (bufferFd >= 0) ::close(bufferFd);
    bufferFd = -1;
    if (!committed && !tempPath.empty()) {
        ::unlink(tempPath.c_str());
        ForgetTemporary(tempPath);
    }
    tempPath.clear();
}

void AudioWriter::Fail(const std::string& reason) const {
    throw CliError("cannot write " + (target.Shown() == "-" ? std::string("stdout") : Quoted(target.Shown())) + ": " +
                   reason);
}

void AudioWriter::Write(const int32_t* values, int64_t frames) {
    const int64_t count = frames * layout.channels;
    const double pathScale = std::ldexp(1.0, layout.pathBits - 1);
    const size_t at = static_cast<size_t>(pendingFrames * layout.channels);
    const size_t end = at + static_cast<size_t>(count);
    if (fileBits == 0) {
        // Floating point (and lossy codecs): the path's values exactly, on +-1.
        if (doubles.size() < end) doubles.resize(end);
        double* out = doubles.data() + at;
        for (int64_t i = 0; i < count; ++i) {
            const double x = values[i] / pathScale;
            out[i] = x;
            const double m = std::fabs(x);
            peak = std::max(peak, m);
            if (values[i] == INT32_MIN >> (32 - layout.pathBits) || values[i] == INT32_MAX >> (32 - layout.pathBits))
                ++atFullScale;
        }
    } else {
        // Codes of the file's width, `widen` bits short of it.
        const int32_t* codes = values;
        int32_t widen = fileBits - layout.pathBits;
        if (rounding) {
            if (narrowing.size() < static_cast<size_t>(count)) {
                narrowing.resize(static_cast<size_t>(count));
                rounded.resize(static_cast<size_t>(count));
            }
            const double step = std::ldexp(1.0, layout.pathBits - fileBits);
            for (int64_t i = 0; i < count; ++i) narrowing[static_cast<size_t>(i)] = values[i] / step;
            rounding->Round(narrowing.data(), count, rounded.data());
            codes = rounded.data();
            widen = 0;
        }
        Extent extent;
        if (writeShorts) {
            if (shorts.size() < end) shorts.resize(end);
            extent = ToFile(codes, count, widen, fileBits, shorts.data() + at);
        } else {
            if (ints.size() < end) ints.resize(end);
            extent = ToFile(codes, count, widen, fileBits, ints.data() + at);
        }
        atFullScale += extent.atTop;
        // The peak in whole steps, scaled once: the same value as scaling each
        // sample, the division being by a power of two.
        peak = std::max(peak, static_cast<double>(extent.largest) / std::ldexp(1.0, fileBits - 1));
    }
    samplesWritten += count;
    pendingFrames += frames;
    if (pendingFrames >= kFileChunkFrames) Flush();
}

void AudioWriter::Flush() {
    if (pendingFrames == 0) return;
    // Gathered into chunks for the same reason the reader reads them.
    sf_count_t written;
    {
        QuietLibraries quiet;
        if (fileBits == 0) written = sf_writef_double(file, doubles.data(), pendingFrames);
        else if (writeShorts) written = sf_writef_short(file, shorts.data(), pendingFrames);
        else written = sf_writef_int(file, ints.data(), pendingFrames);
    }
    if (written != pendingFrames) Fail(sf_strerror(file));
    pendingFrames = 0;
}

void AudioWriter::Commit() {
    Flush();
    int closed;
    {
        QuietLibraries quiet;
        if (target.IsFile()) sf_write_sync(file);
        closed = sf_close(file);
    }
    file = nullptr;
    if (closed != 0) Fail(sf_error_number(closed));
    if (bufferFd >= 0) {
        if (::lseek(bufferFd, 0, SEEK_SET) != 0) Fail(std::strerror(errno));
        std::vector<char> chunk(1 << 16);
        for (;;) {
            const ssize_t n = ::read(bufferFd, chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) Fail(std::strerror(errno));
            if (n == 0) break;
            if (!WriteAll(target.Descriptor(), chunk.data(), static_cast<size_t>(n))) Fail(std::strerror(errno));
        }
    }
    if (!tempPath.empty()) {
        if (std::rename(tempPath.c_str(), target.FilePath().c_str()) != 0) Fail(std::strerror(errno));
        ForgetTemporary(tempPath);
    }
    committed = true;
}

void WriteWav16(const std::string& path, const analysis::Signal& signal) {
    OutputLayout layout;
    layout.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    layout.sampleRate = signal.sampleRate;
    layout.channels = signal.channels;
    layout.pathBits = 16;
    AudioWriter writer(OutputTarget::Resolve(path), layout);
    std::vector<int32_t> values(signal.samples.size());
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<int32_t>(std::clamp(std::nearbyint(signal.samples[i]), -32768.0, 32767.0));
    writer.Write(values.data(), signal.Frames());
    writer.Commit();
}

}  // namespace orve::cli
