// The text of the generated Pascal source, line for line.

#include "codegen/pascal_generator.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>

using namespace telvo;
using telvo::test::TempDir;

namespace {

const char* const kStamp = "2024-12-10 14:03:07";

std::vector<std::string> Lines(const std::string& text) { return SplitLines(text); }

// True when `needle` occurs in `lines` as consecutive lines.
bool HasBlock(const std::vector<std::string>& lines, const std::vector<std::string>& needle)
{
    return std::search(lines.begin(), lines.end(), needle.begin(), needle.end()) != lines.end();
}

std::string Generate(const TFB_Type& t) { return GeneratePascalSource(t, kStamp); }

// The lines of the HandleEvent body, between its "begin" and its "end;".
std::vector<std::string> HandleEventBody(const TFB_Type& t)
{
    auto lines = Lines(Generate(t));
    auto start = std::find(lines.begin(), lines.end(), "procedure TtelvoKALOFBtype.HandleEvent(const vEvent:String);");
    EXPECT_NE(start, lines.end());
    if (start == lines.end())
        return {};
    auto end = std::find(start, lines.end(), "end;");
    return std::vector<std::string>(start + 2, end);
}

// A representative type, and the file the rules give for it, written out
// by hand.
TEST(PascalSource, GoldenFileForARepresentativeType)
{
    TFB_Type t;
    t.Name = "CG_GOLD";
    t.AddDataInput("X", "INT", "", "", "");
    t.AddDataInput("S", "STRING", "", "", "");
    t.AddDataOutput("Y", "REAL", "", "", "");
    t.AddDataOutput("M", "STRING", "", "", "");
    t.AddEventInput("INIT", "Event", "");
    t.AddEventInput("REQ", "Event", "");
    t.AddEventOutput("CNF", "Event", "");
    t.AddInternalVar("CNT", "INT", "", "", "0");
    t.AddInternalVar("B", "BOOL", "", "", "TRUE");
    auto* run = t.AddAlgorithm("run", "adds");
    run->Language = "DelphiScript";
    run->OtherText = {"CNT := CNT + X;", "DO_M := S;"};
    t.AddState("START", "");
    t.AddState("RUN", "busy")->AddAction("run", "CNF");
    t.AddTransition("START", "RUN", "REQ");
    t.AddTransition("RUN", "START", "1");

    const std::string expected =
        "library CG_GOLD;\r\n"
        "//This is an auto-generated FB type from TELVO ESS \r\n"
        "//in Pascal programming language\r\n"
        "//Generated time stamp: 2024-12-10 14:03:07\r\n"
        "//Compile it like fpc -Sd -Sh TELVO_ESS_DIR\\KALO\\CG_GOLD.pas\r\n"
        "\r\n"
        "uses  SysUtils, Classes;\r\n"
        "\r\n"
        "\r\n"
        "type\r\n"
        "\tTtelvoKALOFBtype = class\r\n"
        "\tprivate\r\n"
        "\t\tfState\t\t:String;\r\n"
        "\t\tfFBruntimeID\t\t:Longint;\r\n"
        "\t\t//Declaration of EventInputVariables\r\n"
        "\t\tINIT\t\t:Boolean;\r\n"
        "\t\tREQ\t\t:Boolean;\r\n"
        "\t\t//Declaration of DataInputVariables\r\n"
        "\t\tX\t\t:Integer;\r\n"
        "\t\tS\t\t:String;\r\n"
        "\t\t//Declaration of DataOutputVariables\r\n"
        "\t\tDO_Y\t\t:Single;\r\n"
        "\t\tDO_M\t\t:String;\r\n"
        "\t\t//Declaration of InternalVariables\r\n"
        "\t\tCNT\t\t:Integer;\r\n"
        "\t\tB\t\t:Boolean;\r\n"
        "\t\t//Declaration of Algorithms\r\n"
        "\t\tprocedure procrun;//adds\r\n"
        "\t\t//Declaration of ECCexecutes\r\n"
        "\t\tprocedure ExecTransition_START;//\r\n"
        "\t\tprocedure ExecTransition_RUN;//busy\r\n"
        "\tpublic\r\n"
        "\t\tconstructor Create(const vFBID:Longint);\r\n"
        "\t\tprocedure HandleEvent(const vEvent:String);\r\n"
        "\t\tprocedure OutputEvent(const vEventName:String);\r\n"
        "\t\tprocedure ClearAllEvents;\r\n"
        "\tend;\r\n"
        "\r\n"
        "\tTFunc_Back = procedure( const parameters: array of Pointer); cdecl;\r\n"
        "\r\n"
        "var Func_Back : TFunc_Back;\r\n"
        "var vKALOinst : TtelvoKALOFBtype;\r\n"
        "\r\n"
        "\r\n"
        "function HandleFBEvent( const vpEventName, vpEventNameLength"
        "//follows a list of FB interface, Eventname and data   \r\n"
        "\t, vpX, vpS, vp_lengthS:Pointer): LongInt ; cdecl ;  export;\r\n"
        "var vEvent:PChar;\r\n"
        "begin\r\n"
        "\tresult:= 0;\r\n"
        "\tvEvent := StrAlloc(  LongInt( pLongInt(vpEventNameLength)^)  +1);\r\n"
        "\tStrLCopy (vEvent, PChar(vpEventName),  LongInt( pLongInt(vpEventNameLength)^) );\r\n"
        "\tvKALOinst.X:=LongInt(pLongInt(vpX)^);\r\n"
        "\tSetString ( vKALOinst.S, PChar(vpS),  LongInt( pLongInt(vp_lengthS)^) );\r\n"
        "\tvKALOinst.HandleEvent(vEvent);\r\n"
        "\tStrDispose(vEvent);\r\n"
        "\tresult:= 1; //Exits fine\r\n"
        "end;\r\n"
        "\r\n"
        "procedure AssignCallBack( pCallback:TFunc_Back); cdecl;\r\n"
        "begin\r\n"
        "\tFunc_Back:= pCallback;\r\n"
        "end;\r\n"
        "\r\n"
        "function isValidFB( CString : PChar; vFBID:LongInt  ) : LongInt ; cdecl ;  export;\r\n"
        "begin\r\n"
        "\tif CString='CG_GOLD' then\r\n"
        "\tbegin\r\n"
        "\t\tresult:= 1;\r\n"
        "\t\tvKALOinst:=TtelvoKALOFBtype.Create(vFBID); //Create an instance to Handle events and algorithms!\r\n"
        "\tend\r\n"
        "\telse\r\n"
        "\t\tresult:=0;\r\n"
        "end;\r\n"
        "\r\n"
        "\r\n"
        "function FreeFBDLL : LongInt ; cdecl ;  export;\r\n"
        "begin\r\n"
        "\tvKALOinst.Free;\r\n"
        "\tresult:=1;\r\n"
        "end;\r\n"
        "\r\n"
        "exports \r\n"
        " isValidFB, AssignCallBack, HandleFBEvent, FreeFBDLL ;\r\n"
        "\r\n"
        "constructor TtelvoKALOFBtype.Create(const vFBID:Longint);\r\n"
        "begin\r\n"
        "\tfFBruntimeID:= vFBID;\r\n"
        "\tfstate:='START';\r\n"
        "\tCNT:=0;\r\n"
        "\tB:=False;\r\n"
        "end;\r\n"
        "\r\n"
        "procedure TtelvoKALOFBtype.ClearAllEvents;\r\n"
        "begin\r\n"
        "//Clear all events!\r\n"
        "\tINIT:=False;\r\n"
        "\tREQ:=False;\r\n"
        "end;\r\n"
        "\r\n"
        "procedure TtelvoKALOFBtype.HandleEvent(const vEvent:String);\r\n"
        "begin\r\n"
        "\tif vEvent='INIT' then INIT:=True; //set EventVariable True in order to use it in conditions\r\n"
        "\tif vEvent='REQ' then REQ:=True; //set EventVariable True in order to use it in conditions\r\n"
        "\r\n"
        "\tif fState='START' then\r\n"
        "\tbegin\r\n"
        "\t\tif ( REQ ) then\r\n"
        "\t\tbegin\r\n"
        "\t\t\tfState:='RUN';\r\n"
        "\t\t\tExecTransition_RUN;\r\n"
        "\t\t\tClearAllEvents;\r\n"
        "\t\t\tHandleEvent('-');\r\n"
        "\t\t\texit;\r\n"
        "\t\tend;\r\n"
        "\tend\r\n"
        "\r\n"
        "\telse if fState='RUN' then\r\n"
        "\tbegin\r\n"
        "\t\tif ( true ) then\r\n"
        "\t\tbegin\r\n"
        "\t\t\tfState:='START';\r\n"
        "\t\t\tExecTransition_START;\r\n"
        "\t\t\tClearAllEvents;\r\n"
        "\t\t\tHandleEvent('-');\r\n"
        "\t\t\texit;\r\n"
        "\t\tend;\r\n"
        "\tend\r\n"
        "\r\n"
        ";\r\n"
        "end;\r\n"
        "\r\n"
        "procedure TtelvoKALOFBtype.OutputEvent(const vEventName:String);\r\n"
        "var vEvLen, vFBID: Integer;\r\n"
        "vevs:String;\r\n"
        "length_M:Integer;\r\n"
        " parameters: array[0..6] of Pointer;\r\n"
        "begin\r\n"
        "\tvevs := vEventName;\r\n"
        "\tvEvLen:=length(vevs);\r\n"
        "\tvFBID:=fFBruntimeID;\r\n"
        "\tparameters[0] := Pointer(vFBID); \r\n"
        "\tparameters[1] := @vevs[1]; \r\n"
        "\tparameters[2] := Pointer(vEvLen); \r\n"
        "\tparameters[3] := Pointer(LongWord(DO_Y)); \r\n"
        "\tparameters[4] := Pointer(DO_M); \r\n"
        "\tlength_M:=length(DO_M);\r\n"
        "\tparameters[5] := Pointer(length_M); \r\n"
        "\tFunc_Back( parameters );\r\n"
        "end;\r\n"
        "\r\n"
        "\r\n"
        "procedure TtelvoKALOFBtype.procrun;//adds\r\n"
        "begin\r\n"
        "\tCNT := CNT + X;\r\n"
        "\tDO_M := S;\r\n"
        "end;\r\n"
        "\r\n"
        "\r\n"
        "procedure TtelvoKALOFBtype.ExecTransition_START;//\r\n"
        "begin\r\n"
        "end;\r\n"
        "\r\n"
        "\r\n"
        "procedure TtelvoKALOFBtype.ExecTransition_RUN;//busy\r\n"
        "begin\r\n"
        "\tprocrun;\r\n"
        "\tOutputEvent('CNF');\r\n"
        "end;\r\n"
        "\r\n"
        "\r\n"
        "end.\r\n";
    const std::string actual = Generate(t);
    // Line by line first: a difference names its line.
    auto want = Lines(expected), got = Lines(actual);
    for (size_t i = 0; i < std::min(want.size(), got.size()); ++i)
        ASSERT_EQ(got[i], want[i]) << "line " << i + 1;
    EXPECT_EQ(got.size(), want.size());
    EXPECT_EQ(actual, expected);
}

TEST(PascalSource, EveryLineEndsInCrLf)
{
    TFB_Type t;
    t.Name = "T";
    t.AddEventInput("REQ", "Event", "");
    t.AddState("START", "");
    const std::string text = Generate(t);
    ASSERT_GE(text.size(), 8u);
    EXPECT_EQ(text.substr(text.size() - 8), "\r\nend.\r\n");
    for (size_t i = 0; i < text.size(); ++i) {
        const bool bareLf = text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
        const bool bareCr = text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
        ASSERT_FALSE(bareLf || bareCr) << "lone line break character at byte " << i;
    }
}

TEST(PascalSource, DeclaredTypesFollowTheDataTypeClass)
{
    struct Case {
        const char* type;
        const char* declared;
    };
    const Case cases[] = {
        {"BOOL", "Boolean"},  {"Boolean", "Boolean"}, {"INT", "Integer"}, {"Integer", "Integer"},
        {"BYTE", "Integer"},  {"REAL", "Single"},     {"LREAL", "Single"}, {"COLOR", "Single"},
        {"STRING", "String"}, {"", "String"},         {"WORD", "String"}, {"bool", "String"},
    };
    for (const auto& c : cases) {
        TFB_Type t;
        t.Name = "T";
        t.AddDataInput("I", c.type, "", "", "");
        t.AddDataOutput("O", c.type, "", "", "");
        t.AddInternalVar("V", c.type, "", "", "");
        auto lines = Lines(Generate(t));
        const std::string d = std::string(":") + c.declared + ";";
        EXPECT_TRUE(HasBlock(lines, {"\t\t//Declaration of DataInputVariables", "\t\tI\t\t" + d,
                                     "\t\t//Declaration of DataOutputVariables", "\t\tDO_O\t\t" + d,
                                     "\t\t//Declaration of InternalVariables", "\t\tV\t\t" + d}))
            << "type \"" << c.type << "\"";
    }
}

TEST(PascalSource, ParameterLineAndInputReadsFollowTheDataInputs)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> inputs; // name, type
        std::string parameterLine;
        std::vector<std::string> reads;
    };
    const Case cases[] = {
        {{}, "\t:Pointer): LongInt ; cdecl ;  export;", {}},
        {{{"B", "BOOL"}, {"I", "INT"}, {"R", "LREAL"}, {"S", "STRING"}, {"W", "WSTRING"}},
         "\t, vpB, vpI, vpR, vpS, vp_lengthS, vpW, vp_lengthW:Pointer): LongInt ; cdecl ;  export;",
         {"\tvKALOinst.B:=Boolean(pBoolean(vpB)^);", "\tvKALOinst.I:=LongInt(pLongInt(vpI)^);",
          "\tvKALOinst.R:=Single(pSingle(vpR)^);",
          "\tSetString ( vKALOinst.S, PChar(vpS),  LongInt( pLongInt(vp_lengthS)^) );",
          "\tSetString ( vKALOinst.W, PChar(vpW),  LongInt( pLongInt(vp_lengthW)^) );"}},
    };
    for (const auto& c : cases) {
        TFB_Type t;
        t.Name = "T";
        for (const auto& [name, type] : c.inputs)
            t.AddDataInput(name, type, "", "", "");
        auto lines = Lines(Generate(t));
        std::vector<std::string> block = {
            "function HandleFBEvent( const vpEventName, vpEventNameLength"
            "//follows a list of FB interface, Eventname and data   ",
            c.parameterLine};
        EXPECT_TRUE(HasBlock(lines, block)) << c.parameterLine;
        std::vector<std::string> body = {
            "\tStrLCopy (vEvent, PChar(vpEventName),  LongInt( pLongInt(vpEventNameLength)^) );"};
        body.insert(body.end(), c.reads.begin(), c.reads.end());
        body.push_back("\tvKALOinst.HandleEvent(vEvent);");
        EXPECT_TRUE(HasBlock(lines, body)) << c.parameterLine;
    }
}

TEST(PascalSource, ConditionsOneAndEmptyAreTrueOthersStayAsWritten)
{
    struct Case {
        const char* condition;
        const char* line;
    };
    const Case cases[] = {
        {"1", "\t\tif ( true ) then"},
        {"", "\t\tif ( true ) then"},
        {"REQ", "\t\tif ( REQ ) then"},
        {"REQ AND (X > 5)", "\t\tif ( REQ AND (X > 5) ) then"},
        {" 1", "\t\tif (  1 ) then"},
        {"TRUE", "\t\tif ( TRUE ) then"},
    };
    for (const auto& c : cases) {
        TFB_Type t;
        t.Name = "T";
        t.AddState("START", "");
        t.AddTransition("START", "START", c.condition);
        auto body = HandleEventBody(t);
        EXPECT_TRUE(HasBlock(body, {"\tif fState='START' then", "\tbegin", c.line, "\t\tbegin"}))
            << "condition \"" << c.condition << "\"";
    }
}

TEST(PascalSource, TransitionsAreGroupedUnderTheirSourceStateInListOrder)
{
    TFB_Type t;
    t.Name = "T";
    t.AddEventInput("A", "Event", "");
    t.AddState("S1", "");
    t.AddState("S2", "");
    t.AddState("S3", "");
    t.AddTransition("S2", "S1", "A");
    t.AddTransition("S1", "S2", "1");
    t.AddTransition("S2", "S3", "");
    auto fire = [](const std::string& dest) {
        return std::vector<std::string>{"\t\tbegin",       "\t\t\tfState:='" + dest + "';",
                                        "\t\t\tExecTransition_" + dest + ";", "\t\t\tClearAllEvents;",
                                        "\t\t\tHandleEvent('-');", "\t\t\texit;", "\t\tend;"};
    };
    std::vector<std::string> expected = {
        "\tif vEvent='A' then A:=True; //set EventVariable True in order to use it in conditions", "",
        "\tif fState='S1' then", "\tbegin", "\t\tif ( true ) then"};
    for (auto& l : fire("S2"))
        expected.push_back(l);
    for (const char* l : {"\tend", "", "\telse if fState='S2' then", "\tbegin", "\t\tif ( A ) then"})
        expected.push_back(l);
    for (auto& l : fire("S1"))
        expected.push_back(l);
    expected.push_back("\t\tif ( true ) then");
    for (auto& l : fire("S3"))
        expected.push_back(l);
    for (const char* l : {"\tend", "", "\telse if fState='S3' then", "\tbegin", "\tend", "", ";"})
        expected.push_back(l);
    EXPECT_EQ(HandleEventBody(t), expected);
}

TEST(PascalSource, TypeWithoutStatesHasEventLinesAnEmptyLineAndASemicolon)
{
    TFB_Type t;
    t.Name = "T";
    t.AddEventInput("REQ", "Event", "");
    t.AddEventInput("INIT", "Event", "");
    EXPECT_EQ(HandleEventBody(t),
              (std::vector<std::string>{
                  "\tif vEvent='REQ' then REQ:=True; //set EventVariable True in order to use it in conditions",
                  "\tif vEvent='INIT' then INIT:=True; //set EventVariable True in order to use it in conditions",
                  "", ";"}));

    TFB_Type bare;
    bare.Name = "T";
    EXPECT_EQ(HandleEventBody(bare), (std::vector<std::string>{"", ";"}));
    auto lines = Lines(Generate(bare));
    EXPECT_TRUE(HasBlock(lines, {"\t\t//Declaration of ECCexecutes", "\tpublic"}));
    EXPECT_TRUE(HasBlock(lines, {"begin", "//Clear all events!", "end;"}));
}

TEST(PascalSource, ConstructorSetsStartStateAndInitialValues)
{
    struct Case {
        const char* type;
        const char* initial;
        const char* line; // nullptr: no line at all
    };
    const Case cases[] = {
        {"BOOL", "1", "\tV:=True;"},        {"BOOL", "TRUE", "\tV:=False;"},
        {"Boolean", "true", "\tV:=False;"}, {"BOOL", "0", "\tV:=False;"},
        {"BOOL", "", nullptr},              {"INT", "5", "\tV:=5;"},
        {"INT", "", nullptr},               {"REAL", "2.5", "\tV:=2.5;"},
        {"STRING", "'a b'", "\tV:='a b';"},
    };
    for (const auto& c : cases) {
        TFB_Type t;
        t.Name = "T";
        t.AddInternalVar("V", c.type, "", "", c.initial);
        auto lines = Lines(Generate(t));
        std::vector<std::string> expected = {"begin", "\tfFBruntimeID:= vFBID;"};
        if (c.line)
            expected.push_back(c.line);
        expected.push_back("end;");
        EXPECT_TRUE(HasBlock(lines, expected)) << c.type << " \"" << c.initial << "\"";
    }

    // START sets the initial state wherever it stands; other states do not.
    TFB_Type t;
    t.Name = "T";
    t.AddState("IDLE", "");
    t.AddState("START", "");
    t.AddState("Start", "");
    EXPECT_TRUE(HasBlock(Lines(Generate(t)), {"\tfFBruntimeID:= vFBID;", "\tfstate:='START';", "end;"}));
}

TEST(PascalSource, OutputEventSlotsCountTextOutputsTwice)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> outputs;
        std::vector<std::string> declarations; // between "vevs:String;" and "begin"
        std::vector<std::string> slots;        // between the length slot and the callback
    };
    const Case cases[] = {
        {{}, {" parameters: array[0..3] of Pointer;"}, {}},
        {{{"B", "BOOL"}, {"I", "INT"}, {"R", "REAL"}},
         {" parameters: array[0..6] of Pointer;"},
         {"\tparameters[3] := Pointer(DO_B); ", "\tparameters[4] := Pointer(DO_I); ",
          "\tparameters[5] := Pointer(LongWord(DO_R)); "}},
        {{{"S", "STRING"}, {"I", "INT"}, {"T", ""}},
         {"length_S:Integer;", "length_T:Integer;", " parameters: array[0..8] of Pointer;"},
         {"\tparameters[3] := Pointer(DO_S); ", "\tlength_S:=length(DO_S);", "\tparameters[4] := Pointer(length_S); ",
          "\tparameters[5] := Pointer(DO_I); ", "\tparameters[6] := Pointer(DO_T); ", "\tlength_T:=length(DO_T);",
          "\tparameters[7] := Pointer(length_T); "}},
    };
    for (const auto& c : cases) {
        TFB_Type t;
        t.Name = "T";
        for (const auto& [name, type] : c.outputs)
            t.AddDataOutput(name, type, "", "", "");
        auto lines = Lines(Generate(t));
        std::vector<std::string> decl = {"var vEvLen, vFBID: Integer;", "vevs:String;"};
        decl.insert(decl.end(), c.declarations.begin(), c.declarations.end());
        decl.push_back("begin");
        EXPECT_TRUE(HasBlock(lines, decl)) << c.declarations.back();
        std::vector<std::string> body = {"\tparameters[2] := Pointer(vEvLen); "};
        body.insert(body.end(), c.slots.begin(), c.slots.end());
        body.push_back("\tFunc_Back( parameters );");
        EXPECT_TRUE(HasBlock(lines, body)) << c.declarations.back();
    }
}

TEST(PascalSource, StateMethodsCallAlgorithmsBeforeOutputEvents)
{
    TFB_Type t;
    t.Name = "T";
    auto* alg = t.AddAlgorithm("a1", "c1");
    alg->Language = "DelphiScript";
    alg->OtherText = {"X := 1;", "  Y := 2; (* kept *)"};
    t.AddAlgorithm("a2", "");
    auto* other = t.AddAlgorithm("a3", "");
    other->Language = "DelphiScript";
    other->STText = {"ignored := 0;"};
    other->OtherText = {"Z := 3;"};
    auto* s = t.AddState("S", "the state");
    s->AddAction("", "E1");
    s->AddAction("a2", "E2");
    s->AddAction("a1", "");
    s->AddAction("", "");
    auto lines = Lines(Generate(t));
    EXPECT_TRUE(HasBlock(lines, {"procedure TtelvoKALOFBtype.ExecTransition_S;//the state", "begin", "\tproca2;",
                                 "\tproca1;", "\tOutputEvent('E1');", "\tOutputEvent('E2');", "end;", "", ""}));
    EXPECT_TRUE(HasBlock(lines, {"procedure TtelvoKALOFBtype.proca1;//c1", "begin", "\tX := 1;",
                                 "\t  Y := 2; (* kept *)", "end;", "", ""}));
    EXPECT_TRUE(HasBlock(lines, {"procedure TtelvoKALOFBtype.proca2;//", "begin", "end;", "", ""}));
    EXPECT_TRUE(HasBlock(lines, {"procedure TtelvoKALOFBtype.proca3;//", "begin", "\tZ := 3;", "end;"}));
}

TEST(PascalSource, StructuredTextAlgorithmsAreRefusedByName)
{
    // The generator emits algorithm bodies as Pascal: ST would make a
    // source that does not compile, so it is refused with the reason.
    TFB_Type t;
    t.Name = "T";
    t.AddAlgorithm("S1", "")->STText = {"Q := NOT Q;"};
    auto* script = t.AddAlgorithm("P", "");
    script->Language = "DelphiScript";
    script->OtherText = {"DO_Q := 1;"};
    try {
        Generate(t);
        FAIL() << "generated";
    } catch (const ECodeGenError& e) {
        EXPECT_STREQ(e.what(), "\"T\": no Pascal source is made for the Structured Text algorithm \"S1\": the "
                               "generator takes script (DelphiScript) algorithms only");
    }
    t.AddAlgorithm("S2", "")->STText = {"Q := TRUE;"};
    EXPECT_THROW(
        try { Generate(t); } catch (const ECodeGenError& e) {
            EXPECT_NE(std::string(e.what()).find("algorithms \"S1\", \"S2\":"), std::string::npos) << e.what();
            throw;
        },
        ECodeGenError);
}

TEST(PascalSource, TimeStampIsLocalDateAndTime)
{
    const std::string stamp = PascalTimeStamp(std::time(nullptr));
    EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << stamp;
}

TEST(PascalFile, WritesTypeNameDotPasIntoTheFolderAndReplacesAnEarlierFile)
{
    TempDir dir;
    TFB_Type t;
    t.Name = "CG_FILE";
    t.AddEventInput("REQ", "Event", "");
    const auto folder = dir.Path() / "KALO" / "deeper";
    const auto file = GeneratePascalFile(t, folder);
    EXPECT_EQ(file, folder / "CG_FILE.pas");
    std::string text = ReadFileText(file);
    EXPECT_EQ(text.rfind("library CG_FILE;\r\n//This is", 0), 0u);
    auto stampLine = Lines(text)[3];
    EXPECT_EQ(text, GeneratePascalSource(t, stampLine.substr(std::string("//Generated time stamp: ").size())));

    t.AddEventInput("INIT", "Event", "");
    EXPECT_EQ(GeneratePascalFile(t, folder), file);
    EXPECT_NE(ReadFileText(file).find("INIT\t\t:Boolean;"), std::string::npos);
    // Nothing but the source is left behind.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 1u);
    EXPECT_EQ(PascalLibraryFile(file), folder / "libCG_FILE.so");
}

TEST(PascalFile, RefusesCompositeTypesAndNamesThatLeaveTheFolder)
{
    TempDir dir;
    const auto folder = dir.Path() / "KALO";
    const char* names[] = {"", ".", "..", "../evil", "a/b", "a\\b", "/abs"};
    for (const char* name : names) {
        TFB_Type t;
        t.Name = name;
        EXPECT_THROW(GeneratePascalFile(t, folder), ECodeGenError) << "name \"" << name << "\"";
    }
    TFB_Type composite;
    composite.Name = "CG_COMP";
    composite.Composite = true;
    try {
        GeneratePascalFile(composite, folder);
        ADD_FAILURE() << "a composite type was generated";
    } catch (const ECodeGenError& e) {
        EXPECT_STREQ(e.what(), "\"CG_COMP\" is a composite FB type; code is generated for basic FB types only");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "evil.pas"));
    EXPECT_FALSE(std::filesystem::exists(folder / "CG_COMP.pas"));
}

TEST(PascalFile, FolderThatCannotBeMadeIsReported)
{
    TempDir dir;
    TFB_Type t;
    t.Name = "CG_RO";
    // A file where the folder should be.
    dir.Write("blocked", "x");
    EXPECT_THROW(GeneratePascalFile(t, dir.Path() / "blocked"), std::runtime_error);
    EXPECT_EQ(ReadFileText(dir.Path() / "blocked"), "x");
}

// Names the source uses as identifiers, and initial values it pastes, are
// checked before anything is written; the message names what is wrong.
TEST(PascalFile, NamesAndInitialValuesThatCannotBePastedAreRefused)
{
    struct Case {
        const char* what;
        std::function<void(TFB_Type&)> damage;
        const char* named; // a part of the message
    };
    const Case cases[] = {
        {"type name with a quote", [](TFB_Type& t) { t.Name = "CG_X';halt;'"; }, "type name \"CG_X';halt;'\""},
        {"type name that is a reserved word", [](TFB_Type& t) { t.Name = "Begin"; }, "type name \"Begin\""},
        {"event input with a blank", [](TFB_Type& t) { t.EventInputs[0]->Name = "RE Q"; },
         "event input \"RE Q\""},
        {"data input starting with a digit", [](TFB_Type& t) { t.DataInputs[0]->Name = "1X"; },
         "data input \"1X\""},
        {"data input that is a reserved word", [](TFB_Type& t) { t.DataInputs[0]->Name = "end"; },
         "data input \"end\""},
        {"data output with a line break", [](TFB_Type& t) { t.DataOutputs[0]->Name = "Y\r\n{$I x}"; },
         "data output \"Y\r\n{$I x}\""},
        {"internal variable with a colon", [](TFB_Type& t) { t.InternalVars[0]->Name = "C:N"; },
         "internal variable \"C:N\""},
        {"algorithm with a semicolon", [](TFB_Type& t) { t.Algorithms[0]->Name = "run;halt"; },
         "algorithm \"run;halt\""},
        {"state with a quote", [](TFB_Type& t) { t.States[1]->Name = "R'N"; }, "state \"R'N\""},
        {"action naming no identifier", [](TFB_Type& t) { t.States[1]->Actions[0]->Algorithm = "run()"; },
         "\"run()\""},
        {"transition to no identifier", [](TFB_Type& t) { t.Transitions[0]->Destination = "R UN"; },
         "transition destination \"R UN\""},
        {"non-ASCII letter", [](TFB_Type& t) { t.DataInputs[0]->Name = "Z\xC3\xA4hler"; },
         "data input \"Z\xC3\xA4hler\""},
        {"integer initial value that is code", [](TFB_Type& t) { t.InternalVars[0]->InitialValue = "0; Halt"; },
         "initial value \"0; Halt\" of internal variable \"CNT\" (no Integer literal)"},
        {"integer initial value out of range",
         [](TFB_Type& t) { t.InternalVars[0]->InitialValue = "99999999999"; }, "initial value \"99999999999\""},
        {"real initial value with a comma", [](TFB_Type& t) { t.InternalVars[1]->InitialValue = "1,5"; },
         "initial value \"1,5\" of internal variable \"R\" (no Single literal)"},
        {"string initial value without quotes", [](TFB_Type& t) { t.InternalVars[2]->InitialValue = "abc"; },
         "initial value \"abc\" of internal variable \"S\" (no String literal)"},
        // "bool" in lower case is no Boolean type name: the variable is text.
        {"a number for a text variable", [](TFB_Type& t) { t.InternalVars[2]->InitialValue = "1"; },
         "initial value \"1\" of internal variable \"S\" (no String literal)"},
        {"string initial value that ends early",
         [](TFB_Type& t) { t.InternalVars[2]->InitialValue = "'a'; Halt; '"; }, "initial value \"'a'; Halt; '\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TFB_Type t;
        t.Name = "CG_CHECK";
        t.AddEventInput("REQ", "Event", "");
        t.AddEventOutput("CNF", "Event", "");
        t.AddDataInput("X", "INT", "", "", "");
        t.AddDataOutput("Y", "INT", "", "", "");
        t.AddInternalVar("CNT", "INT", "", "", "-3");
        t.AddInternalVar("R", "REAL", "", "", "1.5e3");
        t.AddInternalVar("S", "STRING", "", "", "'it''s'");
        t.AddInternalVar("B", "BOOL", "", "", "anything at all");
        t.AddAlgorithm("run", "");
        t.AddState("START", "");
        t.AddState("RUN", "")->AddAction("run", "CNF");
        t.AddTransition("START", "RUN", "REQ");
        ASSERT_NO_THROW(Generate(t)); // the undamaged type is fine
        c.damage(t);
        TempDir dir;
        try {
            GeneratePascalFile(t, dir.Path() / "KALO");
            ADD_FAILURE() << "generated";
        } catch (const ECodeGenError& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
        EXPECT_THROW(Generate(t), ECodeGenError);
        EXPECT_FALSE(std::filesystem::exists(dir.Path() / "KALO")) << "something was written";
    }
}

// Comments and names inside quotes are data, whatever they hold.
TEST(PascalSource, CommentsAndQuotedNamesStayWhatTheyAre)
{
    TFB_Type t;
    t.Name = "CG_TEXTS";
    t.AddEventInput("REQ", "Event", "");
    t.AddEventOutput("it's", "Event", "");
    t.AddAlgorithm("run", "first\r\n{$I /etc/hostname}\nlast }");
    t.AddState("START", "line one\nline two {$DEFINE X}");
    t.AddState("RUN", "")->AddAction("run", "it's\r\nodd");
    t.AddTransition("START", "RUN", "REQ");
    const auto lines = Lines(Generate(t));
    for (const auto& line : lines)
        EXPECT_EQ(line.find('{'), std::string::npos) << line;
    EXPECT_TRUE(HasBlock(lines, {"\t\tprocedure procrun;//first  ($I /etc/hostname) last )"}));
    EXPECT_TRUE(HasBlock(lines, {"procedure TtelvoKALOFBtype.ExecTransition_START;//line one line two ($DEFINE X)"}));
    EXPECT_TRUE(HasBlock(lines, {"\tprocrun;", "\tOutputEvent('it''s'#13#10'odd');", "end;"}));
}

} // namespace
