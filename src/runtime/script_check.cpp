#include "runtime/script_check.h"

#include "model/fb_instance.h"
#include "model/fb_type.h"
#include "model/value_text.h"
#include "runtime/script/script_code.h"
#include "runtime/script/script_errors.h"
#include "runtime/script/script_object.h"
#include "runtime/algorithm_text.h"
#include "runtime/script_generation.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace telvo {

namespace {

bool identStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 192; }
bool identPart(unsigned char c) { return identStart(c) || (c >= '0' && c <= '9'); }

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return s;
}

// A record of the type whose text values read as empty texts: the start
// values the script assigns are then plain literals, so that what the check
// finds lies in the user's text and not in a value the run would bring.
std::unique_ptr<TFB_InstanceRef> checkRecord(TFB_Type& type)
{
    auto record = TFB_InstanceRef::Create("check", &type, false, nullptr);
    // Integer types held as texts stay empty: a script reads that as 0.
    auto isText = [](const std::string& type) {
        return DataTypeClass(type) == TDataTypeClass::String && ScriptTypeName(type) == "String";
    };
    for (auto& d : record->DataInputs)
        if (d->Decl && isText(d->Decl->Type))
            d->StrValue = "''";
    for (auto& d : record->DataOutputs)
        if (d->Decl && isText(d->Decl->Type))
            d->StrValue = "''";
    for (auto& v : record->InternalVars)
        if (v->Decl && isText(v->Decl->Type))
            v->StrValue = "''";
    return record;
}

// Where the user's text stands in the generated script: it ends the script
// right before `tail`.
struct TPlacement {
    int FirstLine = 1;   // script line of the user's first line
    int FirstOffset = 0; // columns before the user's text on that line
    std::vector<std::string> Lines;
};

TPlacement place(const std::string& script, const std::string& userText, const char* tail)
{
    TPlacement p;
    const size_t tailSize = std::strlen(tail);
    const size_t start = script.size() >= tailSize + userText.size() ? script.size() - tailSize - userText.size() : 0;
    p.FirstLine = 1 + static_cast<int>(std::count(script.begin(), script.begin() + static_cast<long>(start), '\n'));
    const size_t lineStart = script.rfind('\n', start == 0 ? 0 : start - 1);
    p.FirstOffset = static_cast<int>(start - (lineStart == std::string::npos || start == 0 ? 0 : lineStart + 1));
    size_t from = 0;
    while (true) {
        const size_t end = userText.find('\n', from);
        std::string line = userText.substr(from, end == std::string::npos ? std::string::npos : end - from);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        p.Lines.push_back(std::move(line));
        if (end == std::string::npos)
            break;
        from = end + 1;
    }
    return p;
}

// The engine's position (script line, one more than the zero-based column)
// as a place in the user's text. A fault after the text (a condition that
// ends too early) lies just past its end; one before it lies in none.
void locate(const TPlacement& p, int scriptLine, int scriptPosition, TScriptCheck& check)
{
    const int line = scriptLine - p.FirstLine + 1;
    if (line < 1)
        return;
    const int last = static_cast<int>(p.Lines.size());
    if (line > last) {
        check.Line = last;
        check.Column = static_cast<int>(p.Lines.back().size()) + 1;
        return;
    }
    const int length = static_cast<int>(p.Lines[static_cast<size_t>(line - 1)].size());
    const int column = scriptPosition - (line == 1 ? p.FirstOffset : 0);
    check.Line = line;
    check.Column = std::clamp(column, 1, length + 1);
}

// The first place of a whole identifier in the user's lines, any case,
// outside comments and text literals.
void findName(const TPlacement& p, const std::string& name, TScriptCheck& check)
{
    const std::string wanted = upper(name);
    bool inBrace = false, inParen = false;
    for (size_t l = 0; l < p.Lines.size(); ++l) {
        const std::string& t = p.Lines[l];
        size_t i = 0;
        while (i < t.size()) {
            const unsigned char c = static_cast<unsigned char>(t[i]);
            if (inBrace) {
                inBrace = c != '}';
                ++i;
            } else if (inParen) {
                if (c == '*' && i + 1 < t.size() && t[i + 1] == ')') {
                    inParen = false;
                    ++i;
                }
                ++i;
            } else if (c == '{') {
                inBrace = true;
                ++i;
            } else if (c == '(' && i + 1 < t.size() && t[i + 1] == '*') {
                inParen = true;
                i += 2;
            } else if (c == '/' && i + 1 < t.size() && t[i + 1] == '/') {
                break;
            } else if (c == '\'') {
                const size_t end = t.find('\'', i + 1);
                i = end == std::string::npos ? t.size() : end + 1;
            } else if (identStart(c)) {
                size_t j = i + 1;
                while (j < t.size() && identPart(static_cast<unsigned char>(t[j])))
                    ++j;
                if (upper(t.substr(i, j - i)) == wanted) {
                    check.Line = static_cast<int>(l) + 1;
                    check.Column = static_cast<int>(i) + 1;
                    return;
                }
                i = j;
            } else {
                ++i;
            }
        }
    }
}

TScriptCheck checkScript(const std::string& script, const TPlacement& placement, const char* where)
{
    TScriptCheck check;
    TScriptCode code(script);
    try {
        code.SetCompiled(true);
    } catch (const EScriptCompileError& e) {
        check.Ok = false;
        check.Message = EScriptCompileError::NumberText(e.Number());
        if (!e.Extra().empty())
            check.Message += ": " + e.Extra();
        locate(placement, e.Line(), e.Position(), check);
        return check;
    }
    // Names the compiled script leaves to the host: the simulation's host
    // offers none but the engine's own (Free, Invoke, Self, Evaluate).
    std::vector<std::string> unknown;
    for (const TScriptInstr& in : code.Instructions) {
        if (in.Op != TScriptOpcode::LOADHOST && in.Op != TScriptOpcode::STOREHOST)
            continue;
        const std::string& name = code.Names[static_cast<size_t>(in.A)];
        if (IsBuiltinScriptMember(name) || ScriptSystemScope().FindMember(name))
            continue;
        if (std::none_of(unknown.begin(), unknown.end(), [&](const std::string& n) { return upper(n) == upper(name); }))
            unknown.push_back(name);
    }
    std::string list;
    for (const std::string& name : unknown) {
        TScriptCheck at;
        findName(placement, name, at);
        if (at.Line == 0)
            continue; // a start value of the generated part, not the user's
        if (list.empty()) {
            check.Line = at.Line;
            check.Column = at.Column;
        }
        list += (list.empty() ? "" : ", ") + name;
    }
    if (!list.empty()) {
        check.Ok = false;
        check.Message = std::string("Unknown name in the ") + where + ": " + list;
    }
    return check;
}

TScriptCheck failed(const std::exception& e)
{
    TScriptCheck check;
    check.Ok = false;
    check.Message = e.what();
    return check;
}

} // namespace

TScriptCheck CheckConditionScript(TFB_Type& type, const std::string& condition)
{
    // "1" is the condition that always holds; the script does not carry it.
    if (condition.empty() || condition == "1")
        return {};
    try {
        // The standard form's guard is ST: its faults are placed by the
        // front end; what the script then finds lies in the translation.
        std::string text;
        try {
            text = ConditionScriptText(condition, type);
        } catch (const EScriptCompileError& e) {
            TScriptCheck check;
            check.Ok = false;
            check.Message = EScriptCompileError::NumberText(e.Number());
            if (!e.Extra().empty())
                check.Message += ": " + e.Extra();
            check.Line = e.Line();
            check.Column = e.Position();
            return check;
        }
        auto record = checkRecord(type);
        const std::string event = type.EventInputs.empty() ? std::string() : type.EventInputs.front()->Name;
        const std::string script = BuildTransitionScript(*record, text, event);
        TScriptCheck check = checkScript(script, place(script, text, ";\r\nend;"), "condition");
        if (text != condition)
            check.Line = check.Column = 0; // a place in the translation is none in the user's text
        return check;
    } catch (const std::exception& e) {
        return failed(e);
    }
}

TScriptCheck CheckAlgorithm(TFB_Type& type, const TFBAlgorithm& algorithm)
{
    // ST is translated line for line: a fault the front end finds, and a
    // line the engine names, are lines of the user's text.
    if (AlgorithmLanguage(algorithm).empty())
        return {}; // nothing to run
    std::vector<std::string> lines;
    try {
        lines = AlgorithmScriptLines(algorithm, type);
    } catch (const EScriptCompileError& e) {
        TScriptCheck check;
        check.Ok = false;
        check.Message = EScriptCompileError::NumberText(e.Number());
        if (!e.Extra().empty())
            check.Message += ": " + e.Extra();
        check.Line = e.Line();
        check.Column = e.Position();
        return check;
    } catch (const EScriptError& e) {
        return failed(e);
    }
    TScriptCheck check = CheckAlgorithmScript(type, lines);
    if (AlgorithmLanguage(algorithm) == "ST" && check.Line > 0)
        check.Column = 1; // the column lies in the translation
    return check;
}

TScriptCheck CheckAlgorithmScript(TFB_Type& type, const std::vector<std::string>& lines)
{
    if (lines.empty())
        return {};
    try {
        auto record = checkRecord(type);
        const TAlgorithmScript a = BuildAlgorithmScript(*record, lines, "");
        std::string text;
        for (size_t i = 0; i < lines.size(); ++i)
            text += (i ? "\r\n" : "") + lines[i];
        return checkScript(a.Text, place(a.Text, text, "\r\nend;"), "algorithm");
    } catch (const std::exception& e) {
        return failed(e);
    }
}

} // namespace telvo
