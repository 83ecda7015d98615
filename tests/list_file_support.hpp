// Pieces of refinement list files for the list-file tests, written in the layouts the
// reader expects.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace memprep::test {

inline std::string format(const char* fmt, auto... v) {
  char buf[512];
  std::snprintf(buf, sizeof buf, fmt, v...);
  return buf;
}

// A section title: the name in columns 35 on.
inline std::string title(const char* name) {
  return std::string(34, ' ') + name + "\n";
}

// The diffractometer-constants block with one histogram line.
inline std::string constants(int hist, const char* dtype, double wavel) {
  return " Diffractometer constants for powder data:\n"
         " Hst  Type  Lambda\n" +
         format("%3d  %s %10.7f   0.0\n", hist, dtype, wavel);
}

// " Hstgm" line of a time-of-flight histogram: histogram in columns 8-9, bank in 16-17.
inline std::string hstgm(int hist, int bank) {
  return format(" Hstgm%3d PNT %3d  bank line\n", hist, bank);
}

inline std::string chi2() {
  return " Reduced CHI**2 =     1.234\n";
}

// A phase-fractions block: the header names histograms 1 to 3 in columns 12, 23, 34; the
// values line holds them in F11.6 fields ending 7 columns after the digit.
inline std::string fractions(int phase, double f1, double f2 = 0.5, double f3 = 0.25) {
  return format(" Phase/element fractions for phase no.%3d\n", phase) +
         " ---------------------------------\n"
         " Hist:      1          2          3\n" +
         format("        %11.6f%11.6f%11.6f\n", f1, f2, f3);
}

inline std::string scale_factors() {
  return " Histogram scale factors:\n    1.000\n";
}

inline std::string cell(double a, double b, double c, double al, double be, double ga) {
  return "                 a         b         c       alpha     beta      gamma\n" +
         format(" Values:   %10.6f%10.6f%10.6f%10.3f%10.3f%10.3f\n", a, b, c, al, be, ga);
}

// A reflection-list header (histogram in columns 12-13) and the column-heading record after it.
inline std::string reflist(int hist) {
  return format(" Histogram%3d data  from sample\n", hist) + "    h  k  l  mul code\n";
}

// A reflection line, (6X,3I3,I4,I5,F8.5,1P,4E10.3,0P,F6.1,4F10.4).
inline std::string refl(int h, int k, int l, int m, int code, double d, double e1, double e3,
                        double phi) {
  return format("      %3d%3d%3d%4d%5d%8.5f%10.3E%10.3E%10.3E%10.3E%6.1f%10.4f%10.4f%10.4f%10.4f\n",
                h, k, l, m, code, d, e1, 0.0, e3, 0.0, phi, 0.0, 0.0, 0.0, 0.0);
}

// A page header of the reflection list; `more` false gives the variant that ends the list.
inline std::string reflist_page(bool more) {
  return "1" + std::string(67, ' ') + "REFLIST\n" + " page title\n" +
         (more ? " Hstgm   1 continued\n" : "       \n") + (more ? "" : "tail of the list\n");
}

// The table of atom types: a heading, then one entry per type (symbol in columns 2-3, the
// tabulated value in 10-18, nine form-factor coefficients from column 19).
inline std::string type_table_title(int nt) {
  return format(" The atomic and magnetic scattering factors for%3d atom types\n", nt) +
         " Type  b         a1       b1       a2       b2       a3       b3       a4       b4"
         "       c\n";
}
inline std::string type_entry(const char* sym, double b, double a1, double a2, double a3, double a4,
                              double c) {
  return format(" %-2s      %9.4f%9.4f%9.4f%9.4f%9.4f%9.4f%9.4f%9.4f%9.4f%9.4f\n", sym, b, a1, 1.0,
                a2, 2.0, a3, 3.0, a4, 4.0, c);
}

// An atom line: multiplicity in columns 22-24, fraction 33-39, x y z in 44-50, 55-61, 66-72.
inline std::string atom(const char* sym, int mult, double frac, double x, double y, double z) {
  return format(" %-2s%18s%3d%8s%7.4f%4s%7.4f%4s%7.4f%4s%7.4f\n", sym, "", mult, "", frac, "", x,
                "", y, "", z);
}

inline std::string atom_list(const std::string& atoms) {
  return " Type seq  Name   mult        frac         x          y          z\n" + atoms +
         " Lattice parameters are\n";
}

}  // namespace memprep::test
