#include "audio_format.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "cli_error.h"

namespace orve::cli {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct TableRow {
    int32_t major;
    std::string extension;   // as the table gives it
    std::string name;        // the first word of the table's name, lower case ("wavex", "mat5")
    std::string fullName;
};

// libsndfile's own list of containers, in its order.
std::vector<TableRow> MajorFormats() {
    std::vector<TableRow> rows;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) != 0) continue;
        std::string name = info.name ? info.name : "";
        // The name's first word also names the container ("wavex", "mat5"),
        // when it is a plain word.
        std::string word = Lower(name.substr(0, name.find_first_of(" /")));
        if (!std::all_of(word.begin(), word.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            word.clear();
        rows.push_back({info.format, Lower(info.extension ? info.extension : ""), word, name});
    }
    return rows;
}

// Spellings in everyday use that the table lists under another extension, and
// the two containers named after their codec.
struct Alias {
    const char* word;
    int32_t major;
    int32_t codec;
};
constexpr Alias kAliases[] = {
    {"aif", SF_FORMAT_AIFF, 0},   {"aifc", SF_FORMAT_AIFF, 0},  {"snd", SF_FORMAT_AU, 0},
    {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS},                    {"oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS},                     {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III},
    {"mp2", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_II},
};

bool IsWavFamily(int32_t major) {
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64 || major == SF_FORMAT_W64;
}

bool Lossy(int32_t subtype) {
    switch (subtype) {
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS:
        case SF_FORMAT_MPEG_LAYER_I:
        case SF_FORMAT_MPEG_LAYER_II:
        case SF_FORMAT_MPEG_LAYER_III: return true;
        default: return false;
    }
}

// PCM subtypes for a width, the container's own 8-bit flavour first
// (WAV's 8-bit PCM is unsigned by definition, most others' signed).
std::vector<int32_t> PcmFor(int32_t bits, int32_t major) {
    if (bits <= 8)
        return IsWavFamily(major) ? std::vector<int32_t>{SF_FORMAT_PCM_U8, SF_FORMAT_PCM_S8}
                                  : std::vector<int32_t>{SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8};
    if (bits <= 16) return {SF_FORMAT_PCM_16};
    if (bits <= 24) return {SF_FORMAT_PCM_24};
    return {SF_FORMAT_PCM_32};
}

}  // namespace

SampleEncoding EncodingOf(int32_t format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_DPCM_8: return {8, false};
        case SF_FORMAT_DWVW_12: return {12, false};
        case SF_FORMAT_ALAC_20: return {20, false};
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_DWVW_24:
        case SF_FORMAT_ALAC_24: return {24, false};
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_ALAC_32: return {32, false};
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE: return {0, true};
        default:
            // The lossy codecs decode to floating point; every other codec
            // (A-law, µ-law, the ADPCMs, GSM) takes and gives 16-bit samples.
            if (Lossy(format & SF_FORMAT_SUBMASK)) return {0, true};
            return {16, false};
    }
}

int32_t DefaultPathBits(int32_t inputFormat) {
    const SampleEncoding e = EncodingOf(inputFormat);
    return e.floating || e.bits > 16 ? 32 : 16;
}

std::string ExtensionOf(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    return Lower(name.substr(dot + 1));
}

Container ContainerForWord(const std::string& wordIn, int32_t inputFormat, int32_t channels) {
    const std::string word = Lower(wordIn);
    const int32_t inputMajor = inputFormat & SF_FORMAT_TYPEMASK;
    for (const Alias& a : kAliases)
        if (word == a.word) return {a.major, a.codec};
    std::vector<int32_t> byExtension;
    const std::vector<TableRow> rows = MajorFormats();
    for (const TableRow& row : rows)
        if (word == row.extension) byExtension.push_back(row.major);
    if (byExtension.empty())
        for (const TableRow& row : rows)
            if (!row.name.empty() && word == row.name) return {row.major, 0};
    if (byExtension.empty()) throw CliError("no audio container is called '" + wordIn + "' (see -t in 'orve process --help')");
    // Several containers share ".wav" and ".mat": the input's own is kept,
    // and a new WAV file with more than two channels is the extensible kind,
    // which carries the speaker layout.
    if (std::find(byExtension.begin(), byExtension.end(), inputMajor) != byExtension.end()) return {inputMajor, 0};
    if (byExtension.front() == SF_FORMAT_WAV && channels > 2) return {SF_FORMAT_WAVEX, 0};
    return {byExtension.front(), 0};
}

std::string ExtensionFor(const Container& c) {
    for (const Alias& a : kAliases)
        if (a.major == c.major && a.codec != 0 && a.codec == c.codec) return a.word;
    if (c.major == SF_FORMAT_OGG) return "ogg";
    for (const TableRow& row : MajorFormats())
        if (row.major == c.major) return row.extension;
    return "audio";
}

bool IsAudioExtension(const std::string& extension) {
    if (extension.empty()) return false;
    for (const Alias& a : kAliases)
        if (extension == a.word) return true;
    for (const TableRow& row : MajorFormats())
        if (extension == row.extension) return true;
    return false;
}

std::vector<std::string> ContainerWords() {
    std::vector<std::string> words;
    for (const TableRow& row : MajorFormats()) {
        words.push_back(row.extension);
        if (!row.name.empty()) words.push_back(row.name);
    }
    for (const Alias& a : kAliases) words.emplace_back(a.word);
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

int32_t ChooseOutputFormat(const SF_INFO& input, const Container& c, const std::string& outputBits) {
    const int32_t inputSubtype = input.format & SF_FORMAT_SUBMASK;
    const int32_t endian = (input.format & SF_FORMAT_TYPEMASK) == c.major ? input.format & SF_FORMAT_ENDMASK : 0;
    auto accepted = [&](int32_t subtype) -> int32_t {
        for (int32_t order : {endian, 0}) {
            SF_INFO probe{};
            probe.samplerate = input.samplerate;
            probe.channels = input.channels;
            probe.format = c.major | subtype | order;
            if (sf_format_check(&probe)) return probe.format;
        }
        return 0;
    };

    if (!outputBits.empty()) {
        std::vector<int32_t> wanted;
        if (outputBits == "float") wanted = {SF_FORMAT_FLOAT};
        else if (outputBits == "8" || outputBits == "16" || outputBits == "24" || outputBits == "32")
            wanted = PcmFor(std::stoi(outputBits), c.major);
        else throw CliError("--output-bits must be 8, 16, 24, 32 or float, not '" + outputBits + "'");
        for (int32_t subtype : wanted)
            if (const int32_t format = accepted(subtype)) return format;
        throw CliError(ContainerName(c.major) + " cannot hold " +
                       (outputBits == "float" ? std::string("floating-point") : outputBits + "-bit") +
                       " samples (choose another --output-bits or container)");
    }

    std::vector<int32_t> candidates;
    if (c.codec) candidates.push_back(c.codec);
    // A lossy codec stays only in a container of its own (the last
    // candidates): libsndfile accepts MPEG in WAV when asked, then cannot
    // write it.
    if (!Lossy(inputSubtype)) candidates.push_back(inputSubtype);
    const SampleEncoding e = EncodingOf(input.format);
    if (Lossy(inputSubtype)) {
        // A lossy decode is heard as 16-bit material; a lossless copy of its
        // float values would be several times the size for nothing audible.
        candidates.insert(candidates.end(), {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT});
    } else if (e.floating) {
        candidates.insert(candidates.end(), {SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16});
    } else {
        // The input's width, then wider (nothing lost), then narrower.
        for (int32_t bits : {e.bits, 16, 24, 32})
            if (bits >= e.bits)
                for (int32_t s : PcmFor(bits, c.major)) candidates.push_back(s);
        candidates.insert(candidates.end(), {SF_FORMAT_FLOAT, SF_FORMAT_PCM_16, SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8});
    }
    // Containers that hold only their own codec.
    candidates.insert(candidates.end(), {SF_FORMAT_VORBIS, SF_FORMAT_OPUS, SF_FORMAT_MPEG_LAYER_III});
    for (int32_t subtype : candidates)
        if (const int32_t format = accepted(subtype)) return format;
    throw CliError("libsndfile cannot write " + ContainerName(c.major) + " with " + std::to_string(input.channels) +
                   " channels at " + std::to_string(input.samplerate) + " Hz");
}

std::string ContainerName(int32_t format) {
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_TYPEMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name) return info.name;
    return "this container";
}

std::string FormatName(int32_t format) {
    SF_FORMAT_INFO major{}, subtype{};
    major.format = format & SF_FORMAT_TYPEMASK;
    subtype.format = format & SF_FORMAT_SUBMASK;
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major);
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &subtype, sizeof subtype);
    return std::string(major.name ? major.name : "?") + ", " + (subtype.name ? subtype.name : "?");
}

}  // namespace orve::cli
