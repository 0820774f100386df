#include "runtime/script_generation.h"

#include "model/fb_instance.h"
#include "model/value_text.h"
#include "runtime/script/pas_script_compiler.h"
#include "runtime/script/script_errors.h"
#include "runtime/script/script_value.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

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
    out += ScriptTypeName(type);
    out += ';';
    out += kCrLf;
}

// The engine reads integer literals up to 2^31 - 1 (a "-" in front is its
// negation); a whole number beyond is written as a float, which holds it
// exactly.
std::string integerLiteral(int64_t value)
{
    std::string text = std::to_string(value);
    if (value <= INT32_MIN || value > INT32_MAX)
        text += ".0";
    return text;
}

// The text of a start value: integers as the engine reads them, whatever
// class holds them; any other value as its value text.
template <typename Member>
std::string startValue(const Member& m, const std::string& name, const std::string& type)
{
    if (DataTypeClass(type) == TDataTypeClass::Integer)
        return integerLiteral(m.IntValue);
    int64_t value = 0;
    if (TextIntegerForScript(name, type, m.StrValue, value))
        return integerLiteral(value);
    return m.FormatValue();
}

std::string startValue(const TFBDataMember& d) { return startValue(d, d.Name(), typeText(d)); }
std::string startValue(const TFBInstance_InternalVar& v) { return startValue(v, nameOf(v), typeText(v)); }

// The largest whole number a double holds exactly, with all below it.
constexpr uint64_t kExactInDouble = uint64_t(1) << 53;

// A type held as text whose values a script computes as integers.
std::optional<TIecIntegerType> textInteger(const std::string& typeText)
{
    if (DataTypeClass(typeText) != TDataTypeClass::String)
        return std::nullopt;
    return IecIntegerType(typeText);
}

[[noreturn]] void doesNotFit(const std::string& name, const std::string& typeText, const std::string& value,
                             const TIecIntegerType& type)
{
    throw EScriptError(name + ": " + value + " does not fit " + typeText + " (" + type.RangeText() + ")");
}

[[noreturn]] void notExact(const std::string& name, const std::string& value)
{
    throw EScriptError(name + ": " + value + " is larger than the simulation computes exactly (2^53)");
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
void assignEvent(std::string& out, const std::string& name, bool handled)
{
    out += name;
    out += handled ? ":=True;" : ":=False;";
    out += kCrLf;
}

} // namespace

std::string ScriptInputName(const std::string& name) { return IsScriptKeyword(name) ? "DI_" + name : name; }
std::string ScriptInternalName(const std::string& name) { return IsScriptKeyword(name) ? "IV_" + name : name; }
std::string ScriptEventName(const std::string& name) { return IsScriptKeyword(name) ? "EI_" + name : name; }

std::string ScriptTypeName(const std::string& typeText)
{
    if (textInteger(typeText))
        return "Integer";
    return RuntimeTypeName(typeText);
}

bool TextIntegerForScript(const std::string& name, const std::string& typeText, const std::string& text,
                          int64_t& value)
{
    const auto type = textInteger(typeText);
    if (!type)
        return false;
    bool negative = false;
    uint64_t magnitude = 0;
    if (text.find_first_not_of(" \t") == std::string::npos) {
        value = 0;
        return true;
    }
    if (!TryParseIecInteger(text, negative, magnitude))
        throw EScriptError(name + ": '" + text + "' is no " + typeText + " value");
    const std::string shown = (negative ? "-" : "") + std::to_string(magnitude);
    if (!type->Holds(negative, magnitude))
        doesNotFit(name, typeText, shown, *type);
    if (magnitude > kExactInDouble)
        notExact(name, shown);
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool TextIntegerFromScript(const std::string& name, const std::string& typeText, const TVariant& value,
                           std::string& text)
{
    const auto type = textInteger(typeText);
    if (!type)
        return false;
    const TVariant& v = value.Deref();
    bool negative = false;
    uint64_t magnitude = 0;
    if (v.Kind() == TVariantKind::Integer) {
        const int64_t i = v.AsInteger();
        negative = i < 0;
        magnitude = static_cast<uint64_t>(negative ? -i : i);
    } else {
        double number = 0;
        try {
            number = v.ToFloat();
        } catch (const EScriptError& e) {
            throw EScriptError(name + ": " + e.what());
        }
        const double d = std::nearbyint(number); // the default rounding mode: half to even
        if (!std::isfinite(d))
            throw EScriptError(name + ": " + FormatScriptFloat(d) + " is no " + typeText + " value");
        if (std::fabs(d) > static_cast<double>(kExactInDouble))
            notExact(name, FormatScriptFloat(d));
        magnitude = static_cast<uint64_t>(std::fabs(d));
        negative = d < 0 && magnitude != 0;
    }
    text = (negative ? "-" : "") + std::to_string(magnitude);
    if (!type->Holds(negative, magnitude))
        doesNotFit(name, typeText, text, *type);
    return true;
}

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
    // event itself.
    std::vector<const TFBEvent*> events;
    std::vector<const TFBDataMember*> inputs;
    std::vector<const TFBDataMember*> outputs;
    std::vector<const TFBInstance_InternalVar*> variables;
    for (const auto& e : instance.EventInputs)
        if (names.Uses(ScriptEventName(e->Name())) || SameScriptName(e->Name(), event))
            events.push_back(e.get());
    for (const auto& d : instance.DataInputs)
        if (names.Uses(ScriptInputName(d->Name())))
            inputs.push_back(d.get());
    for (const auto& d : instance.DataOutputs)
        if (names.Uses("DO_" + d->Name()))
            outputs.push_back(d.get());
    for (const auto& v : instance.InternalVars)
        if (names.Uses(ScriptInternalName(nameOf(*v))))
            variables.push_back(v.get());

    std::string s;
    s.reserve(128 + condition.size() + 32 * (events.size() + inputs.size() + outputs.size() + variables.size()));
    line(s, "procedure chkTransition( var theResult:Boolean);");
    for (const TFBEvent* e : events)
        declare(s, "", ScriptEventName(e->Name()), "BOOL");
    for (const TFBDataMember* d : inputs)
        declare(s, "", ScriptInputName(d->Name()), typeText(*d));
    for (const TFBDataMember* d : outputs)
        declare(s, "DO_", d->Name(), typeText(*d));
    for (const TFBInstance_InternalVar* v : variables)
        declare(s, "", ScriptInternalName(nameOf(*v)), typeText(*v));
    line(s, "begin");
    for (const TFBEvent* e : events)
        assignEvent(s, ScriptEventName(e->Name()), e->Name() == event);
    for (const TFBDataMember* d : inputs)
        assign(s, ScriptInputName(d->Name()), startValue(*d));
    for (const TFBDataMember* d : outputs)
        assign(s, "DO_" + d->Name(), startValue(*d));
    for (const TFBInstance_InternalVar* v : variables)
        assign(s, ScriptInternalName(nameOf(*v)), startValue(*v));
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
        if (names.Uses(ScriptInternalName(nameOf(*v))))
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
            declare(s, "", ScriptInternalName(nameOf(*v)), typeText(*v));
        line(s, "            );");
    }
    std::vector<const TFBEvent*> events;
    std::vector<const TFBDataMember*> inputs;
    for (const auto& e : instance.EventInputs)
        if (names.Uses(ScriptEventName(e->Name()))) {
            declare(s, "", ScriptEventName(e->Name()), "BOOL");
            events.push_back(e.get());
        }
    for (const auto& d : instance.DataInputs)
        if (names.Uses(ScriptInputName(d->Name()))) {
            declare(s, "", ScriptInputName(d->Name()), typeText(*d));
            inputs.push_back(d.get());
        }
    line(s, "begin");
    for (const TFBEvent* e : events)
        assignEvent(s, ScriptEventName(e->Name()), e->Name() == event);
    for (const TFBDataMember* d : inputs)
        assign(s, ScriptInputName(d->Name()), startValue(*d));
    for (const TFBInstance_InternalVar* v : a.Variables)
        assign(s, ScriptInternalName(nameOf(*v)), startValue(*v));
    line(s, "//The FB Algorithm");
    for (const auto& l : lines)
        line(s, l);
    s += "end;";
    return a;
}

} // namespace telvo
