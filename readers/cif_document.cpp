#include "readers/cif_document.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <gemmi/cif.hpp>

namespace memprep {

namespace cif = gemmi::cif;

struct CifDocumentState {
  cif::Document doc;
};

namespace {

// gemmi's messages begin with the source name and the line ("NAME:12:5: ..." from the
// parser, "NAME:12 in data_x: ..." from its checks).
CifParseError parse_error(const std::string& name, std::string message) {
  CifParseError e;
  if (message.compare(0, name.size(), name) == 0 && message.size() > name.size() &&
      message[name.size()] == ':') {
    message.erase(0, name.size() + 1);
    std::size_t digits = 0;
    while (digits < message.size() && std::isdigit(static_cast<unsigned char>(message[digits])))
      ++digits;
    if (digits > 0) std::from_chars(message.data(), message.data() + digits, e.line);
    message.erase(0, digits);
    if (!message.empty() && message[0] == ':') {  // the column
      message.erase(0, 1);
      std::size_t c = 0;
      while (c < message.size() && std::isdigit(static_cast<unsigned char>(message[c]))) ++c;
      message.erase(0, c);
    }
    while (!message.empty() && (message[0] == ':' || message[0] == ' ')) message.erase(0, 1);
  }
  e.condition = message.substr(0, message.find('\n'));
  return e;
}

}  // namespace

int CifLoop::find(const std::string& tag) const {
  for (std::size_t i = 0; i < tags->size(); ++i)
    if (same_text((*tags)[i], tag)) return static_cast<int>(i);
  return -1;
}

CifDocument::CifDocument() : state_(std::make_unique<CifDocumentState>()) {}
CifDocument::~CifDocument() = default;
CifDocument::CifDocument(CifDocument&&) noexcept = default;
CifDocument& CifDocument::operator=(CifDocument&&) noexcept = default;

CifDocument CifDocument::parse(const std::string& name, const std::string& text) {
  CifDocument d;
  try {
    d.state_->doc = cif::read_memory(text.data(), text.size(), name.c_str());
  } catch (const std::exception& e) {
    throw parse_error(name, e.what());
  }
  return d;
}

std::size_t CifDocument::blocks() const {
  return state_->doc.blocks.size();
}

const std::string& CifDocument::name(std::size_t b) const {
  return state_->doc.blocks[b].name;
}

const cif::Block& CifDocument::block(std::size_t b) const {
  return state_->doc.blocks[b];
}

const std::string* CifDocument::value(std::size_t b, const std::string& tag) const {
  return state_->doc.blocks[b].find_value(tag);
}

bool CifDocument::holds(std::size_t b, const std::string& tag) const {
  return state_->doc.blocks[b].find_values(tag).item() != nullptr;
}

CifLoop CifDocument::loop(std::size_t b, const std::string& tag) const {
  CifLoop l;
  for (const cif::Item& it : state_->doc.blocks[b].items)
    if (it.type == cif::ItemType::Loop && it.loop.find_tag(tag) >= 0) {
      l.tags = &it.loop.tags;
      l.values = &it.loop.values;
      l.line = it.line_number;
      break;
    }
  return l;
}

std::string cif_text(const std::string& value) {
  return cif::as_string(value);
}

bool cif_null(const std::string& value) {
  return cif::is_null(value);
}

bool same_text(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace memprep
