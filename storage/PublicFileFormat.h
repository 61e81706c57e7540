#pragma once
// The public category file: one category a line, "name;colour", ANSI text, no header.
#include <string>
#include <string_view>

#include "CategoryItem.h"
#include "CategoryVector.h"

enum class LineEnd { Lf, CrLf };

// Rebuilds `items` from the file's text. A line ends at LF; a CR before it is dropped,
// and a NUL byte ends the line's content.
// When `copy` is given, every line that names something (even a blank name) is appended to
// it as read, with "\n", to become the local copy.
void ParseLines(std::string_view text, CCategoryItems& items, std::string* copy = nullptr);

// The file's text for `items`, in their order: name;colour and the line end, per item.
std::string WriteLines(const CCategoryItems& items, LineEnd lineEnd);

// A colour as the file holds it: 0..25, anything else (or no digits) is 0.
int ParseColour(std::string_view token);
