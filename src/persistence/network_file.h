#pragma once
// FB network files: one diagram per file (.fbn), and a device's
// process-interface diagram (.dfb), as an FBNetwork document with the
// workbench's own extensions: IPP pictures, IPP connections, notes and the
// internal-device flag.

#include <stdexcept>
#include <string>
#include <vector>

namespace telvo {

class TFB_Diagram;

// A document whose root is not FBNetwork.
class ENotANetworkFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The document the diagram is saved as.
std::string NetworkToText(const TFB_Diagram& diagram);
// Writes the diagram to the file (atomically: a failed save leaves the
// previous file) and remembers the file as the diagram's FileName. Throws
// std::runtime_error naming the file when the save fails.
void SaveToFile(TFB_Diagram& diagram, const std::string& fileName);

// Adds the file's content to the diagram (normally a new, empty one); its
// instance and connection records are found in or added to the diagram's FB
// manager, and types are loaded from the library as needed. What cannot be
// resolved (an unknown type, a connection naming an instance, port or IPP
// that does not exist) is told to the user and skipped, and the rest of the
// file is read. A file that is not well-formed XML throws EXmlParseError, one
// whose root is not FBNetwork ENotANetworkFile, both before anything is
// added.
void LoadFromFile(TFB_Diagram& diagram, const std::string& fileName);
// A diagram and the file to read into it.
struct TNetworkFileLoad {
    TFB_Diagram* Diagram;
    std::string FileName;
};
// Reads several files as one project: the instances of every file are made
// before the connections of any file are read, so that a connection to an
// instance of a file further down the list is found (and not taken for a
// constant). Every file is read and checked before anything is added.
void LoadFromFiles(const std::vector<TNetworkFileLoad>& files);
// The same from the text of a file; `fileName` names it in messages.
void LoadFromText(TFB_Diagram& diagram, const std::string& xmlText, const std::string& fileName);

} // namespace telvo
