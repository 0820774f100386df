// Feeds arbitrary bytes to the OPC UA message decoder: as a chunk off the
// wire, and as the body of every response this client decodes. Whatever a
// server (or anything answering on its port) sends, the decoder must end
// with a result or one of its two errors, never read past the bytes or
// allocate more than they could carry.

#include "opc/ua_services.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace telvo::opc;

namespace {

void decodeBody(std::string_view body)
{
    auto attempt = [&](auto decode) {
        try {
            decode(body);
        } catch (const EUaDecodeError&) {
        } catch (const EOpcError&) {
        }
    };
    attempt([](std::string_view b) { DecodeOpenSecureChannel(b); });
    attempt([](std::string_view b) { DecodeCreateSession(b); });
    attempt([](std::string_view b) { DecodeActivateSession(b); });
    attempt([](std::string_view b) { DecodeCloseSession(b); });
    attempt([](std::string_view b) { DecodeFindServers(b); });
    attempt([](std::string_view b) { DecodeGetEndpoints(b); });
    attempt([](std::string_view b) { DecodeBrowse(b, false, 1, Limit::References); });
    attempt([](std::string_view b) { DecodeBrowse(b, true, 2, 10); });
    attempt([](std::string_view b) { DecodeRead(b, 1); });
    attempt([](std::string_view b) { DecodeRead(b, 400); });
    attempt([](std::string_view b) { DecodeWrite(b, 1); });
    attempt([](std::string_view b) { DecodeAcknowledge(b); });
    (void)DecodeError(body, "fuzz");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        if (bytes.size() >= MessageHeaderSize)
            ChunkSize(bytes);
        const TChunk c = DecodeChunk(bytes);
        decodeBody(c.Body);
    } catch (const EUaDecodeError&) {
    }
    // The bytes as a body on their own, past the chunk framing.
    decodeBody(bytes);
    return 0;
}
