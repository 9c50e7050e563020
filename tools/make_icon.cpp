// Draws the plug-in's icon (16 and 32 pixels, 32-bit with alpha) and writes it
// as a Windows .ico file: a dark panel with a green level meter and an
// orange octagonal knob, the window's own colours.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Pixel {
    uint8_t b, g, r, a;
};

std::vector<Pixel> Draw(int size) {
    std::vector<Pixel> image(size * size, Pixel{0, 0, 0, 0});
    const double s = size / 32.0;
    auto put = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        if (x >= 0 && y >= 0 && x < size && y < size) image[y * size + x] = Pixel{b, g, r, 255};
    };
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            // Panel with cut corners, in the window background colour.
            const int cut = static_cast<int>(3 * s);
            const int dx = std::min(x, size - 1 - x), dy = std::min(y, size - 1 - y);
            if (dx + dy >= cut) put(x, y, 0x31, 0x34, 0x52);
        }
    // Meter bar on the left: green rising to yellow and red at the top.
    const int meterLeft = static_cast<int>(4 * s), meterRight = static_cast<int>(9 * s);
    const int top = static_cast<int>(5 * s), bottom = size - static_cast<int>(4 * s);
    for (int y = top; y < bottom; ++y) {
        const double level = static_cast<double>(bottom - y) / (bottom - top);
        const uint8_t r = level < 0.75 ? static_cast<uint8_t>(16 * level / 0.75) : static_cast<uint8_t>(16 + 239 * (level - 0.75) / 0.25);
        const uint8_t g = level < 0.75 ? static_cast<uint8_t>(80 + 175 * level / 0.75) : static_cast<uint8_t>(255 - 239 * (level - 0.75) / 0.25);
        for (int x = meterLeft; x < meterRight; ++x) put(x, y, r, g, 16);
    }
    // Knob: an orange octagon on a slot.
    const double cx = 20.5 * s, cy = 16 * s, radius = 8 * s;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double u = std::fabs(x + 0.5 - cx), v = std::fabs(y + 0.5 - cy);
            if (std::fabs(x + 0.5 - cx) < 1.0 * s && (y < top || y >= bottom) == false) put(x, y, 0x3F, 0xAD, 0x1B);
            const bool inside = u <= radius && v <= radius && u + v <= radius * 1.45;
            const bool edge = inside && !(u <= radius - s && v <= radius - s && u + v <= (radius - s) * 1.45);
            if (edge) put(x, y, 190, 95, 7);
            else if (inside) put(x, y, 247, 166, 74);
        }
    return image;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::vector<uint8_t> Bitmap(int size) {
    const std::vector<Pixel> image = Draw(size);
    std::vector<uint8_t> out;
    Put32(out, 40);
    Put32(out, size);
    Put32(out, 2 * size);   // colour rows plus mask rows
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);
    const int maskStride = ((size + 31) / 32) * 4;
    Put32(out, size * size * 4 + maskStride * size);
    for (int i = 0; i < 4; ++i) Put32(out, 0);
    for (int y = size - 1; y >= 0; --y)   // bottom-up
        for (int x = 0; x < size; ++x) {
            const Pixel& p = image[y * size + x];
            out.insert(out.end(), {p.b, p.g, p.r, p.a});
        }
    for (int y = size - 1; y >= 0; --y)
        for (int byte = 0; byte < maskStride; ++byte) {
            uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = byte * 8 + bit;
                if (x < size && image[y * size + x].a == 0) bits |= 0x80 >> bit;
            }
            out.push_back(bits);
        }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
        return 2;
    }
    const int sizes[] = {16, 32};
    std::vector<std::vector<uint8_t>> images;
    for (int size : sizes) images.push_back(Bitmap(size));
    std::vector<uint8_t> file;
    Put16(file, 0);
    Put16(file, 1);   // icon
    Put16(file, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<uint8_t>(sizes[i]));
        file.push_back(static_cast<uint8_t>(sizes[i]));
        file.push_back(0);
        file.push_back(0);
        Put16(file, 1);
        Put16(file, 32);
        Put32(file, static_cast<uint32_t>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return (std::fclose(out) == 0 && ok) ? 0 : 1;
}
