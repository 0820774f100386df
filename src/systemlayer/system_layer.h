#pragma once
// The physical system on which an FB application is distributed: backbones,
// switches, computers, interworking units, fieldbuses, devices, industrial
// process terminators (IPTs) with their process parameters (IPPs), and the
// typed connections between them. Qt-free: the editor draws this model, the
// project file stores it, the deployment reads it.
//
// Ownership: the manager owns every object and connection; an IPT or a
// device owns its IPPs; a device owns its inputs and outputs. Everything
// else is a reference that the manager clears before the object it names is
// freed. Whoever else holds references into the layer (FB instance records
// naming their device, IPP pictures in FB diagrams) registers a
// TSystemLayerListener and drops them when told.

#include "systemlayer/geometry.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TFB_InstanceRef;
class TSystemConnection;
class TSystemLayerManager;
class TslIPPRef;
class TslIECDevice;

// Object kinds, stored in TslObject::Kind.
inline constexpr uint8_t slNetBone = 0;
inline constexpr uint8_t slIECFieldbus = 1;
inline constexpr uint8_t slNonIECFieldbus = 2;
inline constexpr uint8_t slIECDevice = 3;
inline constexpr uint8_t slOPCDevice = 4;
inline constexpr uint8_t slNonIECDevice = 5;
inline constexpr uint8_t slComputer = 6;
inline constexpr uint8_t slInterunit = 7;
inline constexpr uint8_t slSwitch = 8;
inline constexpr uint8_t slIPT = 9;
inline constexpr uint8_t slIPPRef = 10;

// The prefix of the names of new objects of a kind ("IEC_Device"); empty for
// IPTs (their subtype decides) and IPPs.
std::string_view ObjectNamePrefix(uint8_t kind);
// The picture a kind is created with, relative to the program folder
// ("images/device3.bmp"); empty when the kind is drawn without one.
std::string_view KindImageFile(uint8_t kind);

// One row of the IPT subtype table.
struct TslIptSubtype {
    std::string_view TypeName;
    std::string_view ImageFile;  // relative to the program folder; empty for the custom IPT
    std::string_view NamePrefix; // empty for subtype 0, which only the properties dialog offers
};
inline constexpr int slIptSubtypeCount = 11;
inline constexpr int slCustomIptSubtype = 8;
// Subtypes 0 to 10; nothing for any other number.
const TslIptSubtype* IptSubtype(int subtype);
// The subtype a stored IPT type name stands for: the first of 1 to 10 whose
// TypeName is exactly the text ("Undefined" is the custom IPT, 8); -1 when
// no subtype has that name.
int IptSubtypeOfTypeName(std::string_view typeName);

// A stored image name as a path: "\" becomes "/", and a relative name is
// taken under the program folder. Empty stays empty.
std::filesystem::path ImagePathUnder(const std::filesystem::path& programFolder, std::string_view imageName);

// What the core knows of an object's picture: which file it came from and
// its size. The pixels are the user interface's business.
struct TslPicture {
    std::filesystem::path File; // the file the size was read from; empty for a blank picture
    int32_t Width = 0;
    int32_t Height = 0;
    bool Loaded() const { return !File.empty(); }
};

// Base of every system layer object.
class TslObject {
public:
    // Blank size of a picture whose file is missing: at creation, and when
    // the picture is replaced later.
    static constexpr int32_t BlankWidth = 100, BlankHeight = 40;
    static constexpr int32_t ReplacedBlankWidth = 60, ReplacedBlankHeight = 40;

    // `layer` tells the object where relative image names live and who must
    // hear of freed IPPs; it may be none for an object outside any layer.
    TslObject(uint8_t kind, TSystemLayerManager* layer, const std::string& imageFile);
    virtual ~TslObject();
    TslObject(const TslObject&) = delete;
    TslObject& operator=(const TslObject&) = delete;

    bool Selected = false;
    int32_t DragOffsetX = 0;
    int32_t DragOffsetY = 0;
    std::string BitmapFile;
    TslPicture Bitmap;
    std::string Name;
    std::string TypeName;
    std::string Description;
    int32_t Left = 20;
    int32_t Top = 20;
    int32_t Width = 0;
    int32_t Height = 0;
    // The connections ending here (not owned; each connection keeps this
    // list up to date itself).
    std::vector<TSystemConnection*> Connections;
    uint8_t Kind;
    TSystemLayerManager* Layer;

    void SetImage(const std::string& file);
    void BeginDrag(int32_t x, int32_t y);
    void DragTo(int32_t x, int32_t y);

    // The object's own IPPs (an IPT's or a device's), or none for kinds
    // without any.
    virtual std::vector<std::unique_ptr<TslIPPRef>>* IppList() { return nullptr; }
    const std::vector<std::unique_ptr<TslIPPRef>>* IppList() const
    {
        return const_cast<TslObject*>(this)->IppList();
    }

protected:
    void LoadPicture(const std::string& file, int32_t blankWidth, int32_t blankHeight);
};

class TslNetBone final : public TslObject {
public:
    TslNetBone(TSystemLayerManager* layer, const std::string& imageFile) : TslObject(slNetBone, layer, imageFile) {}
};

class TslIECFieldbus final : public TslObject {
public:
    TslIECFieldbus(TSystemLayerManager* layer, const std::string& imageFile)
        : TslObject(slIECFieldbus, layer, imageFile)
    {
    }
    bool AllowNonIecDevices = false;
};

class TslNonIECFieldbus final : public TslObject {
public:
    TslNonIECFieldbus(TSystemLayerManager* layer, const std::string& imageFile)
        : TslObject(slNonIECFieldbus, layer, imageFile)
    {
    }
};

class TslComputer final : public TslObject {
public:
    TslComputer(TSystemLayerManager* layer, const std::string& imageFile) : TslObject(slComputer, layer, imageFile) {}
};

class TslInterunit final : public TslObject {
public:
    TslInterunit(TSystemLayerManager* layer, const std::string& imageFile)
        : TslObject(slInterunit, layer, imageFile)
    {
    }
};

class TslSwitch final : public TslObject {
public:
    TslSwitch(TSystemLayerManager* layer, const std::string& imageFile) : TslObject(slSwitch, layer, imageFile) {}
};

// One input or output of a device, and the IPP bound to it.
class TslDeviceIO {
public:
    std::string IOName;
    std::string IOType;
    std::string IODescription;
    TslIPPRef* BoundObject = nullptr;
};

// What every device with inputs and outputs shares: IEC, OPC and non-IEC
// devices. An IPP connected to such a device is bound to its first free
// input (sensor) or output (actuator).
class TslIODevice : public TslObject {
public:
    std::vector<std::unique_ptr<TslDeviceIO>> InputList;
    std::vector<std::unique_ptr<TslDeviceIO>> OutputList;

    TslDeviceIO* AddInput(const std::string& name);
    TslDeviceIO* AddOutput(const std::string& name);
    void ClearIO();

    // Binds the IPP to the first free output (actuator) or input (sensor);
    // none when every entry is taken.
    TslDeviceIO* BindIpp(TslIPPRef* ipp);
    // Frees the first output (actuator) or input (sensor) bound to the IPP.
    void UnbindIpp(const TslIPPRef* ipp);

protected:
    TslIODevice(uint8_t kind, TSystemLayerManager* layer, const std::string& imageFile)
        : TslObject(kind, layer, imageFile)
    {
    }
    void FillIO(int count, const std::string& inputPrefix, const std::string& inputType,
                const std::string& outputPrefix, const std::string& outputType);
};

// Base of IEC and OPC devices: they hold IPPs and receive FB instances.
class TslDevice : public TslIODevice {
public:
    static constexpr int DefaultIOCount = 64;

    std::vector<std::unique_ptr<TslIPPRef>> IPPList;
    // The project FB instance records distributed to this device (not
    // owned). Filled and emptied by the FB model's AssignInstance and
    // UnassignInstance.
    std::vector<TFB_InstanceRef*> DownloadedFBInstanceList;
    std::string InternalDeviceDiagramFilename;

    std::vector<std::unique_ptr<TslIPPRef>>* IppList() override { return &IPPList; }

    TslIPPRef* AddIppRef(std::unique_ptr<TslIPPRef> ipp);
    // Frees every IPP of the device; inside a layer their connections and
    // every reference to them go first.
    void FreeIppRefs();
    TslIPPRef* FindIpp(const std::string& name) const;
    bool HoldsIpp(const TslIPPRef* ipp) const;

protected:
    TslDevice(uint8_t kind, TSystemLayerManager* layer, const std::string& imageFile);
};

class TslIECDevice final : public TslDevice {
public:
    TslIECDevice(TSystemLayerManager* layer, const std::string& imageFile) : TslDevice(slIECDevice, layer, imageFile) {}
    std::string DeviceIPAddress;
    std::string DeviceAddressPort;
    // The resource the device's FBs run in on an IEC 61499 runtime; empty
    // means the device's own name. An imported system keeps its resources'
    // names here.
    std::string ResourceName;
};

class TslOPCDevice final : public TslDevice {
public:
    TslOPCDevice(TSystemLayerManager* layer, const std::string& imageFile) : TslDevice(slOPCDevice, layer, imageFile) {}
    std::string OPCMachineName;
    std::string OPCServerName;
};

class TslNonIECDevice final : public TslIODevice {
public:
    static constexpr int DefaultIOCount = 8;
    TslNonIECDevice(TSystemLayerManager* layer, const std::string& imageFile);
};

// An industrial process parameter: the point where the application meets
// the process. Its Name is the IPP name, its TypeName the data type.
class TslIPPRef final : public TslObject {
public:
    static constexpr uint8_t Sensor = 0;
    static constexpr uint8_t Actuator = 1;
    // Side of the marker box on the system layer canvas.
    static constexpr int32_t MarkerSize = 15;

    explicit TslIPPRef(TSystemLayerManager* layer = nullptr) : TslObject(slIPPRef, layer, std::string()) {}

    uint8_t SensorActuator = Sensor;
    bool IsEventIPP = false;
    // The IPT or device whose IPP list holds this IPP.
    TslObject* Owner = nullptr;

    bool IsActuator() const { return SensorActuator != Sensor; }
};

// An industrial process terminator: a piece of the plant with its IPPs.
class TslIPT final : public TslObject {
public:
    TslIPT(TSystemLayerManager* layer, const std::string& imageFile) : TslObject(slIPT, layer, imageFile) {}

    std::string ImageFileName;
    std::vector<std::unique_ptr<TslIPPRef>> IPPList;

    std::vector<std::unique_ptr<TslIPPRef>>* IppList() override { return &IPPList; }

    TslIPPRef* AddIpp(const std::string& name, const std::string& typeName, uint8_t sensorActuator);
    void SetSubtype(int subtype, const std::string& imageFile);
    // Frees the IPP; inside a layer its connections and every reference to
    // it go first.
    void RemoveIpp(TslIPPRef* ipp);
    TslIPPRef* getIppByName(const std::string& name) const;
};

// Connection types with their display names.
inline constexpr uint8_t slConnectionTypeCount = 11;
// "Switch to Netbone" ... "Device to IPT"; empty for an unknown type.
std::string_view ConnectionTypeName(uint8_t connectionType);
// The type of a connection between objects of these kinds (either order);
// pairs the table does not name get 0.
uint8_t ConnectionTypeOf(uint8_t kindA, uint8_t kindB);

// A typed connection between two objects; its points are the drawn route.
// It enters itself into both ends' Connections when made and leaves them when
// destroyed, so both ends must outlive it (the manager sees to that).
class TSystemConnection final : public Tlineobj {
public:
    TSystemConnection(TslObject* source, TslObject* target);
    ~TSystemConnection() override;

    std::string Name;
    std::string Description;
    TslObject* SourceObject;
    TslObject* TargetObject;
    int32_t StartX = 0;
    int32_t StartY = 0;
    int32_t EndX = 0;
    int32_t EndY = 0;
    bool Selected = false;
    uint8_t ConnectionType = 0;

    // The device end when the other end is an IPP, else none; and that IPP.
    TslIODevice* BoundDevice() const;
    TslIPPRef* BoundIpp() const;
};

// Told about every part of the layer just before it is freed, while it is
// still whole (a device still lists its downloaded FB instances). A listener
// must not change the layer from inside these calls.
//
// A listener hears one layer at a time. Whichever of the two goes first
// unhooks the other: a listener that dies leaves its layer, a layer that
// dies tells its listeners (LayerDestroying) and forgets them.
class TSystemLayerListener {
public:
    TSystemLayerListener() = default;
    virtual ~TSystemLayerListener();
    TSystemLayerListener(const TSystemLayerListener&) = delete;
    TSystemLayerListener& operator=(const TSystemLayerListener&) = delete;

    virtual void ConnectionDeleting(TSystemConnection& connection) {}
    virtual void IppDeleting(TslIPPRef& ipp) {}
    virtual void ObjectDeleting(TslObject& object) {}
    // The whole layer goes (the project closes): forget everything in it,
    // and the manager itself.
    virtual void LayerDestroying(TSystemLayerManager& layer) {}

    // The layer this listener hears, or none.
    TSystemLayerManager* ListenedLayer() const { return layer_; }

private:
    friend class TSystemLayerManager;
    TSystemLayerManager* layer_ = nullptr;
};

class TSystemLayerManager {
public:
    // The program folder holds images/; the project file's folder is a
    // second place to look for IPT pictures (set ProjectFile when a project
    // is open).
    explicit TSystemLayerManager(std::filesystem::path programFolder = {});
    ~TSystemLayerManager();
    TSystemLayerManager(const TSystemLayerManager&) = delete;
    TSystemLayerManager& operator=(const TSystemLayerManager&) = delete;

    std::filesystem::path ProgramFolder;
    std::filesystem::path ProjectFile;

    // Every object but IPPs, in drawing order (later ones on top). Change
    // these lists only through the operations below: they keep every
    // reference into the layer sound.
    std::vector<std::unique_ptr<TslObject>> Objects;
    std::vector<std::unique_ptr<TSystemConnection>> Connections;

    // Editor state, kept here because the model clears it when what it names
    // is deleted. Scroll offsets are added to every object position when
    // drawing and hit-testing.
    TslObject* SelectedObject = nullptr;
    int32_t ScrollX = 0;
    int32_t ScrollY = 0;
    TslIPPRef* HoverIpp = nullptr;
    bool ConnectMode = false;
    bool Dragging = false;
    int32_t RubberX = -1;
    int32_t RubberY = -1;
    TslObject* FirstEnd = nullptr;
    TslObject* SecondEnd = nullptr;
    TSystemConnection* SelectedConnection = nullptr;

    // Makes an object of a kind (0 to 9) with its picture; the subtype and
    // the image file matter for IPTs only. None for an unknown kind or an
    // IPP (IPPs belong to an IPT or a device).
    TslObject* AddObject(const std::string& name, uint8_t kind, int iptSubtype = 0, const std::string& imageFile = {});
    // Joins two objects of this layer (either may be an IPP); none when an
    // end is missing or not in this layer.
    TSystemConnection* Connect(TslObject* source, TslObject* target);
    void DeleteConnection(TSystemConnection* connection);
    // Deletes the object with its connections, and with its IPPs and their
    // connections; an IPP is deleted as by DeleteIpp.
    void DeleteObject(TslObject* object);
    // Deletes one IPP of an IPT (or of a device) with its connections.
    void DeleteIpp(TslObject* owner, TslIPPRef* ipp);

    std::string CountOfKind(uint8_t kind) const;
    // An object name, or an IPT name, "+||+" and one of its IPP names. None
    // when nothing has that name.
    TslObject* FindByName(const std::string& name) const;
    // Hit tests in view coordinates. ObjectAt takes the topmost (last drawn)
    // object or IPP marker at the point and brings it to the top.
    TslObject* ObjectAt(int32_t x, int32_t y, bool withIpps);
    TslIPPRef* IppAt(int32_t x, int32_t y) const;
    TSystemConnection* ConnectionAt(int32_t x, int32_t y);
    void ClearConnectionSelection();
    TslIECDevice* FindIecDeviceOfIpp(const TslIPPRef* ipp) const;

    // The layout the model keeps, applied before drawing: fieldbus widths,
    // custom IPP widths, IPP marker boxes, then every connection's ends and
    // route in view coordinates.
    void ApplyLayout();

    // The name the editor gives a new object: its prefix and the number of
    // objects of its kind (of all IPTs for an IPT). And of a new IPP.
    std::string NewObjectName(uint8_t kind, int iptSubtype = 0) const;
    static std::string NewIppName(const TslIPT& ipt);

    // An image name as a path under the program folder.
    std::filesystem::path ImagePath(std::string_view imageName) const;
    // An IPT's image: the file itself, else the same file name in the
    // program's images/, else beside the project file; empty when none.
    std::string ResolveIptImage(const std::string& imageFile) const;

    bool Contains(const TslObject* object) const;
    // The layer's owner of an object or of an IPP.
    bool HoldsEnd(const TslObject* end) const;

    // Hooks the listener to this layer (unhooking it from any other).
    void AddListener(TSystemLayerListener* listener);
    void RemoveListener(TSystemLayerListener* listener);

private:
    void ForgetObject(const TslObject* object);
    void DeleteConnectionsOf(const TslObject* end);
    void FreeIpp(TslObject* owner, TslIPPRef* ipp);
    std::vector<TSystemLayerListener*> Listeners() const { return listeners_; }

    std::vector<TSystemLayerListener*> listeners_;
};

} // namespace telvo
