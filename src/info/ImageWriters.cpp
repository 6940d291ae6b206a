#include "ImageWriters.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "PreviewBitmap.h"

namespace sheetpeek::info {
namespace {

constexpr int kPaletteSize = 16;
// 72 dpi, as the usual 4-bit BMP writers put it.
constexpr std::uint32_t kPixelsPerMetre = 2835;

void CheckSize(const IndexedImage& image) {
  if (image.width <= 0 || image.height <= 0) {
    throw ImageWriteError("the preview is empty (" + std::to_string(image.width) + "x" +
                          std::to_string(image.height) + ")");
  }
}

// Packs one row two pixels per byte, left pixel in the high nibble.
void PackRow(const IndexedImage& image, int y, std::uint8_t* out) {
  for (int x = 0; x < image.width; x += 2) {
    std::uint8_t byte = static_cast<std::uint8_t>((image.At(x, y) & 0x0F) << 4);
    if (x + 1 < image.width) byte |= static_cast<std::uint8_t>(image.At(x + 1, y) & 0x0F);
    out[x / 2] = byte;
  }
}

void Put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// libpng reports errors by longjmp; nothing with a destructor lives in the frame that
// calls setjmp, and the callbacks never let a C++ exception into libpng.
struct PngSink {
  std::string* out;
  bool failed;
  char message[200];
};

void PngError(png_structp png, png_const_charp msg) {
  auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
  std::snprintf(sink->message, sizeof sink->message, "%s", msg);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  try {
    sink->out->append(reinterpret_cast<const char*>(data), length);
  } catch (...) {
    sink->failed = true;
  }
  if (sink->failed) png_error(png, "out of memory");
}

void PngFlush(png_structp) {}

bool WritePng(PngSink* sink, png_uint_32 width, png_uint_32 height, const png_color* palette,
              png_bytepp rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, PngError, PngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, sink, PngWrite, PngFlush);
  png_set_IHDR(png, info, width, height, 4, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_PLTE(png, info, palette, kPaletteSize);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::string ErrnoText(const std::string& what, const std::string& path, int err) {
  return what + " '" + path + "': " + std::strerror(err);
}

// Closes a descriptor and removes a temporary file unless it was renamed into place.
class PendingFile {
 public:
  explicit PendingFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PendingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Closes the descriptor; returns the errno of a failed close, else 0.
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 ? 0 : errno;
  }
  void Commit() { committed_ = true; }

 private:
  std::string path_;
  int fd_;
  bool committed_ = false;
};

}  // namespace

IndexedImage ToIndexedImage(const PreviewBitmap& bitmap) {
  IndexedImage image;
  image.width = bitmap.Width();
  image.height = bitmap.Height();
  image.pixels.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  std::size_t i = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x)
      image.pixels[i++] = static_cast<std::uint8_t>(bitmap.PixelIndex(x, y));
  }
  return image;
}

std::string EncodeBmp(const IndexedImage& image) {
  CheckSize(image);
  const std::uint32_t width = static_cast<std::uint32_t>(image.width);
  const std::uint32_t height = static_cast<std::uint32_t>(image.height);
  const std::uint32_t stride = ((width * 4 + 31) / 32) * 4;  // rows padded to 4 bytes
  const std::uint32_t headerSize = 14 + 40 + 4 * kPaletteSize;
  const std::uint32_t imageSize = stride * height;

  std::string out;
  out.reserve(headerSize + imageSize);
  // BITMAPFILEHEADER
  out += "BM";
  Put32(out, headerSize + imageSize);
  Put32(out, 0);
  Put32(out, headerSize);
  // BITMAPINFOHEADER: positive height, so rows run bottom-up.
  Put32(out, 40);
  Put32(out, width);
  Put32(out, height);
  Put16(out, 1);  // planes
  Put16(out, 4);  // bits per pixel
  Put32(out, 0);  // BI_RGB
  Put32(out, imageSize);
  Put32(out, kPixelsPerMetre);
  Put32(out, kPixelsPerMetre);
  Put32(out, kPaletteSize);  // colours used
  Put32(out, 0);             // colours important: all
  for (const Rgb& c : PreviewBitmap::kPalette) {
    out.push_back(static_cast<char>(c.b));
    out.push_back(static_cast<char>(c.g));
    out.push_back(static_cast<char>(c.r));
    out.push_back(0);
  }
  std::vector<std::uint8_t> row(stride, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    PackRow(image, y, row.data());
    out.append(reinterpret_cast<const char*>(row.data()), row.size());
  }
  return out;
}

std::string EncodePng(const IndexedImage& image) {
  CheckSize(image);
  const std::size_t stride = (static_cast<std::size_t>(image.width) + 1) / 2;
  std::vector<std::uint8_t> packed(stride * static_cast<std::size_t>(image.height), 0);
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
  for (int y = 0; y < image.height; ++y) {
    rows[static_cast<std::size_t>(y)] = packed.data() + stride * static_cast<std::size_t>(y);
    PackRow(image, y, rows[static_cast<std::size_t>(y)]);
  }
  png_color palette[kPaletteSize];
  for (int i = 0; i < kPaletteSize; ++i) {
    const Rgb& c = PreviewBitmap::kPalette[static_cast<std::size_t>(i)];
    palette[i] = png_color{c.r, c.g, c.b};
  }
  std::string out;
  PngSink sink{&out, false, {}};
  if (!WritePng(&sink, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), palette,
                rows.data())) {
    throw ImageWriteError(std::string("PNG encoding failed: ") +
                          (sink.message[0] != '\0' ? sink.message : "out of memory"));
  }
  return out;
}

void WriteFileReplacing(const std::string& path, const std::string& bytes) {
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) throw ImageWriteError("not a file name: '" + path + "'");

  std::string pattern = folder + "." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) throw ImageWriteError(ErrnoText("cannot create a file next to", path, errno));
  PendingFile temp(name.data(), fd);

  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(temp.fd(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw ImageWriteError(ErrnoText("cannot write", path, errno));
    }
    done += static_cast<std::size_t>(n);
  }
  // mkstemp makes the file private; give it the mode a plain create would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(temp.fd(), 0666 & ~mask) != 0)
    throw ImageWriteError(ErrnoText("cannot set the mode of", path, errno));
  if (const int err = temp.Close(); err != 0) throw ImageWriteError(ErrnoText("cannot write", path, err));
  if (::rename(temp.path().c_str(), path.c_str()) != 0)
    throw ImageWriteError(ErrnoText("cannot write", path, errno));
  temp.Commit();
}

}  // namespace sheetpeek::info
