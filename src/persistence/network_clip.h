#pragma once
// Copy and paste of part of an FB network diagram. What is copied is a
// network file's text holding only the chosen pictures and the connections
// among them, so that it reads in a text editor like any network file and
// a piece of a network file pastes as well. Both directions go through the
// network file's own writer and reader; this only cuts the text down and
// renames its instances.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace telvo {

class TDrawObject;
class TFB_Diagram;
class TFB_Manager;

// The network text of the chosen drawn instances, notes and IPP pictures of
// the diagram (the objects may come in any order; those not in the diagram
// are left out): the instances with their constants, the event and data
// connections between two chosen instances, the chosen notes and IPP
// pictures, and the IPP connections between chosen pictures and instances.
std::string SelectionToText(const TFB_Diagram& diagram, const std::vector<const TDrawObject*>& chosen);

// A network text made ready to be read into a diagram as new instances.
struct TNetworkPaste {
    std::string Text;
    // Instance names in the text as given and as they will be made, in the
    // text's order.
    std::vector<std::pair<std::string, std::string>> Names;
    // Types the library does not hold, once each, in the text's order; their
    // instances and every connection at them are left out.
    std::vector<std::string> MissingTypes;
    size_t Notes = 0;
    size_t IppPictures = 0;
};

// Whether a type can be had: loaded already, or listed in the library.
bool TypeAvailable(const TFB_Manager& manager, const std::string& typeName);

// Renames every instance of the network text to a name no record of the
// manager has (a free name stays, a taken one becomes NAME_1, NAME_2, ...),
// leaves out instances of missing types and connections that leave the
// text, and takes the target diagram's internal-device flag. Throws
// EXmlParseError for text that is not XML and ENotANetworkFile for XML that
// is not a network.
TNetworkPaste PrepareNetworkPaste(const std::string& xmlText, const TFB_Diagram& target,
                                  const std::function<bool(const std::string&)>& typeAvailable);

// A name for a copy of `name` that `taken` refuses: the name itself when
// free, else NAME_1, NAME_2, ...
std::string FreshInstanceName(const std::string& name, const std::function<bool(const std::string&)>& taken);

} // namespace telvo
