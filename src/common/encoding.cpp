#include "common/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace velmora::internal {

namespace {

// One conversion descriptor per call: iconv descriptors carry shift state and must not be
// shared between threads, and the callers convert only a few texts at a time.
class Converter {
 public:
  explicit Converter(const char* from) : cd_(iconv_open("CP936", from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::system_error(errno, std::generic_category(), std::string("iconv_open CP936 from ") + from);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  std::string convert(const char* data, std::size_t size) {
    // A code page 936 character takes at most two bytes, and every input character at least
    // one, so twice the input rarely needs to grow.
    std::string out(size * 2 + 16, '\0');
    char* in = const_cast<char*>(data);  // iconv's historical signature; it does not write
    std::size_t inLeft = size;
    std::size_t done = 0;
    bool flushing = false;
    for (;;) {
      char* outPtr = &out[done];
      std::size_t outLeft = out.size() - done;
      const std::size_t rc =
          flushing ? iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) : iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
      done = out.size() - outLeft;
      if (rc != static_cast<std::size_t>(-1)) {
        if (flushing) break;
        flushing = true;  // emit any closing shift sequence
        continue;
      }
      if (errno != E2BIG) throw std::range_error("bad conversion");  // EILSEQ or EINVAL (cut off)
      out.resize(out.size() * 2);
    }
    out.resize(done);
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string utf8ToLocal(const std::string& text) { return Converter("UTF-8").convert(text.data(), text.size()); }

std::string wideToLocal(const std::wstring& text) {
  return Converter("WCHAR_T").convert(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

}  // namespace velmora::internal
