#pragma once
// File helpers shared by every reader and writer of the workbench.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

// The largest file a reader takes in whole. No file of the workbench comes
// near it; anything larger is taken for a mistake rather than read until
// memory runs out.
inline constexpr size_t kMaxReadFileSize = size_t(256) << 20;

// Opens a file to be read whole: only a regular file of at most
// kMaxReadFileSize bytes, so that a FIFO, a device such as /dev/zero or a
// folder given by mistake is refused at once instead of blocking, reading
// for ever or failing later as something else. Returns the descriptor and
// stores the file's size; throws std::runtime_error naming the file and the
// reason ("is a directory", "is not a regular file", "is larger than 256
// MiB").
int OpenFileToRead(const std::filesystem::path& path, size_t& size);
// The error for a file that turned out larger than kMaxReadFileSize while
// it was read (it grew after it was opened).
std::runtime_error FileTooLargeError(const std::filesystem::path& path);
// Reads a whole file through OpenFileToRead; throws std::runtime_error
// naming the file when it cannot be read.
std::string ReadFileText(const std::filesystem::path& path);
// Splits a text into lines (LF or CR LF); a final line without break counts.
std::vector<std::string> SplitLines(std::string_view text);
// Joins lines with LF.
std::string JoinLines(const std::vector<std::string>& lines);
// What an atomic write may do with the name it is given.
enum class TWriteMode {
    // Replace the file or create it. A symbolic link is written through to
    // the file it names (the link stays); a dangling link names the file to
    // create.
    Save,
    // Files a command writes into a folder it was given: an existing file is
    // replaced as by Save, through links included, but a new file is only
    // created under the name itself, never through a link: a dangling link
    // is refused.
    Output,
    // A new file only: refused when anything has the name, a dangling link
    // included, and never put over a file that appeared meanwhile.
    Create,
};
// Writes the bytes to a temporary file beside the target and renames it over
// the target, so a failed or interrupted save never destroys the previous
// file. The file keeps its mode; `mode` says what happens to links and to a
// name that is taken. The temporary file has no name until it is complete
// where the file system allows (O_TMPFILE); elsewhere a temporary left by a
// killed save is removed by the next save of the file. Throws
// std::runtime_error naming the file on failure.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                     TWriteMode mode = TWriteMode::Save);
// Whether WriteFileAtomic may use unnamed temporary files (true unless
// switched off); off, it works as on a file system without them.
void UseUnnamedTemporaries(bool use);
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
