#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "io/fields.hpp"
#include "io/fields_decimal.hpp"
#include "io/fields_direct.hpp"

namespace memprep {

// ---- Output -----------------------------------------------------------------------------
// Every field is built in a stack buffer and appended once: these run for every field of
// files with 100000 lines.

namespace {

void stars(std::string& out, int w) {
  out.append(static_cast<std::size_t>(std::max(w, 0)), '*');
}

// Appends the minus sign (when neg) and body right-justified in w columns, which must hold
// them; built in one stack buffer and appended once.
void emit(std::string& out, bool neg, std::string_view body, int w) {
  const std::size_t width = static_cast<std::size_t>(w);
  const std::size_t len = body.size() + (neg ? 1 : 0);
  char buf[128];
  if (width > sizeof buf) {
    out.append(width - len, ' ');
    if (neg) out += '-';
    out.append(body);
    return;
  }
  std::memset(buf, ' ', width - len);
  if (neg) buf[width - len] = '-';
  std::memcpy(buf + width - body.size(), body.data(), body.size());
  out.append(buf, width);
}

void right(std::string& out, std::string_view text, int w) {
  if (static_cast<int>(text.size()) > w) return stars(out, w);
  emit(out, false, text, w);
}

void put_nonfinite(std::string& out, double v, int w) {
  if (std::isnan(v)) return right(out, "NaN", w);
  bool neg = v < 0;
  std::string_view longer = neg ? "-Infinity" : "Infinity";
  std::string_view shorter = neg ? "-Inf" : "Inf";
  right(out, static_cast<int>(longer.size()) <= w ? longer : shorter, w);
}

// Appends the minus sign (when neg) and body, right-justified in w columns. A body that
// begins "0." loses that optional zero when the field has no room for it (if
// may_drop_zero). Returns false, appending nothing, when the field is too narrow.
bool place(std::string& out, bool neg, std::string_view body, int w, bool may_drop_zero) {
  int len = static_cast<int>(body.size()) + (neg ? 1 : 0);
  if (len > w && may_drop_zero && body.size() > 1 && body[0] == '0' && body[1] == '.') {
    body.remove_prefix(1);
    --len;
  }
  if (len > w) return false;
  emit(out, neg, body, w);
  return true;
}

__extension__ typedef unsigned __int128 u128;

// The digits of direct::fixed_parts: the same text as std::to_chars(fixed, d), several times
// faster. Returns the length written.
std::size_t fixed_digits_exact(char* buf, double a, int d) {
  std::uint64_t ip = 0, r = 0;
  direct::fixed_parts(a, d, ip, r);
  auto res = std::to_chars(buf, buf + 20, ip);
  char* e = res.ptr;
  *e++ = '.';
  for (int i = d - 1; i >= 0; --i) {
    e[i] = static_cast<char>('0' + r % 10);
    r /= 10;
  }
  return static_cast<std::size_t>(e + d - buf);
}

// Fw.d of a finite value; false (nothing appended) when it does not fit. The digits are
// those of the exact binary value correctly rounded (ties to even, as the Fortran run time
// gets them from the C library). A negative value that rounds to zero keeps its minus sign,
// as does negative zero ("-0.00"), as gfortran writes them.
bool fixed_field(std::string& out, double v, int w, int d) {
  if (d < 0) d = 0;
  bool neg = std::signbit(v);
  double a = std::fabs(v);
  if (d >= 1 && d <= 9 && a < 9007199254740992.0) {  // below 2^53: the exact integer path
    char buf[40];
    std::size_t n = fixed_digits_exact(buf, a, d);
    return place(out, neg, std::string_view(buf, n), w, true);
  }
  // The widest text: 309 integer digits, the point and d decimals. A text longer than the
  // buffer cannot fit any field narrower than it.
  char buf[352];
  auto r = std::to_chars(buf, buf + sizeof buf - 1, a, std::chars_format::fixed, d);
  if (r.ec != std::errc()) {
    if (w < static_cast<int>(sizeof buf)) return false;
    std::string big(static_cast<std::size_t>(d) + 400, '\0');
    auto rb =
        std::to_chars(big.data(), big.data() + big.size() - 1, a, std::chars_format::fixed, d);
    if (rb.ec != std::errc()) return false;
    big.resize(static_cast<std::size_t>(rb.ptr - big.data()));
    if (d == 0) big += '.';
    return place(out, neg, big, w, true);
  }
  char* end = r.ptr;
  if (d == 0) *end++ = '.';
  return place(out, neg, std::string_view(buf, static_cast<std::size_t>(end - buf)), w, true);
}

// Ew.d under scale factor k of a finite value; false (nothing appended) when it does not
// fit or k is out of the range Fortran allows (-d < k < d + 2).
bool exp_field(std::string& out, double v, int w, int d, int k) {
  if (k <= -d || k >= d + 2 || d > 120) return false;
  // Significant digits: d + 1 under a positive k (k before the point, d - k + 1 after it),
  // otherwise d + k after "0." and -k zeros.
  int sig = k > 0 ? d + 1 : d + k;
  bool neg = std::signbit(v);
  double a = std::fabs(v);
  char sci[160];
  auto r = std::to_chars(sci, sci + sizeof sci, a, std::chars_format::scientific, sig - 1);
  if (r.ec != std::errc()) return false;
  char digits[130];
  int nd = 0;
  const char* p = sci;
  for (; p < r.ptr && *p != 'e'; ++p)
    if (*p != '.') digits[nd++] = *p;
  int exp10 = 0;
  ++p;  // 'e'
  bool eneg = *p == '-';
  for (++p; p < r.ptr; ++p) exp10 = exp10 * 10 + (*p - '0');
  if (eneg) exp10 = -exp10;
  int e = a == 0 ? 0 : exp10 - k + 1;

  char body[300];
  int n = 0;
  if (k > 0) {
    for (int i = 0; i < k; ++i) body[n++] = digits[i];
    body[n++] = '.';
    for (int i = k; i < nd; ++i) body[n++] = digits[i];
  } else {
    body[n++] = '0';
    body[n++] = '.';
    for (int i = 0; i < -k; ++i) body[n++] = '0';
    for (int i = 0; i < nd; ++i) body[n++] = digits[i];
  }
  int ae = e < 0 ? -e : e;
  if (ae <= 99) {
    body[n++] = 'E';
    body[n++] = e < 0 ? '-' : '+';
  } else if (ae <= 999) {  // three digits, no letter
    body[n++] = e < 0 ? '-' : '+';
    body[n++] = static_cast<char>('0' + ae / 100);
  } else {
    return false;
  }
  body[n++] = static_cast<char>('0' + ae / 10 % 10);
  body[n++] = static_cast<char>('0' + ae % 10);
  return place(out, neg, std::string_view(body, static_cast<std::size_t>(n)), w, k <= 0);
}

// ---- Direct paths --------------------------------------------------------------------
// The E form of the G fields, built right to left without an intermediate text (the integer
// and fixed-point fields are inline in io/fields_direct.hpp).

// a * 10^p (0 <= p <= 22) for a finite a > 0, rounded to an integer with ties to even from
// the exact product of its 53-bit significand and 10^p (below 2^127); false when a's scale
// puts that beyond 128 bits.
bool scaled_exactly(double a, int p, std::uint64_t& n) {
  std::uint64_t bits;
  std::memcpy(&bits, &a, sizeof bits);
  const int shift = 1075 - static_cast<int>((bits >> 52) & 0x7ff);  // a = m * 2^-shift
  if (shift <= 0 || shift >= 128) return false;
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const u128 ten_p = p <= 19 ? static_cast<u128>(direct::kPow10u[static_cast<std::size_t>(p)])
                             : static_cast<u128>(direct::kPow10u[19]) *
                                   direct::kPow10u[static_cast<std::size_t>(p - 19)];
  const u128 product = static_cast<u128>(m) * ten_p;
  u128 q = product >> shift;
  const u128 rem = product - (q << shift);
  const u128 half = static_cast<u128>(1) << (shift - 1);
  if (rem > half || (rem == half && (q & 1))) ++q;
  n = static_cast<std::uint64_t>(q);
  return true;
}

// The significant digits of a finite a > 0 rounded to sig (1 to 15) of them, with the
// decimal exponent of the first: a = 0.(digits) * 10^(e10 + 1) as rounded. One
// multiplication or division by an exact power of ten gives a*10^p within half an ulp;
// where that lies within a small margin of a half, the exact product decides (for p >= 0;
// false for a division). False for magnitudes whose power of ten is beyond 10^22.
bool significant_digits(double a, int sig, std::uint64_t& digits, int& e10) {
  std::uint64_t bits;
  std::memcpy(&bits, &a, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased == 0 || biased == 0x7ff) return false;  // zero, subnormal or not finite
  // floor(log10 a) is this or one more: floor(log10(2) * the binary exponent), in integers
  // (78913 / 2^18 gives it for binary exponents up to 1650 in magnitude).
  int e = ((biased - 1023) * 78913) >> 18;
  const double top = decimal::kPow10[sig];
  double y = 0;
  int p = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    p = sig - 1 - e;
    if (p > 22 || p < -22) return false;
    y = p >= 0 ? a * decimal::kPow10[p] : a / decimal::kPow10[-p];
    if (y < top) break;
    ++e;
  }
  if (y < decimal::kPow10[sig - 1] || y > top) return false;
  const double q = static_cast<double>(static_cast<std::uint64_t>(y));  // y is below 10^15
  const double frac = y - q;
  std::uint64_t n = 0;
  if (std::fabs(frac - 0.5) > y * 0x1p-50)
    n = static_cast<std::uint64_t>(q) + (frac > 0.5 ? 1 : 0);
  else if (p < 0 || !scaled_exactly(a, p, n))
    return false;
  if (n >= static_cast<std::uint64_t>(top)) {  // 9.99995 and the like carry into 10
    n = static_cast<std::uint64_t>(decimal::kPow10[sig - 1]);
    ++e;
  }
  digits = n;
  e10 = e;
  return true;
}

// Ew.d under the scale factor 0 or 1 of a finite nonzero value, with a two-digit exponent,
// in the w columns at `at`; false where the general path is to write it.
bool direct_E(char* at, double v, int w, int d, int k) {
  if ((k != 0 && k != 1) || d < 1 || d > 14 || w < 1 || w > direct::kWidth) return false;
  const int sig = k > 0 ? d + 1 : d;
  std::uint64_t n = 0;
  int e10 = 0;
  if (!significant_digits(std::fabs(v), sig, n, e10)) return false;
  const int e = e10 - k + 1;  // below 40 in magnitude: the power of ten was within 10^22
  char body[40];
  char* const end = body + sizeof body;
  char* p = end;
  const int ae = e < 0 ? -e : e;
  p -= 2;
  std::memcpy(p, direct::kDigitPairs.data() + 2 * ae, 2);
  *--p = e < 0 ? '-' : '+';
  *--p = 'E';
  p = direct::n_digits_before(p, n % direct::kPow10u[static_cast<std::size_t>(sig - k)], sig - k);
  *--p = '.';
  *--p = k == 1 ? static_cast<char>('0' + n / direct::kPow10u[static_cast<std::size_t>(d)]) : '0';
  auto size = static_cast<std::size_t>(end - p);
  const bool neg = std::signbit(v);
  if (size + neg > static_cast<std::size_t>(w) && k <= 0) {  // "0." loses its zero for room
    ++p;
    --size;
  }
  if (size + neg > static_cast<std::size_t>(w)) return false;
  const std::size_t blanks = static_cast<std::size_t>(w) - size - neg;
  std::memset(at, ' ', blanks);
  if (neg) at[blanks] = '-';
  std::memcpy(at + w - size, p, size);
  return true;
}

// Room for a field of w columns at the end of out, filled by put; false (out as it was)
// when w is beyond the direct width or put does not take the value.
template <class Put>
bool in_place(std::string& out, int w, Put put) {
  if (w < 1 || w > direct::kWidth) return false;
  const std::size_t n = out.size();
  out.resize(n + static_cast<std::size_t>(w));
  if (put(out.data() + n)) return true;
  out.resize(n);
  return false;
}

}  // namespace

namespace general {

void put_I(std::string& out, std::int64_t v, int w) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  right(out, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), w);
}

void put_F(std::string& out, double v, int w, int d) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  if (!fixed_field(out, v, w, d)) stars(out, w);
}

void put_E(std::string& out, double v, int w, int d, int scale) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  if (!exp_field(out, v, w, d, scale)) stars(out, w);
}

void put_G(std::string& out, double v, int w, int d, int scale) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  if (d <= 0) return general::put_E(out, v, w, d, scale);
  double m = std::fabs(v);
  int s = 1;  // digits before the point in the F form; 0 takes F(w-4).(d-1)
  if (m != 0) {
    // The bounds are computed in floating point exactly as gfortran's run time does
    // (libgfortran write_float.def, output_float_FMT_G_): 10^d by repeated multiplication,
    // r_sc = 1 - 0.5/10^d; the E form below 0.1 * r_sc and from 10^d - 0.5 up (tested
    // against gfortran at every bound and its neighbours).
    double exp_d = 1;
    for (int i = 0; i < d; ++i) exp_d *= 10;
    double r_sc = 1 - 0.5 / exp_d;
    if (m < 0.1 * r_sc || 0.5 >= exp_d - m) return general::put_E(out, v, w, d, scale);
    // s: the smallest s with m < 10^s * r_sc.
    double p = 1;
    for (s = 0; s < d; ++s, p *= 10)
      if (m < p * r_sc) break;
  }
  if (!fixed_field(out, v, w - 4, d - s)) return stars(out, w);
  put_X(out, 4);
}

}  // namespace general

namespace direct {

std::uint64_t exact_decimals(double f, int d) {
  const auto n10 = static_cast<std::uint64_t>(decimal::kPow10[d]);  // 10^d exactly
  std::uint64_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  int shift;  // f = m * 2^-shift
  if (biased == 0) {
    shift = 1074;
  } else {
    m |= std::uint64_t{1} << 52;
    shift = 1075 - biased;
  }
  if (shift >= 127) return 0;
  const u128 p = static_cast<u128>(m) * n10;  // below 2^83
  u128 q = p >> shift;
  const u128 rem = p - (q << shift);
  const u128 half = static_cast<u128>(1) << (shift - 1);
  if (rem > half || (rem == half && (q & 1))) ++q;
  return static_cast<std::uint64_t>(q);
}

bool G(char* at, double v, int w, int d, int scale) {
  const double m = std::fabs(v);
  if (!std::isfinite(v) || d < 1 || d > 14 || m == 0 || w < 1 || w > kWidth) return false;
  // The bounds of the general path: 10^d and 10^s, products of tens, are exact in the table.
  const double r_sc = 1 - 0.5 / decimal::kPow10[d];
  if (m < 0.1 * r_sc || 0.5 >= decimal::kPow10[d] - m) return direct_E(at, v, w, d, scale);
  int s = 0;
  while (s < d && !(m < decimal::kPow10[s] * r_sc)) ++s;
  if (w <= 4 || !F(at, v, w - 4, d - s)) return false;
  std::memset(at + w - 4, ' ', 4);
  return true;
}

}  // namespace direct

void put_I(std::string& out, std::int64_t v, int w) {
  if (!in_place(out, w, [&](char* at) { return direct::I(at, v, w); })) general::put_I(out, v, w);
}

void put_F(std::string& out, double v, int w, int d) {
  if (!in_place(out, w, [&](char* at) { return direct::F(at, v, w, d); }))
    general::put_F(out, v, w, d);
}

void put_E(std::string& out, double v, int w, int d, int scale) {
  general::put_E(out, v, w, d, scale);
}

void put_G(std::string& out, double v, int w, int d, int scale) {
  if (!in_place(out, w, [&](char* at) { return direct::G(at, v, w, d, scale); }))
    general::put_G(out, v, w, d, scale);
}

void put_X(std::string& out, int n) {
  out.append(static_cast<std::size_t>(std::max(n, 0)), ' ');
}

void put_A(std::string& out, std::string_view text, int w) {
  if (w <= 0) return;
  if (static_cast<int>(text.size()) >= w) {
    out.append(text.substr(0, static_cast<std::size_t>(w)));
  } else {
    out.append(static_cast<std::size_t>(w) - text.size(), ' ');
    out.append(text);
  }
}

}  // namespace memprep
