#include "codegen/pascal_generator.h"

#include "model/fb_type.h"
#include "model/file_util.h"
#include "model/value_text.h"

#include <cctype>
#include <regex>
#include <system_error>
#include <vector>

namespace telvo {

namespace {

// The source as a list of lines, each written with a CR LF.
class TSourceLines {
public:
    void Add(int tabs, const std::string& text)
    {
        text_.append(static_cast<size_t>(tabs), '\t');
        text_ += text;
        text_ += "\r\n";
    }
    void Empty(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            text_ += "\r\n";
    }
    std::string Take() { return std::move(text_); }

private:
    std::string text_;
};

bool IsStringType(const std::string& typeText) { return DataTypeClass(typeText) == TDataTypeClass::String; }

// ---- Texts pasted into the source ---------------------------------------

// A comment goes after "//" on one line: a line break in it would end the
// comment and make the rest source (a "{$I file}" there pulls a file into
// the compile). Braces are turned into parentheses so that no directive can
// stand in a comment even if it were moved into a block comment.
std::string CommentText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            out += ' ';
        else if (c == '{')
            out += '(';
        else if (c == '}')
            out += ')';
        else
            out += c;
    }
    return out;
}

// The text as a Pascal string literal: quotes doubled, control characters
// (which cannot stand inside the quotes) as #n between quoted runs.
std::string PascalString(const std::string& text)
{
    std::string out = "'";
    bool open = true;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            if (open)
                out += '\'';
            open = false;
            out += '#' + std::to_string(u);
            continue;
        }
        if (!open)
            out += '\'';
        open = true;
        out += c;
        if (c == '\'')
            out += '\'';
    }
    if (open)
        out += '\'';
    return out;
}

bool IsIdentifier(const std::string& name)
{
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
        return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
            return false;
    // Pascal identifiers are ASCII: isalpha above must not take locale letters.
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Words that cannot name a field or the library in the Delphi mode (-Sd)
// the source is compiled in.
bool IsReservedWord(const std::string& name)
{
    static const char* const words[] = {
        "and", "array", "as", "asm", "begin", "case", "class", "const", "constructor", "destructor",
        "dispinterface", "div", "do", "downto", "else", "end", "except", "exports", "file", "finalization",
        "finally", "for", "function", "goto", "if", "implementation", "in", "inherited", "initialization",
        "inline", "interface", "is", "label", "library", "mod", "nil", "not", "object", "of", "on", "operator",
        "or", "out", "packed", "procedure", "program", "property", "raise", "record", "repeat", "resourcestring",
        "set", "shl", "shr", "string", "then", "threadvar", "to", "try", "type", "unit", "until", "uses", "var",
        "while", "with", "xor"};
    std::string lower;
    for (char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* w : words)
        if (lower == w)
            return true;
    return false;
}

bool IsIntegerLiteral(const std::string& text)
{
    static const std::regex pattern(R"([+-]?[0-9]+)");
    int32_t value = 0;
    return std::regex_match(text, pattern) && TryParseInteger(text, value);
}

bool IsRealLiteral(const std::string& text)
{
    static const std::regex pattern(R"([+-]?[0-9]+(\.[0-9]+)?([eE][+-]?[0-9]+)?)");
    return std::regex_match(text, pattern);
}

bool IsStringLiteral(const std::string& text)
{
    static const std::regex pattern(R"('([^'\x00-\x1F\x7F]|'')*')");
    return std::regex_match(text, pattern);
}

// Every name the source uses as an identifier, and every initial value it
// pastes, is checked before anything is made: a name that is no identifier
// would otherwise put its own text into the source.
void CheckNames(const TFB_Type& type)
{
    std::vector<std::string> wrong;
    auto bare = [&](const std::string& what, const std::string& name) {
        if (!IsIdentifier(name) || IsReservedWord(name))
            wrong.push_back(what + " \"" + name + "\"");
    };
    auto part = [&](const std::string& what, const std::string& name) {
        if (!IsIdentifier(name))
            wrong.push_back(what + " \"" + name + "\"");
    };
    bare("type name", type.Name);
    for (const auto& e : type.EventInputs)
        bare("event input", e->Name);
    for (const auto& d : type.DataInputs)
        bare("data input", d->Name);
    for (const auto& d : type.DataOutputs)
        part("data output", d->Name);
    for (const auto& v : type.InternalVars) {
        bare("internal variable", v->Name);
        if (v->InitialValue.empty() || v->Type == "Boolean" || v->Type == "BOOL")
            continue;
        bool literal = false;
        switch (DataTypeClass(v->Type)) {
        case TDataTypeClass::Integer: literal = IsIntegerLiteral(v->InitialValue); break;
        case TDataTypeClass::Real: literal = IsRealLiteral(v->InitialValue); break;
        case TDataTypeClass::String: literal = IsStringLiteral(v->InitialValue); break;
        case TDataTypeClass::Boolean: literal = true; break;
        }
        if (!literal)
            wrong.push_back("initial value \"" + v->InitialValue + "\" of internal variable \"" + v->Name +
                            "\" (no " + RuntimeTypeName(v->Type) + " literal)");
    }
    for (const auto& a : type.Algorithms)
        part("algorithm", a->Name);
    for (const auto& st : type.States) {
        part("state", st->Name);
        for (const auto& a : st->Actions)
            if (!a->Algorithm.empty())
                part("algorithm of an action of state " + st->Name + ",", a->Algorithm);
    }
    for (const auto& tr : type.Transitions)
        part("transition destination", tr->Destination);
    if (wrong.empty())
        return;
    std::string message = "\"" + type.Name + "\": no Pascal source is made for ";
    for (size_t i = 0; i < wrong.size(); ++i)
        message += (i ? ", " : "") + wrong[i];
    message += ": names must be Pascal identifiers and initial values literals of their type";
    throw ECodeGenError(message);
}

// Structured Text is not Pascal: the simulation translates it, the
// generator does not.
void CheckLanguages(const TFB_Type& type)
{
    std::string names;
    for (const auto& a : type.Algorithms)
        if (a->OtherText.empty() && !a->STText.empty())
            names += (names.empty() ? "\"" : ", \"") + a->Name + "\"";
    if (!names.empty())
        throw ECodeGenError("\"" + type.Name + "\": no Pascal source is made for the Structured Text algorithm" +
                            (names.find(',') == std::string::npos ? " " : "s ") + names +
                            ": the generator takes script (DelphiScript) algorithms only");
}

// The algorithm's own text: its DelphiScript (or other) body, emitted
// unchanged.
const std::vector<std::string>& AlgorithmText(const TFBAlgorithm& alg) { return alg.OtherText; }

void WriteClassDeclaration(TSourceLines& out, const TFB_Type& type)
{
    out.Add(0, "type");
    out.Add(1, "TtelvoKALOFBtype = class");
    out.Add(1, "private");
    out.Add(2, "fState\t\t:String;");
    out.Add(2, "fFBruntimeID\t\t:Longint;");
    out.Add(2, "//Declaration of EventInputVariables");
    for (const auto& ev : type.EventInputs)
        out.Add(2, ev->Name + "\t\t:Boolean;");
    out.Add(2, "//Declaration of DataInputVariables");
    for (const auto& in : type.DataInputs)
        out.Add(2, in->Name + "\t\t:" + RuntimeTypeName(in->Type) + ";");
    out.Add(2, "//Declaration of DataOutputVariables");
    for (const auto& o : type.DataOutputs)
        out.Add(2, "DO_" + o->Name + "\t\t:" + RuntimeTypeName(o->Type) + ";");
    out.Add(2, "//Declaration of InternalVariables");
    for (const auto& v : type.InternalVars)
        out.Add(2, v->Name + "\t\t:" + RuntimeTypeName(v->Type) + ";");
    out.Add(2, "//Declaration of Algorithms");
    for (const auto& alg : type.Algorithms)
        out.Add(2, "procedure proc" + alg->Name + ";//" + CommentText(alg->Comment));
    out.Add(2, "//Declaration of ECCexecutes");
    for (const auto& st : type.States)
        out.Add(2, "procedure ExecTransition_" + st->Name + ";//" + CommentText(st->Comment));
    out.Add(1, "public");
    out.Add(2, "constructor Create(const vFBID:Longint);");
    out.Add(2, "procedure HandleEvent(const vEvent:String);");
    out.Add(2, "procedure OutputEvent(const vEventName:String);");
    out.Add(2, "procedure ClearAllEvents;");
    out.Add(1, "end;");
    out.Empty();
    // cdecl: the host calls back through a plain C function pointer that
    // receives the address of the first slot, nothing else.
    out.Add(1, "TFunc_Back = procedure( const parameters: array of Pointer); cdecl;");
    out.Empty();
    out.Add(0, "var Func_Back : TFunc_Back;");
    out.Add(0, "var vKALOinst : TtelvoKALOFBtype;");
    out.Empty(2);
}

// Every input arrives as the address of its value (a text as the address of
// its characters plus the address of its length), so each is read through
// its typed pointer; that also keeps the reads right on 64-bit targets,
// where a value would not fit the pointer casts.
void WriteEntryPoints(TSourceLines& out, const TFB_Type& type)
{
    std::string params;
    for (const auto& in : type.DataInputs) {
        params += ", vp" + in->Name;
        if (IsStringType(in->Type))
            params += ", vp_length" + in->Name;
    }
    out.Add(0, "function HandleFBEvent( const vpEventName, vpEventNameLength"
               "//follows a list of FB interface, Eventname and data   ");
    out.Add(1, params + ":Pointer): LongInt ; cdecl ;  export;");
    out.Add(0, "var vEvent:PChar;");
    out.Add(0, "begin");
    out.Add(1, "result:= 0;");
    out.Add(1, "vEvent := StrAlloc(  LongInt( pLongInt(vpEventNameLength)^)  +1);");
    out.Add(1, "StrLCopy (vEvent, PChar(vpEventName),  LongInt( pLongInt(vpEventNameLength)^) );");
    for (const auto& in : type.DataInputs) {
        const std::string& n = in->Name;
        switch (DataTypeClass(in->Type)) {
        case TDataTypeClass::Integer:
            out.Add(1, "vKALOinst." + n + ":=LongInt(pLongInt(vp" + n + ")^);");
            break;
        case TDataTypeClass::Real:
            out.Add(1, "vKALOinst." + n + ":=Single(pSingle(vp" + n + ")^);");
            break;
        case TDataTypeClass::Boolean:
            out.Add(1, "vKALOinst." + n + ":=Boolean(pBoolean(vp" + n + ")^);");
            break;
        case TDataTypeClass::String:
            // The field is a managed String: SetString copies the counted
            // characters into it (a PChar copy would need a buffer).
            out.Add(1, "SetString ( vKALOinst." + n + ", PChar(vp" + n + "),  LongInt( pLongInt(vp_length" + n +
                           ")^) );");
            break;
        }
    }
    out.Add(1, "vKALOinst.HandleEvent(vEvent);");
    out.Add(1, "StrDispose(vEvent);");
    out.Add(1, "result:= 1; //Exits fine");
    out.Add(0, "end;");
    out.Empty();
    out.Add(0, "procedure AssignCallBack( pCallback:TFunc_Back); cdecl;");
    out.Add(0, "begin");
    out.Add(1, "Func_Back:= pCallback;");
    out.Add(0, "end;");
    out.Empty();
    out.Add(0, "function isValidFB( CString : PChar; vFBID:LongInt  ) : LongInt ; cdecl ;  export;");
    out.Add(0, "begin");
    out.Add(1, "if CString=" + PascalString(type.Name) + " then");
    out.Add(1, "begin");
    out.Add(2, "result:= 1;");
    out.Add(2, "vKALOinst:=TtelvoKALOFBtype.Create(vFBID); //Create an instance to Handle events and algorithms!");
    out.Add(1, "end");
    out.Add(1, "else");
    out.Add(2, "result:=0;");
    out.Add(0, "end;");
    out.Empty();
    out.Empty();
    out.Add(0, "function FreeFBDLL : LongInt ; cdecl ;  export;");
    out.Add(0, "begin");
    out.Add(1, "vKALOinst.Free;");
    out.Add(1, "result:=1;");
    out.Add(0, "end;");
    out.Empty();
    out.Add(0, "exports ");
    out.Add(0, " isValidFB, AssignCallBack, HandleFBEvent, FreeFBDLL ;");
    out.Empty();
}

void WriteConstructorAndEvents(TSourceLines& out, const TFB_Type& type)
{
    out.Add(0, "constructor TtelvoKALOFBtype.Create(const vFBID:Longint);");
    out.Add(0, "begin");
    out.Add(1, "fFBruntimeID:= vFBID;");
    // The model keeps no initial-state flag, so START is the initial state.
    for (const auto& st : type.States)
        if (st->Name == "START")
            out.Add(1, "fstate:=" + PascalString(st->Name) + ";");
    for (const auto& v : type.InternalVars) {
        if (v->InitialValue.empty())
            continue;
        if (v->Type == "Boolean" || v->Type == "BOOL")
            out.Add(1, v->Name + (v->InitialValue == "1" ? ":=True;" : ":=False;"));
        else
            out.Add(1, v->Name + ":=" + v->InitialValue + ";");
    }
    out.Add(0, "end;");
    out.Empty();

    out.Add(0, "procedure TtelvoKALOFBtype.ClearAllEvents;");
    out.Add(0, "begin");
    out.Add(0, "//Clear all events!");
    for (const auto& ev : type.EventInputs)
        out.Add(1, ev->Name + ":=False;");
    out.Add(0, "end;");
    out.Empty();

    out.Add(0, "procedure TtelvoKALOFBtype.HandleEvent(const vEvent:String);");
    out.Add(0, "begin");
    for (const auto& ev : type.EventInputs)
        out.Add(1, "if vEvent=" + PascalString(ev->Name) + " then " + ev->Name +
                       ":=True; //set EventVariable True in order to use it in conditions");
    out.Empty();
    bool first = true;
    for (const auto& st : type.States) {
        out.Add(1, (first ? "if fState=" : "else if fState=") + PascalString(st->Name) + " then");
        first = false;
        out.Add(1, "begin");
        for (const auto& tr : type.Transitions) {
            if (tr->Source != st->Name)
                continue;
            const bool always = tr->Condition == "1" || tr->Condition.empty();
            out.Add(2, "if ( " + (always ? std::string("true") : tr->Condition) + " ) then");
            out.Add(2, "begin");
            out.Add(3, "fState:=" + PascalString(tr->Destination) + ";");
            out.Add(3, "ExecTransition_" + tr->Destination + ";");
            out.Add(3, "ClearAllEvents;");
            out.Add(3, "HandleEvent('-');");
            out.Add(3, "exit;");
            out.Add(2, "end;");
        }
        out.Add(1, "end");
        out.Empty();
    }
    out.Add(0, ";");
    out.Add(0, "end;");
    out.Empty();
}

void WriteOutputEvent(TSourceLines& out, const TFB_Type& type)
{
    size_t stringOutputs = 0;
    for (const auto& o : type.DataOutputs)
        if (IsStringType(o->Type))
            ++stringOutputs;
    out.Add(0, "procedure TtelvoKALOFBtype.OutputEvent(const vEventName:String);");
    out.Add(0, "var vEvLen, vFBID: Integer;");
    out.Add(0, "vevs:String;");
    for (const auto& o : type.DataOutputs)
        if (IsStringType(o->Type))
            out.Add(0, "length_" + o->Name + ":Integer;");
    out.Add(0, " parameters: array[0.." + std::to_string(3 + type.DataOutputs.size() + stringOutputs) +
                   "] of Pointer;");
    out.Add(0, "begin");
    out.Add(1, "vevs := vEventName;");
    out.Add(1, "vEvLen:=length(vevs);");
    out.Add(1, "vFBID:=fFBruntimeID;");
    out.Add(1, "parameters[0] := Pointer(vFBID); ");
    out.Add(1, "parameters[1] := @vevs[1]; ");
    out.Add(1, "parameters[2] := Pointer(vEvLen); ");
    size_t k = 3;
    for (const auto& o : type.DataOutputs) {
        const std::string slot = "parameters[" + std::to_string(k++) + "] := ";
        switch (DataTypeClass(o->Type)) {
        case TDataTypeClass::Real:
            // A Single is no ordinal: its bit pattern goes into the slot.
            out.Add(1, slot + "Pointer(LongWord(DO_" + o->Name + ")); ");
            break;
        case TDataTypeClass::String:
            out.Add(1, slot + "Pointer(DO_" + o->Name + "); ");
            out.Add(1, "length_" + o->Name + ":=length(DO_" + o->Name + ");");
            out.Add(1, "parameters[" + std::to_string(k++) + "] := Pointer(length_" + o->Name + "); ");
            break;
        default:
            out.Add(1, slot + "Pointer(DO_" + o->Name + "); ");
            break;
        }
    }
    out.Add(1, "Func_Back( parameters );");
    out.Add(0, "end;");
    out.Empty(2);
}

void WriteMethods(TSourceLines& out, const TFB_Type& type)
{
    for (const auto& alg : type.Algorithms) {
        out.Add(0, "procedure TtelvoKALOFBtype.proc" + alg->Name + ";//" + CommentText(alg->Comment));
        out.Add(0, "begin");
        for (const auto& line : AlgorithmText(*alg))
            out.Add(1, line);
        out.Add(0, "end;");
        out.Empty(2);
    }
    for (const auto& st : type.States) {
        out.Add(0, "procedure TtelvoKALOFBtype.ExecTransition_" + st->Name + ";//" + CommentText(st->Comment));
        out.Add(0, "begin");
        // All algorithms of the state run before any of its output events.
        for (const auto& a : st->Actions)
            if (!a->Algorithm.empty())
                out.Add(1, "proc" + a->Algorithm + ";");
        for (const auto& a : st->Actions)
            if (!a->Output.empty())
                out.Add(1, "OutputEvent(" + PascalString(a->Output) + ");");
        out.Add(0, "end;");
        out.Empty(2);
    }
}

// The type name becomes a file name inside the target folder: it must not
// reach outside it.
void CheckGeneratable(const TFB_Type& type)
{
    const std::string& n = type.Name;
    if (type.Composite)
        throw ECodeGenError("\"" + n + "\" is a composite FB type; code is generated for basic FB types only");
    if (n.empty() || n == "." || n == ".." || n.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
        throw ECodeGenError("\"" + n + "\" cannot name a source file");
    CheckNames(type);
    CheckLanguages(type);
}

} // namespace

std::string GeneratePascalSource(const TFB_Type& type, const std::string& timeStamp)
{
    CheckNames(type);
    CheckLanguages(type);
    TSourceLines out;
    const std::string& t = type.Name;
    out.Add(0, "library " + t + ";");
    out.Add(0, "//This is an auto-generated FB type from TELVO ESS ");
    out.Add(0, "//in Pascal programming language");
    out.Add(0, "//Generated time stamp: " + CommentText(timeStamp));
    out.Add(0, "//Compile it like fpc -Sd -Sh TELVO_ESS_DIR\\KALO\\" + t + ".pas");
    out.Empty();
    out.Add(0, "uses  SysUtils, Classes;");
    out.Empty(2);
    WriteClassDeclaration(out, type);
    WriteEntryPoints(out, type);
    WriteConstructorAndEvents(out, type);
    WriteOutputEvent(out, type);
    WriteMethods(out, type);
    out.Add(0, "end.");
    return out.Take();
}

std::string PascalTimeStamp(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

std::filesystem::path GeneratePascalFile(const TFB_Type& type, const std::filesystem::path& targetFolder)
{
    CheckGeneratable(type);
    std::error_code ec;
    std::filesystem::create_directories(targetFolder, ec);
    if (ec)
        throw std::runtime_error("Cannot create folder " + targetFolder.string() + ": " + ec.message());
    std::filesystem::path file = targetFolder / (type.Name + ".pas");
    WriteFileAtomic(file, GeneratePascalSource(type, PascalTimeStamp(std::time(nullptr))));
    return file;
}

std::filesystem::path PascalLibraryFile(const std::filesystem::path& sourceFile)
{
    return sourceFile.parent_path() / ("lib" + sourceFile.stem().string() + ".so");
}

} // namespace telvo
