#include "readers/fullprof_table.hpp"

#include <algorithm>
#include <cmath>

#include "control/control_layout.hpp"
#include "io/fields.hpp"
#include "store/degrees.hpp"

namespace memprep {

namespace {

// Table headers, tried in this order. Variants 3 and 4 begin with two more blanks.
constexpr std::string_view kHeaders[] = {
    " No.  Code     H   K   L  Mult      Hw",
    " No.  Code     H   K   L  Mult     Hw",
    "   No.  Code     H   K   L  Mult     Hw",
    "   No.  Code     H   K   L  Mult      Hw",
};
// After the variant-4 text, this column heading marks the layout with an ETA/M column.
constexpr std::string_view kEtaM = "      ETA/M";

constexpr std::string_view kTableEnd1 = "     ---------------";
constexpr std::string_view kTableEnd2 = " -------------------";

// Columns of one reflection line: H, K, L, Icalc, Iobs.
struct Columns {
  std::size_t h1, h2, k1, k2, l1, l2, ic1, ic2, io1, io2;
};

constexpr Columns kV1{13, 16, 17, 20, 21, 24, 63, 73, 74, 84};
constexpr Columns kV2{13, 16, 17, 20, 21, 24, 53, 63, 64, 74};
constexpr Columns kV34{15, 18, 19, 22, 23, 26, 55, 65, 66, 76};
constexpr Columns kEtaMCols{15, 18, 19, 22, 23, 26, 65, 75, 76, 86};

// Time-of-flight columns: H, K, L, Iobs and d. Behind a header of the three-blank form
// every column stands two further right.
struct TofColumns {
  std::size_t h1, h2, k1, k2, l1, l2, io1, io2, d1, d2;
};
constexpr TofColumns kTof{13, 16, 17, 20, 21, 24, 64, 74, 110, 119};
constexpr TofColumns kTofShifted{15, 18, 19, 22, 23, 26, 66, 76, 112, 121};

// Columns read only for overlap groups and the refinement's uncertainties: Mult, Hw, the
// peak position (2theta or time of flight), Icalc and Sigma. In the tables of the three-blank
// headings Mult stands right after l, Hw in the 10 columns after it, the position in the 12
// before Icalc and Sigma in the 11 after Iobs; the ETA/M table has its 10 columns between
// Hw and the position; behind a one-blank heading every column stands two further left, and
// the first of those headings has a 10-column Shift between the position and Icalc. The
// time-of-flight tables take the columns of their heading's form.
struct PeakColumns {
  std::size_t m1, m2, hw1, hw2, p1, p2, ic1, ic2, sg1, sg2;
};
constexpr PeakColumns kPeakV1{25, 30, 31, 40, 41, 52, 63, 73, 85, 95};
constexpr PeakColumns kPeakV2{25, 30, 31, 40, 41, 52, 53, 63, 75, 85};
constexpr PeakColumns kPeakV34{27, 32, 33, 42, 43, 54, 55, 65, 77, 87};
constexpr PeakColumns kPeakEtaM{27, 32, 33, 42, 53, 64, 65, 75, 87, 97};

// The layouts in words, for the messages that refuse an option.
constexpr std::string_view kLayoutWords[] = {
    "",
    "one blank before \"No.\", six before \"Hw\"",
    "one blank before \"No.\", five before \"Hw\"",
    "three blanks before \"No.\", five before \"Hw\"",
    "three blanks before \"No.\", six before \"Hw\"",
    "with an ETA/M column",
    "not one memprep knows",
};

}  // namespace

bool FullprofTable::is_heading(std::string_view rec) {
  return std::any_of(std::begin(kHeaders), std::end(kHeaders),
                     [&](std::string_view h) { return starts(rec, h); });
}

bool FullprofTable::is_end(std::string_view rec) {
  return starts(rec, kTableEnd1) || starts(rec, kTableEnd2);
}

bool FullprofTable::take_heading(std::string_view rec) {
  for (int v = 0; v < 4; ++v) {
    if (!starts(rec, kHeaders[v])) continue;
    layout_ = static_cast<Layout>(v + 1);
    tof_shifted_ = v >= 2;
    if (v == 3 && at(rec, 41, kEtaM)) {
      if (s_.LTOF)
        src_.fail(
            "the reflection table with an ETA/M column is not supported for "
            "time-of-flight data");
      layout_ = Layout::etam;
    }
    check_heading(rec);
    return true;
  }
  return false;
}

// An option that needs a column the table's heading does not name is refused: the column
// is not guessed. Every known heading names Mult and Hw.
void FullprofTable::check_heading(std::string_view rec) {
  auto refuse = [&](std::string_view option, std::string_view column, std::string_view named) {
    std::string what(option);
    what += ": the heading of this reflection table (";
    what += kLayoutWords[static_cast<int>(layout_)];
    what += ") names no ";
    what += column;
    what += " column (";
    what += named;
    what += ")";
    src_.fail(what);
  };
  const std::string_view heading = cut(rec, kWidth);
  if (run_.options.overlap_fwhm > 0 && heading.find("2theta") == std::string_view::npos &&
      heading.find("TOF") == std::string_view::npos)
    refuse("--overlap-fwhm", "peak position", "\"2theta\" or \"TOF\"");
  if (run_.options.sigma == RunOptions::Sigma::refinement &&
      heading.find("Sigma") == std::string_view::npos)
    refuse("--sigma refinement", "Sigma", "\"Sigma\"");
}

// A heading memprep does not know gives no column beyond h k l, Icalc and Iobs.
void FullprofTable::refuse_options_without_heading() const {
  const RunOptions& o = run_.options;
  const char* option = o.overlap_fwhm > 0                         ? "--overlap-fwhm"
                       : o.overlap_d > 0                          ? "--overlap-d"
                       : o.sigma == RunOptions::Sigma::refinement ? "--sigma refinement"
                                                                  : nullptr;
  if (option)
    src_.fail(std::string(option) +
              ": this looks like the heading of a reflection table memprep does not know; "
              "the column layout of the control file gives h k l, Icalc and Iobs only, and no "
              "Mult, Hw, peak position or Sigma column");
}

// Mult, Hw and the position, Icalc and Sigma of the current table line into entry n, as
// far as the options need them.
void FullprofTable::parse_peak_columns(std::size_t n, double icalc) {
  const RunOptions& o = run_.options;
  const PeakColumns& c = s_.LTOF                   ? (tof_shifted_ ? kPeakV34 : kPeakV2)
                         : layout_ == Layout::v1   ? kPeakV1
                         : layout_ == Layout::v2   ? kPeakV2
                         : layout_ == Layout::etam ? kPeakEtaM
                                                   : kPeakV34;
  if (o.overlap_groups()) {
    s_.MRef[n] = src_.I(c.m1, c.m2);
    if (s_.MRef[n] < 1)
      src_.fail(column_text("Mult", c.m1, c.m2) +
                ": overlap groups need a multiplicity of 1 or more");
  }
  if (o.overlap_fwhm > 0) {
    s_.Fwhm[n] = src_.F(c.hw1, c.hw2, 3);
    if (!(s_.Fwhm[n] > 0))
      src_.fail(column_text("Hw", c.hw1, c.hw2) +
                ": --overlap-fwhm needs a FWHM above 0 on every line");
    s_.Pos[n] = src_.F(c.p1, c.p2, 3);
  }
  if (o.sigma == RunOptions::Sigma::refinement) {
    s_.Icalc[n] = s_.LTOF ? src_.F(c.ic1, c.ic2, 1) : icalc;
    s_.SigIo[n] = src_.F(c.sg1, c.sg2, 3);
  }
}

// "columns 27-32: Mult 0", for messages about a value read.
std::string FullprofTable::column_text(std::string_view name, std::size_t first,
                                       std::size_t last) const {
  std::string text = "columns " + std::to_string(first) + "-" + std::to_string(last) + ": ";
  text += name;
  text += " '";
  std::string_view value = trim_right(cols(src_.rec(), first, last));
  value.remove_prefix(std::min(value.size(), value.find_first_not_of(' ')));
  text += value;
  text += "'";
  return text;
}

// Reads H, K, L and Iobs (and d or Icalc) of the current table line into entry n.
void FullprofTable::parse_reflection(std::size_t n) {
  src_.require_line_end();
  if (s_.LTOF) {
    const TofColumns& c = tof_shifted_ ? kTofShifted : kTof;
    s_.H[n] = src_.I(c.h1, c.h2);
    s_.K[n] = src_.I(c.k1, c.k2);
    s_.L[n] = src_.I(c.l1, c.l2);
    s_.Io[n] = src_.F(c.io1, c.io2, 1);
    s_.Dspacing[n] = src_.F(c.d1, c.d2, 6);
    s_.Wavelength[n] = s_.Dspacing[n] * 2 * sin_deg(s_.TWOTH * 0.5);
    if (wants_columns_) parse_peak_columns(n, 0);
    if (keep_icalc_) {
      const PeakColumns& p = tof_shifted_ ? kPeakV34 : kPeakV2;
      s_.Icalc[n] = src_.F(p.ic1, p.ic2, 1);
      s_.MRef[n] = src_.I(p.m1, p.m2);
    }
    return;
  }
  if (layout_ == Layout::user) {
    // Each field is a free-format number read from its columns.
    const UserLayout& u = user_;
    const std::string_view rec = src_.rec();
    double icalc = 0;  // read, but used only in the variant-3 layout
    src_.read_list(cols(rec, u.first[0], u.last[0]), {}, s_.H[n]);
    src_.read_list(cols(rec, u.first[1], u.last[1]), {}, s_.K[n]);
    src_.read_list(cols(rec, u.first[2], u.last[2]), {}, s_.L[n]);
    src_.read_list(cols(rec, u.first[3], u.last[3]), {}, icalc);
    src_.read_list(cols(rec, u.first[4], u.last[4]), {}, s_.Io[n]);
    if (keep_icalc_) {
      s_.Icalc[n] = icalc;
      s_.MRef[n] = 0;  // no Mult column: the model's multiplicity
    }
    return;
  }
  const Columns& c = layout_ == Layout::v1     ? kV1
                     : layout_ == Layout::v2   ? kV2
                     : layout_ == Layout::etam ? kEtaMCols
                                               : kV34;
  s_.H[n] = src_.I(c.h1, c.h2);
  s_.K[n] = src_.I(c.k1, c.k2);
  s_.L[n] = src_.I(c.l1, c.l2);
  double icalc = src_.F(c.ic1, c.ic2, 1);
  s_.Io[n] = src_.F(c.io1, c.io2, 1);
  // The variant-3 table leaves Iobs at 0 where it has no observed value; Icalc stands in.
  if (layout_ == Layout::v3 && s_.Io[n] == 0) s_.Io[n] = icalc;
  if (wants_columns_) parse_peak_columns(n, icalc);
  if (keep_icalc_) {
    s_.Icalc[n] = icalc;
    const PeakColumns& p = layout_ == Layout::v1     ? kPeakV1
                           : layout_ == Layout::v2   ? kPeakV2
                           : layout_ == Layout::etam ? kPeakEtaM
                                                     : kPeakV34;
    s_.MRef[n] = src_.I(p.m1, p.m2);
  }
}

void FullprofTable::take_user_layout() {
  if (wants_columns_) refuse_options_without_heading();
  run_.console << " perhaps, *.out format chenged with version up FullProf\n"
               << " plase write format last line of *.inp when cannot read *.out\n"
               << "  skip, h, k, l, skip, Ical, Iobs, example, 12X,3I4,38X,2F11.1 then "
                  "12,3,38,11\n"
               << std::flush;
  UserLayout& u = user_;
  decide_line(run_, When::unknown_heading, true);
  read_control(run_, Setting::table_layout, u.S, u.W, u.M, u.V);
  const double bounds[5][2] = {
      {u.S + 1, u.S + u.W},
      {u.S + u.W + 1, u.S + 2 * u.W},
      {u.S + 2 * u.W + 1, u.S + 3 * u.W},
      {u.S + 3 * u.W + u.M + 1, u.S + 3 * u.W + u.M + u.V},
      {u.S + 3 * u.W + u.M + u.V + 1, u.S + 3 * u.W + u.M + 2 * u.V},
  };
  for (int f = 0; f < 5; ++f) {
    double first = std::trunc(bounds[f][0]), last = std::trunc(bounds[f][1]);
    // NaN fails every comparison and is refused with the rest.
    if (!(first >= 1 && last >= first && last <= static_cast<double>(kWidth)))
      run_.ctl.fail("the column layout " + number_text(u.S) + " " + number_text(u.W) + " " +
                    number_text(u.M) + " " + number_text(u.V) +
                    " (skip, index width, skip, intensity width) gives an empty field or one "
                    "beyond column 128");
    u.first[f] = static_cast<std::size_t>(first);
    u.last[f] = static_cast<std::size_t>(last);
  }
  layout_ = Layout::user;
}

}  // namespace memprep
