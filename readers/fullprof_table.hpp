// The reflection table of a FullProf output: the headings that select its column layout,
// the lines that end it, and the reading of one table line into the store.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "store/run.hpp"

namespace memprep {

class FullprofTable {
 public:
  static constexpr std::size_t kWidth = 128;  // the buffer table lines are read into

  FullprofTable(Run& run, TextSource& src) : run_(run), s_(run.store), src_(src) {}

  // True for one of the known headings; true for an end-of-table line.
  static bool is_heading(std::string_view rec);
  static bool is_end(std::string_view rec);

  // Takes the layout of the known heading `rec` (a repeated heading switches it); false
  // for any other record. Refuses an option that needs a column the heading does not name.
  bool take_heading(std::string_view rec);
  // A heading memprep does not know: asks for the column layout on the console and reads
  // it from the next control line (refusing first an option that needs more columns).
  void take_user_layout();
  // Every table line's Icalc and Mult (0 where the layout has no Mult column) are kept in
  // the store: the amplitudes from the model and their check need them.
  void keep_icalc() { keep_icalc_ = true; }
  // A layout has been given (by a heading or by the user).
  bool has_layout() const { return layout_ != Layout::none; }

  // Reads h k l and Iobs (and d or Icalc, and the columns the options need) of the current
  // table line into entry n.
  void parse_reflection(std::size_t n);

 private:
  enum class Layout { none, v1, v2, v3, v4, etam, user };

  // The column layout the user gives when the heading is not one the reader knows: S
  // columns skipped, three index fields of W columns, M columns skipped, two intensity
  // fields of V columns. Bounds are worked out in real arithmetic and truncated.
  struct UserLayout {
    double S = 0, W = 0, M = 0, V = 0;
    std::size_t first[5]{}, last[5]{};  // H, K, L, Icalc, Iobs
  };

  void check_heading(std::string_view rec);
  void refuse_options_without_heading() const;
  void parse_peak_columns(std::size_t n, double icalc);
  std::string column_text(std::string_view name, std::size_t first, std::size_t last) const;

  Run& run_;
  Store& s_;
  TextSource& src_;
  Layout layout_ = Layout::none;
  bool tof_shifted_ = false;
  // The options read more of each table line.
  const bool wants_columns_ =
      run_.options.overlap_groups() || run_.options.sigma == RunOptions::Sigma::refinement;
  UserLayout user_;
  bool keep_icalc_ = false;
};

}  // namespace memprep
