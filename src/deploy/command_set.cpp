#include "deploy/command_set.h"

#include "deploy/text_escape.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/fb_instance.h"
#include "model/file_util.h"
#include "persistence/network_file.h"
#include "persistence/type_file.h"
#include "systemlayer/system_layer.h"

#include <exception>
#include <filesystem>
#include <unordered_set>
#include <vector>

namespace telvo {

namespace {

std::string devicePath(const std::string& device, const std::string& instance, const std::string& port)
{
    std::string path;
    path.reserve(device.size() + instance.size() + port.size() + 4);
    path.append(device).append("::").append(instance).append("::").append(port);
    return path;
}

const std::string& typeNameOf(const TFB_InstanceRef& record)
{
    static const std::string none;
    return record.Type ? record.Type->Name : none;
}

const std::string& remoteDeviceName(const TFB_InstanceRef& record)
{
    static const std::string unassigned = TCommandSetGenerator::UnassignedDevice;
    return record.Device ? record.Device->Name : unassigned;
}

// A constant that is no value of its input's type was told when it was read
// or typed; sent on, the device would get a value the workbench never had.
bool Converts(const TFBDataMember& input)
{
    TFBDataMember trial;
    trial.Decl = input.Decl;
    try {
        trial.SetValueFromText(input.ValueText);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

} // namespace

TCommandSetGenerator::TCommandSetGenerator(TFB_Manager& manager) : manager_(manager) {}

TCommandSetGenerator::~TCommandSetGenerator() = default;

const TCommandSetGenerator::TProcessInterface& TCommandSetGenerator::processInterface(const TslDevice& device)
{
    auto it = read_.find(&device);
    if (it == read_.end())
        it = read_.emplace(&device, readProcessInterface(device)).first;
    return *it->second;
}

std::unique_ptr<TCommandSetGenerator::TProcessInterface>
TCommandSetGenerator::readProcessInterface(const TslDevice& device)
{
    auto pi = std::make_unique<TProcessInterface>();

    // The diagram is read into an FB manager of its own, hooked to the same
    // system layer for the device's IPPs. Read into the project's manager,
    // its interface FBs would become project instances (saved with the
    // project, and shared by name with application instances and with the
    // interface FBs of other devices), and its lines would pick up the
    // application's connections to the same IPPs.
    TFB_Manager own(manager_.Context);
    own.Context.Reader = [&own](const std::string& xml, TFB_Type& target) { return ReadFBType(xml, target, &own); };
    own.AttachSystemLayer(manager_.SystemLayer);
    TFB_Diagram* d = own.CreateDiagram("SysLayer_InternalDevice_" + device.Name, 1.0);
    d->IsInternalDeviceDiagram = true;

    // A name stored on Windows may still carry "\" separators.
    std::string file = device.InternalDeviceDiagramFilename;
    std::error_code ec;
    if (!file.empty() && !std::filesystem::is_regular_file(file, ec))
        file = NormalizeSeparators(file);
    if (!file.empty() && std::filesystem::is_regular_file(file, ec)) {
        try {
            LoadFromFile(*d, file);
        } catch (const std::exception& e) {
            // Like a missing file, an unreadable one leaves the device
            // without interface FBs; unlike it, the user hears why.
            manager_.ShowMessage("The process-interface diagram of device " + device.Name +
                                 " cannot be read: " + e.what());
            own.DeleteDiagram(d);
            return pi;
        }
        d->IsInternalDeviceDiagram = true;
        pi->Read = true;
    }

    std::unordered_set<const TFB_InstanceRef*> drawn;
    for (const auto& instance : d->DrawnInstances) {
        if (!instance->Ref)
            continue;
        drawn.insert(instance->Ref);
        pi->Instances.push_back({typeNameOf(*instance->Ref), instance->Ref->Name});
    }
    // Only connections between this diagram's own instances: a line with an
    // end elsewhere is no connection inside the device.
    for (const auto& line : d->EventLines) {
        const TFB_EventAssocRef* r = line->Ref;
        if (r && r->SourcePort && r->DestPort && drawn.count(r->SourceInstance) && drawn.count(r->DestInstance))
            pi->EventConns.push_back({{r->SourceInstance->Name, r->SourcePort->Name()},
                                      {r->DestInstance->Name, r->DestPort->Name()}});
    }
    for (const auto& line : d->DataLines) {
        const TFB_DataAssocRef* r = line->Ref;
        if (r && r->SourcePort && r->DestPort && drawn.count(r->SourceInstance) && drawn.count(r->DestInstance))
            pi->DataConns.push_back({{r->SourceInstance->Name, r->SourcePort->Name()},
                                     {r->DestInstance->Name, r->DestPort->Name()}});
    }
    // An IPP line counts only when its FB end is an interface FB drawn here;
    // a line to an FB drawn elsewhere would make the device's IPP path the
    // application's own port.
    for (const auto& line : d->IPPFBLines) {
        const TFB_IPPFBAssocsRef* r = line->Ref;
        if (!r || !r->IPP || !drawn.count(r->Instance))
            continue;
        const std::string* port = nullptr;
        if (r->IPP->IsEventIPP)
            port = r->EventPort ? &r->EventPort->Name() : nullptr;
        else
            port = r->DataPort ? &r->DataPort->Name() : nullptr;
        if (!port)
            continue;
        pi->IppEnds.push_back({r->IPP, {r->Instance->Name, *port}});
    }
    for (const auto& end : pi->IppEnds)
        pi->FirstEnd.emplace(end.Ipp, &end);
    own.DeleteDiagram(d);
    return pi;
}

std::string TCommandSetGenerator::GetIPPPathfromDevice(const TslDevice& device, const TslIPPRef* ipp)
{
    const TProcessInterface& pi = processInterface(device);
    auto it = pi.FirstEnd.find(ipp);
    if (it == pi.FirstEnd.end())
        return UnknownIppPath;
    return devicePath(device.Name, it->second->Port.Instance, it->second->Port.Port);
}

// ---- Lines -----------------------------------------------------------------

void TCommandSetGenerator::emitLine()
{
    if (Output)
        Output(line_);
}

void TCommandSetGenerator::args(std::initializer_list<const std::string*> values)
{
    line_.assign("\t<ARGS>");
    emitLine();
    for (const std::string* v : values) {
        line_.assign("\t\t<STRING>");
        AppendXmlEscaped(line_, *v);
        line_.append("</STRING>");
        emitLine();
    }
    line_.assign("\t</ARGS>");
    emitLine();
    line_.assign("</COMMAND>");
    emitLine();
}

void TCommandSetGenerator::createInstance(const std::string& typeName, const std::string& name, bool downloaded)
{
    if (Form == TCommandForm::Script) {
        const std::string n = ScriptEscaped(name);
        line_.assign("devA.cmdCreateFBInstance(\"").append(n).append("\",\"").append(ScriptEscaped(typeName));
        line_.append("\"); ");
        emitLine();
        line_.assign("devA.cmdCreateFBCContainingFBI(\"C_").append(n).append("\",\"").append(n);
        line_.append("\", 0, 2);  ");
        emitLine();
        return;
    }
    line_.assign(downloaded ? "<COMMAND ACTION=\"CREATE\" TYPE=\"FB_INSTANCE\" COMMENT=\"TELVO ZOZE command to create "
                              "a FB_Instance (DOWNLOADED). Arg1=FBType, Arg2=FBInstanceName\">"
                            : "<COMMAND ACTION=\"CREATE\" TYPE=\"FB_INSTANCE\" COMMENT=\"TELVO ZOZE command to create "
                              "a FB_Instance. Arg1=FBType, Arg2=FBInstanceName\">");
    emitLine();
    args({&typeName, &name});
}

void TCommandSetGenerator::constantValue(const std::string& instance, const std::string& input,
                                         const std::string& type, const std::string& value)
{
    if (Form == TCommandForm::Script) {
        line_.assign("//CONSTANT CONNECTIO NNOT ADDED!!! ");
        emitLine();
        return;
    }
    line_.assign("<COMMAND ACTION=\"CREATE\" TYPE=\"DATA_CONSTANT_VALUE\" COMMENT=\"TELVO ZOZE command to assign const "
                 "value to a FB Instance. Arg1=FBINSTANCENAME, Arg2=DATAINPUTNAME, Arg3=DATATYPE, Arg4=VALUE\">");
    emitLine();
    args({&instance, &input, &type, &value});
}

void TCommandSetGenerator::connection(bool event, const std::string& sourcePath, const std::string& destPath)
{
    line_.assign(event ? "<COMMAND ACTION=\"CREATE\" TYPE=\"EVENT_CONNECTION\" COMMENT=\"Create an Event Connection "
                         "Between FBs\" Arg1=\"Eventoutput\" Arg2=\"EventInput\">"
                       : "<COMMAND ACTION=\"CREATE\" TYPE=\"DATA_CONNECTION\" COMMENT=\"Create a Data Connection "
                         "Between FBs\" Arg1=\"Output Data\" Arg2=\"Input Data\">");
    emitLine();
    args({&sourcePath, &destPath});
}

void TCommandSetGenerator::scriptConnection(bool event, const std::string& sourceInstance,
                                            const std::string& sourcePort, const std::string& destInstance,
                                            const std::string& destPort)
{
    line_.assign(event ? "devA.cmdCreateEventConnection(\"" : "devA.cmdCreateDataConnection(\"");
    line_.append(ScriptEscaped(sourceInstance)).append("\",\"").append(ScriptEscaped(sourcePort));
    line_.append("\",\"").append(ScriptEscaped(destInstance)).append("\",\"").append(ScriptEscaped(destPort));
    line_.append("\");");
    emitLine();
}

void TCommandSetGenerator::publish(bool event, const std::string& path)
{
    line_.assign(event ? "<COMMAND ACTION=\"PUBLISH\" TYPE=\"EVENT\" COMMENT=\"PUBLISH an Event Connection.\">"
                       : "<COMMAND ACTION=\"PUBLISH\" TYPE=\"DATA\" COMMENT=\"PUBLISH a Data Connection.\">");
    emitLine();
    line_.assign("\t\t<STRING>");
    AppendXmlEscaped(line_, path);
    line_.append("</STRING>");
    emitLine();
    line_.assign("</COMMAND>");
    emitLine();
}

void TCommandSetGenerator::subscribe(bool event, const std::string& publisherPath, const std::string& subscriberPath)
{
    line_.assign(event ? "<COMMAND ACTION=\"SUBSCRIBE\" TYPE=\"EVENT\" COMMENT=\"Create an Event Connection Between "
                         "A SUBSCRIBED Event and a FBs. Arg1=SubscriberServiceEvent, Arg2=FB_Instance2.Eventname\">"
                       : "<COMMAND ACTION=\"SUBSCRIBE\" TYPE=\"DATA\" COMMENT=\"Create a Data Connection Between A "
                         "SUBSCRIBED Data and a FBs. Arg1=SubscriberServeData, Arg2=FB_Instance2.Dataname\">");
    emitLine();
    args({&publisherPath, &subscriberPath});
}

// ---- The command set -------------------------------------------------------

void TCommandSetGenerator::DeviceCommandSet(const TslDevice& device)
{
    const TProcessInterface& pi = processInterface(device);
    const bool xml = Form == TCommandForm::Xml;
    const std::string& d = device.Name;

    if (xml) {
        line_.assign("<DEVICE_COMMANDSET DEVICENAME=\"");
        AppendXmlEscaped(line_, d);
        line_.append("\" >");
        emitLine();
    }

    for (const auto& instance : pi.Instances)
        createInstance(instance.TypeName, instance.Name, false);

    if (!xml && pi.Read) {
        line_.assign("//CREATE EVENT CONNECTIONS");
        emitLine();
    }
    for (const auto& c : pi.EventConns) {
        if (xml)
            connection(true, devicePath(d, c.Source.Instance, c.Source.Port), devicePath(d, c.Dest.Instance, c.Dest.Port));
        else
            scriptConnection(true, c.Source.Instance, c.Source.Port, c.Dest.Instance, c.Dest.Port);
    }
    if (!xml && pi.Read) {
        line_.assign("//CREATE DATA CONNECTIONS");
        emitLine();
    }
    for (const auto& c : pi.DataConns) {
        if (xml)
            connection(false, devicePath(d, c.Source.Instance, c.Source.Port), devicePath(d, c.Dest.Instance, c.Dest.Port));
        else
            scriptConnection(false, c.Source.Instance, c.Source.Port, c.Dest.Instance, c.Dest.Port);
    }

    for (const TFB_InstanceRef* record : device.DownloadedFBInstanceList) {
        if (!record)
            continue;
        createInstance(typeNameOf(*record), record->Name, true);
        for (const auto& input : record->DataInputs)
            if (!input->ValueText.empty() && Converts(*input))
                constantValue(record->Name, input->Name(), input->Decl ? input->Decl->Type : std::string(),
                              input->ValueText);
    }

    // The device's IPPs meet the application: the application port bound to
    // the IPP is joined to the interface FB port, or the IPP's value is
    // published when the application that reads it runs elsewhere.
    for (const auto& end : pi.IppEnds) {
        const TslIPPRef* ipp = end.Ipp;
        const bool event = ipp->IsEventIPP;
        TFB_Manager::TIPPBinding use = manager_.FindIPPBinding(&device, ipp);
        if (use.Path.empty())
            continue;
        const std::string own = devicePath(d, end.Port.Instance, end.Port.Port);
        if (use.Path == "EXPORT") {
            if (!ipp->IsActuator())
                publish(event, own);
            continue;
        }
        const std::string& usePort = event ? use.EventPort : use.DataPort;
        if (xml) {
            if (ipp->IsActuator())
                connection(event, use.Path, own);
            else
                connection(event, own, use.Path);
        } else if (ipp->IsActuator()) {
            scriptConnection(event, use.InstanceName, usePort, end.Port.Instance, end.Port.Port);
        } else {
            scriptConnection(event, end.Port.Instance, end.Port.Port, use.InstanceName, usePort);
        }
    }

    for (const auto& diagram : manager_.Diagrams)
        if (!diagram->IsInternalDeviceDiagram && BareFileName(diagram->FileName) == MergedNetworkFile)
            mergedNetwork(device, *diagram);

    if (xml) {
        line_.assign("</DEVICE_COMMANDSET>");
        emitLine();
    }
}

void TCommandSetGenerator::mergedNetwork(const TslDevice& device, const TFB_Diagram& merged)
{
    const std::string& d = device.Name;
    const bool xml = Form == TCommandForm::Xml;
    auto local = [&](const TFB_InstanceRef* r) { return r->Device == &device; };

    // Event and data connections follow the same rules; only the kind differs.
    auto emitConnection = [&](bool event, const auto* r) {
        if (!r || !r->SourceInstance || !r->DestInstance || !r->SourcePort || !r->DestPort)
            return;
        const TFB_InstanceRef& s = *r->SourceInstance;
        const TFB_InstanceRef& t = *r->DestInstance;
        const std::string& out = r->SourcePort->Name();
        const std::string& in = r->DestPort->Name();
        if (local(&t) && local(&s)) {
            if (xml)
                connection(event, devicePath(d, s.Name, out), devicePath(d, t.Name, in));
            else
                scriptConnection(event, s.Name, out, t.Name, in);
        } else if (local(&t)) {
            subscribe(event, devicePath(remoteDeviceName(s), s.Name, out), devicePath(d, t.Name, in));
        } else if (local(&s)) {
            publish(event, devicePath(d, s.Name, out));
        }
    };
    for (const auto& line : merged.EventLines)
        emitConnection(true, line->Ref);
    for (const auto& line : merged.DataLines)
        emitConnection(false, line->Ref);

    const TSystemLayerManager* layer = manager_.SystemLayer;
    // The IEC device other than this one that holds the IPP, or none.
    auto otherHolder = [&](const TslIPPRef* ipp) -> const TslDevice* {
        const TslIECDevice* holder = layer ? layer->FindIecDeviceOfIpp(ipp) : nullptr;
        return holder && holder != &device ? holder : nullptr;
    };

    for (const auto& line : merged.IPPFBLines) {
        const TFB_IPPFBAssocsRef* r = line->Ref;
        if (!r || !r->IPP || !r->Instance)
            continue;
        const TslIPPRef* ipp = r->IPP;
        const TFB_InstanceRef& inst = *r->Instance;
        const bool event = ipp->IsEventIPP;
        const std::string* port = r->EventPort ? &r->EventPort->Name() : r->DataPort ? &r->DataPort->Name() : nullptr;
        if (!port)
            continue;
        const bool own = device.HoldsIpp(ipp);
        if (own && ipp->IsActuator()) {
            // The device drives its own actuator from an FB elsewhere.
            if (!local(&inst))
                subscribe(event, devicePath(remoteDeviceName(inst), inst.Name, *port),
                          GetIPPPathfromDevice(device, ipp));
            continue;
        }
        if (!local(&inst))
            continue;
        const bool portIsEvent = r->EventPort != nullptr;
        const bool portIsInput = portIsEvent ? r->EventPort->Decl && r->EventPort->Decl->IsInput()
                                             : r->DataPort->Decl && r->DataPort->Decl->IsInput();
        if (!portIsInput) {
            if (!own)
                publish(portIsEvent, devicePath(d, inst.Name, *port));
        } else if (const TslDevice* holder = otherHolder(ipp)) {
            subscribe(portIsEvent, GetIPPPathfromDevice(*holder, ipp), devicePath(d, inst.Name, *port));
        }
    }

    for (const auto& line : merged.IPPtoIPPLines) {
        const TFB_IPPtoIPPAssocRef* r = line->Ref;
        if (!r || !r->SourceIPP || !r->DestIPP)
            continue;
        const bool holdsSource = device.HoldsIpp(r->SourceIPP);
        const bool holdsDest = device.HoldsIpp(r->DestIPP);
        if (holdsSource && holdsDest) {
            connection(r->SourceIPP->IsEventIPP, GetIPPPathfromDevice(device, r->SourceIPP),
                       GetIPPPathfromDevice(device, r->DestIPP));
        } else if (holdsSource) {
            publish(r->SourceIPP->IsEventIPP, GetIPPPathfromDevice(device, r->SourceIPP));
        } else if (holdsDest) {
            if (const TslDevice* holder = otherHolder(r->SourceIPP))
                subscribe(r->DestIPP->IsEventIPP, GetIPPPathfromDevice(*holder, r->SourceIPP),
                          GetIPPPathfromDevice(device, r->DestIPP));
        }
    }
}

} // namespace telvo
