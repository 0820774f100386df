#pragma once
// The transformation facility's first phase: a UML model becomes a tree of
// texts that the user reviews and trims with tick boxes before anything is
// made of it (TUmlImportBuilder makes it).
//
// Layout of the tree: the root "Diagrams" (one node per interaction diagram
// with "Function Block Instances" and "IPPs"), the root "Connections" (six
// groups of connection entries), then one root per class: FB classes
// (stereotype "FunctionBlock") with their interface, other classes with
// their IPPs. Receiver numbering lives as long as the transformation object:
// output events of FBs carry the number of the instance they go to, and the
// numbers keep growing over repeated parses.

#include "umlimport/uml_model.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace telvo {
class TUserInterface;
}

namespace telvo::uml {

enum class TTick { None, Unticked, Ticked, Mixed };

class TTransNode {
public:
    TTransNode(std::string text, TTick tick, TTransNode* parent) : Text(std::move(text)), Tick(tick), Parent(parent) {}

    std::string Text;
    TTick Tick = TTick::None;
    TTransNode* Parent = nullptr;
    std::vector<std::unique_ptr<TTransNode>> Children;

    TTransNode* Add(const std::string& text, TTick tick = TTick::None);
    // The first child with that text, or none.
    TTransNode* Child(const std::string& text) const;
    // Adds an entry unless a child with the same text exists; returns the
    // entry either way.
    TTransNode* AddEntry(const std::string& text);
    bool IsTicked() const { return Tick == TTick::Ticked; }

private:
    // The first child of each text, once a node has many children (a class
    // with thousands of operations, a diagram with thousands of objects):
    // adding stays linear in the number of entries.
    mutable std::unique_ptr<std::unordered_map<std::string_view, TTransNode*>> byText_;
};

// The texts of the six connection groups, in order.
inline constexpr const char* ConnectionGroups[] = {"Event",         "Data",         "FB<->IPPEvent",
                                                   "IPPEvent<->FB", "FB<->IPPData", "IPPData<->FB"};

class TTransformation {
public:
    explicit TTransformation(TUserInterface& ui) : ui_(ui) {}

    // Clears the tree and the messages and parses the model into them.
    void Parse(const TUmlModel& model);

    std::vector<std::unique_ptr<TTransNode>> Roots;
    // The parse messages, one line each ("CASE tool Transform Information:").
    std::vector<std::string> Messages;

    // A top-level node by its text, or none.
    TTransNode* Root(const std::string& text) const;
    bool IsClassRoot(const TTransNode* node) const;

    // Ticks or unticks the node and everything below it; its ancestors show
    // ticked, unticked or mixed according to their children.
    void SetTick(TTransNode* node, bool ticked);
    // Every node ticked (the command line has no tick boxes).
    void TickAll();

    // One line per node: two spaces per level, "[x]", "[ ]" or "[-]", the
    // text.
    std::string Dump() const;

    // The 1-based position of the instance in the receiver list (compared
    // without case); an instance not yet listed is appended first.
    int ReceiverNumber(const std::string& instance);
    const std::vector<std::string>& Receivers() const { return receivers_; }

private:
    void message(const std::string& text) { Messages.push_back(text); }
    void log(const std::string& text);
    TTransNode* fbClassRoot(const std::string& name);
    TTransNode* otherClassRoot(const std::string& name);
    TTransNode* property(const std::string& cls, const std::string& prop) const;
    void add(const std::string& cls, const std::string& prop, const std::string& entry);
    void connection(const char* group, const std::string& entry);
    void parseClass(const TUmlModel& model, const TUmlClass& cls);
    void parseInteraction(const TUmlModel& model, const TUmlDiagram& diagram);
    void propagateTicks();

    TUserInterface& ui_;
    std::vector<std::string> receivers_;
    // Upper-case receiver name -> its number.
    std::unordered_map<std::string, int> receiverNumbers_;
    // Class roots by name.
    std::unordered_map<std::string, TTransNode*> classRootByName_;
};

std::string DataEntry(const std::string& name, const std::string& type, const std::string& initialValue);

} // namespace telvo::uml
