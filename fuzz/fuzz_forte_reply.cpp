// Feeds arbitrary bytes to the runtime client's answer reading: as a stream
// of answer frames off the wire, each frame's text read as the answer to a
// request, and the bytes as one answer text on their own. Whatever a
// runtime (or anything answering on its port) sends, reading must end with
// an answer or a message, never read past the bytes, and never take an
// answer for one to another request; what the CLI prints of it holds no
// control character.

#include "deploy/forte.h"
#include "deploy/text_escape.h"
#include "model/field_escape.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace telvo;

namespace {

void check(bool holds)
{
    if (!holds)
        __builtin_trap();
}

bool printable(std::string_view text)
{
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

void readAnswer(std::string_view text)
{
    // A short ID as the deployment sends, and the longest the runtime takes.
    for (std::string_view id : {"1", "9999999"}) {
        TForteResponse response;
        std::string error;
        if (ParseForteAnswer(text, id, response, error)) {
            check(response.Id == id);
            check(response.HasValue == !response.Value.empty());
            check(printable(FieldEscaped(response.Value)));
            check(printable(FieldEscaped(response.Reason)));
        } else {
            check(!error.empty());
            check(printable(error));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Frame after frame, as the client reads them from one connection.
    std::string_view rest = bytes;
    while (rest.size() >= 3) {
        const int length = ForteAnswerLength(rest.substr(0, 3));
        if (length < 0)
            break;
        rest.remove_prefix(3);
        check(static_cast<size_t>(length) <= 0xFFFF);
        // A frame cut short is what a closed connection leaves: the client
        // never reads it; its start still must not upset the reader.
        const std::string text(rest.substr(0, static_cast<size_t>(length)));
        readAnswer(text);
        rest.remove_prefix(std::min(rest.size(), static_cast<size_t>(length)));
    }
    // The bytes as one answer text, past the framing.
    readAnswer(bytes);
    return 0;
}
