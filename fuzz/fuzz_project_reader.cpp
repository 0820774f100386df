// Feeds arbitrary bytes to the project reader, as the project file of a
// folder that holds two network files (instances, a constant, a connection
// between the two diagrams, IPP pictures and lines) on a program folder with
// a small library. Whatever reads is written out and must read again; then
// the project is closed, which tears down every reference the file made
// while the sanitizers watch. A file that does not read leaves no project.

#include "model/file_util.h"
#include "model/project_manager.h"
#include "model/user_interface.h"
#include "persistence/project_file.h"
#include "workbench/project_lifecycle.h"
#include "workbench/workbench.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

using namespace telvo;

namespace {

const char* const kCounter = R"(<FBType Name="COUNTER"><InterfaceList>
  <EventInputs><Event Name="INIT"/><Event Name="REQ"/></EventInputs>
  <EventOutputs><Event Name="CNF"/></EventOutputs>
  <InputVars><VarDeclaration Name="N" Type="INT" InitialValue="5"/><VarDeclaration Name="B" Type="BOOL"/></InputVars>
  <OutputVars><VarDeclaration Name="Q" Type="INT"/></OutputVars></InterfaceList>
  <BasicFB><InternalVars><VarDeclaration Name="C" Type="INT" InitialValue="3"/></InternalVars></BasicFB></FBType>)";

const char* const kPair = R"(<FBType Name="PAIR"><InterfaceList>
  <EventInputs><Event Name="REQ"/></EventInputs><EventOutputs><Event Name="DONE"/></EventOutputs></InterfaceList>
  <FBNetwork><FB Name="X" Type="COUNTER"/><FB Name="Y" Type="COUNTER"/>
    <EventConnections><Connection Source="REQ" Destination="X.REQ"/><Connection Source="X.CNF" Destination="Y.REQ"/>
      <Connection Source="Y.CNF" Destination="DONE"/></EventConnections></FBNetwork></FBType>)";

const char* const kFirst = R"(<FBNetwork><FB Name="A" Type="COUNTER" x="600" y="600"/><FB Name="P" Type="PAIR"/>
  <DataConnections><Connection Source="12" Destination="A.N"/></DataConnections>
  <EventConnections><Connection Source="A.CNF" Destination="B.REQ"/></EventConnections>
  <IPPDrawInstanceName Name="boiler0.IPP_0" Type="BOOL" x="10" y="20"/>
  <IPPDrawInstanceName Name="dev.own" Type="INT" x="30" y="20"/>
  <FBIPPConnections><Connection Source="boiler0.IPP_0" Destination="A.B"/></FBIPPConnections>
  <FBIPPConnections><Connection Source="dev.own" Destination="A.Q"/></FBIPPConnections>
  <IPPtoIPPConnections><Connection Source="boiler0.IPP_0" Destination="dev.own"/></IPPtoIPPConnections>
  <NotesList><Note NoteText="n" X="5" Y="5"/></NotesList></FBNetwork>)";

const char* const kSecond = R"(<FBNetwork IsInternalDeviceDiagram="false"><FB Name="B" Type="COUNTER"/>
  <EventConnections><Connection Source="A.CNF" Destination="B.REQ"/></EventConnections>
  <DataConnections><Connection Source="B.Q" Destination="A.N"/></DataConnections></FBNetwork>)";

struct TSetup {
    std::filesystem::path Home;
    std::filesystem::path ProjectFile;
    TRecordingUserInterface UI;
    std::unique_ptr<TWorkbench> Bench;

    TSetup()
    {
        std::filesystem::path base = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                         : std::filesystem::temp_directory_path();
        Home = base / ("telvo-fuzz-project-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Home / "library" / "lib");
        std::filesystem::create_directories(Home / "images");
        std::filesystem::create_directories(Home / "project");
        WriteFileAtomic(Home / "library" / "lib" / "COUNTER.fbt", kCounter);
        WriteFileAtomic(Home / "library" / "lib" / "PAIR.fbt", kPair);
        WriteFileAtomic(Home / "project" / "a.fbn", kFirst);
        WriteFileAtomic(Home / "project" / "b.fbn", kSecond);
        ProjectFile = Home / "project" / "fuzz.crf";
        UI.KeepLog = false;
        Bench = std::make_unique<TWorkbench>(Home, UI);
        Bench->IndexLibrary();
    }

    ~TSetup()
    {
        Bench.reset();
        std::error_code ec;
        std::filesystem::remove_all(Home, ec);
    }

    // What a failed open leaves, and what closing does.
    void Close()
    {
        Bench->ResetFBManager();
        Bench->ProjectManager().Clear();
        UI.Clear();
    }
};

TSetup& setup()
{
    static TSetup s;
    return s;
}

bool readText(TSetup& s, const std::string& text)
{
    try {
        ReadProjectText(ProjectParts(*s.Bench), text, s.ProjectFile.string());
        return true;
    } catch (const std::exception&) {
        s.Close();
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TSetup& s = setup();
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (!readText(s, input)) {
        if (s.Bench->ProjectManager().IsOpen() || !s.Bench->FBManager().Diagrams.empty() ||
            !s.Bench->SystemLayer().Objects.empty())
            std::abort(); // a failed read must leave no project behind
        return 0;
    }
    if (!s.Bench->ProjectManager().IsOpen())
        std::abort(); // a read project is open, even without a title

    // What was read is written, and reads again into an empty workbench.
    const std::string written = ProjectToText(ProjectParts(*s.Bench), s.ProjectFile.string());
    s.Close();
    if (!readText(s, written))
        std::abort();
    s.Close();
    return 0;
}
