#pragma once
// Audio files through libsndfile, as integer PCM of the width the audio path
// runs at. Output goes to a temporary file beside the target and is renamed
// into place only when complete, so a failed run never leaves a partial file.
#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/signals.h"
#include "process_pipeline.h"

namespace orve::cli {

class AudioReader : public PcmSource {
public:
    // Throws CliError: missing, unreadable, not audio, or more than kMaxChannels.
    AudioReader(const std::string& path, int32_t bits);
    ~AudioReader() override;
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    const SF_INFO& Info() const { return info; }
    // Values on the signed scale of `bits` (8-bit: -128..127).
    int64_t Read(int32_t* values, int64_t frames) override;

private:
    std::string path;
    SNDFILE* file = nullptr;
    SF_INFO info{};
    int32_t shift;
};

class AudioWriter : public PcmSink {
public:
    // Creates the temporary file; throws CliError when the directory is not writable.
    AudioWriter(const std::string& path, int32_t format, int32_t sampleRate, int32_t channels, int32_t bits);
    // Removes the temporary file unless Commit succeeded.
    ~AudioWriter() override;
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void Write(const int32_t* values, int64_t frames) override;
    // Finishes the file and renames it over the target; throws CliError.
    void Commit();

private:
    std::string path;
    std::string tempPath;
    SNDFILE* file = nullptr;
    int32_t channels;
    int32_t shift;
    bool committed = false;
    std::vector<int32_t> scaled;
};

// The container of the input with the PCM subtype for `bits` where the
// container takes it, else the input's own subtype. Throws CliError.
int32_t OutputFormat(const SF_INFO& input, int32_t bits);

// Throws CliError when `output` names the same file as `input` (by canonical
// path or by device and inode, so symlinks, "./" and hard links are caught),
// or is a directory.
void CheckDistinctOutput(const std::string& input, const std::string& output);

// A 16-bit WAV file of a signal on the 16-bit scale (rounded and clipped).
void WriteWav16(const std::string& path, const analysis::Signal& signal);

}  // namespace orve::cli
