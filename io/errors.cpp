#include "io/errors.hpp"

namespace memprep {

namespace {

// The length of the printable UTF-8 character at s[i] (U+00A0 and beyond, well formed and
// not an overlong form), or 0 when the bytes there are not one.
std::size_t printable_utf8(std::string_view s, std::size_t i) {
  const unsigned char lead = static_cast<unsigned char>(s[i]);
  std::size_t n = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 0;
  if (n == 0 || lead > 0xf4 || i + n > s.size()) return 0;
  std::uint32_t cp = lead & (0x7f >> n);
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned char c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xc0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3f);
  }
  const std::uint32_t least[] = {0, 0, 0xa0, 0x800, 0x10000};
  if (cp < least[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return 0;
  return n;
}

bool printable_ascii(char c) {
  return c > ' ' && c < 0x7f && c != '\'' && c != '\\';
}

}  // namespace

std::string quoted_name(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string q = "'";
  for (std::size_t i = 0; i < name.size();) {
    const char c = name[i];
    if (printable_ascii(c) || c == ' ') {
      q.push_back(c);
      ++i;
    } else if (std::size_t n = printable_utf8(name, i); n > 0) {
      q.append(name.substr(i, n));
      i += n;
    } else {
      q.push_back('\\');
      switch (c) {
        case '\'':
          q.push_back('\'');
          break;
        case '\\':
          q.push_back('\\');
          break;
        case '\t':
          q.push_back('t');
          break;
        case '\n':
          q.push_back('n');
          break;
        case '\r':
          q.push_back('r');
          break;
        default: {
          const unsigned char b = static_cast<unsigned char>(c);
          q.push_back('x');
          q.push_back(kHex[b >> 4]);
          q.push_back(kHex[b & 0xf]);
        }
      }
      ++i;
    }
  }
  q.push_back('\'');
  return q;
}

std::string name_for_message(std::string_view name) {
  bool plain = !name.empty();
  for (std::size_t i = 0; plain && i < name.size();) {
    if (printable_ascii(name[i])) {
      ++i;
    } else if (std::size_t n = printable_utf8(name, i); n > 0) {
      i += n;
    } else {
      plain = false;
    }
  }
  return plain ? std::string(name) : quoted_name(name);
}

}  // namespace memprep
