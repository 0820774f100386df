#pragma once
// The inner network of a composite FB type, as the FBNetwork element of its
// type file holds it: inner instances, connections between them, connections
// to the type's own interface, and constants on inner ports.

#include <pugixml.hpp>

#include <string>

namespace telvo {

class TFB_Type;
class TFB_Diagram;
class TFB_Manager;

// Reads the inner instances (types loaded through `manager`, which may be
// null: then the network stays empty) and connections into the type's
// network. A connection naming an inner instance or port that does not exist
// is told to the user, naming `fileName` (or the type), and not made.
void ReadCompositeNetwork(pugi::xml_node fbNetwork, TFB_Type& target, TFB_Manager* manager,
                          const std::string& fileName);

// Whether the network holds inner instances to write.
bool CompositeNetworkHasInstances(const TFB_Diagram& network);

// Writes the network's instances and connections into FBNetwork. With
// `clear`, the FB and Connection elements already there are replaced; each
// written element keeps what its base element held that the model does not
// (attributes, children such as parameters).
void WriteCompositeNetwork(pugi::xml_node fbNetwork, const TFB_Diagram& network, bool clear);

} // namespace telvo
