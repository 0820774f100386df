// telvo project check: the findings the diagram editor warns about, listed
// diagram by diagram, with exit status 1 when there is any.

#include "project_fixture.h"

#include <sstream>

namespace telvo::test {
namespace {

struct CheckCase {
    const char* Name;
    const char* Network; // the one diagram "D" of the project, "" for the example plant
    std::vector<std::string> Lines;
    int Exit;
};

void PrintTo(const CheckCase& c, std::ostream* os)
{
    *os << c.Name;
}

class ProjectCheck : public ProjectTest, public ::testing::WithParamInterface<CheckCase> {
protected:
    ProjectCheck()
    {
        // A BOOL and an INT output; a REAL, an INT and a BOOL input.
        Home.Write("library/test/BSRC.fbt", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="BSRC">
  <InterfaceList>
    <EventOutputs><Event Name="CNF" Type="EVENT"/></EventOutputs>
    <OutputVars><VarDeclaration Name="Q" Type="BOOL"/><VarDeclaration Name="N" Type="INT"/></OutputVars>
  </InterfaceList>
</FBType>
)");
        Home.Write("library/test/RDST.fbt", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="RDST">
  <InterfaceList>
    <EventInputs><Event Name="REQ" Type="EVENT"/></EventInputs>
    <InputVars><VarDeclaration Name="X" Type="REAL"/><VarDeclaration Name="Y" Type="INT"/><VarDeclaration Name="B" Type="BOOL"/></InputVars>
  </InterfaceList>
</FBType>
)");
    }
};

const CheckCase Cases[] = {
    {"TheExamplePlantIsClean", "", {}, 0},
    {"BoolToRealIsTheOneMismatch",
     R"(<FBNetwork>
  <FB Name="S" Type="BSRC" x="100" y="100"/>
  <FB Name="D" Type="RDST" x="400" y="100"/>
  <DataConnections>
    <Connection Source="2.5" Destination="D.X"/>
    <Connection Source="S.Q" Destination="D.X" Comment="" dx1="0" dx2="0" dy="0"/>
    <Connection Source="S.N" Destination="D.Y" Comment="" dx1="0" dx2="0" dy="0"/>
    <Connection Source="S.Q" Destination="D.B" Comment="" dx1="0" dx2="0" dy="0"/>
  </DataConnections>
</FBNetwork>)",
     {"mismatch\tD\tS.Q\tBOOL\tD.X\tREAL"},
     1},
    {"AnEccNoEventReachesAndATypeThatDidNotLoad",
     R"(<FBNetwork>
  <FB Name="sr" Type="E_SR" x="100" y="100"/>
  <FB Name="split" Type="E_SPLIT" x="100" y="400"/>
  <FB Name="ghost" Type="NO_SUCH_TYPE" x="400" y="100"/>
  <EventConnections>
    <Connection Source="split.EO1" Destination="split.EI" Comment="" dx1="0" dx2="0" dy="0"/>
  </EventConnections>
</FBNetwork>)",
     {"unconnected\tD\tsr.S", "unconnected\tD\tsr.R", "notloaded\tD\tghost\tNO_SUCH_TYPE"},
     1},
};

TEST_P(ProjectCheck, ListsTheFindingsAndExitsOneWhenAny)
{
    const CheckCase& c = GetParam();
    std::string crf;
    if (*c.Network) {
        Work.Write("d.fbn", c.Network);
        crf = Work.Write("p.crf", R"(<?xml version="1.0" encoding="UTF-8"?>
<telvo_project Name="Check" Comment="|">
  <FBDiagrams><FBNetworkFile Name="D" Filename="d.fbn" Comment=""/></FBDiagrams>
</telvo_project>
)").string();
    } else {
        crf = (ExampleDir() / "plant.crf").string();
    }
    const ProcessResult r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "project", "check", crf});
    std::vector<std::string> lines;
    std::istringstream out(r.Out);
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, c.Lines) << r.Err;
    EXPECT_EQ(r.ExitCode, c.Exit) << r.Err;
}

INSTANTIATE_TEST_SUITE_P(Cli, ProjectCheck, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace telvo::test
