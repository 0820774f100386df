#pragma once
// Text that comes from outside — an OPC server's names and values, a
// runtime's answers — printed as a field of the CLI's line records. Printed
// as it came, a TAB or a line break in it forges another field or record,
// and an ESC or another control character reaches the user's terminal.

#include <string>
#include <string_view>

namespace telvo {

// The text with a backslash written as \\, TAB, line feed and carriage
// return as \t, \n and \r, and every other byte that is a control character
// (C0, DEL, and the C1 controls U+0080..U+009F in UTF-8) or not part of
// valid UTF-8 as \xHH (two upper-case hex digits per byte). Printable UTF-8
// stays as it is, so an ordinary name reads the same, and the result never
// holds a TAB, a line break or a control byte.
std::string FieldEscaped(std::string_view text);
void AppendFieldEscaped(std::string& out, std::string_view text);

} // namespace telvo
