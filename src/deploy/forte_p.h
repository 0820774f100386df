#pragma once
// Private to src/deploy: what the runtime client's online part shares with
// the deployment part of forte.cpp.

#include <string>
#include <string_view>

namespace telvo {

class TFBDataMember;

namespace forte_detail {

// A peer's text inside a message of ours: escaped and cut short.
std::string PeerText(std::string_view text);
// <Connection Source="…" Destination="…"/>, both escaped.
std::string ConnectionXml(const std::string& source, const std::string& destination);
// The literal the deployment writes for an input's constant, and whether it
// writes one at all.
std::string Literal(const TFBDataMember& input);
bool Converts(const TFBDataMember& input);

} // namespace forte_detail

} // namespace telvo
