#include "metadata.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace orve::cli {
namespace {

const char* StringName(int kind) {
    switch (kind) {
        case SF_STR_TITLE: return "title";
        case SF_STR_COPYRIGHT: return "copyright";
        case SF_STR_SOFTWARE: return "software";
        case SF_STR_ARTIST: return "artist";
        case SF_STR_COMMENT: return "comment";
        case SF_STR_DATE: return "date";
        case SF_STR_ALBUM: return "album";
        case SF_STR_LICENSE: return "license";
        case SF_STR_TRACKNUMBER: return "track number";
        case SF_STR_GENRE: return "genre";
        default: return "text";
    }
}

// libsndfile keeps at most 16 KiB of coding history or tag text, and
// refuses a larger record when it is set.
constexpr size_t kHistoryRoom = 16 * 1024;
using BroadcastRoom = SF_BROADCAST_INFO_VAR(kHistoryRoom);
using CartRoom = SF_CART_INFO_VAR(kHistoryRoom);

template <typename Room>
std::vector<char> ReadChunk(SNDFILE* file, int command) {
    std::vector<char> bytes(sizeof(Room));
    if (sf_command(file, command, bytes.data(), static_cast<int>(bytes.size())) != SF_TRUE) bytes.clear();
    return bytes;
}

// libsndfile takes a record no smaller than its fixed-size type and no larger
// than its 16 KiB text allows: the text as long as it is, within those.
int SetSize(size_t fixedSize, size_t textOffset, uint32_t textSize) {
    const size_t wanted = textOffset + std::min<size_t>(textSize, kHistoryRoom - 8) + 1;
    return static_cast<int>(std::max(fixedSize, wanted));
}

uint32_t Scaled(uint32_t position, const PositionMap& map) {
    const double v = std::nearbyint(static_cast<double>(position) * map.scale + map.offset);
    return v <= 0.0 ? 0u : v >= 4294967295.0 ? 4294967295u : static_cast<uint32_t>(v);
}

}  // namespace

Metadata ReadMetadata(SNDFILE* file, int32_t channels) {
    Metadata m;
    for (int kind = SF_STR_FIRST; kind <= SF_STR_LAST; ++kind)
        if (const char* text = sf_get_string(file, kind); text && *text) m.strings.emplace_back(kind, text);
    m.broadcast = ReadChunk<BroadcastRoom>(file, SFC_GET_BROADCAST_INFO);
    m.cart = ReadChunk<CartRoom>(file, SFC_GET_CART_INFO);

    uint32_t count = 0;
    if (sf_command(file, SFC_GET_CUE_COUNT, &count, sizeof count) == SF_TRUE && count > 0) {
        // SF_CUES_VAR(count): the count, then the points.
        std::vector<char> bytes(sizeof(uint32_t) + count * sizeof(SF_CUE_POINT));
        if (sf_command(file, SFC_GET_CUE, bytes.data(), static_cast<int>(bytes.size())) == SF_TRUE) {
            uint32_t got = 0;
            std::memcpy(&got, bytes.data(), sizeof got);
            m.cues.resize(std::min(got, count));
            std::memcpy(m.cues.data(), bytes.data() + sizeof(uint32_t), m.cues.size() * sizeof(SF_CUE_POINT));
        }
    }
    SF_INSTRUMENT instrument{};
    if (sf_command(file, SFC_GET_INSTRUMENT, &instrument, sizeof instrument) == SF_TRUE) m.instrument = instrument;
    std::vector<int> map(static_cast<size_t>(channels));
    if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(map.size() * sizeof(int))) == SF_TRUE)
        m.channelMap = map;
    return m;
}

std::vector<std::string> WriteMetadata(SNDFILE* file, const Metadata& m, const PositionMap& positions) {
    std::vector<std::string> refused;
    for (const auto& [kind, text] : m.strings)
        if (sf_set_string(file, kind, text.c_str()) != 0) refused.emplace_back(StringName(kind));
    if (!m.broadcast.empty()) {
        std::vector<char> bytes = m.broadcast;
        const auto* info = reinterpret_cast<const BroadcastRoom*>(bytes.data());
        const int size = SetSize(sizeof(SF_BROADCAST_INFO), offsetof(BroadcastRoom, coding_history),
                                 info->coding_history_size);
        if (sf_command(file, SFC_SET_BROADCAST_INFO, bytes.data(), size) != SF_TRUE) refused.emplace_back("broadcast info");
    }
    if (!m.cart.empty()) {
        std::vector<char> bytes = m.cart;
        const auto* info = reinterpret_cast<const CartRoom*>(bytes.data());
        const int size = SetSize(sizeof(SF_CART_INFO), offsetof(CartRoom, tag_text), info->tag_text_size);
        if (sf_command(file, SFC_SET_CART_INFO, bytes.data(), size) != SF_TRUE) refused.emplace_back("cart chunk");
    }
    if (!m.cues.empty()) {
        std::vector<char> bytes(sizeof(uint32_t) + m.cues.size() * sizeof(SF_CUE_POINT));
        const uint32_t count = static_cast<uint32_t>(m.cues.size());
        std::memcpy(bytes.data(), &count, sizeof count);
        auto* points = reinterpret_cast<SF_CUE_POINT*>(bytes.data() + sizeof(uint32_t));
        std::memcpy(points, m.cues.data(), m.cues.size() * sizeof(SF_CUE_POINT));
        for (uint32_t i = 0; i < count; ++i) {
            points[i].position = Scaled(points[i].position, positions);
            points[i].sample_offset = Scaled(points[i].sample_offset, positions);
        }
        if (sf_command(file, SFC_SET_CUE, bytes.data(), static_cast<int>(bytes.size())) != SF_TRUE)
            refused.emplace_back("cues");
    }
    if (m.instrument) {
        SF_INSTRUMENT instrument = *m.instrument;
        for (int i = 0; i < instrument.loop_count && i < 16; ++i) {
            instrument.loops[i].start = Scaled(instrument.loops[i].start, positions);
            instrument.loops[i].end = Scaled(instrument.loops[i].end, positions);
        }
        if (sf_command(file, SFC_SET_INSTRUMENT, &instrument, sizeof instrument) != SF_TRUE)
            refused.emplace_back(instrument.loop_count > 0 ? "loops" : "instrument");
    }
    if (!m.channelMap.empty()) {
        std::vector<int> map = m.channelMap;
        // Only containers with a speaker layout take one; elsewhere the
        // channel order is all there is, and it is kept.
        sf_command(file, SFC_SET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(map.size() * sizeof(int)));
    }
    return refused;
}

}  // namespace orve::cli
