#pragma once
// Whole-file reads and all-or-nothing replacement of files on a path.
#include <windows.h>

#include <string>

// Reads the whole file, sharing it with everybody. On failure `error` is GetLastError()
// and `opened` tells whether the failure came after the file was open.
bool ReadWholeFile(const std::string& path, std::string& content, DWORD& error, bool& opened);

// Writes `content` to a new file beside `path`, then puts it in place of `path` in one
// step, keeping the old file's security and attributes. Readers see the old file or the
// new one, never a mixture. On failure nothing changed and `error` says why.
bool ReplaceFileContents(const std::string& path, const std::string& content, DWORD& error);

// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);

// "\n" line ends to "\r\n", as text files on Windows are written.
std::string ToCrLf(const std::string& text);
