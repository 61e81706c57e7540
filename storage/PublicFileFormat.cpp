#include "PublicFileFormat.h"

#include <algorithm>
#include <cstdlib>

#include "qv/Text.h"

namespace {

constexpr int kHighestColour = 25;

// Skips the semicolons at `pos`, then takes the text up to the next semicolon. `pos` moves
// past that semicolon, or to npos when the token ran to the end of the line.
// Semicolons are below 0x40 and so never the trail byte of a double-byte character.
std::string_view NextToken(std::string_view line, size_t& pos) {
  if (pos >= line.size()) {
    pos = std::string_view::npos;
    return {};
  }
  const size_t begin = line.find_first_not_of(';', pos);
  if (begin == std::string_view::npos) {
    pos = std::string_view::npos;
    return {};
  }
  const size_t end = line.find(';', begin);
  pos = end == std::string_view::npos ? std::string_view::npos : end + 1;
  return line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

void ParseLine(std::string_view line, CCategoryItems& items, std::string* copy) {
  size_t pos = 0;
  const std::string_view nameToken = NextToken(line, pos);
  if (nameToken.empty()) return;
  std::string_view colourToken = pos == std::string_view::npos ? std::string_view() : NextToken(line, pos);
  if (colourToken.empty()) colourToken = "0";

  std::string name = Qv::TrimWhiteSpace(nameToken);
  if (!name.empty()) {
    const int colour = ParseColour(Qv::TrimWhiteSpace(colourToken));
    name.erase(std::remove(name.begin(), name.end(), ','), name.end());
    items.emplace_back(std::move(name), colour);
  }
  if (copy != nullptr) {
    copy->append(line);
    copy->push_back('\n');
  }
}

}  // namespace

int ParseColour(std::string_view token) {
  const std::string text(token);
  const long value = std::strtol(text.c_str(), nullptr, 10);
  return (value < 0 || value > kHighestColour) ? 0 : static_cast<int>(value);
}

void ParseLines(std::string_view text, CCategoryItems& items, std::string* copy) {
  items.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // Names travel on as C strings (Outlook, the registry, profile files): a NUL byte
    // ends what a line holds.
    line = line.substr(0, line.find('\0'));
    ParseLine(line, items, copy);
    start = end + 1;
  }
}

std::string WriteLines(const CCategoryItems& items, LineEnd lineEnd) {
  const char* const end = lineEnd == LineEnd::CrLf ? "\r\n" : "\n";
  std::string text;
  for (const CCategoryItem& item : items) {
    text += item.name;
    text += ';';
    text += std::to_string(item.colour);
    text += end;
  }
  return text;
}
