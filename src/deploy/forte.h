#pragma once
// Deployment to IEC 61499 runtimes that speak the standard management
// protocol (4diac FORTE): per IEC device one resource holding the FBs
// distributed to it and those of its process-interface diagram, their
// constants and the connections inside the device, a publish/subscribe pair
// per connection between two devices, the resource's START joined to the
// first FBs, and the resource started.
//
// A request goes as one frame: 0x50, 16-bit big-endian length, destination
// (empty for the device, else the resource), 0x50, length, request XML. The
// device answers each with 0x50, length, <Response ID="n" .../>; a refusal
// carries its reason in the Reason attribute.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TFB_Manager;
class TSettings;
struct TForteResponse;

struct TForteRequest {
    // Empty for the device's own commands, else the resource.
    std::string Destination;
    std::string Xml;
    // The type an FB's CREATE asks for; empty for every other request.
    std::string FBType;
    // The type a CREATE of an FB type loads, by its name in the model.
    std::string LoadsType;
};

// A runtime's receive buffer with Lua types is 20,000 bytes, and a longer
// request hangs its management channel for good: requests stay below this.
inline constexpr size_t kForteMaxRequestBytes = 19000;

// A basic type of the plan's FBs, as a runtime that lacks it gets it: its
// Lua form, under a name that changes whenever the form does (a runtime
// never replaces a type it has).
struct TForteTypeForm {
    std::string Versioned;
    std::string Lua;     // empty when the type has no Lua form
    std::string Refusal; // why not
    // The frame of its request, in bytes.
    size_t RequestBytes = 0;
    // From the shipped library: a dry run takes the runtime to have it.
    bool Shipped = false;
};

using TFortePair = std::pair<std::string, std::string>;

// One FB of a device's network. A composite instance keeps its inner
// network: a runtime that does not know its type gets the inner FBs
// instead, under the names the inner records have (NAME-INNER).
struct TForteBlock {
    std::string Name;
    std::string Type;
    // Constants: value, port.
    std::vector<TFortePair> Writes;
    bool Composite = false;
    // Composite only: the inner FBs, the connections between them
    // (INNER.PORT to INNER.PORT), and where each interface port leads
    // inside: an input to every inner input it feeds, an output from the
    // inner output that drives it.
    std::vector<TForteBlock> Inner;
    std::vector<TFortePair> InnerEvents, InnerData;
    std::multimap<std::string, std::string> Ports;
};

struct TForteDevicePlan {
    std::string Device;
    std::string Address;
    std::string Port;
    std::string Resource;
    // The resource's CREATE first, its START last; every composite
    // instance as its type.
    std::vector<TForteRequest> Requests;

    // The network the requests are made from, kept so that they can be
    // made again with composites flattened (ForteRequests).
    std::vector<TForteBlock> Blocks;
    // The publish/subscribe pairs' IDs and QIs: value, INSTANCE.PORT.
    std::vector<TFortePair> Writes;
    // Source, destination (INSTANCE.PORT).
    std::vector<TFortePair> Events, Data;
    // The inputs the resource's START.COLD and START.WARM go to.
    std::vector<std::string> Starts;
    // Every basic type of the FBs, inner FBs included, by name.
    std::map<std::string, TForteTypeForm> Types;
    size_t MaxRequestBytes = kForteMaxRequestBytes;
};

struct TForteOptions {
    // Resource names the user set, by device name; else the resource name
    // the device keeps (from an imported system), else the device's own name. A name for a device that is no IEC device of the project
    // is refused: it would be a typing error that deploys under the wrong
    // name unnoticed.
    std::map<std::string, std::string> Resources;
    // IPv4-address:port of the first publish/subscribe pair; each further
    // pair takes the next port, and the last one must still be a port.
    std::string IdBase = "239.0.0.1:61550";
    // The longest request a runtime is sent (its receive buffer, less a
    // margin); a type whose Lua form does not fit is refused.
    size_t MaxRequestBytes = kForteMaxRequestBytes;
};

// The request limit settings.ini gives (ForteMaxRequestBytes, for runtimes
// built with a larger receive buffer), or the default when it gives none of
// at least 256 bytes.
size_t ForteMaxRequestBytes(const TSettings& settings);

// Resource names as the user writes them: DEVICE=NAME entries separated by
// blanks or commas, added to `names`. Empty when every entry is one, else
// what is wrong.
std::string ParseResourceNames(const std::string& text, std::map<std::string, std::string>& names);

// The requests for every IEC device, in Objects order; the Requests of a
// plan are those for a runtime that has the shipped types and lacks the
// project's own. Connections to
// devices of other kinds, to FBs on no device and to IPPs of other devices
// are left out: no runtime of ours is at their other end. Throws
// std::runtime_error, saying why, for options it cannot use.
std::vector<TForteDevicePlan> PlanForteDeployment(TFB_Manager& manager, const TForteOptions& options = {});

// The plan's requests with the instances of the composite types named in
// `flattened` sent as their inner networks: their inner FBs, constants and
// connections, each connection to one of their ports joined to the inner
// port behind it. The basic types named in `lacking` go to the device in
// their Lua form after the resource's CREATE (unless `has` holds their
// versioned name already), and their FBs are created under that name.
std::vector<TForteRequest> ForteRequests(const TForteDevicePlan& plan, const std::set<std::string>& flattened = {},
                                         const std::set<std::string>& lacking = {},
                                         const std::set<std::string>& has = {});
// Why the device cannot be sent the requests above (a type it lacks has
// no Lua form, or its form does not fit one request), or empty.
std::string ForteTypeRefusal(const TForteDevicePlan& plan, const std::set<std::string>& flattened,
                             const std::set<std::string>& lacking);
// The types the plan's own Requests send: those not from the shipped library.
std::set<std::string> ForteOwnTypes(const TForteDevicePlan& plan);
// The device's question for its type list, and the names its answer lists
// (false when the answer holds no list: a runtime that does not tell).
TForteRequest ForteTypeQuery();
// Whether a runtime loads types at all, asked before a type goes: a type
// whose Lua text does not even parse, short enough for any receive buffer.
// A runtime that loads types refuses it as INVALID_OPERATION and keeps
// nothing; one that does not refuses it otherwise (a FORTE without Lua
// types answers INVALID_OBJECT). A runtime without type loading has a small
// receive buffer: a real type's request could hang its management channel.
TForteRequest ForteTypeLoadProbe();
bool ForteTypeList(const TForteResponse& answer, std::set<std::string>& names);
// Whether a runtime whose type list is `names` makes FBs of the type: listed,
// or a generic one (PUBLISH_2 by GEN_PUBLISH).
bool ForteHasType(const std::set<std::string>& names, const std::string& type);
// The composite types the plan's FBs have, inner ones too.
std::set<std::string> ForteCompositeTypes(const TForteDevicePlan& plan);

// One request frame, byte for byte.
std::string ForteFrame(std::string_view destination, std::string_view xml);
// How a request is shown: "DEVICE: XML" or "DEVICE/RESOURCE: XML".
std::string ForteRequestLine(const TForteDevicePlan& plan, const TForteRequest& request);

struct TForteResponse {
    std::string Id;
    // Empty when the request was done.
    std::string Reason;
    // READ: the value, from the answer's Connection Destination; HasValue
    // says whether the answer carries one.
    std::string Value;
    bool HasValue = false;
    std::string Xml;
};

// The length of the answer text that the three bytes opening an answer
// frame announce, or -1 when they open no frame.
int ForteAnswerLength(std::string_view head);
// Reads an answer's text as the answer to the request whose ID is `id`.
// False, and why in `error`, when it is no Response or the Response is to
// another request: a runtime that answers out of turn has lost track of
// what was asked, and every later answer would be taken for the wrong
// request.
bool ParseForteAnswer(std::string_view text, std::string_view id, TForteResponse& response, std::string& error);

// One blocking client connection with time-outs of its own: one request at
// a time, each frame in one write. Not for the user-interface thread.
class TForteClient {
public:
    using TClock = std::chrono::steady_clock;

    TForteClient() = default;
    ~TForteClient();
    TForteClient(const TForteClient&) = delete;
    TForteClient& operator=(const TForteClient&) = delete;

    int ConnectTimeoutMs = 10000;
    // How long one request may take in all, from its first try to the last
    // byte of its answer, however slowly the bytes come.
    int ReplyTimeoutMs = 10000;
    // Nothing waits past this, whatever the time-outs say: the end of the
    // whole run the client serves. Told as DeadlineText when it comes.
    TClock::time_point Deadline = TClock::time_point::max();
    std::string DeadlineText = "the time for the whole run is up";

    // Empty when connected, else why not.
    std::string Connect(const std::string& address, const std::string& port);
    // Sends the request and waits for its answer. False (and why, in
    // `error`) when the connection failed, the time ran out or the answer
    // makes no sense or is to another request; a refusal is an answer (see
    // Reason).
    bool Request(std::string_view destination, std::string_view xml, TForteResponse& response, std::string& error);
    void Close();

private:
    // Tries of a connection the runtime turns away, 20 ms apart and twice
    // as long each time.
    static constexpr int kAttempts = 5;
    std::string connect(const std::string& address, const std::string& port, TClock::time_point until);
    std::string connectOnce(const std::string& address, const std::string& port, TClock::time_point until);
    bool exchange(std::string_view destination, std::string_view xml, TClock::time_point until,
                  TForteResponse& response, std::string& error);
    bool readExact(char* to, size_t size, TClock::time_point until, std::string& error);
    // Why a wait that ran until `until` ended: the run's deadline, or
    // `otherwise`.
    std::string expired(TClock::time_point until, std::string otherwise) const;
    TClock::time_point replyDeadline() const;
    int fd_ = -1;
    // Bytes read and not yet taken.
    std::string in_;
    size_t inAt_ = 0;
    std::string address_, port_;
    // Something was answered on this connection.
    bool answered_ = false;
    // The last failure was the device closing or resetting the connection.
    bool dropped_ = false;
};

// Runs the plans device after device, one request at a time, and stops at
// the first device that cannot be reached or refuses a request. A device
// that refuses a composite type (UNSUPPORTED_TYPE) does not have it: the
// resource made so far is cleared and the device's requests are sent again
// with the instances of that type flattened into their inner networks.
class TForteDeployment {
public:
    // Every progress line, as the deployment window shows it.
    std::function<void(const std::string& line)> OnLine;
    // A CREATE of a resource was refused: may what an earlier deployment
    // left be killed and deleted before trying again?
    std::function<bool(const std::string& device, const std::string& resource)> AllowReplace;
    int ConnectTimeoutMs = 10000;
    int ReplyTimeoutMs = 10000;
    // The whole run, every device: a runtime that answers each request
    // just within its time-out must not hold the run for hours.
    int RunTimeoutMs = 300000;

    // Empty when every device got its requests, else the message that
    // stopped the run.
    std::string Run(const std::vector<TForteDevicePlan>& plans);

private:
    std::string runDevice(const TForteDevicePlan& plan, TForteClient::TClock::time_point deadline);
    void line(const std::string& text);
};

// Reads one port (INSTANCE.PORT) of a resource: the value, or the error
// ("no value" when the answer carries none). `timeoutMs` bounds the whole
// read, connecting included.
struct TForteReadResult {
    bool Ok = false;
    std::string Value;
    std::string Error;
};
TForteReadResult ForteRead(const std::string& address, const std::string& port, const std::string& resource,
                           const std::string& instancePort, int timeoutMs = 10000);

} // namespace telvo

// ---- Online: watching, forcing and triggering ports of a running resource --

namespace telvo {

class TFB_Type;
class TFBDataMemberType;
class TslIECDevice;

// One watched port as a poll answers it.
struct TForteWatchValue {
    std::string Resource, FB, Port;
    // A data port's value as IEC text (XML escapes undone); an event's count.
    std::string Value;
    // The answer carries a time: the port is an event, Time the runtime's
    // ticks at its last occurrence.
    bool Event = false;
    std::string Time;
    bool Forced = false;
};

// The answer to READ <Watches/>: every watched port of every resource in the
// order the runtime lists them. An empty Response lists none. False, and
// why, for anything else.
bool ParseForteWatches(const TForteResponse& response, std::vector<TForteWatchValue>& values, std::string& error);

// The requests of online work, each to the resource.
std::string ForteWatchXml(int id, bool create, const std::string& instancePort);
std::string ForteReadWatchesXml(int id);
// `literal` as ForteForceLiteral makes it.
std::string ForteForceXml(int id, const std::string& instancePort, const std::string& literal);
std::string ForteClearForceXml(int id, const std::string& instancePort);
// An event fired once, or its count set back to zero.
std::string ForteTriggerXml(int id, const std::string& instancePort, bool resetCount);

// The runtime frames every answer with a 16-bit length and breaks the
// connection rather than send a longer one.
constexpr size_t kForteAnswerLimit = 65534;

struct TForteWatchSpec {
    std::string InstancePort;
    // The data type ("" when the FB is not in the project); ignored for an
    // event.
    std::string Type;
    bool Event = false;
};
// The longest answer one poll of these watches of `resource` can bring,
// counted from the widest value each port's type can print. A string or a
// type the project does not know counts kForteStringBudget bytes: the
// runtime's strings have no bound of their own, so that is a choice.
constexpr size_t kForteStringBudget = 256;
size_t ForteWatchAnswerBytes(const std::string& resource, const std::vector<TForteWatchSpec>& watches);
// How many of the watches, from the first, fit in one poll's answer.
size_t ForteWatchesThatFit(const std::string& resource, const std::vector<TForteWatchSpec>& watches);

// A port of an FB the deployment puts on `device`, found in the project:
// an FB distributed to it or one of its process-interface diagram.
struct TFortePort {
    bool Found = false; // the FB is in the project
    const TFB_Type* Type = nullptr;
    const TFBDataMemberType* Data = nullptr; // a data input or output
    bool Event = false;                      // an event input or output
    // The constant a deployment writes to this input, as it writes it;
    // empty when it writes none.
    std::string Constant;
};
TFortePort FindFortePort(TFB_Manager& manager, const TslIECDevice& device, const std::string& instancePort);
// The literal a forced value goes to the runtime as: `text` checked
// against the port's type (the integer types by their range). Empty
// `error` when it is one, else why not.
std::string ForteForceLiteral(const TFBDataMemberType& port, const std::string& text, std::string& error);

// One management connection to one resource for online work, its requests
// numbered on from 1. Each call answers empty when done, else why not: the
// connection's failure, or the runtime's Reason for a refusal (Refused then
// says so).
class TForteOnline {
public:
    TForteClient Client;
    std::string Resource;
    bool Refused = false;

    std::string Watch(const std::string& instancePort, bool create = true);
    std::string Poll(std::vector<TForteWatchValue>& values);
    std::string Force(const std::string& instancePort, const std::string& literal);
    std::string ClearForce(const std::string& instancePort);
    // A value written once, as a deployment writes a constant.
    std::string Write(const std::string& instancePort, const std::string& literal);
    std::string Trigger(const std::string& instancePort, bool resetCount = false);

private:
    std::string send(const std::string& xml, TForteResponse& answer);
    int nextId();
    int id_ = 0;
};

} // namespace telvo
