#include "tools/png_file.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace som {
namespace {

// A temporary file beside `path`, renamed over it by commit().
class AtomicFile {
public:
    explicit AtomicFile(const std::string& path) : path_(path), temp_(path + ".XXXXXX") {
        const int fd = mkstemp(temp_.data());
        if (fd < 0) {
            error_ = "cannot write " + path + ": " + std::strerror(errno);
            return;
        }
        // mkstemp makes the file private; give it the permissions of any new file.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        file_ = fdopen(fd, "wb");
        if (file_ == nullptr) {
            error_ = "cannot write " + path + ": " + std::strerror(errno);
            close(fd);
            unlink(temp_.c_str());
        }
    }
    ~AtomicFile() {
        if (file_ != nullptr) {
            std::fclose(file_);
            unlink(temp_.c_str());
        }
    }

    FILE* file() { return file_; }
    const std::string& error() const { return error_; }

    std::string commit() {
        FILE* f = file_;
        file_ = nullptr;
        const bool written = std::fflush(f) == 0 && fsync(fileno(f)) == 0;
        const bool closed = std::fclose(f) == 0;
        if (!written || !closed || std::rename(temp_.c_str(), path_.c_str()) != 0) {
            const std::string reason = std::strerror(errno);
            unlink(temp_.c_str());
            return "cannot write " + path_ + ": " + reason;
        }
        return {};
    }

private:
    std::string path_, temp_, error_;
    FILE* file_ = nullptr;
};

}  // namespace

std::string write_png(const std::string& path, const Image& image, const Palette& palette) {
    AtomicFile out(path);
    if (!out.error().empty()) return out.error();

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, &info);
        return "cannot write " + path + ": libpng could not start";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "cannot write " + path + ": libpng failed";
    }
    png_init_io(png, out.file());
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()),
                 static_cast<png_uint_32>(image.height()), 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = {palette[i].r, palette[i].g, palette[i].b};
    png_set_PLTE(png, info, colours, 256);
    png_write_info(png, info);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, const_cast<png_bytep>(image.row(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out.commit();
}

std::string write_text_file(const std::string& path, const std::string& text) {
    AtomicFile out(path);
    if (!out.error().empty()) return out.error();
    if (std::fwrite(text.data(), 1, text.size(), out.file()) != text.size())
        return "cannot write " + path + ": " + std::strerror(errno);
    return out.commit();
}

std::string read_png(const std::string& path, Image& image, Palette& palette) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return "cannot read " + path + ": " + std::strerror(errno);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return "cannot read " + path + ": libpng could not start";
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return "cannot read " + path + ": not a PNG libpng can read";
    }
    png_init_io(png, f);
    png_read_info(png, info);
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_PALETTE || png_get_bit_depth(png, info) != 8) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return "cannot read " + path + ": not an 8-bit palette PNG";
    }
    const int width = static_cast<int>(png_get_image_width(png, info));
    const int height = static_cast<int>(png_get_image_height(png, info));
    png_colorp colours = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &colours, &count);
    palette = {};
    for (int i = 0; i < count && i < 256; ++i) palette[i] = {colours[i].red, colours[i].green, colours[i].blue};
    image = Image(width, height);
    std::vector<png_byte> row(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        png_read_row(png, row.data(), nullptr);
        for (int x = 0; x < width; ++x) image.set(x, y, row[static_cast<std::size_t>(x)]);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return {};
}

}  // namespace som
