#pragma once
// FB type files (.fbt, and .xml in the library): IEC 61499 FBType documents.

#include "model/file_util.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace telvo {

class TFB_Type;
class TFB_Diagram;
class TFB_Manager;
class TUserInterface;

// A document that is not well-formed XML. The message names the file (when
// known), the line and the parser's reason.
class EXmlParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the XML text of a type file into a freshly created type. Returns
// false when the root is not FBType (the target keeps what it had); throws
// EXmlParseError when the text is not well-formed. `manager` loads the inner
// types of a composite network on demand; it may be null for a basic type.
bool ReadFBType(const std::string& xmlText, TFB_Type& target, TFB_Manager* manager,
                const std::string& fileNameForMessages = "");

// An inner FB instance of a composite type file that is not in the type read
// from it: its type could not be found or loaded.
struct TUnresolvedInner {
    std::string Instance;
    std::string TypeName;
};
// Those of `xmlText` (the text `type` was read from), in file order.
std::vector<TUnresolvedInner> UnresolvedInnerInstances(const std::string& xmlText, const TFB_Type& type);

// Writes the type to fileName, starting from baseType's file when one is
// given so that whatever the model does not hold survives. `network` is the
// composite network shown in the type editor, or null for a basic type.
// With `clear`, the lists the model holds are regenerated from it; each
// regenerated element keeps the attributes and children of the base element
// it stands for that the model has no place for.
//
// Returns false, after telling `ui` (when given), when a composite type has
// no network to write: the file is then left as it was. Unreadable base
// files and failed saves throw; the save is atomic, so the previous file
// survives any failure. `mode` says what the save does with links and with
// a name that is taken (WriteFileAtomic).
bool WriteFBType(const std::string& fileName, const TFB_Type& type, const TFB_Type* baseType, bool clear,
                 const TFB_Diagram* network, TUserInterface* ui = nullptr, TWriteMode mode = TWriteMode::Save);
// The text WriteFBType writes to the file (for a composite type, `network`
// must be given).
std::string FBTypeText(const TFB_Type& type, const TFB_Type* baseType, bool clear, const TFB_Diagram* network);

} // namespace telvo
