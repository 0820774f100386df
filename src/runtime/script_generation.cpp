#include "runtime/script_generation.h"

#include "model/fb_instance.h"
#include "model/value_text.h"
#include "runtime/script/script_value.h"

#include <algorithm>

namespace telvo {

namespace {

// The engine's identifier characters: letters, "_", codes 192 to 255, and
// digits after the first.
bool identStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 192; }
bool identPart(unsigned char c) { return identStart(c) || (c >= '0' && c <= '9'); }
bool digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool hexDigit(unsigned char c) { return digit(c) || (c >= 'A' && c <= 'F'); }

std::string upper(std::string_view s)
{
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return u;
}

const std::string kCrLf = "\r\n";

const std::string& typeText(const TFBDataMember& m)
{
    static const std::string none;
    return m.Decl ? m.Decl->Type : none;
}

const std::string& typeText(const TFBInstance_InternalVar& v)
{
    static const std::string none;
    return v.Decl ? v.Decl->Type : none;
}

const std::string& nameOf(const TFBInstance_InternalVar& v)
{
    static const std::string none;
    return v.Decl ? v.Decl->Name : none;
}

void line(std::string& out, std::string_view a)
{
    out += a;
    out += kCrLf;
}

void declare(std::string& out, std::string_view prefix, std::string_view name, const std::string& type)
{
    out += "var ";
    out += prefix;
    out += name;
    out += ':';
    out += RuntimeTypeName(type);
    out += ';';
    out += kCrLf;
}

void assign(std::string& out, std::string_view name, const std::string& value)
{
    out += name;
    out += ":=";
    out += value;
    out += ';';
    out += kCrLf;
}

// "<E>:=True;" for the event being handled, "<name>:=False;" for any other.
void assignEvent(std::string& out, const std::string& name, const std::string& event)
{
    if (name == event) {
        out += event;
        out += ":=True;";
    } else {
        out += name;
        out += ":=False;";
    }
    out += kCrLf;
}

} // namespace

void TScriptNameSet::Add(std::string_view text)
{
    const size_t n = text.size();
    auto at = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    size_t i = 0;
    while (i < n) {
        const unsigned char c = at(i);
        if (identStart(c)) {
            size_t j = i + 1;
            while (j < n && identPart(at(j)))
                ++j;
            std::string u = upper(text.substr(i, j - i));
            if (std::find(names_.begin(), names_.end(), u) == names_.end())
                names_.push_back(std::move(u));
            i = j;
        } else if (digit(c)) {
            while (i < n && (digit(at(i)) || at(i) == '.'))
                ++i;
        } else if (c == '$') {
            // Hexadecimal digits are upper case only: "$1f" is 1 and f.
            ++i;
            while (i < n && hexDigit(at(i)))
                ++i;
        } else if (c == '#') {
            ++i;
            if (i < n && at(i) == '$') {
                ++i;
                while (i < n && hexDigit(at(i)))
                    ++i;
            } else {
                while (i < n && digit(at(i)))
                    ++i;
            }
        } else if (c == '\'') {
            const size_t end = text.find('\'', i + 1);
            i = end == std::string_view::npos ? n : end + 1;
        } else if (c == '{') {
            const size_t end = text.find('}', i + 1);
            i = end == std::string_view::npos ? n : end + 1;
        } else if (c == '(' && i + 1 < n && at(i + 1) == '*') {
            const size_t end = text.find("*)", i + 2);
            i = end == std::string_view::npos ? n : end + 2;
        } else if (c == '/' && i + 1 < n && at(i + 1) == '/') {
            const size_t end = text.find('\n', i + 2);
            i = end == std::string_view::npos ? n : end + 1;
        } else {
            ++i;
        }
    }
}

bool TScriptNameSet::Uses(std::string_view name) const
{
    for (const auto& n : names_)
        if (SameScriptName(n, name))
            return true;
    return false;
}

bool TScriptNameSet::UsesOutput(std::string_view name) const
{
    if (Uses(name))
        return true;
    for (const auto& n : names_)
        if (n.size() == name.size() + 3 && n.compare(0, 3, "DO_") == 0 &&
            SameScriptName(std::string_view(n).substr(3), name))
            return true;
    return false;
}

std::string BuildTransitionScript(const TFB_InstanceRef& instance, const std::string& condition,
                                  const std::string& event)
{
    return BuildTransitionScript(instance, condition, TScriptNameSet(condition), event);
}

std::string BuildTransitionScript(const TFB_InstanceRef& instance, const std::string& condition,
                                  const TScriptNameSet& names, const std::string& event)
{
    // Event inputs count when the condition uses them or when they are the
    // event itself; data outputs are never declared.
    std::vector<const TFBEvent*> events;
    std::vector<const TFBDataMember*> inputs;
    std::vector<const TFBInstance_InternalVar*> variables;
    for (const auto& e : instance.EventInputs)
        if (names.Uses(e->Name()) || SameScriptName(e->Name(), event))
            events.push_back(e.get());
    for (const auto& d : instance.DataInputs)
        if (names.Uses(d->Name()))
            inputs.push_back(d.get());
    for (const auto& v : instance.InternalVars)
        if (names.Uses(nameOf(*v)))
            variables.push_back(v.get());

    std::string s;
    s.reserve(128 + condition.size() + 32 * (events.size() + inputs.size() + variables.size()));
    line(s, "procedure chkTransition( var theResult:Boolean);");
    for (const TFBEvent* e : events)
        declare(s, "", e->Name(), "BOOL");
    for (const TFBDataMember* d : inputs)
        declare(s, "", d->Name(), typeText(*d));
    for (const TFBInstance_InternalVar* v : variables)
        declare(s, "", nameOf(*v), typeText(*v));
    line(s, "begin");
    for (const TFBEvent* e : events)
        assignEvent(s, e->Name(), event);
    for (const TFBDataMember* d : inputs)
        assign(s, d->Name(), d->FormatValue());
    for (const TFBInstance_InternalVar* v : variables)
        assign(s, nameOf(*v), v->FormatValue());
    if (condition == "1") {
        line(s, "theResult:= True;");
    } else {
        s += "theResult:= ";
        s += condition;
        s += ';';
        s += kCrLf;
    }
    s += "end;";
    return s;
}

TAlgorithmScript BuildAlgorithmScript(const TFB_InstanceRef& instance, const std::vector<std::string>& lines,
                                      const std::string& event)
{
    return BuildAlgorithmScript(instance, lines, TScriptNameSet(lines), event);
}

TAlgorithmScript BuildAlgorithmScript(const TFB_InstanceRef& instance, const std::vector<std::string>& lines,
                                      const TScriptNameSet& names, const std::string& event)
{
    TAlgorithmScript a;
    std::string& s = a.Text;
    size_t size = 96;
    for (const auto& l : lines)
        size += l.size() + 2;
    s.reserve(size);

    for (const auto& d : instance.DataOutputs)
        if (names.UsesOutput(d->Name()))
            a.Outputs.push_back(d.get());
    for (const auto& v : instance.InternalVars)
        if (names.Uses(nameOf(*v)))
            a.Variables.push_back(v.get());
    if (a.Outputs.empty() && a.Variables.empty()) {
        // An empty parameter list "()" does not compile: an algorithm that
        // changes no output and no variable would never run.
        line(s, "procedure execAlg;");
    } else {
        line(s, "procedure execAlg(");
        for (const TFBDataMember* d : a.Outputs)
            declare(s, "DO_", d->Name(), typeText(*d));
        for (const TFBInstance_InternalVar* v : a.Variables)
            declare(s, "", nameOf(*v), typeText(*v));
        line(s, "            );");
    }
    std::vector<const TFBEvent*> events;
    std::vector<const TFBDataMember*> inputs;
    for (const auto& e : instance.EventInputs)
        if (names.Uses(e->Name())) {
            declare(s, "", e->Name(), "BOOL");
            events.push_back(e.get());
        }
    for (const auto& d : instance.DataInputs)
        if (names.Uses(d->Name())) {
            declare(s, "", d->Name(), typeText(*d));
            inputs.push_back(d.get());
        }
    line(s, "begin");
    for (const TFBEvent* e : events)
        assignEvent(s, e->Name(), event);
    for (const TFBDataMember* d : inputs)
        assign(s, d->Name(), d->FormatValue());
    for (const TFBInstance_InternalVar* v : a.Variables)
        assign(s, nameOf(*v), v->FormatValue());
    line(s, "//The FB Algorithm");
    for (const auto& l : lines)
        line(s, l);
    s += "end;";
    return a;
}

} // namespace telvo
