#include "shipped_library/shipped_behaviour_cases.h"

#include <sstream>

namespace telvo::test {

const std::vector<Case>& BehaviourCases()
{
    static const std::vector<Case> cases = {
        {"E_SPLIT", {{"EI", "", "EO1, EO2"}, {"EI", "", "EO1, EO2"}}},
        {"E_MERGE", {{"EI1", "", "EO"}, {"EI2", "", "EO"}, {"EI1", "", "EO"}}},
        {"E_REND",
         {{"EI1", "", ""},
          {"EI1", "", ""},
          {"EI2", "", "EO"},
          {"EI2", "", ""},
          {"R", "", ""},
          {"EI1", "", ""},
          {"EI2", "", "EO"}}},
        {"E_PERMIT", {{"EI", "P=TRUE", "EO"}, {"EI", "P=FALSE", ""}, {"EI", "P=TRUE", "EO"}}},
        {"E_SELECT", {{"EI0", "G=FALSE", "EO"}, {"EI1", "G=TRUE", "EO"}, {"EI0", "G=FALSE", "EO"}, {"EI1", "G=FALSE", ""}}},
        {"E_SWITCH", {{"EI", "G=FALSE", "EO0"}, {"EI", "G=TRUE", "EO1"}, {"EI", "G=TRUE", "EO1"}}},
        {"E_DELAY", {{"START", "DT=T#1s", "EO"}, {"START", "DT=T#2s", "EO"}}},
        {"E_CYCLE", {{"START", "DT=T#1s", "EO"}, {"START", "", "EO"}, {"STOP", "", ""}, {"START", "", "EO"}}},
        {"E_TRAIN",
         {{"START", "DT=T#1s N=3", "EO CV=0, EO CV=1, EO CV=2"}, {"START", "N=1", "EO CV=0"}, {"START", "N=0", ""}}},
        {"E_TABLE", {{"START", "DT=T#1s N=2", "EO CV=0, EO CV=1"}}},
        {"E_N_TABLE",
         {{"START", "DT=T#1s N=2", "EO0, EO1"}, {"START", "N=4", "EO0, EO1, EO2, EO3"}, {"START", "N=9", "EO0, EO1, EO2, EO3"}}},
        {"E_CHRON",
         {{"START", "", ""},
          {"CLK", "", ""},
          {"CLK", "", ""},
          {"CLK", "", ""},
          {"STOP", "", "EO ET=3"},
          {"START", "", ""},
          {"STOP", "", "EO ET=0"}}},
        {"E_SR", {{"S", "", "EO Q=TRUE"}, {"R", "", "EO Q=FALSE"}, {"R", "", ""}, {"S", "", "EO Q=TRUE"}}},
        {"E_RS", {{"S", "", "EO Q=TRUE"}, {"R", "", "EO Q=FALSE"}, {"S", "", "EO Q=TRUE"}}},
        {"E_D_FF",
         {{"CLK", "D=TRUE", "EO Q=TRUE"}, {"CLK", "D=FALSE", "EO Q=FALSE"}, {"CLK", "D=FALSE", ""}, {"CLK", "D=TRUE", "EO Q=TRUE"}}},
        {"E_R_TRIG", {{"EI", "QI=TRUE", "EO"}, {"EI", "QI=FALSE", ""}, {"EI", "QI=TRUE", "EO"}}},
        {"E_F_TRIG", {{"EI", "QI=TRUE", ""}, {"EI", "QI=FALSE", "EO"}, {"EI", "QI=TRUE", ""}, {"EI", "QI=FALSE", "EO"}}},
        {"E_TRIG",
         {{"EI", "QI=TRUE", "RISE Q=TRUE"}, {"EI", "QI=FALSE", "FALL Q=FALSE"}, {"EI", "QI=TRUE", "RISE Q=TRUE"}}},
        {"E_CTU",
         {{"CU", "PV=2", "CUO Q=FALSE CV=1"},
          {"CU", "", "CUO Q=TRUE CV=2"},
          {"CU", "", "CUO Q=TRUE CV=3"},
          {"R", "", "RO Q=FALSE CV=0"},
          {"CU", "PV=5", "CUO Q=FALSE CV=1"}}},
        {"E_DEMUX", {{"EI", "K=2", "EO2"}, {"EI", "K=0", "EO0"}, {"EI", "K=3", "EO3"}, {"EI", "K=1", "EO1"}}},
        {"SISTEP_EVGEN",
         {{"REQ", "QI=TRUE", "EO CV=1"}, {"REQ", "", "EO CV=2"}, {"INIT", "", "INITO CV=0"}, {"REQ", "", "EO CV=1"}}},
        {"SISTEP_EVBOOL",
         {{"EI1", "QI=FALSE", "CNF Q=TRUE"}, {"EI0", "", "CNF Q=FALSE"}, {"INIT", "QI=TRUE", "INITO Q=TRUE"}, {"EI0", "", "CNF Q=FALSE"}}},
        {"NEWBASICFB",
         {{"INIT", "QI=TRUE VIN=4", "INITO QO=TRUE VOUT=0"},
          {"REQ", "VIN=5", "CNF QO=TRUE VOUT=5"},
          {"REQ", "QI=FALSE VIN=9", "CNF QO=FALSE VOUT=5"}}},
    };
    return cases;
}

std::vector<std::pair<std::string, std::string>> InputAssignments(const std::string& inputs)
{
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in(inputs);
    for (std::string a; in >> a;) {
        const auto eq = a.find('=');
        out.emplace_back(a.substr(0, eq), eq == std::string::npos ? "" : a.substr(eq + 1));
    }
    return out;
}

} // namespace telvo::test
