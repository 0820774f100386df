#include "deploy/text_escape.h"

namespace telvo {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void appendHex(std::string& out, const char* prefix, unsigned char c)
{
    out += prefix;
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

} // namespace

void AppendXmlEscaped(std::string& out, std::string_view text)
{
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (isControl(u)) {
                out += "&#";
                out += std::to_string(u);
                out += ';';
            } else {
                out += c;
            }
        }
    }
}

std::string XmlEscaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendXmlEscaped(out, text);
    return out;
}

std::string ScriptEscaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (isControl(u))
                appendHex(out, "\\x", u);
            else
                out += c;
        }
    }
    return out;
}

} // namespace telvo
