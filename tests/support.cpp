#include "support.hpp"

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace memprep::test {

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = fs::temp_directory_path() / ("memprep-test-" + std::to_string(rd()));
    if (fs::create_directory(p)) {
      path = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path, ec);
}

namespace {

std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

}  // namespace

Result run_memprep(const fs::path& dir, const std::vector<std::string>& args) {
  TempDir capture;
  fs::path out = capture.path / "stdout", err = capture.path / "stderr";
  std::string cmd = "cd ";
  cmd.append(shell_quote(dir.string())).append(" && ").append(shell_quote(MEMPREP_BINARY));
  for (const std::string& a : args) cmd.append(" ").append(shell_quote(a));
  cmd.append(" </dev/null >").append(shell_quote(out.string()));
  cmd.append(" 2>").append(shell_quote(err.string()));
  int raw = std::system(cmd.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.out = read_file(out);
  r.err = read_file(err);
  return r;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const fs::path& p, std::string_view content) {
  std::ofstream out(p, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::vector<std::string> list_files(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) names.push_back(fs::relative(e.path(), dir).string());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

void put_le(std::string& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

}  // namespace

std::string encode_records(std::string_view notation) {
  std::string file;
  std::istringstream lines{std::string(notation)};
  std::string line;
  while (std::getline(lines, line)) {
    std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::string data;
    long long lead = -1, trail = -1;
    bool notrail = false;
    std::size_t i = first;
    while (i < line.size()) {
      if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
        ++i;
        continue;
      }
      if (line[i] == '"') {
        std::size_t close = line.find('"', i + 1);
        if (close == std::string::npos) throw std::runtime_error("unclosed text: " + line);
        std::string text = line.substr(i + 1, close - i - 1);
        i = close + 1;
        if (i < line.size() && line[i] == '/') {
          std::size_t end = line.find_first_of(" \t", i);
          std::size_t width = std::stoul(line.substr(i + 1, end - i - 1));
          text.resize(width, ' ');
          i = end == std::string::npos ? line.size() : end;
        }
        data += text;
        continue;
      }
      std::size_t end = line.find_first_of(" \t\r", i);
      std::string tok = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
      i = end == std::string::npos ? line.size() : end;
      if (tok.rfind("@lead=", 0) == 0) {
        lead = std::stoll(tok.substr(6));
      } else if (tok.rfind("@trail=", 0) == 0) {
        trail = std::stoll(tok.substr(7));
      } else if (tok == "@notrail") {
        notrail = true;
      } else if (tok.rfind("zeros:", 0) == 0) {
        data.append(std::stoul(tok.substr(6)), '\0');
      } else if (tok.find_first_of(".eEnN") != std::string::npos) {
        double d = std::strtod(tok.c_str(), nullptr);
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        put_le(data, bits, 8);
      } else {
        put_le(data, static_cast<std::uint64_t>(std::stoll(tok)), 8);
      }
    }
    std::uint64_t n = data.size();
    put_le(file, lead >= 0 ? static_cast<std::uint64_t>(lead) : n, 4);
    file += data;
    if (!notrail) put_le(file, trail >= 0 ? static_cast<std::uint64_t>(trail) : n, 4);
  }
  return file;
}

std::string first_difference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  std::istringstream e(expected), a(actual);
  std::string le, la;
  for (int n = 1;; ++n) {
    bool he = static_cast<bool>(std::getline(e, le));
    bool ha = static_cast<bool>(std::getline(a, la));
    if (!he && !ha) return "files differ in their line ends";
    if (!he || !ha || le != la)
      return "line " + std::to_string(n) + ":\n  expected: [" + (he ? le : "<end of file>") +
             "]\n  actual:   [" + (ha ? la : "<end of file>") + "]";
  }
}

}  // namespace memprep::test
