// memprep: converts the result of a Rietveld refinement into the input of a
// maximum-entropy-method analysis, one control file after the other.
#include <exception>
#include <iostream>
#include <new>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "driver/control_template.hpp"
#include "driver/options.hpp"
#include "driver/run.hpp"
#include "driver/summary.hpp"
#include "io/errors.hpp"
#include "io/output_file.hpp"
#include "writers/writers.hpp"

#ifndef MEMPREP_VERSION
#define MEMPREP_VERSION "0.0.0"
#endif

namespace {

// Standard error for the warnings of one conversion among several: each "memprep: " line is
// led by the control file's name and, once the reader has taken them, the pattern or
// histogram and the phase, so that a warning says whose it is.
class WarningLead : public std::streambuf {
 public:
  WarningLead(std::ostream& to, std::string control, const memprep::Run*& run)
      : to_(to), control_(std::move(control)), run_(run) {}
  ~WarningLead() override {
    run_ = nullptr;  // the conversion has ended: a line left unfinished is led by the name only
    sync();
  }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return 0;
    line_ += static_cast<char>(c);
    if (c == '\n') sync();
    return c;
  }
  int sync() override {
    if (line_.empty()) return 0;
    constexpr std::string_view kHead = "memprep: ";
    if (line_.starts_with(kHead))
      to_ << kHead << lead() << ": " << line_.substr(kHead.size());
    else
      to_ << line_;
    line_.clear();
    return to_.flush() ? 0 : -1;
  }

 private:
  std::string lead() const {
    std::string lead = memprep::where(control_, 0);
    const std::string& chosen = run_ ? run_->chosen : std::string();
    if (chosen.starts_with("pattern ") || chosen.starts_with("histogram ")) {
      const std::size_t comma = chosen.find(", ");
      const std::size_t end = comma == std::string::npos ? comma : chosen.find(", ", comma + 2);
      lead += " (" + chosen.substr(0, end) + ")";
    }
    return lead;
  }
  std::ostream& to_;
  std::string control_, line_;
  const memprep::Run*& run_;
};

// Converts one control file; every failure is reported here, on one line (a console
// message and its detail on two), led by the control file's name when several are given.
// The listing of a conversion that succeeded goes to `listed`.
bool convert(const std::string& control_file, const memprep::CommandLine& cl,
             memprep::CallFiles& call, std::vector<memprep::Listing>& listed) {
  const bool several = call.control_files.size() > 1;
  const std::string lead = several ? memprep::where(control_file, 0) + ": " : "";
  const memprep::Run* watched = nullptr;
  WarningLead lead_buffer(std::cerr, control_file, watched);
  std::ostream led(&lead_buffer);
  memprep::Run run(std::cout, several ? led : std::cerr);
  watched = &run;
  // The files of this conversion are kept from the later ones of the call, whatever the end.
  struct Note {
    memprep::CallFiles& call;
    const memprep::Run& run;
    bool succeeded = false;
    ~Note() { call.note(run, succeeded); }
  } note{call, run};
  try {
    run.options = cl.run;
    run.CTLFILE = control_file;
    run.listing.wanted = cl.run.wants_listing();
    memprep::run_converter(run, &call);
    if (!cl.quiet) std::cerr << memprep::summary(run);
    note.succeeded = true;
    if (run.listing.wanted) {
      run.listing.control = control_file;
      run.listing.source = run.SRCFILE;
      run.listing.title = std::string(memprep::trim_right(run.store.TITLE));
      listed.push_back(std::move(run.listing));
    }
    return true;
  } catch (const memprep::Stop& stop) {
    std::cout << stop.what() << '\n' << std::flush;
    if (!stop.detail.empty())
      std::cerr << "memprep: " << lead << stop.detail << '\n';
    else if (several)
      std::cerr << "memprep: " << lead << "stopped\n";
  } catch (const memprep::IoFailure& failure) {
    std::cout << std::flush;
    std::cerr << "memprep: " << lead << failure.what() << '\n';
  } catch (const std::bad_alloc&) {
    std::cerr << "memprep: " << lead << "out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "memprep: " << lead << e.what() << '\n';
  }
  return false;
}

// The listing or the plot of the conversions that succeeded, on standard output ("-") or
// put in place from its temporary file. False, reported, when it cannot be written.
bool write_view(const std::string& name, const char* role, memprep::OutputFile& file,
                void (*write)(const std::vector<memprep::Listing>&, const memprep::LineSink&),
                const std::vector<memprep::Listing>& listed, const memprep::CallFiles& call) {
  try {
    if (name != "-")
      if (const std::string what = memprep::overwritten_in_call(call, name); !what.empty()) {
        std::cerr << "memprep: " << role << " " << memprep::quoted_name(name) << " would overwrite "
                  << what << ": it is not written\n";
        return false;
      }
    if (name == "-") {
      write(listed, [](std::string_view line) { std::cout << line << '\n'; });
      std::cout << std::flush;
      return true;
    }
    write(listed, [&](std::string_view line) { file.write_line(line); });
    file.finish();
    memprep::SignalHold hold;
    file.commit();
    return true;
  } catch (const memprep::IoFailure& failure) {
    std::cerr << "memprep: " << failure.what() << '\n';
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  memprep::CommandLine cl;
  try {
    cl = memprep::parse_command_line(argc, argv);
  } catch (const memprep::UsageError& e) {
    std::cerr << "memprep: " << e.what() << '\n' << memprep::kUsageLine;
    return 2;
  }
  if (cl.help) {
    std::cout << memprep::help_text();
    return 0;
  }
  if (cl.version) {
    std::cout << "memprep " MEMPREP_VERSION "\n";
    return 0;
  }
  if (!cl.template_source.empty()) {
    try {
      std::cout << memprep::control_template(cl.template_source) << std::flush;
      return 0;
    } catch (const memprep::IoFailure& failure) {
      std::cerr << "memprep: " << failure.what() << '\n';
    } catch (const memprep::Stop& stop) {
      std::cerr << "memprep: " << (stop.detail.empty() ? stop.what() : stop.detail) << '\n';
    }
    return 1;
  }

  memprep::remove_temporary_files_on_termination();
  // The listing and the plot are created before any conversion, so that one that cannot be
  // written stops the run before anything is converted.
  memprep::OutputFile list_file, plot_file;
  try {
    if (!cl.run.list_file.empty() && cl.run.list_file != "-") list_file.create(cl.run.list_file);
    if (!cl.run.plot_file.empty() && cl.run.plot_file != "-") plot_file.create(cl.run.plot_file);
  } catch (const memprep::IoFailure& failure) {
    std::cerr << "memprep: " << failure.what() << '\n';
    return 1;
  }
  const bool several = cl.control_files.size() > 1;
  memprep::CallFiles call;
  call.control_files = cl.control_files;
  std::size_t failed = 0;
  std::vector<memprep::Listing> listed;
  for (const std::string& control_file : cl.control_files)
    if (!convert(control_file, cl, call, listed)) ++failed;
  if (several && failed > 0)
    std::cerr << "memprep: " << failed << " of " << cl.control_files.size()
              << " control files failed\n";
  bool viewed = true;
  if (!listed.empty() && !cl.run.list_file.empty())
    viewed = write_view(cl.run.list_file, "the listing", list_file,
                        memprep::write_reflection_listing, listed, call);
  if (!listed.empty() && !cl.run.plot_file.empty())
    viewed = write_view(cl.run.plot_file, "the plot", plot_file, memprep::write_plot_svg, listed,
                        call) &&
             viewed;
  return failed == 0 && viewed ? 0 : 1;
}
