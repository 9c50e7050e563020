#pragma once
// Audio files through libsndfile. Samples are handed to the audio path as
// integers of its width: an integer file no wider than the path as its own
// codes, any other read as doubles and rounded to that width; the output
// is written in its own encoding, rounded with dither where it is narrower
// than the path. A regular output file appears only when complete.
#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/signals.h"
#include "metadata.h"
#include "output_target.h"
#include "process_pipeline.h"
#include "word_length.h"

namespace orve::cli {

// Frames read from or written to a file per libsndfile call, whatever block
// the audio path runs: each call is wrapped to keep the libraries quiet (two
// descriptor swaps), so fewer, larger calls cost less; 0.74 s at 44.1 kHz
// still reaches a pipe steadily.
constexpr int64_t kFileChunkFrames = 32768;

class AudioReader : public PcmSource {
public:
    // "-" reads stdin. Throws CliError: missing, unreadable, not audio, cut
    // short inside its header, or a rate or channel count outside the
    // operating range (dsp/operating_range.h).
    explicit AudioReader(const std::string& path);
    ~AudioReader() override;
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    // The width Read delivers (8, 16 or 32), rounded with dither when the
    // file is wider. Call before the first Read.
    void SetPathBits(int32_t bits, bool dither);

    const SF_INFO& Info() const { return info; }
    // False for a stream whose header gives no length.
    bool LengthKnown() const { return lengthKnown; }
    const Metadata& FileMetadata() const { return metadata; }
    // Values on the signed scale of the path width (8-bit: -128..127).
    int64_t Read(int32_t* values, int64_t frames) override;

    int64_t FramesRead() const { return framesRead; }
    // Samples at or beyond full scale in the file's own encoding (a
    // normalised file has some; they are not clipping by orve).
    int64_t SamplesAtFullScale() const { return atFullScale; }
    // Samples reading had to clip: beyond full scale or NaN in a floating-
    // point file, or next to full scale and rounded over it on the way to a
    // narrower path.
    int64_t ClippedOnReading() const { return clippedOnReading; }
    // Warnings about the file itself (truncated, empty), one line each.
    std::vector<std::string> Warnings() const;

private:
    bool Fill(int64_t frames);   // reads a chunk of at least `frames` frames; false at the end

    std::string path;
    SNDFILE* file = nullptr;
    SF_INFO info{};
    bool lengthKnown = true;
    bool headerDisagrees = false;
    Metadata metadata;
    std::unique_ptr<WordLength> rounding;
    double scale = 1.0;
    int32_t fileBits = 0;         // integer width of the file's encoding, 0 for floating point and lossy codecs
    double fileFullScale = 0.0;   // 2^(fileBits-1), 0 for floating point
    // An integer file no wider than the path: its codes are read as they are.
    bool readCodes = false;
    int32_t codeShift = 0;        // from libsndfile's 32-bit scale down to the path's
    int32_t codeTop = 0;          // the file's largest code, on the path's scale
    std::vector<int32_t> codes;   // read from such a file, not yet handed out
    std::vector<int16_t> shortCodes;   // the same for a file of at most 16 bits
    std::vector<double> chunk;    // read from any other file, not yet handed out
    int64_t chunkStart = 0;       // frames of the chunk handed out
    int64_t chunkEnd = 0;         // frames in the chunk
    std::vector<double> scaled;
    int64_t framesRead = 0;
    int64_t atFullScale = 0;
    int64_t clippedOnReading = 0;
};

struct OutputLayout {
    int32_t format = 0;      // libsndfile format of the file written
    int32_t sampleRate = 0;
    int32_t channels = 0;
    int32_t pathBits = 16;   // width of the values handed to Write
    bool dither = true;
};

class AudioWriter : public PcmSink {
public:
    // Opens the output: a temporary beside a regular file, else the stream
    // itself (or, for containers that must seek back to their header, an
    // anonymous temporary that is copied to the stream on Commit). Writes
    // `metadata` as far as the container holds it, positions mapped by
    // `positions`. Throws CliError.
    AudioWriter(OutputTarget target, const OutputLayout& layout, const Metadata* metadata = nullptr,
                const PositionMap& positions = {});
    // Removes the temporary file unless Commit succeeded.
    ~AudioWriter() override;
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void Write(const int32_t* values, int64_t frames) override;
    // Finishes the file and renames it over the target (or sends a buffered
    // stream); throws CliError.
    void Commit();

    // Kinds of metadata the container could not hold.
    const std::vector<std::string>& RefusedMetadata() const { return refused; }
    // Samples written at the output's full scale.
    int64_t SamplesAtFullScale() const { return atFullScale; }
    int64_t SamplesWritten() const { return samplesWritten; }
    // Largest magnitude written, 1.0 being full scale.
    double Peak() const { return peak; }

private:
    void Open(const Metadata* metadata, const PositionMap& positions);
    void Release();
    void Fail(const std::string& reason) const;
    void Flush();   // writes what Write gathered

    OutputTarget target;
    OutputLayout layout;
    std::string tempPath;     // a regular file's temporary
    int bufferFd = -1;        // an unseekable stream's anonymous buffer
    SNDFILE* file = nullptr;
    bool committed = false;
    std::unique_ptr<WordLength> rounding;   // when the file is narrower than the path
    int32_t fileBits = 0;                   // integer width of the file's encoding, 0 for floating
    bool writeShorts = false;               // PCM of at most 16 bits, handed over as shorts
    // Gathered frames, pendingFrames of them; the buffers keep their size.
    std::vector<double> doubles;   // of a floating-point file
    std::vector<int16_t> shorts;   // of a file written from shorts
    std::vector<int32_t> ints;     // of any other integer file
    int64_t pendingFrames = 0;
    std::vector<double> narrowing;
    std::vector<int32_t> rounded;
    std::vector<std::string> refused;
    int64_t atFullScale = 0;
    int64_t samplesWritten = 0;
    double peak = 0.0;
};

// A 16-bit WAV file of a signal on the 16-bit scale (rounded and clipped).
void WriteWav16(const std::string& path, const analysis::Signal& signal);

}  // namespace orve::cli
