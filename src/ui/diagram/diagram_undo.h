#pragma once
// Undo for the FB diagram editor. An edit is remembered as two owned
// snapshots of what it may change: the diagram's network file text (its
// pictures, notes, IPP pictures and their places) and, by name, every
// instance record with its comment, constants and device and every
// connection record of the FB manager. Undo and redo put the model back to
// one of them, so a command never holds a pointer a later edit could free,
// and records shared with other diagrams come back with the connections
// and the device they had.

#include <QUndoCommand>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace telvo {

class TFB_Diagram;
class TSystemLayerManager;

struct TRecordSnapshot {
    std::string Name, Type, Comment, Device;
    // Data input name and value text, in the record's order.
    std::vector<std::pair<std::string, std::string>> Inputs;
    bool operator==(const TRecordSnapshot&) const = default;
};

// A connection record by the names at its ends: event and data connections
// as source instance, source port, destination instance, destination port;
// IPP connections as IPP owner, IPP, instance, port; IPP-to-IPP connections
// as source owner, source IPP, destination owner, destination IPP.
struct TConnectionSnapshot {
    enum class TKind { Event, Data, IppFB, IppToIpp } Kind = TKind::Event;
    std::string A, B, C, D;
    bool operator==(const TConnectionSnapshot&) const = default;
};

// Where a picture stood, drawn and at zoom 1: the network text keeps only
// one of the two, and reading it back must give both as they were.
struct TPlace {
    int32_t X = 0, Y = 0, BaseX = 0, BaseY = 0;
    bool operator==(const TPlace&) const = default;
};

struct TDiagramSnapshot {
    std::string Network;
    std::vector<TPlace> Instances, Notes, Ipps;
    std::vector<TRecordSnapshot> Records;
    std::vector<TConnectionSnapshot> Connections;
    bool operator==(const TDiagramSnapshot&) const = default;
};

// What the diagram and the records look like now.
TDiagramSnapshot TakeSnapshot(const TFB_Diagram& diagram);
// Puts the diagram and the FB manager's records back to the snapshot: the
// diagram's pictures are read anew from its network text (its zoom stays),
// records and connection records are renamed, made, removed and put in
// order, and every diagram's lines are rebuilt.
void RestoreSnapshot(TFB_Diagram& diagram, const TDiagramSnapshot& snapshot, TSystemLayerManager* systemLayer);

// One user action: redo puts `after` back, undo `before`; `restored` runs
// after either (the window repaints and refreshes the tree).
class TDiagramEditCommand final : public QUndoCommand {
public:
    TDiagramEditCommand(const QString& text, TFB_Diagram& diagram, TSystemLayerManager* systemLayer,
                        TDiagramSnapshot before, TDiagramSnapshot after, std::function<void()> restored);
    void undo() override;
    void redo() override;

private:
    TFB_Diagram& diagram_;
    TSystemLayerManager* systemLayer_;
    TDiagramSnapshot before_, after_;
    std::function<void()> restored_;
    // The edit is done already when the command is pushed.
    bool done_ = true;
};

} // namespace telvo
