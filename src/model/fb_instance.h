#pragma once
// FB instances: the instance record (the project-wide instance with its port
// values and internal variables) and the drawn instance (one picture of a
// record in one diagram, with one port picture per port).

#include "model/fb_type.h"
#include "model/object_block.h"
#include "systemlayer/geometry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TFB_Diagram;
class TFB_Manager;
class TFB_InstanceRef;
class TFB_Instance;
class TslDevice;
class TslIPPRef;
// The surface a drawn instance paints on. Only the user interface knows what
// it is; the model just keeps it.
struct TCanvas;

// An event port of a record.
class TFBEvent : public TBlockPlaced {
public:
    bool Pending = false; // waits in the simulation's queue
    TFBEventType* Decl = nullptr;
    TFB_InstanceRef* Owner = nullptr;
    // Set only on ports of inner instances joined to the interface of the
    // composite type around them.
    TFBEventType* InterfaceLink = nullptr;

    const std::string& Name() const;
};

// A data port of a record. Only the value field of the declaration's type
// class is meaningful.
class TFBDataMember : public TBlockPlaced {
public:
    bool Monitor = false;
    TFBDataMemberType* Decl = nullptr;
    TFB_InstanceRef* Owner = nullptr;
    TFBDataMemberType* InterfaceLink = nullptr;
    bool BoolValue = false;
    int32_t IntValue = 0;
    std::string StrValue;
    double RealValue = 0;
    // The value as entered or read; on a data input, a constant given to it.
    std::string ValueText;

    const std::string& Name() const;
    // Sets the value of the declaration's class from a value text; throws
    // EConvertError (value unchanged) when it is no number of that class.
    void SetValueFromText(const std::string& text);
    std::string FormatValue() const;
};

class TFBInstance_InternalVar : public TBlockPlaced {
public:
    TFB_InternalVar* Decl = nullptr;
    TFB_InstanceRef* Owner = nullptr;
    bool BoolValue = false;
    int32_t IntValue = 0;
    std::string StrValue;
    long double RealValue = 0;
    std::string ValueText;

    void SetValueFromText(const std::string& text);
    std::string FormatValue() const;
};

// The project-wide FB instance. Made only through the FB manager's
// CreateInstance or a diagram's AddInstance.
class TFB_InstanceRef : public TBlockPlaced {
    // The ports and internal variables made with the record. Declared
    // first, so that it goes after them.
    TObjectBlock block_;

public:
    TFB_InstanceRef();
    ~TFB_InstanceRef();
    TFB_InstanceRef(const TFB_InstanceRef&) = delete;
    TFB_InstanceRef& operator=(const TFB_InstanceRef&) = delete;

    TFB_Type* Type = nullptr;
    std::string Name;
    std::string Comment;
    // The device the instance is distributed to; changed only by
    // AssignInstance and UnassignInstance.
    TslDevice* Device = nullptr;
    TOwnedList<TFBEvent> EventInputs;
    TOwnedList<TFBEvent> EventOutputs;
    TOwnedList<TFBDataMember> DataInputs;
    TOwnedList<TFBDataMember> DataOutputs;
    TOwnedList<TFBInstance_InternalVar> InternalVars;
    bool Composite = false;
    // The inner network of a composite instance, "FBdiagr_" + Name. Its
    // instance and connection records are its own.
    std::unique_ptr<TFB_Diagram> InnerDiagram;

    // Makes a record of the type: one port per declaration, data inputs with
    // their initial values when `apply`, internal variables always with
    // theirs, and for a composite type the inner diagram with the type's
    // network copied into it. `manager` resolves the inner instances' types;
    // without one a composite record keeps an empty inner diagram. An
    // initial value that is no number of its type throws EConvertError and
    // nothing is made.
    static std::unique_ptr<TFB_InstanceRef> Create(const std::string& name, TFB_Type* type, bool apply,
                                                   TFB_Manager* manager);

    TFBEvent* FindEventInput(std::string_view name) const;
    TFBEvent* FindEventOutput(std::string_view name) const;
    TFBDataMember* FindDataInput(std::string_view name) const;
    TFBDataMember* FindDataOutput(std::string_view name) const;

    void ClearInternalVars();
    // Internal variables anew from the type's declarations, each with its
    // initial value.
    void MakeInternalVars();
    // A composite record's inner diagram anew from its type's network.
    void BuildInnerDiagram(TFB_Manager* manager);
};

// The picture of an event port of a drawn instance; X and Y are the port's
// connection point, written by every paint.
class TFBEventDraw : public TBlockPlaced {
public:
    TFBEvent* Event = nullptr;
    TFB_Instance* Instance = nullptr;
    int32_t X = 0;
    int32_t Y = 0;
};

class TFBDataMemberDraw : public TBlockPlaced {
public:
    TFB_Instance* Instance = nullptr;
    TFBDataMember* Member = nullptr;
    int32_t X = 0;
    int32_t Y = 0;
};

// One record placed in one diagram. The geometry is kept here; the renderer
// draws from it and writes the painted sizes and port points back.
class TFB_Instance final : public TDrawObject, public TBlockPlaced {
    // The port pictures made with the drawn instance; declared first, so
    // that it goes after them.
    TObjectBlock block_;

public:
    static constexpr int32_t NewPosition = 120;
    static constexpr int32_t NewWidth = 100;
    static constexpr int32_t NewHeight = 150;
    static constexpr double NewScale = 0.8;
    static constexpr uint32_t HiddenTypeColour = 0xFFFFFF; // white: port types not shown

    // `pool`: where the port pictures are made, none for the heap.
    TFB_Instance(TFB_InstanceRef* ref, TCanvas* canvas, TObjectPool* pool = nullptr);

    TCanvas* Canvas = nullptr;
    TFB_InstanceRef* Ref = nullptr;
    bool IsStereotype = false;
    bool DrawAsGlyph = false;
    int32_t DragOffsetX = 0;
    int32_t DragOffsetY = 0;
    int32_t X = NewPosition;
    int32_t Y = NewPosition;
    int32_t Width = NewWidth;
    int32_t Height = NewHeight;
    int32_t BaseX = NewPosition;
    int32_t BaseY = NewPosition;
    int32_t BaseWidth = NewWidth;
    int32_t BaseHeight = NewHeight;
    int32_t LastMouseX = 0;
    int32_t LastMouseY = 0;
    double Scale = NewScale;
    uint32_t TypeColour = HiddenTypeColour; // 0xRRGGBB
    TOwnedList<TFBEventDraw> EventInputPorts;
    TOwnedList<TFBEventDraw> EventOutputPorts;
    TOwnedList<TFBDataMemberDraw> DataInputPorts;
    TOwnedList<TFBDataMemberDraw> DataOutputPorts;
    std::string StateText;

    // One picture per port of the record, in port order; pictures of ports
    // that are still there keep their points.
    void SyncPortPictures();
    // Places the instance at a position at zoom 1 (file coordinates after
    // conversion): the scaled position follows.
    void PlaceAt(int32_t baseX, int32_t baseY);

    TFBEventDraw* EventInputPicture(const std::string& name) const;
    TFBEventDraw* EventOutputPicture(const std::string& name) const;
    TFBDataMemberDraw* DataInputPicture(const std::string& name) const;
    TFBDataMemberDraw* DataOutputPicture(const std::string& name) const;
    // The picture of exactly this port, whichever list holds it.
    TFBEventDraw* PictureOf(const TFBEvent* port) const;
    TFBDataMemberDraw* PictureOf(const TFBDataMember* port) const;
};

// The standard event function blocks drawn as glyphs (case-sensitive).
bool IsEventFunctionTypeName(const std::string& typeName);

// Distribution of records to devices: a record is on at most one device.
// AssignInstance does nothing when the record is already on a device.
void AssignInstance(TslDevice* device, TFB_InstanceRef* record);
void UnassignInstance(TslDevice* device, TFB_InstanceRef* record);

} // namespace telvo
