#include "model/field_escape.h"

namespace telvo {

namespace {

void appendHex(std::string& out, unsigned char byte)
{
    static const char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[byte >> 4];
    out += hex[byte & 15];
}

// The length of the well-formed UTF-8 sequence at text[i] (2 to 4), or 0
// when the bytes there are not one: overlong forms, surrogates and code
// points past U+10FFFF are not.
size_t utf8SequenceAt(std::string_view text, size_t i)
{
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    size_t length = 0;
    unsigned char lo = 0x80, hi = 0xBF; // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            lo = 0xA0;
        else if (lead == 0xED)
            hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            lo = 0x90;
        else if (lead == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - i < length || at(i + 1) < lo || at(i + 1) > hi)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF)
            return 0;
    return length;
}

} // namespace

void AppendFieldEscaped(std::string& out, std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            const size_t length = utf8SequenceAt(text, i);
            // U+0080..U+009F are the C1 controls; some terminals act on
            // them as they do on ESC sequences.
            const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
            if (length == 0 || c1) {
                appendHex(out, byte);
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (byte) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (byte < 0x20 || byte == 0x7F)
                appendHex(out, byte);
            else
                out += static_cast<char>(byte);
        }
        ++i;
    }
}

std::string FieldEscaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendFieldEscaped(out, text);
    return out;
}

} // namespace telvo
