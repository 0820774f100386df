#pragma once
// Connection records and the lines that draw them.
//
// A record joins ports of two instance records (or an IPP and a port, or two
// IPPs); the FB manager owns the records of the project diagrams. A line
// draws one record in one diagram and is rebuilt from the records whenever
// needed, so a record whose ends lie in two diagrams is drawn as a stub in
// each. Lines never own their records.
//
// Inside an inner network (a composite type's network, a composite
// instance's inner diagram) the records belong to that network instead: to
// the type, or to the inner diagram, and die with it.

#include "model/object_block.h"
#include "systemlayer/geometry.h"

#include <cstdint>

namespace telvo {

class TFB_InstanceRef;
class TFB_Instance;
class TFBEvent;
class TFBDataMember;
class TFBEventDraw;
class TFBDataMemberDraw;
class TFBEventType;
class TFBDataMemberType;
class TslIPPRef;
class TslIPP;

// Base of the connection records. ListOrder is the record's place in the
// manager's list, kept so that the manager's lookups can answer in list order
// without walking the list.
class TFB_AssocRef : public TBlockPlaced {
public:
    virtual ~TFB_AssocRef() = default;
    uint64_t ListOrder = 0;
};

// Event connection: source event output to destination event input.
class TFB_EventAssocRef final : public TFB_AssocRef {
public:
    TFBEvent* DestPort = nullptr;
    TFBEvent* SourcePort = nullptr;
    TFB_InstanceRef* DestInstance = nullptr;
    TFB_InstanceRef* SourceInstance = nullptr;
};

// Data connection: source data output to destination data input.
class TFB_DataAssocRef final : public TFB_AssocRef {
public:
    TFBDataMember* SourcePort = nullptr;
    TFBDataMember* DestPort = nullptr;
    TFB_InstanceRef* DestInstance = nullptr;
    TFB_InstanceRef* SourceInstance = nullptr;
};

// IPP to FB port. Exactly one of DataPort and EventPort is set: EventPort for
// an event IPP, DataPort otherwise.
class TFB_IPPFBAssocsRef final : public TFB_AssocRef {
public:
    TslIPPRef* IPP = nullptr;
    TFBDataMember* DataPort = nullptr;
    TFBEvent* EventPort = nullptr;
    TFB_InstanceRef* Instance = nullptr;
};

class TFB_IPPtoIPPAssocRef final : public TFB_AssocRef {
public:
    TslIPPRef* SourceIPP = nullptr;
    TslIPPRef* DestIPP = nullptr;
};

// What every drawn connection carries beside its polyline; the renderer
// writes both.
class TFB_Line : public Tlineobj, public TBlockPlaced {
public:
    bool Highlighted = false;
    int32_t PortIndex = 0;
};

// An event line. A stub (the other end in another diagram) has both ends on
// the local port picture and drawn instance.
class TFB_EventAssoc final : public TFB_Line {
public:
    TFB_EventAssocRef* Ref = nullptr;
    TFBEventDraw* DestPortPic = nullptr;
    TFBEventDraw* SourcePortPic = nullptr;
    TFB_Instance* DestDrawn = nullptr;
    TFB_Instance* SourceDrawn = nullptr;
};

class TFB_DataAssoc final : public TFB_Line {
public:
    TFB_DataAssocRef* Ref = nullptr;
    TFBDataMemberDraw* DestPortPic = nullptr;
    TFBDataMemberDraw* SourcePortPic = nullptr;
    TFB_Instance* DestDrawn = nullptr;
    TFB_Instance* SourceDrawn = nullptr;
};

// An IPP line: either end may lie in another diagram (none here).
class TFB_IPPFBAssocsInst final : public TFB_Line {
public:
    TFB_IPPFBAssocsRef* Ref = nullptr;
    TslIPP* IPPPicture = nullptr;
    TFBDataMemberDraw* DataPortPic = nullptr;
    TFBEventDraw* EventPortPic = nullptr;
    TFB_Instance* Drawn = nullptr;
};

class TFB_IPPtoIPPAssocInst final : public TFB_Line {
public:
    TFB_IPPtoIPPAssocRef* Ref = nullptr;
    TslIPP* SourcePicture = nullptr;
    TslIPP* DestPicture = nullptr;
};

// Joins a port of an inner instance to the interface of the composite type
// around it. An event connection sets the two event fields, a data
// connection the two data fields.
class TCompositeConnection final : public TFB_Line {
public:
    TFBEventType* InterfaceEvent = nullptr;
    TFBEvent* InnerEvent = nullptr;
    TFBDataMemberType* InterfaceData = nullptr;
    TFBDataMember* InnerData = nullptr;

    bool IsEvent() const { return InnerEvent != nullptr; }
};

} // namespace telvo
