// Feeds arbitrary bytes to the system file reader. Whatever reads is written
// out and must read again to the same counts; then the whole import runs
// (without writing) on a program folder with a small library and a system
// folder holding a basic type and a subapp type, so that the flattening of
// subapps, the mapping and the resource networks see every shape the bytes
// make.

#include "model/file_util.h"
#include "persistence/sys_file.h"
#include "workbench/system_import.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace telvo;

namespace {

namespace fs = std::filesystem;

const char* const kSr = R"(<FBType Name="E_SR"><InterfaceList>
  <EventInputs><Event Name="S"/><Event Name="R"/></EventInputs><EventOutputs><Event Name="EO"/></EventOutputs>
  <OutputVars><VarDeclaration Name="Q" Type="BOOL"/></OutputVars></InterfaceList><BasicFB/></FBType>)";

const char* const kTick = R"(<FBType Name="TICK"><InterfaceList>
  <EventInputs><Event Name="INIT"/><Event Name="REQ"/></EventInputs><EventOutputs><Event Name="CNF"/></EventOutputs>
  <InputVars><VarDeclaration Name="N" Type="INT"/></InputVars></InterfaceList><BasicFB/></FBType>)";

const char* const kLatch = R"(<SubAppType Name="LATCH"><SubAppInterfaceList>
  <SubAppEventInputs><SubAppEvent Name="SET"/></SubAppEventInputs></SubAppInterfaceList>
  <SubAppNetwork><FB Name="SR" Type="E_SR"/><EventConnections><Connection Source="SET" Destination="SR.S"/>
  </EventConnections></SubAppNetwork></SubAppType>)";

struct TFolders {
    fs::path Root, Program, System;
    TFolders()
    {
        char name[] = "/tmp/fuzz-sys-XXXXXX";
        Root = mkdtemp(name);
        Program = Root / "home";
        System = Root / "sys";
        fs::create_directories(Program / "library/events");
        fs::create_directories(System / "types");
        WriteFileAtomic(Program / "library/events/E_SR.fbt", kSr);
        WriteFileAtomic(System / "types/TICK.fbt", kTick);
        WriteFileAtomic(System / "types/LATCH.sub", kLatch);
    }
};

const TFolders& folders()
{
    static TFolders f;
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> notCarried;
    TSystem system;
    try {
        system = ReadSystemText(text, "fuzz.sys", notCarried);
    } catch (const ESystemFileError&) {
        return 0;
    }
    std::vector<std::string> again;
    const TSystem back = ReadSystemText(SystemToText(system), "again.sys", again);
    if (back.Applications.size() != system.Applications.size() || back.Devices.size() != system.Devices.size() ||
        back.Segments.size() != system.Segments.size() || back.Mappings.size() != system.Mappings.size() ||
        back.Links.size() != system.Links.size())
        std::abort();

    const TFolders& f = folders();
    const fs::path file = f.System / "in.sys";
    WriteFileAtomic(file, text);
    try {
        ImportSystem(f.Program, file.string(), (f.Root / "p/p.crf").string(), true);
    } catch (const ESystemExchangeError&) {
    }
    return 0;
}
