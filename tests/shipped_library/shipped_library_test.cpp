// The FB types shipped in library/: they read, they carry the interfaces the
// palette, the glyphs, the OPC runtime and the type editor rely on, and their
// charts and algorithms are ones the simulation's scripts can run.

#include "shipped_library/shipped_library.h"

#include "model/file_util.h"
#include "model/value_text.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

using namespace telvo;
using namespace telvo::test;

namespace {

const TShippedLibrary& Library() { return TShippedLibrary::Get(); }

std::string Join(const std::vector<std::string>& items)
{
    std::string out;
    for (const auto& s : items)
        out += (out.empty() ? "" : " ") + s;
    return out;
}

template <typename List>
std::vector<std::string> Names(const List& list)
{
    std::vector<std::string> out;
    for (const auto& item : list)
        out.push_back(item->Name);
    return out;
}

template <typename List>
std::vector<std::string> TypedNames(const List& list)
{
    std::vector<std::string> out;
    for (const auto& item : list)
        out.push_back(item->Name + ":" + item->Type);
    return out;
}

bool Occurs(const std::string& name, const std::string& text) { return UpperCase(text).find(UpperCase(name)) != std::string::npos; }

bool IsStringClass(const std::string& typeText) { return DataTypeClass(typeText) == TDataTypeClass::String; }

// Every basic type that has a chart: the ones the simulation and the code
// generator execute.
std::vector<const TShippedFile*> TypesWithCharts()
{
    std::vector<const TShippedFile*> out;
    for (const auto& f : Library().Files)
        if (f.Type && !f.Type->Composite && !f.Type->States.empty())
            out.push_back(&f);
    return out;
}

// --------------------------------------------------------------------------

struct ExpectedFile {
    const char* Folder;
    const char* Name;
};

// The names the palette, the glyph list, the OPC runtime and the type editor
// ask the library for.
const ExpectedFile kExpectedFiles[] = {
    {"events", "E_SPLIT"},      {"events", "E_MERGE"},       {"events", "E_REND"},     {"events", "E_PERMIT"},
    {"events", "E_SELECT"},     {"events", "E_SWITCH"},      {"events", "E_DELAY"},    {"events", "E_RESTART"},
    {"events", "E_CYCLE"},      {"events", "E_TRAIN"},       {"events", "E_TABLE"},    {"events", "E_N_TABLE"},
    {"events", "E_SR"},         {"events", "E_RS"},          {"events", "E_D_FF"},     {"events", "E_R_TRIG"},
    {"events", "E_F_TRIG"},     {"events", "E_CTU"},         {"events", "E_CHRON"},    {"events", "E_TRIG"},
    {"events", "E_DEMUX"},      {"events", "SISTEP_EVGEN"},  {"events", "SISTEP_EVBOOL"},
    {"opc", "OPCInteger"},      {"opc", "OPCBool"},          {"opc", "OPCReal"},       {"opc", "OPCString"},
    {"templates", "NEWBASICFB"}, {"templates", "NEWCOMPFB"},
};

TEST(ShippedLibrary, HoldsEveryTypeTheWorkbenchAsksFor)
{
    const auto& lib = Library();
    for (const auto& e : kExpectedFiles) {
        SCOPED_TRACE(e.Name);
        const auto path = ShippedLibraryFolder() / e.Folder / (std::string(e.Name) + ".fbt");
        ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
        // The loader finds a type by its listed name and builds the file name
        // from it, so the type inside must carry the file's name.
        const TShippedFile* f = lib.Find(e.Name);
        ASSERT_NE(f, nullptr) << "no readable file declares " << e.Name;
        EXPECT_EQ(f->Path, path);
        const TLibraryFolder* listing = lib.Index.FolderListing(e.Name);
        ASSERT_NE(listing, nullptr) << "the library index does not list it";
        EXPECT_EQ(listing->Name, e.Folder);
        EXPECT_NE(lib.LoadThroughManager(e.Name), nullptr) << "the manager cannot load it from the library";
    }
    for (const auto& folder : lib.Index.Folders)
        for (const auto& name : folder.TypeNames)
            EXPECT_EQ(name.find(DuplicateNameWarning), std::string::npos) << folder.Name << ": " << name;
}

TEST(ShippedLibrary, EveryFileReadsAndNamesItsTypeFirstOnTheFBTypeLine)
{
    ASSERT_FALSE(Library().Files.empty());
    const std::regex startTag(R"re(^\s*<FBType Name="([^"]+)"[^>]*>\s*$)re");
    for (const auto& f : Library().Files) {
        SCOPED_TRACE(f.Path.string());
        ASSERT_TRUE(f.Type) << f.ReadError;
        const TFB_Type& t = *f.Type;
        EXPECT_EQ(t.Name, f.Path.stem().string());

        const auto lines = SplitLines(f.Text);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], R"(<?xml version="1.0" encoding="UTF-8"?>)");
        auto tagLine = std::find_if(lines.begin(), lines.end(),
                                    [](const std::string& l) { return l.find("<FBType") != std::string::npos; });
        ASSERT_NE(tagLine, lines.end());
        // The library scan takes the first quoted value of this line as the
        // type's name; the whole start tag stays on it.
        std::smatch m;
        ASSERT_TRUE(std::regex_match(*tagLine, m, startTag)) << *tagLine;
        EXPECT_EQ(m[1].str(), t.Name);
        EXPECT_EQ(TypeNameFromFBTypeLine(*tagLine), t.Name);

        EXPECT_EQ(t.Standard, "61499-2");
        EXPECT_FALSE(t.Description.empty());
        EXPECT_FALSE(t.Comment.empty());
        EXPECT_FALSE(t.Imported);
        ASSERT_FALSE(t.Versions.empty());
        EXPECT_FALSE(t.Versions[0]->Version.empty());
        EXPECT_FALSE(t.Versions[0]->Date.empty());
        for (const auto& e : t.EventInputs)
            EXPECT_FALSE(e->Comment.empty()) << e->Name;
        for (const auto& e : t.EventOutputs)
            EXPECT_FALSE(e->Comment.empty()) << e->Name;
        for (const auto& d : t.DataInputs)
            EXPECT_FALSE(d->Comment.empty()) << d->Name;
        for (const auto& d : t.DataOutputs)
            EXPECT_FALSE(d->Comment.empty()) << d->Name;
    }
}

// --------------------------------------------------------------------------

struct ExpectedInterface {
    const char* Type;
    const char* EventInputs;
    const char* EventOutputs;
    const char* DataInputs;
    const char* DataOutputs;
};

// In port order: the glyphs pick ports by position (event input 0 is drawn
// where "EI" belongs) and label them with these names. Only BOOL, INT and
// REAL data, which the scripts hold as Boolean, Integer and Single; TIME
// inputs are never read by a chart.
const ExpectedInterface kInterfaces[] = {
    {"E_SPLIT", "EI", "EO1 EO2", "", ""},
    {"E_MERGE", "EI1 EI2", "EO", "", ""},
    {"E_REND", "EI1 EI2 R", "EO", "", ""},
    {"E_PERMIT", "EI", "EO", "P:BOOL", ""},
    {"E_SELECT", "EI0 EI1", "EO", "G:BOOL", ""},
    {"E_SWITCH", "EI", "EO0 EO1", "G:BOOL", ""},
    {"E_DELAY", "START STOP", "EO", "DT:TIME", ""},
    {"E_CYCLE", "START STOP", "EO", "DT:TIME", ""},
    {"E_RESTART", "", "COLD WARM STOP", "", ""},
    {"E_TRAIN", "START STOP", "EO", "DT:TIME N:INT", "CV:INT"},
    {"E_TABLE", "START STOP", "EO", "DT:TIME N:INT", "CV:INT"},
    {"E_N_TABLE", "START STOP", "EO0 EO1 EO2 EO3", "DT:TIME N:INT", ""},
    {"E_SR", "S R", "EO", "", "Q:BOOL"},
    {"E_RS", "R S", "EO", "", "Q:BOOL"},
    {"E_D_FF", "CLK", "EO", "D:BOOL", "Q:BOOL"},
    {"E_R_TRIG", "EI", "EO", "QI:BOOL", ""},
    {"E_F_TRIG", "EI", "EO", "QI:BOOL", ""},
    {"E_TRIG", "EI", "RISE FALL", "QI:BOOL", "Q:BOOL"},
    {"E_CTU", "CU R", "CUO RO", "PV:INT", "Q:BOOL CV:INT"},
    {"E_CHRON", "START CLK STOP", "EO", "", "ET:INT"},
    {"E_DEMUX", "EI", "EO0 EO1 EO2 EO3", "K:INT", ""},
    // Two event inputs, two event outputs, one data input and one data
    // output at the glyph's four corners and its bottom edge; the Boolean
    // one draws event input 2 at the upper left.
    {"SISTEP_EVGEN", "INIT REQ", "INITO EO", "QI:BOOL", "CV:INT"},
    {"SISTEP_EVBOOL", "INIT EI0 EI1", "INITO CNF", "QI:BOOL", "Q:BOOL"},
    {"OPCInteger", "REQ ReqREAD", "CNF", "OPCServerName:STRING OPCMachine:STRING OPCItem:STRING OPCWriteVal:INT",
     "OPCReadVal:INT"},
    {"OPCBool", "REQ ReqREAD", "CNF", "OPCServerName:STRING OPCMachine:STRING OPCItem:STRING OPCWriteVal:BOOL",
     "OPCReadVal:BOOL"},
    {"OPCReal", "REQ ReqREAD", "CNF", "OPCServerName:STRING OPCMachine:STRING OPCItem:STRING OPCWriteVal:REAL",
     "OPCReadVal:REAL"},
    {"OPCString", "REQ ReqREAD", "CNF",
     "OPCServerName:STRING OPCMachine:STRING OPCItem:STRING OPCWriteVal:STRING", "OPCReadVal:STRING"},
    {"NEWBASICFB", "INIT REQ", "INITO CNF", "QI:BOOL VIN:INT", "QO:BOOL VOUT:INT"},
    {"NEWCOMPFB", "INIT REQ", "INITO CNF", "QI:BOOL", "CV:INT"},
};

TEST(ShippedLibrary, InterfacesAreTheOnesTheGlyphsPaletteAndRuntimesUse)
{
    for (const auto& e : kInterfaces) {
        SCOPED_TRACE(e.Type);
        const TShippedFile* f = Library().Find(e.Type);
        ASSERT_NE(f, nullptr);
        const TFB_Type& t = *f->Type;
        EXPECT_EQ(Join(Names(t.EventInputs)), e.EventInputs);
        EXPECT_EQ(Join(Names(t.EventOutputs)), e.EventOutputs);
        EXPECT_EQ(Join(TypedNames(t.DataInputs)), e.DataInputs);
        EXPECT_EQ(Join(TypedNames(t.DataOutputs)), e.DataOutputs);
        EXPECT_TRUE(t.Plugs.empty());
        EXPECT_TRUE(t.Sockets.empty());
    }
    // A new file gets its row here.
    for (const auto& f : Library().Files) {
        ASSERT_TRUE(f.Type) << f.Path;
        EXPECT_TRUE(std::any_of(std::begin(kInterfaces), std::end(kInterfaces),
                                [&](const ExpectedInterface& e) { return f.Type->Name == e.Type; }))
            << f.Type->Name << " has no row in this table";
    }
}

TEST(ShippedLibrary, OpcTypesHoldTheValueKindOfTheirName)
{
    const struct {
        const char* Type;
        TDataTypeClass Class;
    } cases[] = {
        {"OPCInteger", TDataTypeClass::Integer},
        {"OPCBool", TDataTypeClass::Boolean},
        {"OPCReal", TDataTypeClass::Real},
        {"OPCString", TDataTypeClass::String},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Type);
        const TShippedFile* f = Library().Find(c.Type);
        ASSERT_NE(f, nullptr);
        const TFB_Type& t = *f->Type;
        // The OPC runtime requests the item in the type of these two ports.
        ASSERT_NE(t.FindDataInput("OPCWriteVal"), nullptr);
        ASSERT_NE(t.FindDataOutput("OPCReadVal"), nullptr);
        EXPECT_EQ(DataTypeClass(t.FindDataInput("OPCWriteVal")->Type), c.Class);
        EXPECT_EQ(DataTypeClass(t.FindDataOutput("OPCReadVal")->Type), c.Class);
        // A service interface block: the runtime, not a chart, answers it.
        EXPECT_TRUE(t.IsServiceInterface());
        EXPECT_TRUE(t.States.empty());
        EXPECT_FALSE(t.Composite);
    }
}

// --------------------------------------------------------------------------

TEST(ShippedLibrary, EventsCarryDeclaredVariablesOfTheirOwnSide)
{
    for (const auto& f : Library().Files) {
        SCOPED_TRACE(f.Path.string());
        ASSERT_TRUE(f.Type);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(f.Text.c_str()));
        const auto list = doc.child("FBType").child("InterfaceList");

        const struct {
            const char* Events;
            const char* Vars;
        } sides[] = {{"EventInputs", "InputVars"}, {"EventOutputs", "OutputVars"}};
        std::set<std::string> sampled;
        size_t withCount = 0;
        for (const auto& side : sides) {
            std::set<std::string> declared;
            for (auto v : list.child(side.Vars).children("VarDeclaration"))
                declared.insert(v.attribute("Name").value());
            for (auto ev : list.child(side.Events).children("Event"))
                for (auto w : ev.children("With")) {
                    ++withCount;
                    const std::string var = w.attribute("Var").value();
                    EXPECT_TRUE(declared.count(var))
                        << ev.attribute("Name").value() << " carries " << var << ", not one of its " << side.Vars;
                    sampled.insert(var);
                }
        }
        // Nothing was dropped on the way into the model.
        size_t modelWith = 0;
        for (const auto& e : f.Type->EventInputs)
            modelWith += e->With.size();
        for (const auto& e : f.Type->EventOutputs)
            modelWith += e->With.size();
        EXPECT_EQ(modelWith, withCount);
        // A data input that no event samples never reaches the block in a
        // runtime; an output that no event carries is never sent.
        for (const auto& d : f.Type->DataInputs)
            EXPECT_TRUE(sampled.count(d->Name)) << "no event input carries " << d->Name;
        for (const auto& d : f.Type->DataOutputs)
            EXPECT_TRUE(sampled.count(d->Name)) << "no event output carries " << d->Name;
    }
}

// --------------------------------------------------------------------------

// The ECC editor's paint box and the extent of a drawn state with its actions.
constexpr int kPaintWidth = 1300, kPaintHeight = 1200;
struct Box {
    int X1, Y1, X2, Y2;
    bool Overlaps(const Box& o) const { return X1 < o.X2 && o.X1 < X2 && Y1 < o.Y2 && o.Y1 < Y2; }
};
Box DrawnState(const TECCState& s)
{
    const int rows = std::max<int>(1, static_cast<int>(s.Actions.size()));
    return {s.X - 2, s.Y - 2, s.X + (s.Actions.empty() ? 62 : 180), s.Y + std::max(20, 18 * rows)};
}

TEST(ShippedLibrary, ChartsAreWholeAndLaidOutReadably)
{
    const auto charts = TypesWithCharts();
    ASSERT_FALSE(charts.empty());
    for (const TShippedFile* f : charts) {
        const TFB_Type& t = *f->Type;
        SCOPED_TRACE(t.Name);
        // Every run starts in START, and the generated code enters it too.
        EXPECT_EQ(t.States[0]->Name, "START");
        std::set<std::string> states;
        for (const auto& s : t.States)
            EXPECT_TRUE(states.insert(s->Name).second) << "state " << s->Name << " twice";

        std::set<std::string> usedAlgorithms;
        for (const auto& s : t.States)
            for (const auto& a : s->Actions) {
                EXPECT_TRUE(!a->Algorithm.empty() || !a->Output.empty()) << s->Name << ": empty action";
                if (!a->Algorithm.empty()) {
                    EXPECT_NE(t.FindAlgorithm(a->Algorithm), nullptr) << s->Name << " runs " << a->Algorithm;
                    usedAlgorithms.insert(a->Algorithm);
                }
                if (!a->Output.empty()) {
                    EXPECT_NE(t.FindEventOutput(a->Output), nullptr) << s->Name << " sends " << a->Output;
                }
            }
        for (const auto& alg : t.Algorithms)
            EXPECT_TRUE(usedAlgorithms.count(alg->Name)) << "no state runs " << alg->Name;

        std::map<std::string, std::vector<std::string>> always; // "1" transitions
        std::map<std::string, std::vector<std::string>> next;
        for (const auto& tr : t.Transitions) {
            EXPECT_TRUE(states.count(tr->Source)) << tr->Source << " -> " << tr->Destination;
            EXPECT_TRUE(states.count(tr->Destination)) << tr->Source << " -> " << tr->Destination;
            EXPECT_FALSE(tr->Condition.empty()) << tr->Source << " -> " << tr->Destination;
            next[tr->Source].push_back(tr->Destination);
            if (tr->Condition == "1")
                always[tr->Source].push_back(tr->Destination);
        }
        // Every state can be reached from START.
        std::set<std::string> reached{"START"};
        std::vector<std::string> work{"START"};
        while (!work.empty()) {
            auto s = work.back();
            work.pop_back();
            for (const auto& d : next[s])
                if (reached.insert(d).second)
                    work.push_back(d);
        }
        EXPECT_EQ(reached, states);
        // A runtime FB re-evaluates its chart without an event after every
        // transition: a loop of transitions that always fire never lets it
        // wait for an event again.
        std::map<std::string, int> mark; // 1 on the path, 2 done
        std::function<bool(const std::string&)> loops = [&](const std::string& s) {
            mark[s] = 1;
            for (const auto& d : always[s])
                if (mark[d] == 1 || (mark[d] == 0 && loops(d)))
                    return true;
            mark[s] = 2;
            return false;
        };
        for (const auto& s : states)
            if (mark[s] == 0) {
                EXPECT_FALSE(loops(s)) << "a loop of \"1\" transitions runs through " << s;
            }

        // Layout: everything inside the paint box, no state drawn over another.
        for (size_t i = 0; i < t.States.size(); ++i) {
            const Box b = DrawnState(*t.States[i]);
            EXPECT_TRUE(b.X1 >= 0 && b.Y1 >= 0 && b.X2 <= kPaintWidth && b.Y2 <= kPaintHeight) << t.States[i]->Name;
            for (size_t j = i + 1; j < t.States.size(); ++j)
                EXPECT_FALSE(b.Overlaps(DrawnState(*t.States[j])))
                    << t.States[i]->Name << " and " << t.States[j]->Name;
        }
        for (const auto& tr : t.Transitions) {
            const Box label{tr->X - 5, tr->Y - 5, tr->X + 12 * static_cast<int>(tr->Condition.size()), tr->Y + 5};
            EXPECT_TRUE(label.X1 >= 0 && label.Y1 >= 0 && label.X2 <= kPaintWidth && label.Y2 <= kPaintHeight)
                << tr->Source << " -> " << tr->Destination;
            for (const auto& s : t.States)
                EXPECT_FALSE(label.Overlaps(DrawnState(*s)))
                    << "label of " << tr->Source << " -> " << tr->Destination << " covers " << s->Name;
        }
    }
}

// --------------------------------------------------------------------------

// Words the script engine reads as its own, and words Free Pascal reserves:
// a port named so cannot be declared in a script or in generated code.
const std::set<std::string> kReservedWords = {
    "AND", "ARRAY", "AS", "ASM", "BEGIN", "BREAK", "CASE", "CLASS", "CONST", "CONSTRUCTOR", "CONTINUE",
    "DESTRUCTOR", "DIV", "DO", "DOWNTO", "ELSE", "END", "EXCEPT", "EXCEPTION", "EXIT", "EXPORTS", "FALSE",
    "FILE", "FINALIZATION", "FINALLY", "FOR", "FUNCTION", "GOTO", "IF", "IMPLEMENTATION", "IN", "INHERITED",
    "INITIALIZATION", "INLINE", "INTERFACE", "IS", "LABEL", "LIBRARY", "MOD", "NIL", "NOT", "NULL", "OBJECT",
    "OF", "ON", "OPERATOR", "OR", "OUT", "PACKED", "PROCEDURE", "PROGRAM", "PROPERTY", "RAISE", "RECORD",
    "REPEAT", "RESOURCESTRING", "SELF", "SET", "SHL", "SHR", "STRING", "THEN", "THREADVAR", "TO", "TRUE",
    "TRY", "TYPE", "UNIT", "UNTIL", "USES", "VAR", "WHILE", "WITH", "XOR"};

bool IsIdentifier(const std::string& s) { return std::regex_match(s, std::regex("[A-Za-z_][A-Za-z0-9_]*")); }

TEST(ShippedLibrary, NamesDeclareCleanlyInScriptsAndGeneratedCode)
{
    for (const auto& f : Library().Files) {
        ASSERT_TRUE(f.Type);
        const TFB_Type& t = *f.Type;
        SCOPED_TRACE(t.Name);
        // Declared side by side in one scope, where case does not matter.
        std::map<std::string, std::string> declared;
        auto declare = [&](const std::string& name, const std::string& as) {
            EXPECT_TRUE(IsIdentifier(name)) << "\"" << name << "\"";
            EXPECT_FALSE(kReservedWords.count(UpperCase(as))) << name;
            auto [it, fresh] = declared.emplace(UpperCase(as), name);
            EXPECT_TRUE(fresh) << name << " clashes with " << it->second;
        };
        for (const auto& e : t.EventInputs)
            declare(e->Name, e->Name);
        for (const auto& d : t.DataInputs)
            declare(d->Name, d->Name);
        for (const auto& d : t.DataOutputs)
            declare(d->Name, "DO_" + d->Name);
        for (const auto& v : t.InternalVars)
            declare(v->Name, v->Name);
        for (const auto& e : t.EventOutputs)
            EXPECT_TRUE(IsIdentifier(e->Name)) << e->Name;
        // States and algorithms become method names of the generated class.
        for (const auto& s : t.States)
            EXPECT_TRUE(IsIdentifier(s->Name)) << s->Name;
        for (const auto& a : t.Algorithms)
            EXPECT_TRUE(IsIdentifier(a->Name)) << a->Name;
    }
}

// The identifiers of a script text, comments and text literals left out.
std::vector<std::string> Identifiers(const std::string& text)
{
    std::vector<std::string> out;
    std::string code;
    for (const auto& line : SplitLines(text)) {
        std::string l = line.substr(0, line.find("//"));
        code += l + "\n";
    }
    code = std::regex_replace(code, std::regex(R"(\{[^}]*\}|'[^']*')"), " ");
    const std::regex word(R"([A-Za-z_][A-Za-z0-9_]*)");
    for (auto it = std::sregex_iterator(code.begin(), code.end(), word); it != std::sregex_iterator(); ++it)
        out.push_back(it->str());
    return out;
}

TEST(ShippedLibrary, AlgorithmsAreScriptsTheSimulationRuns)
{
    for (const TShippedFile* f : TypesWithCharts()) {
        const TFB_Type& t = *f->Type;
        std::set<std::string> outputs, internals;
        for (const auto& d : t.DataOutputs)
            outputs.insert(UpperCase(d->Name));
        for (const auto& v : t.InternalVars)
            internals.insert(UpperCase(v->Name));

        for (const auto& alg : t.Algorithms) {
            SCOPED_TRACE(t.Name + "." + alg->Name);
            EXPECT_EQ(alg->Language, "DelphiScript");
            EXPECT_TRUE(alg->STText.empty());
            ASSERT_FALSE(alg->OtherText.empty());
            const std::string text = JoinLines(alg->OtherText);
            // The engine rejects tabs between tokens.
            EXPECT_EQ(text.find('\t'), std::string::npos);

            // An algorithm changes the block only through DO_ outputs and
            // internal variables; the inputs it sees are local copies.
            const std::regex assignment(R"(([A-Za-z_][A-Za-z0-9_]*)\s*:=)");
            for (auto it = std::sregex_iterator(text.begin(), text.end(), assignment); it != std::sregex_iterator(); ++it) {
                const std::string target = UpperCase((*it)[1].str());
                const bool output = target.rfind("DO_", 0) == 0 && outputs.count(target.substr(3));
                EXPECT_TRUE(output || internals.count(target)) << "assigns " << (*it)[1].str();
            }
            bool changesSomething = false;
            for (const auto& id : Identifiers(text)) {
                const std::string u = UpperCase(id);
                if (u.rfind("DO_", 0) == 0) {
                    EXPECT_TRUE(outputs.count(u.substr(3))) << id << " names no data output";
                }
            }
            // Outputs and internal variables become the script's parameters;
            // a script without any has "()" as its list, which the engine
            // refuses.
            for (const auto& d : t.DataOutputs)
                changesSomething |= Occurs(d->Name, text);
            for (const auto& v : t.InternalVars)
                changesSomething |= Occurs(v->Name, text);
            EXPECT_TRUE(changesSomething);
            // A text variable is written into the script as its bare value;
            // anything but a number would not compile there.
            for (const auto& d : t.DataInputs)
                if (IsStringClass(d->Type)) {
                    EXPECT_FALSE(Occurs(d->Name, text)) << d->Name << " (" << d->Type << ") occurs";
                }
            for (const auto& v : t.InternalVars)
                if (IsStringClass(v->Type)) {
                    EXPECT_FALSE(Occurs(v->Name, text)) << v->Name << " (" << v->Type << ") occurs";
                }
        }
    }
}

TEST(ShippedLibrary, ConditionsReadOnlyWhatATransitionScriptDeclares)
{
    const std::set<std::string> operators = {"AND", "OR", "NOT", "XOR", "TRUE", "FALSE", "DIV", "MOD"};
    for (const TShippedFile* f : TypesWithCharts()) {
        const TFB_Type& t = *f->Type;
        std::set<std::string> readable; // event inputs, data inputs, internal variables
        for (const auto& e : t.EventInputs)
            readable.insert(UpperCase(e->Name));
        for (const auto& d : t.DataInputs)
            readable.insert(UpperCase(d->Name));
        for (const auto& v : t.InternalVars)
            readable.insert(UpperCase(v->Name));

        for (const auto& tr : t.Transitions) {
            const std::string& c = tr->Condition;
            SCOPED_TRACE(t.Name + ": " + tr->Source + " -> " + tr->Destination + " [" + c + "]");
            if (c == "1")
                continue;
            EXPECT_EQ(c.find(":="), std::string::npos);
            EXPECT_EQ(c.find('\t'), std::string::npos);
            // Data outputs are not declared in a transition script.
            for (const auto& id : Identifiers(c)) {
                const std::string u = UpperCase(id);
                EXPECT_TRUE(readable.count(u) || operators.count(u)) << id << " is not visible to a condition";
            }
            for (const auto& d : t.DataInputs)
                if (IsStringClass(d->Type)) {
                    EXPECT_FALSE(Occurs(d->Name, c)) << d->Name << " (" << d->Type << ") occurs";
                }
            for (const auto& v : t.InternalVars)
                if (IsStringClass(v->Type)) {
                    EXPECT_FALSE(Occurs(v->Name, c)) << v->Name << " (" << v->Type << ") occurs";
                }
            // AND and OR bind tighter than comparisons: a comparison beside
            // them needs its own parentheses.
            int depth = 0;
            bool logic = false, compare = false;
            std::string word;
            auto endWord = [&] {
                const std::string u = UpperCase(word);
                if (depth == 0 && (u == "AND" || u == "OR" || u == "XOR"))
                    logic = true;
                word.clear();
            };
            for (char ch : c) {
                if (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_') {
                    word += ch;
                    continue;
                }
                endWord();
                if (ch == '(')
                    ++depth;
                else if (ch == ')')
                    --depth;
                else if (depth == 0 && (ch == '<' || ch == '>' || ch == '='))
                    compare = true;
            }
            endWord();
            EXPECT_EQ(depth, 0);
            EXPECT_FALSE(logic && compare) << "a comparison beside AND/OR without parentheses";
        }
    }
}

// --------------------------------------------------------------------------

TEST(ShippedLibrary, TemplatesStartANewBasicAndANewCompositeType)
{
    const TShippedFile* basic = Library().Find("NEWBASICFB");
    ASSERT_NE(basic, nullptr);
    EXPECT_FALSE(basic->Type->Composite);
    ASSERT_FALSE(basic->Type->States.empty());
    EXPECT_EQ(basic->Type->States[0]->Name, "START");
    EXPECT_FALSE(basic->Type->Algorithms.empty());

    const TShippedFile* comp = Library().Find("NEWCOMPFB");
    ASSERT_NE(comp, nullptr);
    const TFB_Type& t = *comp->Type;
    EXPECT_TRUE(t.Composite);
    EXPECT_TRUE(t.States.empty());
    EXPECT_TRUE(t.Algorithms.empty());

    // Every end of the inner network names a port that exists, on the side
    // the connection needs: the type editor rebuilds the network from these.
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(comp->Text.c_str()));
    const auto network = doc.child("FBType").child("FBNetwork");
    std::map<std::string, const TFB_Type*> inner;
    for (auto fb : network.children("FB")) {
        const std::string type = fb.attribute("Type").value();
        const TFB_Type* loaded = Library().LoadThroughManager(type);
        ASSERT_NE(loaded, nullptr) << "inner type " << type << " is not in the library";
        inner[fb.attribute("Name").value()] = loaded;
    }
    ASSERT_GE(inner.size(), 2u);

    enum Kind { Event, Data };
    std::set<std::string> wired; // interface ports used by a connection
    std::set<std::string> innerWired;
    // The data type of the end when it is a data port, for the type check.
    auto end = [&](const std::string& text, Kind kind, bool source, std::string& dataType) -> bool {
        const auto dot = text.find('.');
        if (dot == std::string::npos) {
            wired.insert(text);
            // An interface input feeds the network; an interface output takes from it.
            if (kind == Event)
                return source ? t.FindEventInput(text) != nullptr : t.FindEventOutput(text) != nullptr;
            const TFBDataMemberType* d = source ? static_cast<const TFBDataMemberType*>(t.FindDataInput(text))
                                                : static_cast<const TFBDataMemberType*>(t.FindDataOutput(text));
            if (d)
                dataType = d->Type;
            return d != nullptr;
        }
        auto it = inner.find(text.substr(0, dot));
        if (it == inner.end())
            return false;
        innerWired.insert(it->first);
        const std::string port = text.substr(dot + 1);
        if (kind == Event)
            return source ? it->second->FindEventOutput(port) != nullptr : it->second->FindEventInput(port) != nullptr;
        const TFBDataMemberType* d = source ? static_cast<const TFBDataMemberType*>(it->second->FindDataOutput(port))
                                            : static_cast<const TFBDataMemberType*>(it->second->FindDataInput(port));
        if (d)
            dataType = d->Type;
        return d != nullptr;
    };
    const struct {
        const char* Element;
        Kind K;
    } lists[] = {{"EventConnections", Event}, {"DataConnections", Data}};
    for (const auto& list : lists)
        for (auto c : network.child(list.Element).children("Connection")) {
            const std::string s = c.attribute("Source").value(), d = c.attribute("Destination").value();
            SCOPED_TRACE(s + " -> " + d);
            std::string sourceType, destinationType;
            EXPECT_TRUE(end(s, list.K, true, sourceType));
            EXPECT_TRUE(end(d, list.K, false, destinationType));
            EXPECT_FALSE(s.find('.') == std::string::npos && d.find('.') == std::string::npos)
                << "a connection between two interface ports is dropped on reading";
            if (list.K == Data) {
                EXPECT_EQ(DataTypeClass(sourceType), DataTypeClass(destinationType));
            }
        }
    for (const auto& e : t.EventInputs)
        EXPECT_TRUE(wired.count(e->Name)) << e->Name << " goes nowhere";
    for (const auto& e : t.EventOutputs)
        EXPECT_TRUE(wired.count(e->Name)) << e->Name << " comes from nowhere";
    for (const auto& d : t.DataInputs)
        EXPECT_TRUE(wired.count(d->Name)) << d->Name << " goes nowhere";
    for (const auto& d : t.DataOutputs)
        EXPECT_TRUE(wired.count(d->Name)) << d->Name << " comes from nowhere";
    EXPECT_EQ(innerWired.size(), inner.size());
}

} // namespace
