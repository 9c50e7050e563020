#pragma once
// Containers and sample encodings as libsndfile knows them: which container a
// file name or a -t word means, how wide an encoding is, and which encoding an
// output gets so that nothing the input held is lost on the way.
#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orve::cli {

// How samples of one libsndfile subtype are stored.
struct SampleEncoding {
    // Integer width the codec keeps (8..32); 0 for floating point and lossy codecs.
    int32_t bits = 0;
    // Floating point or a lossy codec: written as doubles, never quantised by orve.
    bool floating = false;
};
SampleEncoding EncodingOf(int32_t format);

// Width the audio path runs at for an input of this format when --bits is not
// given: 16 for encodings up to 16 bits, 32 for anything wider or floating.
int32_t DefaultPathBits(int32_t inputFormat);

// A container choice: libsndfile's major format and, for containers named
// after one codec (".opus", ".mp3"), that codec.
struct Container {
    int32_t major = 0;
    int32_t codec = 0;   // a subtype, or 0: whatever suits the input
};

// The container a name's extension (or a -t word) means, from libsndfile's
// format table plus the usual spellings it lists under another name (.aif,
// .ogg, .opus, .mp3). `inputFormat` breaks ties between containers sharing an
// extension (WAV and WAVEX, MAT4 and MAT5): the input's own wins. Throws
// CliError for a word libsndfile has no container for.
Container ContainerForWord(const std::string& word, int32_t inputFormat, int32_t channels);

// Lower-case extension without its dot ("" when the last component has none).
std::string ExtensionOf(const std::string& path);

// The extension a file of this container gets ("wav", "flac", "opus").
std::string ExtensionFor(const Container& container);

// Whether files named so are audio a batch folder should take: the
// table's extensions and the usual spellings above.
bool IsAudioExtension(const std::string& extension);

// Every word -t accepts, for help, completion and the man page.
std::vector<std::string> ContainerWords();

// The encoding of the output: `outputBits` ("8", "16", "24", "32", "float")
// when given, else the input's own subtype when the container takes it, else
// the closest one it does (PCM of the input's width, float for float, 16-bit
// for lossy sources). Keeps the input's byte order within its own container.
// Throws CliError when the container cannot hold what was asked for.
int32_t ChooseOutputFormat(const SF_INFO& input, const Container& container, const std::string& outputBits);

// "WAV (Microsoft)".
std::string ContainerName(int32_t format);

// "WAV (Microsoft), Signed 24 bit PCM".
std::string FormatName(int32_t format);

}  // namespace orve::cli
