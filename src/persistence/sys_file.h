#pragma once
// IEC 61499 system files (.sys) as 4diac IDE writes them: applications with
// their FB networks, devices with their resources, segments, links and the
// mapping of FBs to resources. The reader keeps what the workbench can carry
// over and names every element it leaves behind; the writer writes what
// 4diac's importer takes (element order, required attributes, tabs, no
// DOCTYPE).

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

// A file that cannot be read as a system: not well-formed, not a System
// document, a required name missing. The message names the file.
class ESystemFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TSysParameter {
    std::string Name;
    std::string Value;
};

struct TSysFB {
    std::string Name;
    std::string Type;
    std::string Comment;
    double X = 0, Y = 0;
    std::vector<TSysParameter> Parameters;
};

struct TSysConnection {
    std::string Source;
    std::string Destination;
};

// A port of an untyped subapp's own interface.
struct TSysInterfacePort {
    std::string Name;
    std::string Type;
    bool Input = true;
    bool Event = true;
};

struct TSysSubApp;

// An application's, a subapp's or a resource's network.
struct TSysNetwork {
    std::vector<TSysFB> FBs;
    std::vector<TSysSubApp> SubApps;
    std::vector<TSysConnection> Events, Data, Adapters;
};

// A typed subapp (Type set) refers to a .sub file; an untyped one carries
// its interface and network.
struct TSysSubApp {
    std::string Name;
    std::string Type;
    std::string Comment;
    double X = 0, Y = 0;
    std::vector<TSysParameter> Parameters;
    std::vector<TSysInterfacePort> Interface;
    std::unique_ptr<TSysNetwork> Network;
};

struct TSysApplication {
    std::string Name;
    std::string Comment;
    TSysNetwork Network;
};

struct TSysResource {
    std::string Name;
    std::string Type = "EMB_RES";
    double X = 0, Y = 0;
    std::vector<TSysParameter> Parameters;
    TSysNetwork Network;
};

struct TSysDevice {
    std::string Name;
    std::string Type;
    std::string Comment;
    double X = 0, Y = 0;
    std::vector<TSysParameter> Parameters;
    std::vector<TSysResource> Resources;
};

struct TSysSegment {
    std::string Name;
    std::string Type;
    std::string Comment;
    double X = 0, Y = 0, Width = 0;
};

struct TSysMapping {
    std::string From;
    std::string To;
};

struct TSysLink {
    std::string SegmentName;
    std::string CommResource;
};

struct TSystem {
    std::string Name;
    std::string Comment;
    // VersionInfo: 4diac's importer wants Version and Author.
    std::string Organization, Version = "1.0", Author = "TELVO ZOZE", Date;
    std::vector<TSysApplication> Applications;
    std::vector<TSysDevice> Devices;
    std::vector<TSysSegment> Segments;
    std::vector<TSysMapping> Mappings;
    std::vector<TSysLink> Links;
};

// Reads the text of a system file. What the structure above has no place
// for (attributes, unknown elements, adapter declarations of subapps ...)
// is named in `notCarried`, one entry per element, `fileName` first.
// Throws ESystemFileError when the text is no system.
TSystem ReadSystemText(std::string_view text, const std::string& fileName, std::vector<std::string>& notCarried);

// The document of a system, in the newer generation: each resource holds
// the FBs mapped to it under their application names, Mapping To names the
// resource.
std::string SystemToText(const TSystem& system);

// "FB.PORT" split at its last dot; no instance when there is no dot.
void SplitSysEnd(std::string_view end, std::string& instance, std::string& port);

// A parameter value as an IEC literal names it, and back: MGR_ID carries
// its address in double quotes.
std::string UnquoteSysValue(std::string_view value);

} // namespace telvo
