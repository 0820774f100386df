#pragma once
// FB network diagrams and the connection records between FB instances.
// The instances, drawn connections and notes of a diagram join this header
// as the network model grows; a type's inner network is a diagram too.

#include <memory>
#include <string>
#include <vector>

namespace telvo {

class TFB_InstanceRef;

// Event connection record: source event output to destination event input.
class TFB_EventAssocRef {
public:
    virtual ~TFB_EventAssocRef() = default;
};

// Data connection record: source data output to destination data input.
class TFB_DataAssocRef {
public:
    virtual ~TFB_DataAssocRef() = default;
};

class TFB_Diagram {
public:
    TFB_Diagram(std::string name, double zoom) : Name(std::move(name)), Zoom(zoom) {}
    virtual ~TFB_Diagram() = default;
    TFB_Diagram(const TFB_Diagram&) = delete;
    TFB_Diagram& operator=(const TFB_Diagram&) = delete;

    std::string FileName;
    std::string Name;
    std::string Comment;
    bool IsInternalDeviceDiagram = false;
    double Zoom = 1.0;
};

} // namespace telvo
