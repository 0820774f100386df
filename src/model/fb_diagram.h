#pragma once
// FB network diagrams: drawn instances, IPP pictures, notes and the lines
// between them. A project diagram places the FB manager's instance records
// and draws the manager's connection records; an inner network (a composite
// type's network, a composite instance's inner diagram) keeps its own
// records, which are not project records and die with it.

#include "model/fb_connections.h"
#include "model/fb_instance.h"
#include "model/fb_type.h"
#include "systemlayer/geometry.h"
#include "systemlayer/sl_ipp_picture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace telvo {

class TFB_Manager;
class TslIPPRef;
class TslDevice;

// A note on a diagram. X, Y are at the diagram's zoom, BaseX, BaseY at
// zoom 1; Right and Bottom are written by the renderer.
class TFBDnote final : public TDrawObject {
public:
    explicit TFBDnote(double zoom);

    double Scale = 1.0;
    int32_t X = 10;
    int32_t Y = 10;
    int32_t Right = 0;
    int32_t Bottom = 0;
    std::string Text = "Write your note here...";
    int32_t DragOffsetX = 0;
    int32_t DragOffsetY = 0;
    int32_t BaseX = 10;
    int32_t BaseY = 10;
    int32_t LastMouseX = 0;
    int32_t LastMouseY = 0;

    // Places the note at the diagram's zoom; the zoom-1 position follows.
    void PlaceAt(int32_t x, int32_t y);
};

// The connection records one diagram draws, in the order of their lists.
struct TDiagramRecords {
    std::vector<TFB_EventAssocRef*> Events;
    std::vector<TFB_DataAssocRef*> Datas;
    std::vector<TFB_IPPFBAssocsRef*> IPPFBs;
    std::vector<TFB_IPPtoIPPAssocRef*> IPPtoIPPs;
};

class TFB_Diagram {
public:
    // `manager` resolves types and holds the records of a project diagram;
    // a diagram without one can hold nothing but notes and pictures.
    TFB_Diagram(std::string name, double zoom, TFB_Manager* manager = nullptr);
    // An inner network: the network of `compositeType` itself, or the inner
    // diagram of an instance of it.
    static std::unique_ptr<TFB_Diagram> MakeInnerNetwork(std::string name, TFB_Type* compositeType,
                                                         TFB_Manager* manager);
    ~TFB_Diagram();
    TFB_Diagram(const TFB_Diagram&) = delete;
    TFB_Diagram& operator=(const TFB_Diagram&) = delete;

    std::string FileName;
    std::string Name;
    std::string Comment;
    TOwnedList<TFBDnote> Notes;
    TOwnedList<TslIPP> IPPPictures;
    TOwnedList<TFB_Instance> DrawnInstances;
    TOwnedList<TFB_EventAssoc> EventLines;
    TOwnedList<TFB_DataAssoc> DataLines;
    TOwnedList<TFB_IPPFBAssocsInst> IPPFBLines;
    std::vector<TDrawObject*> Selection;
    TOwnedList<TFB_IPPtoIPPAssocInst> IPPtoIPPLines;
    bool IsInternalDeviceDiagram = false;
    TOwnedList<TCompositeConnection> CompositeConns;
    double Zoom = 1.0;

    TFB_Manager* Manager = nullptr;
    // Inner networks only: the composite type whose interface the network
    // meets, and the records of the network.
    bool InnerNetwork = false;
    TFB_Type* CompositeType = nullptr;
    TOwnedList<TFB_InstanceRef> InnerInstances;
    // The inner connection records of a composite instance's inner diagram
    // (a composite type keeps those of its network in the type).
    TOwnedList<TFB_EventAssocRef> InnerEventConns;
    TOwnedList<TFB_DataAssocRef> InnerDataConns;

    // Places an instance of the type, loading the type from the library when
    // needed ("Error 101: Cannot create FB instance ..." and none when it
    // cannot be found). An empty name is made from the type name and the
    // manager's instance counter; an existing record of the given name is
    // reused unchanged.
    TFB_Instance* AddInstance(const std::string& name, const std::string& typeName, bool apply, TCanvas* surface);
    TFB_Instance* FindDrawn(const std::string& name) const;
    // The record this diagram's instances of that name come from: the
    // network's own for an inner network, the manager's otherwise.
    TFB_InstanceRef* FindRecord(std::string_view name) const;

    // Deletes the drawn instance with the lines ending at it (their records
    // stay, so a rebuild draws them again at their other ends). The lines
    // go even without `withLines`: none may keep the instance's port
    // pictures. The record stays.
    void DeleteDrawn(const std::string& name, bool withLines);
    void DeleteDrawn(TFB_Instance* drawn, bool withLines);
    // Deletes every drawn instance without touching lines.
    void Clear();

    TFB_EventAssoc* AddEventLine(std::unique_ptr<TFB_EventAssoc> line);
    TFB_DataAssoc* AddDataLine(std::unique_ptr<TFB_DataAssoc> line);
    TFB_IPPFBAssocsInst* AddIPPFBLine(std::unique_ptr<TFB_IPPFBAssocsInst> line);
    TFB_IPPtoIPPAssocInst* AddIPPtoIPPLine(std::unique_ptr<TFB_IPPtoIPPAssocInst> line);
    // Each deletes the line with its record (the IPP lines only when asked).
    void DeleteEventLine(TFB_EventAssoc* line);
    void DeleteDataLine(TFB_DataAssoc* line);
    void DeleteIPPFBLine(TFB_IPPFBAssocsInst* line, bool withRecord);
    void DeleteIPPtoIPPLine(TFB_IPPtoIPPAssocInst* line, bool withRecord);

    // A picture of the IPP at (x, y) at this diagram's zoom.
    TslIPP* AddIPPPicture(TslIPPRef* ipp, int32_t x, int32_t y);
    // Deletes the picture with every IPP line at it (and their records when
    // asked).
    void DeleteIPPPicture(TslIPP* picture, bool withRecords);
    TslIPP* FindIPPPicture(const TslIPPRef* ipp) const;
    // Pictures of the IPPs bound to the device's inputs and outputs, then of
    // the device's own IPPs.
    void AddDeviceIPPs(TslDevice* device);

    TFBDnote* AddNote();
    void DeleteNote(TFBDnote* note);

    void Select(TDrawObject* object);
    void ClearSelection();
    TFB_Instance* LastSelectedInstance() const;
    TFBDnote* LastSelectedNote() const;
    TslIPP* LastSelectedIPP() const;

    // Inner networks: joins an inner port to an interface declaration and
    // sets the port's interface link.
    TCompositeConnection* AddCompositeEventConn(TFBEventType* interfaceEvent, TFBEvent* innerEvent);
    TCompositeConnection* AddCompositeDataConn(TFBDataMemberType* interfaceData, TFBDataMember* innerData);
    void RemoveCompositeConn(TCompositeConnection* connection);
    // The inner event input joined to the interface event input of that
    // name, and the interface declaration joined to an inner event output.
    TFBEvent* InnerInputOfInterface(const std::string& interfaceInput) const;
    TFBEventType* InterfaceOfInnerOutput(const TFBEvent* innerOutput) const;

    // Draws every line anew from the connection records; records with one
    // end in another diagram become stubs at the end that is here.
    void RebuildLines();

    // Inner networks: an inner connection record with its line. None (and
    // nothing made) when a port is missing.
    TFB_EventAssocRef* AddInnerEventConn(TFBEvent* sourceOutput, TFBEvent* destInput,
                                         TOwnedList<TFB_EventAssocRef>& owner);
    TFB_DataAssocRef* AddInnerDataConn(TFBDataMember* sourceOutput, TFBDataMember* destInput,
                                       TOwnedList<TFB_DataAssocRef>& owner);
    // Where this inner network's connection records live.
    TOwnedList<TFB_EventAssocRef>& InnerEventRecords();
    TOwnedList<TFB_DataAssocRef>& InnerDataRecords();

    // Drops every line, picture and record that refers to the IPP (the
    // system layer frees it).
    void ForgetIpp(const TslIPPRef* ipp);

private:
    friend class TFB_Manager;

    // What the FB manager asks of every diagram when records go: whether
    // the diagram draws one of them, or a line of one of their connection
    // records. Made from the lists when first asked after they changed, so
    // that deleting records one after another does not walk every line of
    // the project each time.
    struct TDrawsIndex {
        bool Valid = false;
        size_t Sizes[4] = {};
        std::vector<const void*> Records;     // sorted
        std::vector<const void*> Connections; // sorted
    };
    mutable TDrawsIndex draws_;
    // Every change of the drawn instances or of the FB lines goes through
    // here.
    void listsChanged() { draws_.Valid = false; }
    const TDrawsIndex& drawsIndex() const;

    TDiagramRecords innerRecords() const;
    void removeFromSelection(const TDrawObject* object);
};

} // namespace telvo
