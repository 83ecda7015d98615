// A CIF file parsed whole by gemmi, with the look-ups the reflection-CIF reader makes.
// gemmi's document stays inside cif_document.cpp: its header does not compile under clang
// as C++20, so that one file is compiled as C++17 there (CMakeLists.txt), and this header
// uses nothing newer. Tags are compared without regard to case, as CIF has them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gemmi::cif {
struct Block;
}

namespace memprep {

// A parse failure: the line gemmi names (0 when none) and what was wrong.
struct CifParseError {
  std::int64_t line = 0;
  std::string condition;
};

// A loop of one block: its tags as given, its values row after row, the line of `loop_`.
struct CifLoop {
  const std::vector<std::string>* tags = nullptr;
  const std::vector<std::string>* values = nullptr;
  int line = 0;
  std::size_t width() const { return tags->size(); }
  std::size_t length() const { return values->size() / tags->size(); }
  const std::string& val(std::size_t row, std::size_t col) const {
    return (*values)[row * width() + col];
  }
  // The column of `tag`, or -1.
  int find(const std::string& tag) const;
};

class CifDocument {
 public:
  CifDocument();
  ~CifDocument();
  CifDocument(CifDocument&&) noexcept;
  CifDocument& operator=(CifDocument&&) noexcept;

  // Parses the text of file `name`; throws CifParseError.
  static CifDocument parse(const std::string& name, const std::string& text);

  std::size_t blocks() const;
  const std::string& name(std::size_t block) const;
  const gemmi::cif::Block& block(std::size_t block) const;
  // The value of a name-value item, or nullptr.
  const std::string* value(std::size_t block, const std::string& tag) const;
  // Whether the block holds `tag`, as an item or in a loop.
  bool holds(std::size_t block, const std::string& tag) const;
  // The loop that holds `tag`; its tags are null when none does.
  CifLoop loop(std::size_t block, const std::string& tag) const;

 private:
  std::unique_ptr<struct CifDocumentState> state_;
};

// A value without its quotes or text-field marks; "" for "?" and ".".
std::string cif_text(const std::string& value);
bool cif_null(const std::string& value);
// Case-insensitive equality of two ASCII texts.
bool same_text(const std::string& a, const std::string& b);

}  // namespace memprep
