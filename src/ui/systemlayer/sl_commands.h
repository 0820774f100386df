#pragma once
// Undoable edits of the system layer. Commands never keep pointers into the
// layer: objects, IPPs and connections are named by keys that a TLayerKeys
// resolves to whatever object stands for them now. Deleting an object and
// undoing that makes a new object; the key is bound to it again, so older
// commands on the stack keep working.

#include "systemlayer/system_layer.h"

#include <QUndoCommand>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace telvo {

class TFB_Manager;

// Stable keys for the parts of one layer. A part that is freed loses its key
// (the layer tells us first); an undo that makes it again binds the key anew.
class TLayerKeys final : public TSystemLayerListener {
public:
    explicit TLayerKeys(TSystemLayerManager& layer);
    ~TLayerKeys() override;

    TSystemLayerManager* Layer() const { return layer_; }
    int KeyOf(const void* part);
    TslObject* Object(int key) const;
    TSystemConnection* Connection(int key) const;
    void Bind(int key, void* part);

    void ConnectionDeleting(TSystemConnection& connection) override { forget(&connection); }
    void IppDeleting(TslIPPRef& ipp) override { forget(&ipp); }
    void ObjectDeleting(TslObject& object) override { forget(&object); }
    void LayerDestroying(TSystemLayerManager&) override;

private:
    void forget(const void* part);

    TSystemLayerManager* layer_;
    std::unordered_map<const void*, int> keys_;
    std::vector<void*> parts_{nullptr}; // key 0 names nothing
};

// What an edit of the properties can change of one object (not its place).
struct TslObjectFields {
    std::string Name, TypeName, Description;
    bool AllowNonIecDevices = false;
    std::string Address, Port, Resource; // IEC device
    std::string Machine, Server;       // OPC device
    std::string ImageFileName;         // IPT
    std::string BitmapFile;
    int32_t Width = 0, Height = 0;
    uint8_t SensorActuator = 0;        // IPP
    bool IsEventIPP = false;
    std::string DiagramFile;           // device
    std::vector<std::string> IONames[2], IOTypes[2], IODescriptions[2];

    static TslObjectFields Of(const TslObject& object);
    void ApplyTo(TslObject& object) const;
    bool operator==(const TslObjectFields&) const = default;
};

struct TslIppSnapshot {
    int Key = 0;
    size_t Index = 0;
    TslObjectFields Fields;
};

struct TslConnectionSnapshot {
    int Key = 0;
    size_t Index = 0;
    std::string Name, Description;
    int Source = 0, Target = 0;
    uint8_t ConnectionType = 0;
};

// Which IPP (by key) each input and output of a device is bound to.
struct TslBindings {
    int Device = 0;
    std::vector<int> Inputs, Outputs;
};

// What the FB model holds of IPPs that go with a deletion (the layer tells
// it to forget them): their pictures in the diagrams and the IPP connection
// records, so that undo puts them back.
struct TslIppUses {
    struct TPicture {
        int Ipp = 0;
        std::string Diagram;
        int32_t BaseX = 0, BaseY = 0;
        size_t Index = 0;
    };
    struct TFBConn {
        int Ipp = 0;
        std::string Instance, Port;
        bool Event = false;
        // Where the record stood in the manager's list.
        uint64_t ListOrder = 0;
        size_t Index = 0;
    };
    struct TIppConn {
        int Source = 0, Dest = 0;
        uint64_t ListOrder = 0;
        size_t Index = 0;
    };
    std::vector<TPicture> Pictures;
    std::vector<TFBConn> FBConns;
    std::vector<TIppConn> IppConns;

    // Adds what the FB model holds of the IPP.
    void Collect(TLayerKeys& keys, TFB_Manager& fbm, const TslIPPRef& ipp);
    void Restore(TLayerKeys& keys, TFB_Manager& fbm) const;
};

// Everything of the layer that deleting an object (or an IPP) takes away,
// so that undo can give it back: the object with its IPPs, the connections
// at them, the bindings of every device they touch, and the FB instance
// records distributed to it.
struct TslPartSnapshot {
    int Key = 0;
    uint8_t Kind = 0;
    int32_t Left = 20, Top = 20;
    TslObjectFields Fields;
    std::vector<TslIppSnapshot> Ipps;
    std::vector<std::string> Downloaded;
    std::vector<TslConnectionSnapshot> Connections;
    std::vector<TslBindings> Bindings;
    // An IPP alone: its owner (IPT or device).
    int Owner = 0;
    TslIppUses Uses;
};

// Base of every command: keeps the drawing order of the objects from before
// the gesture and after it (a click brings an object to the top).
class TLayerCommand : public QUndoCommand {
public:
    TLayerCommand(TLayerKeys& keys, const QString& text);
    // The order before the gesture began (the window remembers it).
    void SetOrderBefore(std::vector<int> order) { orderBefore_ = std::move(order); }
    void redo() final;
    void undo() final;

    static std::vector<int> Order(TLayerKeys& keys);
    static void RestoreOrder(TLayerKeys& keys, const std::vector<int>& order);

protected:
    virtual void apply() = 0;
    virtual void revert() = 0;
    TLayerKeys& keys_;
    TSystemLayerManager& layer() const { return *keys_.Layer(); }
    // Made after the edit was done: the first redo only records. Commands
    // that do their edit themselves (deletions) clear it.
    bool done_ = true;

private:
    std::vector<int> orderBefore_, orderAfter_;
};

// Adding (or deleting) an object with everything on it.
class TObjectPresenceCommand final : public TLayerCommand {
public:
    // `add`: the object exists already (the user just added it).
    TObjectPresenceCommand(TLayerKeys& keys, TFB_Manager* fbm, TslObject& object, bool add, const QString& text);

protected:
    void apply() override;
    void revert() override;

private:
    void remove();
    void restore();
    TFB_Manager* fbm_;
    TslPartSnapshot snapshot_;
    bool add_;
};

// Adding (or deleting) one IPP of an IPT or a device.
class TIppPresenceCommand final : public TLayerCommand {
public:
    TIppPresenceCommand(TLayerKeys& keys, TFB_Manager* fbm, TslIPPRef& ipp, bool add, const QString& text);

protected:
    void apply() override;
    void revert() override;

private:
    void remove();
    void restore();
    TFB_Manager* fbm_;
    TslPartSnapshot snapshot_;
    bool add_;
};

// Making (or deleting) a connection.
class TConnectionPresenceCommand final : public TLayerCommand {
public:
    TConnectionPresenceCommand(TLayerKeys& keys, TSystemConnection& connection, bool add, const QString& text);

protected:
    void apply() override;
    void revert() override;

private:
    void remove();
    void restore();
    TslConnectionSnapshot connection_;
    std::vector<TslBindings> bindings_;
    bool add_;
};

// Moving an object.
class TMoveCommand final : public TLayerCommand {
public:
    TMoveCommand(TLayerKeys& keys, TslObject& object, int32_t fromLeft, int32_t fromTop);

protected:
    void apply() override;
    void revert() override;

private:
    int key_;
    int32_t fromLeft_, fromTop_, toLeft_, toTop_;
};

// A properties dialog's OK.
class TFieldsCommand final : public TLayerCommand {
public:
    TFieldsCommand(TLayerKeys& keys, TslObject& object, TslObjectFields before, const QString& text);

protected:
    void apply() override;
    void revert() override;

private:
    int key_;
    TslObjectFields before_, after_;
};

// Distributing an FB instance record to a device, or taking it back.
class TDistributionCommand final : public TLayerCommand {
public:
    // The change is made already; `index` is where the record stood in the
    // device's list before an unassignment.
    TDistributionCommand(TLayerKeys& keys, TFB_Manager& fbm, TslDevice& device, const std::string& record, bool assign,
                         size_t index);

protected:
    void apply() override;
    void revert() override;

private:
    void assign();
    void unassign();
    TFB_Manager& fbm_;
    int device_;
    std::string record_;
    bool assign_;
    size_t index_;
};

} // namespace telvo
