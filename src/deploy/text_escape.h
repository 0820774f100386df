#pragma once
// Names, types and values typed by users end up inside the texts sent to
// devices. Pasted as they are, a name holding "<" or a quote would end the
// element or string around it and let the rest be read as commands.

#include <string>
#include <string_view>

namespace telvo {

// The text with &, <, >, and " written as XML entities, and control
// characters as character references (&#10;): safe inside element content
// and inside double-quoted attribute values, where a reader would otherwise
// turn a raw line break or tab into a blank.
std::string XmlEscaped(std::string_view text);
void AppendXmlEscaped(std::string& out, std::string_view text);

// The text for the inside of a double-quoted script string: backslash and
// double quote get a backslash before them, line breaks, tabs and other
// control characters become \n, \r, \t or \xHH.
std::string ScriptEscaped(std::string_view text);

} // namespace telvo
