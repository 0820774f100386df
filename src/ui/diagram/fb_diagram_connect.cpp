// The FB diagram editor's connection rules: which port may start or end an
// event, data, IPP or interface connection, and making the connection.

#include "ui/diagram/fb_diagram_editor.h"
#include "ui/diagram/fb_diagram_editor_p.h"

#include "model/fb_manager.h"
#include "systemlayer/system_layer.h"

#include <QToolButton>

namespace telvo {

// ---------------------------------------------------------------------------
// Connection rules

void TfrmDesignFBDiagram::eventPortRules(TFBEventDraw* port)
{
    if (!port || !port->Event || !port->Event->Decl)
        return;
    const bool input = port->Event->Decl->IsInput();
    const std::string& name = port->Event->Name();
    const bool d = deviceDiagram();
    if (!alive(firstEvent_))
        firstEvent_ = nullptr;
    if (alive(firstIpp_)) {
        const bool eventIpp = firstIpp_->Ipp->IsEventIPP;
        if (firstIpp_->Ipp->IsActuator()) {
            if ((!input && eventIpp && !d) || (d && input && eventIpp)) {
                firstEvent_ = port;
                createIppConnection();
            } else {
                refuse("Please connect to a Function Block Event Output or Event Output IPP", 7, port->X, port->Y);
            }
        } else {
            if ((input && eventIpp && !d) || (d && !input && eventIpp)) {
                firstEvent_ = port;
                createIppConnection();
            } else {
                refuse("Please connect to a Function Block Event Input or Event Input IPP", 3, port->X, port->Y);
            }
        }
        return;
    }
    if (firstEvent_) {
        if (firstEvent_->Event->Decl->IsInput()) {
            if (!input) {
                secondEvent_ = port;
                hint("Target Event Output: " + name + ".", 1);
                createEventConnection();
            } else {
                refuse("Please connect an Event Output", 7, port->X, port->Y);
            }
        } else {
            if (input) {
                secondEvent_ = port;
                hint("Source Event Input: " + name + ".", 2);
                createEventConnection();
            } else {
                refuse("Please connect an Event Input", 3, port->X, port->Y);
            }
        }
        return;
    }
    if (compositeNetwork() && pendingInterfaceEvent_) {
        secondEvent_ = port;
        createCompositeEventConnection(port);
        return;
    }
    if (compositeNetwork() && pendingInterfaceData_) {
        refuse("Please connect to an Event Input", 3, port->X, port->Y);
        return;
    }
    firstEvent_ = port;
    if (input)
        hint("Source Event Input: " + name + ". Please connect to an Event Output", 3);
    else
        hint("Source Event Output: " + name + ". Please connect to an Event Input", 7);
}

void TfrmDesignFBDiagram::dataPortRules(TFBDataMemberDraw* port)
{
    if (!port || !port->Member || !port->Member->Decl)
        return;
    const bool input = port->Member->Decl->IsInput();
    const std::string& name = port->Member->Name();
    const bool d = deviceDiagram();
    if (!alive(firstData_))
        firstData_ = nullptr;
    if (alive(firstIpp_)) {
        const bool dataIpp = !firstIpp_->Ipp->IsEventIPP;
        if (firstIpp_->Ipp->IsActuator()) {
            if ((!input && dataIpp && !d) || (d && input && dataIpp)) {
                firstData_ = port;
                createIppConnection();
            } else {
                refuse("Please connect to a Function Block Data Output or Data Output IPP", 7, port->X, port->Y);
            }
        } else {
            if ((input && dataIpp && !d) || (d && !input && dataIpp)) {
                firstData_ = port;
                createIppConnection();
            } else {
                refuse("Please connect to a Function Block Data Input or Data Input IPP", 3, port->X, port->Y);
            }
        }
        return;
    }
    if (firstData_) {
        if (firstData_->Member->Decl->IsInput()) {
            if (!input) {
                secondData_ = port;
                hint("Target Data Output: " + name + ".", 1);
                createDataConnection();
            } else {
                refuse("Please connect a Data Output", 7, port->X, port->Y);
            }
        } else {
            if (input) {
                secondData_ = port;
                hint("Source Data Input: " + name + ".", 2);
                createDataConnection();
            } else {
                refuse("Please connect a Data Input", 5, port->X, port->Y);
            }
        }
        return;
    }
    if (compositeNetwork() && pendingInterfaceData_) {
        secondData_ = port;
        createCompositeDataConnection(port);
        return;
    }
    if (compositeNetwork() && pendingInterfaceEvent_) {
        refuse("Please connect to a Data Input", -1, port->X, port->Y);
        return;
    }
    firstData_ = port;
    if (input)
        hint("Source Data Input: " + name + ". Please connect to a Data Output", 7);
    else
        hint("Source Data Output: " + name + ". Please connect to a Data Input", 3);
}

void TfrmDesignFBDiagram::ippRules(TslIPP* picture)
{
    if (!alive(picture))
        return;
    const bool d = deviceDiagram();
    const bool sensor = !picture->Ipp->IsActuator();
    const bool eventIpp = picture->Ipp->IsEventIPP;
    if (!alive(firstEvent_))
        firstEvent_ = nullptr;
    if (!alive(firstData_))
        firstData_ = nullptr;
    if (alive(firstIpp_)) {
        const bool firstActuator = firstIpp_->Ipp->IsActuator();
        if (firstActuator == sensor) {
            secondIpp_ = picture;
            createIppToIppConnection();
        } else {
            refuse(firstActuator ? "Please connect to a Sensor IPP" : "Please connect to an Actuator IPP", 3, picture->X + 8, picture->Y + 8);
        }
        return;
    }
    if (firstEvent_) {
        const std::string& name = firstEvent_->Event->Name();
        if (firstEvent_->Event->Decl->IsInput()) {
            if ((!d && sensor && eventIpp) || (d && !sensor && eventIpp)) {
                firstIpp_ = picture;
                createIppConnection();
            } else {
                refuse("Source Event Input: " + name + ". Please connect to a Sensor IPP", 3, picture->X + 8, picture->Y + 8);
            }
        } else {
            if ((!d && !sensor && eventIpp) || (d && sensor && eventIpp)) {
                firstIpp_ = picture;
                createIppConnection();
            } else {
                refuse("Source Event Output: " + name + ". Please connect to an Actuator IPP", 7, picture->X + 8, picture->Y + 8);
            }
        }
        return;
    }
    if (firstData_) {
        const std::string& name = firstData_->Member->Name();
        if (firstData_->Member->Decl->IsInput()) {
            if ((!d && sensor && !eventIpp) || (d && !sensor && !eventIpp)) {
                firstIpp_ = picture;
                createIppConnection();
            } else {
                refuse("Source Data Input: " + name + ". Please connect to a Sensor IPP", 3, picture->X + 8, picture->Y + 8);
            }
        } else {
            if ((!d && !sensor && !eventIpp) || (d && sensor && !eventIpp)) {
                firstIpp_ = picture;
                createIppConnection();
            } else {
                refuse("Source Data Output: " + name + ". Please connect to a Actuator IPP", 7, picture->X + 8, picture->Y + 8);
            }
        }
        return;
    }
    firstIpp_ = picture;
}

bool TfrmDesignFBDiagram::interfacePortRoutine(int x, int y)
{
    TFB_Type& type = *diagram_->CompositeType;
    const int width = paintBox_->width();
    const int sy = scrollY_;
    bool rowHit = false;
    if (x < InterfaceLeftEdge || x > InterfaceRightEdge(width)) {
        const TInterfaceSide side = x < InterfaceLeftEdge ? TInterfaceSide::Left : TInterfaceSide::Right;
        for (const TInterfacePort& p : InterfacePorts(type, width, sy)) {
            if (p.Side != side || !(p.Top + 5 < y && y < p.Top + 18))
                continue;
            if (p.Event)
                pendingInterfaceEvent_ = p.Event;
            else
                pendingInterfaceData_ = p.Data;
            rowHit = true;
            break;
        }
    }
    if (!alive(firstEvent_))
        firstEvent_ = nullptr;
    if (!alive(firstData_))
        firstData_ = nullptr;

    if (firstEvent_) {
        TFBEventDraw* e = firstEvent_;
        const TFBEventType& decl = *e->Event->Decl;
        const std::string name = (e->Event->Owner ? e->Event->Owner->Name : std::string()) + "_" + decl.Name;
        if (!rowHit && x < InterfaceLeftEdge && decl.IsInput()) {
            TFBEventType* made = type.AddEventInput(name, decl.Type, decl.Comment);
            PaintDiagram();
            const int n = static_cast<int>(type.EventInputs.size());
            interfacePortRoutine(25, 20 * (n - 1) - sy + 10);
            if (OnNewInterfaceEventInput)
                OnNewInterfaceEventInput(made);
            return true;
        }
        if (!rowHit && x > InterfaceRightEdge(width) && !decl.IsInput()) {
            TFBEventType* made = type.AddEventOutput(name, decl.Type, decl.Comment);
            PaintDiagram();
            const int n = static_cast<int>(type.EventOutputs.size());
            interfacePortRoutine(width - 50, 20 * (n - 1) - sy + 10);
            if (OnNewInterfaceEventOutput)
                OnNewInterfaceEventOutput(made);
            return true;
        }
        if (pendingInterfaceEvent_) {
            secondEvent_ = e;
            createCompositeEventConnection(e);
        } else {
            hint("Source Interface Event Input: " + decl.Name + ". Please connect to an Event Input export interface",
                 -1);
            pendingInterfaceEvent_ = nullptr;
            pendingInterfaceData_ = nullptr;
        }
        return rowHit;
    }
    if (firstData_) {
        TFBDataMemberDraw* dEnd = firstData_;
        const TFBDataMemberType& decl = *dEnd->Member->Decl;
        const std::string name = (dEnd->Member->Owner ? dEnd->Member->Owner->Name : std::string()) + "_" + decl.Name;
        if (!rowHit && x < InterfaceLeftEdge && decl.IsInput()) {
            TFBDataMemberType* made = type.AddDataInput(name, decl.Type, decl.Comment, "", "");
            PaintDiagram();
            const int e = static_cast<int>(type.EventInputs.size());
            const int n = static_cast<int>(type.DataInputs.size());
            interfacePortRoutine(25, 20 * (e + n) - sy + 10);
            if (OnNewInterfaceDataInput)
                OnNewInterfaceDataInput(made);
            return true;
        }
        if (!rowHit && x > InterfaceRightEdge(width) && !decl.IsInput()) {
            TFBDataMemberType* made = type.AddDataOutput(name, decl.Type, decl.Comment, "", "");
            PaintDiagram();
            const int e = static_cast<int>(type.EventOutputs.size());
            const int n = static_cast<int>(type.DataOutputs.size());
            interfacePortRoutine(width - 50, 20 * (e + n) - sy + 10);
            if (OnNewInterfaceDataOutput)
                OnNewInterfaceDataOutput(made);
            return true;
        }
        if (pendingInterfaceData_) {
            secondData_ = dEnd;
            createCompositeDataConnection(dEnd);
        } else {
            hint("Source Interface Data Input: " + decl.Name + ". Please connect to a Data Input  export interface", -1);
            pendingInterfaceEvent_ = nullptr;
            pendingInterfaceData_ = nullptr;
        }
        return rowHit;
    }
    return rowHit;
}

void TfrmDesignFBDiagram::resetConnectionState()
{
    connectMode_ = Button(QStringLiteral("btnDrawConnection"))->isChecked();
    if (!connectMode_)
        paintBox_->unsetCursor();
    rubberLine_ = QPoint(-1, -1);
    rubberAnchor_ = QPoint(-1, -1);
    firstEvent_ = secondEvent_ = nullptr;
    firstData_ = secondData_ = nullptr;
    firstIpp_ = secondIpp_ = nullptr;
    pendingInterfaceEvent_ = nullptr;
    pendingInterfaceData_ = nullptr;
    PaintDiagram();
}

// ---------------------------------------------------------------------------
// Creating connections

void TfrmDesignFBDiagram::connectionCreated(const std::string& logLine)
{
    resetConnectionState();
    refreshConnectionsTree();
    log(logLine);
    modelChanged(QStringLiteral("Connect"));
}

void TfrmDesignFBDiagram::createEventConnection()
{
    if (!alive(firstEvent_) || !alive(secondEvent_))
        return resetConnectionState();
    TFBEventDraw* dest = firstEvent_->Event->Decl->IsInput() ? firstEvent_ : secondEvent_;
    TFBEventDraw* source = dest == firstEvent_ ? secondEvent_ : firstEvent_;
    if (diagram_->InnerNetwork) {
        diagram_->AddInnerEventConn(source->Event, dest->Event, diagram_->InnerEventRecords());
    } else {
        // The network file holds a connection once: a second record of it
        // would be gone after saving and opening again.
        if (manager().FindEventConn(dest->Event->Name(), source->Event->Name(), dest->Event->Owner->Name,
                                    source->Event->Owner->Name)) {
            hint("This Event Connection exists already.", 6);
            return resetConnectionState();
        }
        auto record = std::make_unique<TFB_EventAssocRef>();
        record->DestPort = dest->Event;
        record->SourcePort = source->Event;
        record->DestInstance = dest->Event->Owner;
        record->SourceInstance = source->Event->Owner;
        TFB_EventAssocRef* made = manager().AddEventConn(std::move(record));
        auto line = std::make_unique<TFB_EventAssoc>();
        line->Ref = made;
        line->DestPortPic = dest;
        line->SourcePortPic = source;
        line->DestDrawn = dest->Instance;
        line->SourceDrawn = source->Instance;
        diagram_->AddEventLine(std::move(line));
    }
    connectionCreated("New Event Connection created");
}

void TfrmDesignFBDiagram::createDataConnection()
{
    if (!alive(firstData_) || !alive(secondData_))
        return resetConnectionState();
    TFBDataMemberDraw* dest = firstData_->Member->Decl->IsInput() ? firstData_ : secondData_;
    TFBDataMemberDraw* source = dest == firstData_ ? secondData_ : firstData_;
    if (diagram_->InnerNetwork) {
        diagram_->AddInnerDataConn(source->Member, dest->Member, diagram_->InnerDataRecords());
    } else {
        if (manager().FindDataConn(dest->Member->Name(), source->Member->Name(), dest->Member->Owner->Name,
                                   source->Member->Owner->Name)) {
            hint("This Data Connection exists already.", 6);
            return resetConnectionState();
        }
        auto record = std::make_unique<TFB_DataAssocRef>();
        record->SourcePort = source->Member;
        record->DestPort = dest->Member;
        record->DestInstance = dest->Member->Owner;
        record->SourceInstance = source->Member->Owner;
        TFB_DataAssocRef* made = manager().AddDataConn(std::move(record));
        auto line = std::make_unique<TFB_DataAssoc>();
        line->Ref = made;
        line->DestPortPic = dest;
        line->SourcePortPic = source;
        line->DestDrawn = dest->Instance;
        line->SourceDrawn = source->Instance;
        diagram_->AddDataLine(std::move(line));
    }
    connectionCreated("New Data Connection created");
}

void TfrmDesignFBDiagram::createIppConnection()
{
    if (!alive(firstIpp_))
        return resetConnectionState();
    TslIPPRef* ipp = firstIpp_->Ipp;
    auto record = std::make_unique<TFB_IPPFBAssocsRef>();
    record->IPP = ipp;
    auto line = std::make_unique<TFB_IPPFBAssocsInst>();
    line->IPPPicture = firstIpp_;
    if (ipp->IsEventIPP) {
        if (!alive(firstEvent_))
            return resetConnectionState();
        record->EventPort = firstEvent_->Event;
        record->Instance = firstEvent_->Event->Owner;
        line->EventPortPic = firstEvent_;
        line->Drawn = firstEvent_->Instance;
    } else {
        if (!alive(firstData_))
            return resetConnectionState();
        record->DataPort = firstData_->Member;
        record->Instance = firstData_->Member->Owner;
        line->DataPortPic = firstData_;
        line->Drawn = firstData_->Instance;
    }
    line->Ref = manager().AddIPPFBConn(std::move(record));
    diagram_->AddIPPFBLine(std::move(line));
    connectionCreated("New IPP to FB Connection created");
}

void TfrmDesignFBDiagram::createIppToIppConnection()
{
    if (!alive(firstIpp_) || !alive(secondIpp_))
        return resetConnectionState();
    TslIPP* sensor = firstIpp_->Ipp->IsActuator() ? secondIpp_ : firstIpp_;
    TslIPP* actuator = sensor == firstIpp_ ? secondIpp_ : firstIpp_;
    auto record = std::make_unique<TFB_IPPtoIPPAssocRef>();
    record->SourceIPP = sensor->Ipp;
    record->DestIPP = actuator->Ipp;
    auto line = std::make_unique<TFB_IPPtoIPPAssocInst>();
    line->Ref = manager().AddIPPtoIPPConn(std::move(record));
    line->SourcePicture = sensor;
    line->DestPicture = actuator;
    diagram_->AddIPPtoIPPLine(std::move(line));
    connectionCreated("New IPP to IPP Connection created");
}

void TfrmDesignFBDiagram::createCompositeEventConnection(TFBEventDraw* inner)
{
    if (alive(inner) && pendingInterfaceEvent_) {
        diagram_->AddCompositeEventConn(pendingInterfaceEvent_, inner->Event);
        modelChanged();
    }
    resetConnectionState();
}

void TfrmDesignFBDiagram::createCompositeDataConnection(TFBDataMemberDraw* inner)
{
    if (alive(inner) && pendingInterfaceData_) {
        diagram_->AddCompositeDataConn(pendingInterfaceData_, inner->Member);
        modelChanged();
    }
    resetConnectionState();
}

} // namespace telvo
