// SPDX-License-Identifier: GPL-3.0-or-later
#include "project/text_limits.h"

#include <cstdio>
#include <vector>

namespace mirevant {

namespace {

// A project holds a few levels of nesting, keys of one part, lines of a few hundred bytes and at
// most some thousands of keys and values (52 variables, every pair of them covariant). The limits
// are far beyond that, and keep the parser under a second on any text of kProjectFileLimit bytes.
constexpr std::size_t kMaxNesting = 64;
constexpr std::size_t kMaxKeyParts = 16;
constexpr std::size_t kMaxLines = 50000;
constexpr std::size_t kMaxLineLength = 4096;                 // lines with keys or values
constexpr std::size_t kMaxContent = std::size_t{512} << 10;  // bytes outside comments and blanks
constexpr std::size_t kMaxItems = 20000;                     // key parts, values and tables

struct Refusal {
  TextProblem problem;
};

// The length of the UTF-8 sequence at text[i], or 0 when the bytes there are not one.
std::size_t utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned code = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i + k) & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

std::string controlName(unsigned char c) {
  if (c == 0) return "a NUL character";
  char name[48];
  std::snprintf(name, sizeof name, "the control character U+%04X", c);
  return name;
}

// One pass over the text that tells comments and texts in quotes from the rest, as the parser
// will, and counts what the limits are about.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void run() {
    while (pos_ < text_.size()) step();
    endLine();
  }

 private:
  enum class In { Code, Comment, Basic, Literal, MultiBasic, MultiLiteral };

  [[noreturn]] void refuse(const std::string& what) const { throw Refusal{{line_, what}}; }

  const char* where() const {
    switch (in_) {
      case In::Code:
        return "the file";
      case In::Comment:
        return "a comment";
      default:
        return "a text in quotes";
    }
  }

  void step() {
    const auto c = static_cast<unsigned char>(text_[pos_]);
    if (c == '\n') return newline();
    if (c == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') {
      ++pos_;
      return;
    }
    if (c >= 0x80) {
      const std::size_t length = utf8Length(text_, pos_);
      if (length == 0) refuse(std::string(where()) + " holds bytes that are not UTF-8 text");
      if (in_ != In::Comment) content(length);
      pos_ += length;
      return;
    }
    if ((c < 0x20 && c != '\t') || c == 0x7F)
      refuse(std::string(where()) + " holds " + controlName(c));
    switch (in_) {
      case In::Code:
        return code(static_cast<char>(c));
      case In::Comment:
        ++pos_;
        return;
      case In::Basic:
      case In::MultiBasic:
        return quoted('"');
      case In::Literal:
      case In::MultiLiteral:
        return quoted('\'');
    }
  }

  void code(char c) {
    if (c == ' ' || c == '\t') {
      ++pos_;
      return;
    }
    if (c == '#') {
      in_ = In::Comment;
      ++pos_;
      return;
    }
    content(1);
    switch (c) {
      case '"':
      case '\'':
        if (text_.compare(pos_, 3, std::string(3, c)) == 0) {
          in_ = c == '"' ? In::MultiBasic : In::MultiLiteral;
          content(2);
          pos_ += 3;
        } else {
          in_ = c == '"' ? In::Basic : In::Literal;
          ++pos_;
        }
        return;
      case '[':
      case '{':
        item();
        if (open_.size() == kMaxNesting)
          refuse("arrays and inline tables are nested more than " + std::to_string(kMaxNesting) +
                 " deep");
        open_.push_back(c);
        // An inline table, and a table header, start with a key.
        if (c == '{' || inKey_) startKey();
        break;
      case ']':
      case '}':
        if (!open_.empty()) open_.pop_back();
        inKey_ = false;
        break;
      case ',':
        item();
        if (!open_.empty() && open_.back() == '{') startKey();
        break;
      case '=':
        item();
        inKey_ = false;
        break;
      case '.':
        if (!inKey_) break;
        if (++keyParts_ > kMaxKeyParts)
          refuse("a dotted key has more than " + std::to_string(kMaxKeyParts) + " parts");
        item();
        break;
      default:
        break;
    }
    ++pos_;
  }

  // Inside a text in quotes: an escaped quote or backslash does not end it; three quotes end a
  // multi-line text, and up to two more just before them belong to it.
  void quoted(char quote) {
    const bool escapes = in_ == In::Basic || in_ == In::MultiBasic;
    const bool multiLine = in_ == In::MultiBasic || in_ == In::MultiLiteral;
    const char c = text_[pos_];
    if (escapes && c == '\\' && pos_ + 1 < text_.size() &&
        (text_[pos_ + 1] == '"' || text_[pos_ + 1] == '\\')) {
      content(2);
      pos_ += 2;
      return;
    }
    if (c != quote) {
      content(1);
      ++pos_;
      return;
    }
    std::size_t run = 1;
    if (multiLine)
      while (pos_ + run < text_.size() && text_[pos_ + run] == quote) ++run;
    content(run);
    pos_ += run;
    if (!multiLine || run >= 3) in_ = In::Code;
  }

  void newline() {
    endLine();
    // Only texts of several lines go on; a comment ends, and so does (in error) a one-line text.
    if (in_ != In::MultiBasic && in_ != In::MultiLiteral) in_ = In::Code;
    if (++line_ > kMaxLines)
      refuse("the file has more than " + std::to_string(kMaxLines) + " lines");
    lineStart_ = ++pos_;
    lineHasContent_ = false;
    if (in_ == In::Code && open_.empty()) startKey();
  }

  void endLine() const {
    const std::size_t length = pos_ - lineStart_;
    if (lineHasContent_ && length > kMaxLineLength)
      refuse("the line has " + std::to_string(length) + " bytes; a line with keys or values has " +
             "at most " + std::to_string(kMaxLineLength));
  }

  void startKey() {
    inKey_ = true;
    keyParts_ = 1;
  }

  void item() {
    if (++items_ > kMaxItems)
      refuse("the file has more than " + std::to_string(kMaxItems) +
             " keys, values and tables (the parts of a dotted key count one each)");
  }

  void content(std::size_t bytes) {
    lineHasContent_ = true;
    content_ += bytes;
    if (content_ > kMaxContent)
      refuse("the file holds more than " + std::to_string(kMaxContent) + " bytes outside comments");
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;
  std::size_t lineStart_ = 0;
  bool lineHasContent_ = false;
  In in_ = In::Code;
  std::vector<char> open_;  // the arrays and inline tables open here, innermost last
  bool inKey_ = true;
  std::size_t keyParts_ = 1;
  std::size_t items_ = 0;
  std::size_t content_ = 0;
};

}  // namespace

std::optional<TextProblem> projectTextProblem(std::string_view text) {
  if (text.size() > kProjectFileLimit)
    return TextProblem{0, "the file has " + std::to_string(text.size()) +
                              " bytes; a project file has at most " +
                              std::to_string(kProjectFileLimit)};
  try {
    Scanner(text).run();
  } catch (const Refusal& r) {
    return r.problem;
  }
  return std::nullopt;
}

}  // namespace mirevant
