#pragma once
// Device command sets: for one device, which FB instances to create, how to
// connect them, which constants to assign, and which events and data to
// publish to, or subscribe from, the other devices. Made from the system
// layer, the device's process-interface diagram (.dfb) and the project's
// merged network ("merged.fbn"), in the XML form sent to devices or in the
// script form shown to the user.

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace telvo {

class TFB_Manager;
class TslDevice;
class TslIPPRef;

enum class TCommandForm { Xml, Script };

// One generation run. Each device's process-interface diagram is read at
// most once per run, the first time a command set or an IPP path needs it;
// make a new generator for the next run, so that edits made in between are
// seen.
class TCommandSetGenerator {
public:
    // The path that stands in a command for an IPP whose device has no
    // interface FB port for it.
    static constexpr const char* UnknownIppPath = "GetIPPPathfromDevice--UNKNOWN";
    // The device an instance record is on when it is on none.
    static constexpr const char* UnassignedDevice = "FROM_UNASSIGNED_DEVICE";
    // The file name that makes a project diagram the merged network.
    static constexpr const char* MergedNetworkFile = "merged.fbn";

    // Reads the project through the FB manager: its diagrams and records,
    // and the system layer it is attached to.
    explicit TCommandSetGenerator(TFB_Manager& manager);
    ~TCommandSetGenerator();
    TCommandSetGenerator(const TCommandSetGenerator&) = delete;
    TCommandSetGenerator& operator=(const TCommandSetGenerator&) = delete;

    TCommandForm Form = TCommandForm::Xml;
    // Receives every line the moment it is made.
    std::function<void(const std::string& line)> Output;

    // Emits the device's command set in the current form through Output.
    void DeviceCommandSet(const TslDevice& device);
    // "device::instance::port" of the interface FB port the IPP reaches in
    // the device's process-interface diagram, or UnknownIppPath.
    std::string GetIPPPathfromDevice(const TslDevice& device, const TslIPPRef* ipp);

    // What a run knows of a device's process-interface diagram: its FBs,
    // the connections between them, and the interface FB port each IPP
    // reaches (the first line of each IPP counts for its path).
    struct TProcessInterface;
    const TProcessInterface& ProcessInterface(const TslDevice& device) { return processInterface(device); }

private:
    const TProcessInterface& processInterface(const TslDevice& device);
    std::unique_ptr<TProcessInterface> readProcessInterface(const TslDevice& device);
    void mergedNetwork(const TslDevice& device, const class TFB_Diagram& merged);

    void emitLine();
    void createInstance(const std::string& typeName, const std::string& name, bool downloaded);
    void constantValue(const std::string& instance, const std::string& input, const std::string& type,
                       const std::string& value);
    void connection(bool event, const std::string& sourcePath, const std::string& destPath);
    void scriptConnection(bool event, const std::string& sourceInstance, const std::string& sourcePort,
                          const std::string& destInstance, const std::string& destPort);
    void publish(bool event, const std::string& path);
    void subscribe(bool event, const std::string& publisherPath, const std::string& subscriberPath);
    void args(std::initializer_list<const std::string*> values);

    TFB_Manager& manager_;
    std::unordered_map<const TslDevice*, std::unique_ptr<TProcessInterface>> read_;
    std::string line_; // the line being made, reused
};

// What one run needs of a device's process-interface diagram, taken out of
// the diagram while it was open.
struct TCommandSetGenerator::TProcessInterface {
    struct TEnd {
        std::string Instance;
        std::string Port;
    };
    struct TInstance {
        std::string TypeName;
        std::string Name;
    };
    struct TConnection {
        TEnd Source;
        TEnd Dest;
    };
    // An IPP and the interface FB port it reaches.
    struct TIppEnd {
        const TslIPPRef* Ipp = nullptr;
        TEnd Port;
    };
    // The diagram came from its file. Without one the device has no
    // interface part at all, not even the script form's headings.
    bool Read = false;
    std::vector<TInstance> Instances;
    std::vector<TConnection> EventConns;
    std::vector<TConnection> DataConns;
    std::vector<TIppEnd> IppEnds;
    // The first end of each IPP: its path on the device.
    std::unordered_map<const TslIPPRef*, const TIppEnd*> FirstEnd;
};

} // namespace telvo
