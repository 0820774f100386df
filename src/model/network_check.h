#pragma once
// Checks over the project's diagrams that the editor draws as warnings and
// `telvo project check` lists: data connections between ports whose types
// are of different classes (Boolean, Integer, Real, String), instances with
// an ECC that no event can reach, and instances whose type did not load.
// A finding never stops anything: the connection is made, the file saves.

#include <string>
#include <vector>

namespace telvo {

class TFBDataMember;
class TFB_Manager;

// Whether the data connection's ends are of different type classes.
bool DataClassesDiffer(const TFBDataMember& source, const TFBDataMember& dest);
// The type text of a data port as declared ("" without a declaration).
const std::string& DataTypeText(const TFBDataMember& port);

struct TNetworkFinding {
    enum class TKind { TypeMismatch, UnconnectedEventInput, TypeNotLoaded };
    TKind Kind = TKind::TypeMismatch;
    std::string Diagram;
    // One line of `telvo project check`: a word for the kind, the diagram
    // and the parts, tab-separated.
    std::string Line;
};

// Every diagram of the manager in list order: its data connections in the
// manager's order that join different type classes; then the event inputs
// of its instances whose type has an ECC when none of the instance's event
// inputs is reached by an event or IPP connection (such an instance can
// never run); then the instances of its file whose type did not load.
std::vector<TNetworkFinding> CheckNetworks(const TFB_Manager& manager);

} // namespace telvo
