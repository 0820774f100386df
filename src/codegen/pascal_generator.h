#pragma once
// The Free Pascal source of a loadable FB library for one basic FB type: one
// class TtelvoKALOFBtype holding the FB's state, variables and ECC, and four
// exported entry points through which an FB runtime creates the FB, hands it
// events with input data, receives its output events with output data
// through a callback, and frees it.
//
// How the library talks to its host (every entry point and the callback use
// the C calling convention):
//   isValidFB(const char* typeName, int32_t fbId) -> int32_t
//       1 and creates the FB when typeName is the type's name, else 0.
//   AssignCallBack(void (*callback)(void** parameters))
//   HandleFBEvent(const char* event, const int32_t* eventLength,
//                 per data input: const T* value [, const int32_t* length
//                 for a text input]) -> int32_t (1)
//       Booleans are one byte, Integers int32_t, Reals float, texts char*.
//   FreeFBDLL() -> int32_t (1)
// The callback's slots carry values, not addresses: [0] the FB identifier,
// [1] the event name's characters, [2] its length, then per data output its
// value (a Real as the bit pattern of its float, a text as its characters
// followed by its length). The array holds one slot more than it fills; the
// last one is never set.

#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace telvo {

class TFB_Type;

// A type the generator refuses: composite, a name that cannot be a file name
// inside the target folder, names the source would use as identifiers that
// are none, or initial values that are no literals of their type. The
// message names every one of them.
class ECodeGenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The complete source text, lines ending in CR LF. `timeStamp` goes into the
// header comment. Throws ECodeGenError for a type whose names or initial
// values cannot be pasted into the source; comments lose their line breaks
// and braces, texts inside quotes are quoted.
std::string GeneratePascalSource(const TFB_Type& type, const std::string& timeStamp);

// Local date and time as the header comment shows it: "2024-12-10 14:03:07".
std::string PascalTimeStamp(std::time_t when);

// Writes targetFolder/<type name>.pas (creating the folder, replacing an
// earlier file atomically) and returns its path. Throws ECodeGenError for a
// type it refuses and std::runtime_error when the file cannot be written.
std::filesystem::path GeneratePascalFile(const TFB_Type& type, const std::filesystem::path& targetFolder);

// The shared library fpc builds from a generated file: lib<name>.so beside it.
std::filesystem::path PascalLibraryFile(const std::filesystem::path& sourceFile);

} // namespace telvo
