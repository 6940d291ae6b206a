#include <errno.h>
#include <iconv.h>

#include "Cp932Platform.h"

namespace sheetpeek {

namespace {

class Converter {
 public:
  Converter() : cd_(iconv_open("UTF-8", "CP932")) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  bool Convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    const std::size_t base = out.size();
    // A CP932 character of one or two bytes never takes more than three UTF-8 bytes.
    out.resize(base + in.size() * 3);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = &out[base];
    std::size_t dstLeft = in.size() * 3;
    std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
    if (rc == static_cast<std::size_t>(-1) || srcLeft != 0) {
      out.resize(base);
      return false;
    }
    out.resize(base + (in.size() * 3 - dstLeft));
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool ConvertCp932Strict(std::string_view cp932, std::string& out) {
  // One converter per thread: opening one costs far more than converting a header's texts.
  thread_local Converter converter;
  return converter.ok() && converter.Convert(cp932, out);
}

}  // namespace sheetpeek
