// PNG and netpbm pictures into the front's picture form. Sizes are checked before anything is
// allocated; a short or malformed file is an error, never a partial picture.
#include "rastrel_print/pictures.h"

#include <png.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

namespace rastrel_print {

using platform::printing::Picture;

namespace {

bool sizeAllowed(long long w, long long h, std::string* why) {
    if (w <= 0 || h <= 0) {
        *why = "the picture has no pixels";
        return false;
    }
    if (w > kMaxPictureSide || h > kMaxPictureSide || w * h > kMaxPicturePixels) {
        *why = "the picture is too large (" + std::to_string(w) + " x " + std::to_string(h) + " pixels; at most " +
               std::to_string(kMaxPictureSide) + " a side and " + std::to_string(kMaxPicturePixels) + " in all)";
        return false;
    }
    return true;
}

// Header fields of a netpbm file: numbers between blanks and # comments.
class NetpbmHeader {
public:
    explicit NetpbmHeader(std::string_view bytes) : bytes_(bytes), pos_(2) {}
    bool number(long long* value) {
        for (;;) {
            while (pos_ < bytes_.size() && std::isspace(static_cast<unsigned char>(bytes_[pos_]))) ++pos_;
            if (pos_ < bytes_.size() && bytes_[pos_] == '#') {
                while (pos_ < bytes_.size() && bytes_[pos_] != '\n' && bytes_[pos_] != '\r') ++pos_;
                continue;
            }
            break;
        }
        size_t start = pos_;
        long long v = 0;
        while (pos_ < bytes_.size() && std::isdigit(static_cast<unsigned char>(bytes_[pos_]))) {
            v = v * 10 + (bytes_[pos_++] - '0');
            if (v > 1000000000LL) return false;
        }
        if (pos_ == start) return false;
        *value = v;
        return true;
    }
    // The raster begins after exactly one blank following the last header field.
    bool rasterStart(size_t* offset) {
        if (pos_ >= bytes_.size() || !std::isspace(static_cast<unsigned char>(bytes_[pos_]))) return false;
        *offset = pos_ + 1;
        return true;
    }
    size_t position() const { return pos_; }

private:
    std::string_view bytes_;
    size_t pos_;
};

}  // namespace

FileKind sniff(std::string_view head) {
    if (head.size() >= 8 && std::memcmp(head.data(), "\x89PNG\r\n\x1a\n", 8) == 0) return FileKind::kPng;
    if (head.size() >= 5 && std::memcmp(head.data(), "%PDF-", 5) == 0) return FileKind::kPdf;
    if (head.size() >= 3 && head[0] == 'P' && (head[1] == '2' || head[1] == '5' || head[1] == '6') &&
        std::isspace(static_cast<unsigned char>(head[2])))
        return FileKind::kNetpbm;
    return FileKind::kPageDescription;
}

std::optional<Picture> decodePng(std::string_view bytes, std::string* why) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        *why = std::string("not a readable PNG (") + image.message + ")";
        png_image_free(&image);
        return std::nullopt;
    }
    if (!sizeAllowed(image.width, image.height, why)) {
        png_image_free(&image);
        return std::nullopt;
    }
    const bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
    image.format = colour ? PNG_FORMAT_BGR : PNG_FORMAT_GRAY;
    Picture picture = Picture::blank(static_cast<LONG>(image.width), static_cast<LONG>(image.height),
                                     colour ? BMF_24BPP : BMF_8BPP);
    png_color white{255, 255, 255};
    // Transparent parts are laid over white paper.
    if (!png_image_finish_read(&image, &white, picture.bits.data(), picture.stride, nullptr)) {
        *why = std::string("the PNG is damaged (") + image.message + ")";
        png_image_free(&image);
        return std::nullopt;
    }
    png_image_free(&image);
    return picture;
}

std::optional<Picture> decodeNetpbm(std::string_view bytes, std::string* why) {
    if (sniff(bytes) != FileKind::kNetpbm) {
        *why = "not a PGM (P2, P5) or PPM (P6) file";
        return std::nullopt;
    }
    const char kind = bytes[1];
    NetpbmHeader header(bytes);
    long long w = 0, h = 0, maxval = 0;
    if (!header.number(&w) || !header.number(&h) || !header.number(&maxval)) {
        *why = "the netpbm header is incomplete (it needs width, height and maximum value)";
        return std::nullopt;
    }
    if (maxval < 1 || maxval > 65535) {
        *why = "the maximum value " + std::to_string(maxval) + " is not from 1 to 65535";
        return std::nullopt;
    }
    if (!sizeAllowed(w, h, why)) return std::nullopt;
    const bool colour = kind == '6';
    Picture picture = Picture::blank(static_cast<LONG>(w), static_cast<LONG>(h), colour ? BMF_24BPP : BMF_8BPP);
    auto scaled = [maxval](long long v) { return static_cast<BYTE>((v * 255 + maxval / 2) / maxval); };
    if (kind == '2') {
        for (long long y = 0; y < h; ++y) {
            BYTE* row = picture.row(static_cast<LONG>(y));
            for (long long x = 0; x < w; ++x) {
                long long v;
                if (!header.number(&v)) {
                    *why = "the PGM ends early or holds a non-number at pixel " + std::to_string(y * w + x);
                    return std::nullopt;
                }
                if (v > maxval) {
                    *why = "pixel " + std::to_string(y * w + x) + " is above the maximum value";
                    return std::nullopt;
                }
                row[x] = scaled(v);
            }
        }
        return picture;
    }
    size_t offset = 0;
    if (!header.rasterStart(&offset)) {
        *why = "the netpbm header does not end with a blank";
        return std::nullopt;
    }
    const size_t sampleBytes = maxval > 255 ? 2 : 1;
    const size_t channels = colour ? 3 : 1;
    const size_t rowBytes = static_cast<size_t>(w) * channels * sampleBytes;
    const size_t need = rowBytes * static_cast<size_t>(h);
    if (bytes.size() - offset < need) {
        *why = "the raster is short: " + std::to_string(need) + " bytes needed, " + std::to_string(bytes.size() - offset) +
               " there";
        return std::nullopt;
    }
    const auto* raster = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
    for (long long y = 0; y < h; ++y) {
        const unsigned char* src = raster + static_cast<size_t>(y) * rowBytes;
        BYTE* dst = picture.row(static_cast<LONG>(y));
        for (long long x = 0; x < w; ++x) {
            BYTE sample[3];
            for (size_t c = 0; c < channels; ++c) {
                const unsigned char* s = src + (static_cast<size_t>(x) * channels + c) * sampleBytes;
                long long v = sampleBytes == 2 ? (s[0] << 8 | s[1]) : s[0];
                if (v > maxval) v = maxval;
                sample[c] = scaled(v);
            }
            if (colour) {
                dst[x * 3] = sample[2];  // blue, green, red
                dst[x * 3 + 1] = sample[1];
                dst[x * 3 + 2] = sample[0];
            } else {
                dst[x] = sample[0];
            }
        }
    }
    return picture;
}

std::optional<Picture> readPicture(const std::string& path, std::string* why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *why = "cannot open " + path;
        return std::nullopt;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    std::string bytes = buffer.str();
    std::string reason;
    std::optional<Picture> picture;
    switch (sniff(bytes)) {
    case FileKind::kPng: picture = decodePng(bytes, &reason); break;
    case FileKind::kNetpbm: picture = decodeNetpbm(bytes, &reason); break;
    default: reason = "not a PNG, PGM or PPM picture"; break;
    }
    if (!picture) *why = path + ": " + reason;
    return picture;
}

}  // namespace rastrel_print
