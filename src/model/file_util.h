#pragma once
// File helpers shared by every reader and writer of the workbench.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

// Reads a whole file; throws std::runtime_error naming the file when it
// cannot be read.
std::string ReadFileText(const std::filesystem::path& path);
// Splits a text into lines (LF or CR LF); a final line without break counts.
std::vector<std::string> SplitLines(std::string_view text);
// Joins lines with LF.
std::string JoinLines(const std::vector<std::string>& lines);
// Writes the bytes to a temporary file beside the target and renames it over
// the target, so a failed or interrupted save never destroys the previous
// file. Throws std::runtime_error naming the file on failure.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes);
// The bare file name of a stored path, whichever separator it uses:
// "C:\plant\line1.fbn" gives "line1.fbn".
std::string BareFileName(std::string_view storedPath);
// A stored path with "\" turned into "/".
std::string NormalizeSeparators(std::string_view storedPath);
// Upper-case of an ASCII text.
std::string UpperCase(std::string_view text);
// Case-insensitive (ASCII) less-than, for stable listing orders.
bool LessNoCase(std::string_view a, std::string_view b);

} // namespace telvo
