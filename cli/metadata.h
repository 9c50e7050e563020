#pragma once
// What a file says besides its samples, as libsndfile reads and writes it:
// the text strings (INFO, Vorbis comments, ID3...), broadcast and cart
// chunks, cue points, the instrument chunk with its loops, the channel map.
#include <sndfile.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orve::cli {

struct Metadata {
    std::vector<std::pair<int, std::string>> strings;   // SF_STR_* and its text
    std::vector<char> broadcast;                        // an SF_BROADCAST_INFO_VAR, as read
    std::vector<char> cart;                             // an SF_CART_INFO_VAR, as read
    std::vector<SF_CUE_POINT> cues;
    std::optional<SF_INSTRUMENT> instrument;
    std::vector<int> channelMap;
};

Metadata ReadMetadata(SNDFILE* file, int32_t channels);

// Where input frame p lies in the output: p x scale + offset (the stages'
// length ratios and the frames some put ahead of the input's image).
struct PositionMap {
    double scale = 1.0;
    double offset = 0.0;
};

// Writes what the open output can hold (before its first sample). Positions
// (cues, loops) are mapped by `positions` so that they mark the same audio.
// Returns the names of the kinds the container refused ("title", "cues",
// ...), for one warning.
std::vector<std::string> WriteMetadata(SNDFILE* file, const Metadata& metadata, const PositionMap& positions);

}  // namespace orve::cli
