#include "codegen/lua_form.h"

#include "model/fb_type.h"
#include "model/value_text.h"
#include "runtime/algorithm_text.h"
#include "runtime/script/script_code.h"
#include "runtime/script/script_errors.h"
#include "runtime/script/script_object.h"
#include "runtime/script_generation.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

namespace telvo {

namespace {

using Op = TScriptOpcode;

// Appends the pieces in order, without a temporary for each "+".
template <typename... A>
void put(std::string& s, const A&... a)
{
    (s.append(std::string_view(a)), ...);
}

// The runtime's variable ids.
constexpr int64_t kDataInputId = int64_t(1) << 25;
constexpr int64_t kDataOutputId = int64_t(1) << 26;
constexpr int64_t kInternalVarId = int64_t(1) << 28;
// WITH lists end with this index, so no list may reach it.
constexpr size_t kMaxPorts = 255;
// Above this many slots and stack places a routine keeps its frame in a
// table: Lua allows a function 200 locals.
constexpr size_t kMaxLocalSlots = 150;

// The routines of the chunk's small run-time library, in an order where
// each comes after what it uses. A chunk holds only those it needs.
struct TLuaHelper {
    const char* Name;
    std::vector<const char*> Uses;
    const char* Code;
};

const std::vector<TLuaHelper>& helpers()
{
    static const std::vector<TLuaHelper> list = {
        {"NULL", {}, "local NULL = {}\n"},
        {"fail", {}, "local function fail(m) error(m, 0) end\n"},
        {"txtnum", {},
         "local function txtnum(s)\n"
         "  local sg, b = s:match(\"^ *(.-) *$\"):match(\"^([+-]?)(.*)$\")\n"
         "  if b:sub(1, 1) == \"$\" then\n"
         "    local h = b:sub(2)\n"
         "    if #h == 0 or #h > 8 or h:find(\"[^0-9A-Fa-f]\") then return nil end\n"
         "    local v = tonumber(h, 16)\n"
         "    if sg == \"-\" then v = -v end\n"
         "    v = v & 0xFFFFFFFF\n"
         "    if v >= 0x80000000 then v = v - 0x100000000 end\n"
         "    return v\n"
         "  end\n"
         "  local ip, dot, fp, ex = b:match(\"^(%d*)(%.?)(%d*)(.*)$\")\n"
         "  if #ip + #fp == 0 or (ex ~= \"\" and not ex:match(\"^[eE][+-]?%d+$\")) then return nil end\n"
         "  if dot == \"\" and ex == \"\" then\n"
         "    local v = math.tointeger(tonumber(ip))\n"
         "    if v then\n"
         "      if sg == \"-\" then v = -v end\n"
         "      if v >= -0x80000000 and v <= 0x7FFFFFFF then return v end\n"
         "    end\n"
         "  end\n"
         "  local d = tonumber(ip .. dot .. fp .. ex) + 0.0\n"
         "  if sg == \"-\" then d = -d end\n"
         "  return d\n"
         "end\n"},
        {"num", {"NULL", "fail", "txtnum"},
         "local function num(v)\n"
         "  local t = type(v)\n"
         "  if t == \"number\" then return v end\n"
         "  if v == nil then return 0 end\n"
         "  if t == \"boolean\" then return v and 1 or 0 end\n"
         "  if t == \"string\" then\n"
         "    local n = txtnum(v)\n"
         "    if n == nil then fail(\"Could not convert '\" .. v .. \"' to a number\") end\n"
         "    return n\n"
         "  end\n"
         "  if v == NULL then fail(\"Could not convert null to a number\") end\n"
         "  fail(\"Invalid variant operation\")\n"
         "end\n"},
        {"wide", {},
         "local function wide(v)\n"
         "  if v >= -0x80000000 and v <= 0x7FFFFFFF then return v end\n"
         "  return v + 0.0\n"
         "end\n"},
        {"fmt", {},
         "local function fmt(x)\n"
         "  if x ~= x then return \"NAN\" end\n"
         "  if x == 1 / 0 then return \"INF\" end\n"
         "  if x == -1 / 0 then return \"-INF\" end\n"
         "  local s = string.format(\"%.15g\", x)\n"
         "  local m, sg, e = s:match(\"^(.-)e([+-])(%d+)$\")\n"
         "  if m then\n"
         "    e = e:gsub(\"^0+\", \"\")\n"
         "    s = m .. \"E\" .. (sg == \"-\" and \"-\" or \"\") .. (e == \"\" and \"0\" or e)\n"
         "  end\n"
         "  return s\n"
         "end\n"},
        // Whole numbers round half to even, as the engine converts a float.
        {"rnd", {},
         "local function rnd(n)\n"
         "  if math.type(n) == \"integer\" then return n end\n"
         "  local r = math.floor(n)\n"
         "  local d = n - r\n"
         "  if d > 0.5 or (d == 0.5 and r % 2 == 1) then r = r + 1 end\n"
         "  return r\n"
         "end\n"},
        {"toint", {"fail", "fmt", "rnd"},
         "local function toint(n)\n"
         "  local r = rnd(n)\n"
         "  if not (r >= -2147483648 and r <= 2147483647) then fail(\"Could not convert \" .. fmt(n) .. \" to an integer\") end\n"
         "  return math.tointeger(r)\n"
         "end\n"},
        {"tb", {"NULL", "fail", "txtnum"},
         "local function tb(v)\n"
         "  local t = type(v)\n"
         "  if t == \"boolean\" then return v end\n"
         "  if v == nil or v == NULL then return false end\n"
         "  if t == \"number\" then return v ~= 0 end\n"
         "  if t == \"string\" then\n"
         "    local s = v:match(\"^ *(.-) *$\"):lower()\n"
         "    if s == \"true\" then return true end\n"
         "    if s == \"false\" then return false end\n"
         "    local n = txtnum(s)\n"
         "    if n == nil then fail(\"Could not convert '\" .. v .. \"' to a Boolean\") end\n"
         "    return n ~= 0\n"
         "  end\n"
         "  fail(\"Invalid variant operation\")\n"
         "end\n"},
        {"totext", {"NULL", "fmt"},
         "local function totext(v)\n"
         "  if v == nil or v == NULL then return \"\" end\n"
         "  if type(v) == \"boolean\" then return v and \"True\" or \"False\" end\n"
         "  if math.type(v) == \"integer\" then return tostring(v) end\n"
         "  if type(v) == \"number\" then return fmt(v) end\n"
         "  return v\n"
         "end\n"},
        {"tl", {}, "local function tl(v) return v == nil or type(v) == \"string\" end\n"},
        {"add", {"NULL", "num", "wide", "tl"},
         "local function add(a, b)\n"
         "  if a == NULL or b == NULL then return NULL end\n"
         "  if tl(a) and tl(b) and (a ~= nil or b ~= nil) then return (a or \"\") .. (b or \"\") end\n"
         "  local x, y = num(a), num(b)\n"
         "  if math.type(x) == \"integer\" and math.type(y) == \"integer\" then return wide(x + y) end\n"
         "  return x + y\n"
         "end\n"},
        {"sub", {"NULL", "num", "wide"},
         "local function sub(a, b)\n"
         "  if a == NULL or b == NULL then return NULL end\n"
         "  local x, y = num(a), num(b)\n"
         "  if math.type(x) == \"integer\" and math.type(y) == \"integer\" then return wide(x - y) end\n"
         "  return x - y\n"
         "end\n"},
        {"mul", {"NULL", "num", "wide"},
         "local function mul(a, b)\n"
         "  if a == NULL or b == NULL then return NULL end\n"
         "  local x, y = num(a), num(b)\n"
         "  if math.type(x) == \"integer\" and math.type(y) == \"integer\" then return wide(x * y) end\n"
         "  return x * y\n"
         "end\n"},
        {"fdiv", {"NULL", "num", "fail"},
         "local function fdiv(a, b)\n"
         "  if a == NULL or b == NULL then return NULL end\n"
         "  local x, y = num(a), num(b)\n"
         "  if y == 0 then fail(\"Division by zero\") end\n"
         "  return x / y\n"
         "end\n"},
        // div truncates toward zero, as Pascal's.
        {"idiv", {"NULL", "num", "toint", "fail", "wide"},
         "local function idiv(a, b)\n"
         "  if a == NULL or b == NULL then return NULL end\n"
         "  local x, y = toint(num(a)), toint(num(b))\n"
         "  if y == 0 then fail(\"Division by zero\") end\n"
         "  local q = math.abs(x) // math.abs(y)\n"
         "  if (x < 0) ~= (y < 0) then q = -q end\n"
         "  return wide(q)\n"
         "end\n"},
        {"mod", {"NULL", "num", "toint", "fail"},
         "local function mod(a, b)\n"
         "  if a == NULL or b == NULL then return NULL end\n"
         "  local x, y = toint(num(a)), toint(num(b))\n"
         "  if y == 0 then fail(\"Division by zero\") end\n"
         "  return math.fmod(x, y)\n"
         "end\n"},
        // -1, 0, 1, or 2 for unordered; texts by their bytes.
        {"cmp", {"NULL", "num", "tl"},
         "local function cmp(a, b)\n"
         "  if a == NULL or b == NULL then\n"
         "    if a == b then return 0 end\n"
         "    return a == NULL and -1 or 1\n"
         "  end\n"
         "  if tl(a) and tl(b) then\n"
         "    local x, y = a or \"\", b or \"\"\n"
         "    if x == y then return 0 end\n"
         "    for i = 1, math.min(#x, #y) do\n"
         "      local p, q = x:byte(i), y:byte(i)\n"
         "      if p ~= q then return p < q and -1 or 1 end\n"
         "    end\n"
         "    return #x < #y and -1 or 1\n"
         "  end\n"
         "  local x, y = num(a), num(b)\n"
         "  if x < y then return -1 end\n"
         "  if x > y then return 1 end\n"
         "  if x == y then return 0 end\n"
         "  return 2\n"
         "end\n"},
        {"eq", {"cmp"}, "local function eq(a, b) return cmp(a, b) == 0 end\n"},
        {"ne", {"cmp"}, "local function ne(a, b) return cmp(a, b) ~= 0 end\n"},
        {"lt", {"cmp"}, "local function lt(a, b) return cmp(a, b) == -1 end\n"},
        {"gt", {"cmp"}, "local function gt(a, b) return cmp(a, b) == 1 end\n"},
        {"le", {"cmp"}, "local function le(a, b) local c = cmp(a, b) return c == -1 or c == 0 end\n"},
        {"ge", {"cmp"}, "local function ge(a, b) local c = cmp(a, b) return c == 1 or c == 0 end\n"},
        // and, or, xor and not are bitwise on integers, logical otherwise.
        {"band", {"NULL", "tb"},
         "local function band(a, b)\n"
         "  if a == NULL or b == NULL then return NULL end\n"
         "  if math.type(a) == \"integer\" and math.type(b) == \"integer\" then return a & b end\n"
         "  local x, y = tb(a), tb(b)\n"
         "  return x and y\n"
         "end\n"},
        {"bor", {"NULL", "tb"},
         "local function bor(a, b)\n"
         "  if a == NULL or b == NULL then return NULL end\n"
         "  if math.type(a) == \"integer\" and math.type(b) == \"integer\" then return a | b end\n"
         "  local x, y = tb(a), tb(b)\n"
         "  return x or y\n"
         "end\n"},
        {"bxor", {"NULL", "tb"},
         "local function bxor(a, b)\n"
         "  if a == NULL or b == NULL then return NULL end\n"
         "  if math.type(a) == \"integer\" and math.type(b) == \"integer\" then return a ~ b end\n"
         "  return tb(a) ~= tb(b)\n"
         "end\n"},
        {"lnot", {"NULL", "tb"},
         "local function lnot(v)\n"
         "  if v == NULL then return NULL end\n"
         "  if math.type(v) == \"integer\" then return ~v end\n"
         "  return not tb(v)\n"
         "end\n"},
        {"neg", {"NULL", "num", "wide"},
         "local function neg(v)\n"
         "  if v == NULL then return NULL end\n"
         "  local n = num(v)\n"
         "  if math.type(n) == \"integer\" then return wide(-n) end\n"
         "  return -n\n"
         "end\n"},
        {"tidx", {"fail", "num", "toint"},
         "local function tidx(s, i)\n"
         "  if type(s) ~= \"string\" then fail(\"Variable is not an array\") end\n"
         "  local k = toint(num(i))\n"
         "  if k < 1 or k > #s then fail(\"Index out of range: \" .. k) end\n"
         "  return k\n"
         "end\n"},
        {"elem", {"tidx"}, "local function elem(s, i) local k = tidx(s, i) return s:sub(k, k) end\n"},
        {"setelem", {"tidx", "totext", "fail"},
         "local function setelem(s, i, c)\n"
         "  local k = tidx(s, i)\n"
         "  c = totext(c)\n"
         "  if #c ~= 1 then fail(\"Not a single character: '\" .. c .. \"'\") end\n"
         "  return s:sub(1, k - 1) .. c .. s:sub(k + 1)\n"
         "end\n"},
        {"tofloat", {"num"}, "local function tofloat(v) return num(v) + 0.0 end\n"},
        // A variable of a wide integer type: a whole number that fits the
        // type and that a double holds exactly.
        {"big", {"num", "rnd", "fail"},
         "local function big(v, lo, hi)\n"
         "  local n = rnd(num(v))\n"
         "  if n ~= n or n < lo or n > hi then fail(\"Value out of range\") end\n"
         "  return math.tointeger(n)\n"
         "end\n"},
    };
    return list;
}

// Each helper's place in the list, and the places of those it uses.
struct THelperIndex {
    std::unordered_map<std::string_view, size_t> At;
    std::vector<std::vector<size_t>> Uses;
};

const THelperIndex& helperIndex()
{
    static const THelperIndex index = [] {
        THelperIndex x;
        const auto& list = helpers();
        for (size_t i = 0; i < list.size(); ++i)
            x.At.emplace(list[i].Name, i);
        for (const auto& h : list) {
            auto& uses = x.Uses.emplace_back();
            for (const char* u : h.Uses)
                uses.push_back(x.At.at(u));
        }
        return x;
    }();
    return index;
}

std::string integerText(int64_t v)
{
    return v < 0 ? "(" + std::to_string(v) + ")" : std::to_string(v);
}

// Exact: a hexadecimal float, which Lua reads to the same bits.
std::string floatText(double d)
{
    if (std::isnan(d))
        return "(0.0 / 0.0)";
    if (std::isinf(d))
        return d < 0 ? "(-1.0 / 0.0)" : "(1.0 / 0.0)";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%a", d);
    return d < 0 || std::signbit(d) ? "(" + std::string(buf) + ")" : std::string(buf);
}

// How the chunk converts a variable's value between the runtime and the
// engine, per data type.
enum class TLuaKind { Boolean, Integer, Real, Text, WideInteger };

struct TVarKind {
    TLuaKind Kind = TLuaKind::Text;
    int64_t Low = 0, High = 0; // WideInteger: the range, at most what a double holds exactly
    bool MayExceed32 = false;  // WideInteger: the runtime may hand over values beyond 32 bits
};

const std::set<std::string>& carriedTypes()
{
    static const std::set<std::string> types = {"BOOL", "SINT", "INT",  "DINT", "LINT",  "USINT", "UINT", "UDINT", "ULINT",
                                                "BYTE", "WORD", "DWORD", "LWORD", "REAL", "LREAL", "STRING", "WSTRING"};
    return types;
}

TVarKind kindOf(const std::string& typeText)
{
    TVarKind k;
    switch (DataTypeClass(typeText)) {
    case TDataTypeClass::Boolean: k.Kind = TLuaKind::Boolean; return k;
    case TDataTypeClass::Integer: k.Kind = TLuaKind::Integer; return k;
    case TDataTypeClass::Real: k.Kind = TLuaKind::Real; return k;
    case TDataTypeClass::String: break;
    }
    if (const auto t = IecIntegerType(typeText)) {
        constexpr int64_t exact = int64_t(1) << 53;
        k.Kind = TLuaKind::WideInteger;
        const int bits = t->Signed ? t->Bits - 1 : t->Bits;
        k.High = bits >= 53 ? exact : (int64_t(1) << bits) - 1;
        k.Low = t->Signed ? (t->Bits - 1 >= 53 ? -exact : -(int64_t(1) << (t->Bits - 1))) : 0;
        k.MayExceed32 = k.High > INT32_MAX || k.Low < INT32_MIN;
        return k;
    }
    k.Kind = TLuaKind::Text;
    return k;
}

// One variable a routine declares: where the runtime keeps it.
struct TRoutineVar {
    std::string Name; // as declared in the script
    enum { Event, Input, Output, Internal, Result } Role = Input;
    int Index = 0;
    std::string Type;
};

class TChunkWriter {
public:
    explicit TChunkWriter(const TFB_Type& type) : type_(type) {}

    TLuaForm Make();

private:
    [[noreturn]] void refuse(const std::string& reason) const { throw ELuaFormError(reason); }
    void use(std::string_view helper) { use(helperIndex().At.at(helper)); }
    void use(size_t helper)
    {
        if (used_[helper])
            return;
        used_[helper] = true;
        for (size_t u : helperIndex().Uses[helper])
            use(u);
    }
    std::string literal(const TVariant& v);
    std::string routine(const std::string& function, const std::string& script, const std::vector<TRoutineVar>& vars,
                        bool condition, const std::string& what);
    std::string readVar(const TRoutineVar& v);
    std::string idOf(const TRoutineVar& v) const;
    std::string convertFor(const TRoutineVar& v, const std::string& value);
    std::string initialValue(const TFB_InternalVar& v);
    int stateIndex(const std::string& name);
    std::string algorithm(const std::string& function, const std::vector<std::string>& lines, const std::string& what);
    std::string finish(const std::string& body, const std::map<int, std::vector<std::string>>& transitions,
                       const std::map<int, std::vector<std::string>>& actions);

    const TFB_Type& type_;
    std::vector<bool> used_ = std::vector<bool>(helpers().size());
    std::vector<std::string> states_;
};

int TChunkWriter::stateIndex(const std::string& name)
{
    for (size_t i = 1; i < states_.size(); ++i)
        if (states_[i] == name)
            return static_cast<int>(i);
    states_.push_back(name);
    return static_cast<int>(states_.size()) - 1;
}

std::string TChunkWriter::literal(const TVariant& v)
{
    switch (v.Kind()) {
    case TVariantKind::Empty: return "nil";
    case TVariantKind::Null: use("NULL"); return "NULL";
    case TVariantKind::Boolean: return v.AsBoolean() ? "true" : "false";
    case TVariantKind::Integer: return integerText(v.AsInteger());
    case TVariantKind::Float: return floatText(v.AsFloat());
    case TVariantKind::Text: return LuaStringLiteral(v.AsText());
    default: refuse("a constant of a kind the runtime has no value for");
    }
}

std::string TChunkWriter::idOf(const TRoutineVar& v) const
{
    switch (v.Role) {
    case TRoutineVar::Input: return std::to_string(kDataInputId | v.Index);
    case TRoutineVar::Output: return std::to_string(kDataOutputId | v.Index);
    case TRoutineVar::Internal: return std::to_string(kInternalVarId | v.Index);
    default: return {};
    }
}

// The engine's value of a runtime variable.
std::string TChunkWriter::readVar(const TRoutineVar& v)
{
    if (v.Role == TRoutineVar::Event)
        return "(ev == " + std::to_string(v.Index) + ")";
    if (v.Role == TRoutineVar::Result)
        return "nil";
    const std::string value = "fb[" + idOf(v) + "]";
    const TVarKind k = kindOf(v.Type);
    if (k.Kind == TLuaKind::WideInteger && k.MayExceed32) {
        use("wide");
        return "wide(" + value + ")";
    }
    return value;
}

// The runtime's value of a variable from what a script left in it.
std::string TChunkWriter::convertFor(const TRoutineVar& v, const std::string& value)
{
    const TVarKind k = kindOf(v.Type);
    switch (k.Kind) {
    case TLuaKind::Boolean: use("tb"); return "tb(" + value + ")";
    case TLuaKind::Integer: use("toint"); use("num"); return "toint(num(" + value + "))";
    case TLuaKind::Real: use("tofloat"); return "tofloat(" + value + ")";
    case TLuaKind::WideInteger:
        use("big");
        return "big(" + value + ", " + integerText(k.Low) + ", " + integerText(k.High) + ")";
    case TLuaKind::Text: use("totext"); return "totext(" + value + ")";
    }
    return value;
}

std::string TChunkWriter::initialValue(const TFB_InternalVar& v)
{
    TValueHolder h(v.Type, true);
    try {
        h.Parse(v.InitialValue);
    } catch (const EConvertError& e) {
        refuse("the initial value of " + v.Name + ": " + e.what());
    }
    switch (h.Class) {
    case TDataTypeClass::Boolean: return h.BoolValue ? "true" : "false";
    case TDataTypeClass::Integer: return integerText(h.IntValue);
    case TDataTypeClass::Real: return floatText(static_cast<double>(h.RealValue));
    case TDataTypeClass::String: break;
    }
    int64_t value = 0;
    try {
        if (TextIntegerForScript(v.Name, v.Type, h.StringValue, value))
            return integerText(value);
    } catch (const EScriptError& e) {
        refuse(std::string("the initial value of ") + e.what());
    }
    return LuaStringLiteral(h.StringValue);
}

// A routine of the chunk, translated from the compiled script: a condition
// returns its Boolean value, an algorithm writes its outputs and internal
// variables back when it ends (all converted first, so that a value that
// does not convert leaves every variable as it was).
std::string TChunkWriter::routine(const std::string& function, const std::string& script,
                                  const std::vector<TRoutineVar>& vars, bool condition, const std::string& what)
{
    TScriptCode code(script);
    try {
        code.SetCompiled(true);
    } catch (const EScriptError& e) {
        refuse(what + " does not compile: " + e.what());
    }
    const auto& in = code.Instructions;
    const size_t slots = code.Symbols.size();
    const bool inTable = slots + static_cast<size_t>(code.MaxStack) > kMaxLocalSlots;
    // The names of the frame's slots and stack places, made once.
    std::vector<std::string> slotNames(slots), stackNames(static_cast<size_t>(std::max(code.MaxStack, 0)));
    for (size_t i = 0; i < slotNames.size(); ++i)
        slotNames[i] = inTable ? "S[" + std::to_string(i) + "]" : "s" + std::to_string(i);
    for (size_t i = 0; i < stackNames.size(); ++i)
        stackNames[i] = inTable ? "S[" + std::to_string(slots + i) + "]" : "t" + std::to_string(i);
    auto slot = [&](int i) -> const std::string& { return slotNames[static_cast<size_t>(i)]; };
    auto stackAt = [&](int i) -> const std::string& { return stackNames[static_cast<size_t>(i)]; };

    // Each symbol's variable in the runtime, by its name.
    std::vector<const TRoutineVar*> varOf(slots, nullptr);
    for (size_t i = 0; i < slots; ++i)
        for (const auto& v : vars)
            if (SameScriptName(code.Symbols[i].Name, v.Name)) {
                varOf[i] = &v;
                break;
            }

    // The stack depth before each instruction, and the jump targets.
    std::vector<int> depth(in.size(), -1);
    std::vector<bool> target(in.size(), false);
    std::vector<size_t> work{0};
    if (!in.empty())
        depth[0] = 0;
    auto reach = [&](size_t pc, int d) {
        if (pc >= in.size())
            refuse(what + " jumps outside its code");
        if (depth[pc] < 0) {
            depth[pc] = d;
            work.push_back(pc);
        } else if (depth[pc] != d) {
            refuse(what + " leaves the stack uneven");
        }
    };
    auto isJump = [](Op op) {
        switch (op) {
        case Op::JUMP: case Op::JUMPFALSE: case Op::JUMPTRUE: case Op::JUMPSHORT: case Op::JUMPCMP_V:
        case Op::JUMPCMP_K: case Op::LOOP: case Op::FORTEST: case Op::FORSTEP: case Op::FORNEXT: case Op::FORNEXTDOWN:
            return true;
        default: return false;
        }
    };
    while (!work.empty()) {
        const size_t pc = work.back();
        work.pop_back();
        const TScriptInstr& i = in[pc];
        int d = depth[pc];
        const int op = static_cast<int>(i.Op);
        if (op >= static_cast<int>(Op::PLUS) && op < static_cast<int>(Op::UPLUS) && (op - static_cast<int>(Op::PLUS)) % 4 == 0)
            --d;
        switch (i.Op) {
        case Op::PUSH: ++d; break;
        case Op::POP: --d; break;
        case Op::LOADELEM: case Op::LOADELEMREF: case Op::STOREELEM: case Op::STOREELEMREF: case Op::LOADHOST:
        case Op::STOREHOST:
            d -= i.B;
            break;
        case Op::LOADMEMBER: case Op::STOREMEMBER: case Op::TRYFINALLY: case Op::TRYEXCEPT: case Op::ENDTRYFINALLY:
        case Op::ENDTRYEXCEPT: case Op::ENDFINALLY: case Op::ENDEXCEPT: case Op::RAISE: case Op::LOADEXC: case Op::LEAVE:
            refuse(what + " uses objects, exceptions or try blocks, which the runtime's form does not carry");
        default: break;
        }
        if (d < 0 || d > code.MaxStack)
            refuse(what + " leaves the stack uneven");
        if (i.Op == Op::EXIT)
            continue;
        if (isJump(i.Op)) {
            target[static_cast<size_t>(i.A)] = true;
            reach(static_cast<size_t>(i.A), d);
            if (i.Op == Op::JUMP || i.Op == Op::LOOP || i.Op == Op::FORSTEP)
                continue;
        }
        reach(pc + 1, d);
    }

    std::string s = "local function " + function + "(fb, ev)\n";
    if (inTable) {
        s += "  local R\n  local S = {}\n";
    } else {
        s += "  local R";
        for (size_t i = 0; i < slots; ++i)
            put(s, ", ", slot(static_cast<int>(i)));
        for (int i = 0; i < code.MaxStack; ++i)
            put(s, ", ", stackAt(i));
        s += "\n";
    }
    static const char* const binaryHelper[] = {"add", "sub", "mul", "fdiv", "idiv", "mod", "eq",
                                               "ne",  "lt",  "gt",  "le",   "ge",   "band", "bor", "bxor"};
    static const char* const comparison[] = {"eq", "ne", "lt", "gt", "le", "ge"};
    auto label = [](int pc) { return "L" + std::to_string(pc); };
    auto constant = [&](int k) {
        if (k < 0 || static_cast<size_t>(k) >= code.Constants.size())
            refuse(what + " names a constant it does not have");
        return literal(code.Constants[static_cast<size_t>(k)]);
    };
    auto checkSlot = [&](int a) -> const std::string& {
        if (a < 0 || static_cast<size_t>(a) >= slots)
            refuse(what + " names a variable it does not have");
        return slot(a);
    };
    auto epilogue = [&]() {
        std::string e = "  do\n";
        if (condition) {
            use("tb");
            e += "    return tb(" + slot(0) + ")\n";
        } else {
            std::vector<std::pair<std::string, std::string>> writes;
            for (size_t k = 0; k < slots; ++k)
                if (varOf[k] && (varOf[k]->Role == TRoutineVar::Output || varOf[k]->Role == TRoutineVar::Internal) &&
                    code.Symbols[k].Kind == sskVarParam)
                    writes.emplace_back(idOf(*varOf[k]), convertFor(*varOf[k], slot(static_cast<int>(k))));
            for (size_t k = 0; k < writes.size(); ++k)
                e += "    local w" + std::to_string(k) + " = " + writes[k].second + "\n";
            for (size_t k = 0; k < writes.size(); ++k)
                e += "    fb[" + writes[k].first + "] = w" + std::to_string(k) + "\n";
            e += "    return\n";
        }
        return e + "  end\n";
    };

    for (size_t pc = 0; pc < in.size(); ++pc) {
        if (target[pc])
            put(s, "  ::", label(static_cast<int>(pc)), "::\n");
        if (depth[pc] < 0)
            continue; // never reached
        const TScriptInstr& i = in[pc];
        const int d = depth[pc];
        const int op = static_cast<int>(i.Op);
        if (op >= static_cast<int>(Op::PLUS) && op < static_cast<int>(Op::UPLUS)) {
            const int family = (op - static_cast<int>(Op::PLUS)) / 4, form = (op - static_cast<int>(Op::PLUS)) % 4;
            const char* h = binaryHelper[family];
            use(h);
            std::string left, right;
            switch (form) {
            case 0: left = stackAt(d - 1); right = "R"; break;
            case 1: left = "R"; right = checkSlot(i.A); break;
            case 2: left = "R"; right = constant(i.A); break;
            default: left = checkSlot(i.A); right = "R"; break;
            }
            put(s, "  R = ", std::string(h), "(", left, ", ", right, ")\n");
            continue;
        }
        switch (i.Op) {
        case Op::NOP: case Op::BREAKPOINT: case Op::WITHBEGIN: case Op::WITHEND: case Op::UPLUS: break;
        case Op::UMINUS: use("neg"); s += "  R = neg(R)\n"; break;
        case Op::NOT: use("lnot"); s += "  R = lnot(R)\n"; break;
        case Op::LOADK: put(s, "  R = ", constant(i.A), "\n"); break;
        case Op::LOADVAR: case Op::LOADREF: case Op::LOADADDR: put(s, "  R = ", checkSlot(i.A), "\n"); break;
        case Op::LOADELEM: case Op::LOADELEMREF:
            if (i.B != 1) {
                use("fail");
                s += "  fail(\"Multidimensional arrays are not supported\")\n";
            } else {
                use("elem");
                put(s, "  R = elem(", checkSlot(i.A), ", ", stackAt(d - 1), ")\n");
            }
            break;
        case Op::STOREVAR: case Op::STOREREF: put(s, "  ", checkSlot(i.A), " = R\n"); break;
        case Op::STOREELEM: case Op::STOREELEMREF:
            if (i.B != 1) {
                use("fail");
                s += "  fail(\"Multidimensional arrays are not supported\")\n";
            } else {
                use("setelem");
                put(s, "  ", checkSlot(i.A), " = setelem(", checkSlot(i.A), ", ", stackAt(d - 1), ", R)\n");
            }
            break;
        case Op::LOADHOST: case Op::STOREHOST: {
            // A name the script does not declare: the simulation finds no
            // such routine on its host and fails the script; so does this.
            if (i.A < 0 || static_cast<size_t>(i.A) >= code.Names.size())
                refuse(what + " names a routine it does not have");
            const std::string& name = code.Names[static_cast<size_t>(i.A)];
            if (IsBuiltinScriptMember(name) || ScriptSystemScope().FindMember(name))
                refuse(what + " calls " + name + ", which the runtime's form does not carry");
            use("fail");
            put(s, "  fail(", LuaStringLiteral("Method not found. Method: " + name), ")\n");
            break;
        }
        case Op::INC: case Op::DEC:
            use("add");
            put(s, "  ", checkSlot(i.A), " = add(", checkSlot(i.A), ", ", (i.Op == Op::INC ? "1" : "-1"), ")\n");
            break;
        case Op::PUSH: put(s, "  ", stackAt(d), " = R\n"); break;
        case Op::POP: put(s, "  R = ", stackAt(d - 1), "\n"); break;
        case Op::JUMP: put(s, "  goto ", label(i.A), "\n"); break;
        case Op::JUMPFALSE: use("tb"); put(s, "  if not tb(R) then goto ", label(i.A), " end\n"); break;
        case Op::JUMPTRUE: use("tb"); put(s, "  if tb(R) then goto ", label(i.A), " end\n"); break;
        case Op::JUMPSHORT:
            put(s, std::string("  if R == "), (i.C ? "true" : "false"), " then goto ", label(i.A), " end\n");
            break;
        case Op::JUMPCMP_V: case Op::JUMPCMP_K: {
            if (i.C > 5)
                refuse(what + " compares in a way the engine does not know");
            use(comparison[i.C]);
            const std::string right = i.Op == Op::JUMPCMP_V ? checkSlot(i.B) : constant(i.B);
            put(s, std::string("  if not "), comparison[i.C], "(R, ", right, ") then goto ", label(i.A), " end\n");
            break;
        }
        case Op::LOOP: put(s, "  tick()\n  goto ", label(i.A), "\n"); break;
        case Op::FORTEST: {
            const char* c = i.C == 0 ? "le" : "ge";
            use(c);
            put(s, std::string("  if not "), c, "(", checkSlot(i.B), ", R) then goto ", label(i.A), " end\n");
            break;
        }
        case Op::FORSTEP:
            use("add");
            put(s, "  ", checkSlot(i.B), " = add(", checkSlot(i.B), ", ", (i.C == 0 ? "1" : "-1"), ")\n");
            put(s, "  tick()\n  goto ", label(i.A), "\n");
            break;
        case Op::FORNEXT: case Op::FORNEXTDOWN: {
            const bool up = i.Op == Op::FORNEXT;
            const char* c = up ? "le" : "ge";
            use("add");
            use(c);
            const std::string v = checkSlot(i.C);
            put(s, "  ", v, " = add(", v, ", ", (up ? "1" : "-1"), ")\n  tick()\n");
            put(s, std::string("  if "), c, "(", v, ", ", constant(i.B), ") then goto ", label(i.A), " end\n");
            break;
        }
        case Op::ENTER: {
            // The routine's locals start empty (constants with their value);
            // then every variable takes the value it has in the runtime.
            for (size_t k = static_cast<size_t>(code.ParamCount); k < slots; ++k)
                s += "  " + slot(static_cast<int>(k)) + " = " +
                     (code.Symbols[k].Kind == sskConst ? literal(code.Symbols[k].Value) : std::string("nil")) + "\n";
            for (size_t k = 0; k < slots; ++k)
                if (varOf[k])
                    put(s, "  ", slot(static_cast<int>(k)), " = ", readVar(*varOf[k]), "\n");
            break;
        }
        case Op::EXIT: s += epilogue(); break;
        default: refuse(what + " uses an instruction the runtime's form does not carry");
        }
    }
    s += "end\n";
    return s;
}

TLuaForm TChunkWriter::Make()
{
    const TFB_Type& t = type_;
    if (t.Composite)
        refuse("it is a composite type");
    if (t.States.empty() && t.Transitions.empty())
        refuse("it has no ECC");
    if (!t.Plugs.empty() || !t.Sockets.empty())
        refuse("it has adapters");
    if (t.EventInputs.size() >= kMaxPorts || t.EventOutputs.size() >= kMaxPorts || t.DataInputs.size() >= kMaxPorts ||
        t.DataOutputs.size() >= kMaxPorts || t.InternalVars.size() >= kMaxPorts)
        refuse("it has more than " + std::to_string(kMaxPorts - 1) + " ports of one kind");
    auto checkType = [&](const std::string& name, const std::string& typeText, const std::string& arraySize) {
        if (!LuaFormCarriesType(typeText))
            refuse("the runtime's form carries no data type " + typeText + " (" + name + ")");
        if (!arraySize.empty())
            refuse(name + " is an array");
    };
    for (const auto& d : t.DataInputs)
        checkType(d->Name, d->Type, d->ArraySize);
    for (const auto& d : t.DataOutputs)
        checkType(d->Name, d->Type, d->ArraySize);
    for (const auto& v : t.InternalVars)
        checkType(v->Name, v->Type, v->ArraySize);

    states_ = {"START", "START"};
    for (const auto& st : t.States)
        stateIndex(st->Name);
    for (const auto& tr : t.Transitions) {
        stateIndex(tr->Source);
        stateIndex(tr->Destination);
    }

    std::string body;
    int routines = 0;

    // Transitions in the order the simulation tries them, by source state.
    std::map<int, std::vector<std::string>> transitions;
    for (const auto& tr : t.Transitions) {
        const std::string condition = ConditionScriptText(tr->Condition, t);
        const std::string dest = std::to_string(stateIndex(tr->Destination));
        if (condition == "1") {
            transitions[stateIndex(tr->Source)].push_back("{true, " + dest + "}");
            continue;
        }
        const TScriptNameSet names(condition);
        std::vector<TRoutineVar> vars{{"theResult", TRoutineVar::Result, 0, "BOOL"}};
        std::string script = "procedure chkTransition( var theResult:Boolean);\r\n";
        for (size_t i = 0; i < t.EventInputs.size(); ++i)
            if (names.Uses(t.EventInputs[i]->Name)) {
                script += "var " + t.EventInputs[i]->Name + ":Boolean;\r\n";
                vars.push_back({t.EventInputs[i]->Name, TRoutineVar::Event, static_cast<int>(i), "BOOL"});
            }
        for (size_t i = 0; i < t.DataInputs.size(); ++i)
            if (names.Uses(t.DataInputs[i]->Name)) {
                script += "var " + t.DataInputs[i]->Name + ":" + ScriptTypeName(t.DataInputs[i]->Type) + ";\r\n";
                vars.push_back({t.DataInputs[i]->Name, TRoutineVar::Input, static_cast<int>(i), t.DataInputs[i]->Type});
            }
        for (size_t i = 0; i < t.InternalVars.size(); ++i)
            if (names.Uses(t.InternalVars[i]->Name)) {
                script += "var " + t.InternalVars[i]->Name + ":" + ScriptTypeName(t.InternalVars[i]->Type) + ";\r\n";
                vars.push_back(
                    {t.InternalVars[i]->Name, TRoutineVar::Internal, static_cast<int>(i), t.InternalVars[i]->Type});
            }
        script += "begin\r\ntheResult:= " + condition + ";\r\nend;";
        const std::string fn = "r" + std::to_string(++routines);
        body += routine(fn, script, vars, true,
                        "the condition of the transition from " + tr->Source + " to " + tr->Destination);
        transitions[stateIndex(tr->Source)].push_back("{" + fn + ", " + dest + "}");
    }

    // Actions of each state: the algorithm (or false) and the output event
    // index (or false).
    std::map<const TFBAlgorithm*, std::string> algorithmFn;
    std::map<int, std::vector<std::string>> actions;
    for (const auto& st : t.States) {
        for (const auto& action : st->Actions) {
            std::string fn = "false";
            if (const TFBAlgorithm* alg = t.FindAlgorithm(action->Algorithm)) {
                if (auto it = algorithmFn.find(alg); it != algorithmFn.end()) {
                    fn = it->second;
                } else if (alg->OtherText.empty() && alg->STText.empty() && alg->Rungs.empty() && !alg->HasFBD) {
                    // No text in any language: nothing runs, as in the simulation.
                    algorithmFn[alg] = fn;
                } else {
                    if (!EngineRunsLanguage(alg->Language)) {
                        std::string language = alg->Language;
                        if (language.empty())
                            language = !alg->STText.empty() ? "ST" : alg->HasFBD ? "FBD" : !alg->Rungs.empty() ? "LD" : "no language";
                        refuse("algorithm " + alg->Name + " is in " + language + ", which the simulation does not run");
                    }
                    std::vector<std::string> lines;
                    try {
                        lines = AlgorithmScriptLines(*alg, t);
                    } catch (const EScriptError& e) {
                        refuse("algorithm " + alg->Name + ": " + e.what());
                    }
                    if (!lines.empty()) {
                        fn = "r" + std::to_string(++routines);
                        body += algorithm(fn, lines, "algorithm " + alg->Name);
                    }
                    algorithmFn[alg] = fn;
                }
            }
            const int out = t.IndexOfEventOutput(action->Output);
            actions[stateIndex(st->Name)].push_back("{" + fn + ", " + (out >= 0 ? std::to_string(out) : "false") + "}");
        }
    }
    TLuaForm form;
    form.Text = finish(body, transitions, actions);
    form.States = states_;
    return form;
}

// The script the simulation runs for an algorithm, without the lines that
// set the variables' present values: the chunk sets those itself.
std::string TChunkWriter::algorithm(const std::string& function, const std::vector<std::string>& lines,
                                    const std::string& what)
{
    const TFB_Type& t = type_;
    const TScriptNameSet names(lines);
    std::vector<TRoutineVar> vars;
    std::string params;
    for (size_t i = 0; i < t.DataOutputs.size(); ++i)
        if (names.UsesOutput(t.DataOutputs[i]->Name)) {
            params += "var DO_" + t.DataOutputs[i]->Name + ":" + ScriptTypeName(t.DataOutputs[i]->Type) + ";\r\n";
            vars.push_back({"DO_" + t.DataOutputs[i]->Name, TRoutineVar::Output, static_cast<int>(i), t.DataOutputs[i]->Type});
        }
    for (size_t i = 0; i < t.InternalVars.size(); ++i)
        if (names.Uses(t.InternalVars[i]->Name)) {
            params += "var " + t.InternalVars[i]->Name + ":" + ScriptTypeName(t.InternalVars[i]->Type) + ";\r\n";
            vars.push_back({t.InternalVars[i]->Name, TRoutineVar::Internal, static_cast<int>(i), t.InternalVars[i]->Type});
        }
    std::string script = params.empty() ? "procedure execAlg;\r\n" : "procedure execAlg(\r\n" + params + "            );\r\n";
    for (size_t i = 0; i < t.EventInputs.size(); ++i)
        if (names.Uses(t.EventInputs[i]->Name)) {
            script += "var " + t.EventInputs[i]->Name + ":Boolean;\r\n";
            vars.push_back({t.EventInputs[i]->Name, TRoutineVar::Event, static_cast<int>(i), "BOOL"});
        }
    for (size_t i = 0; i < t.DataInputs.size(); ++i)
        if (names.Uses(t.DataInputs[i]->Name)) {
            script += "var " + t.DataInputs[i]->Name + ":" + ScriptTypeName(t.DataInputs[i]->Type) + ";\r\n";
            vars.push_back({t.DataInputs[i]->Name, TRoutineVar::Input, static_cast<int>(i), t.DataInputs[i]->Type});
        }
    script += "begin\r\n//The FB Algorithm\r\n";
    for (const auto& l : lines)
        script += l + "\r\n";
    script += "end;";
    return routine(function, script, vars, false, what);
}

namespace {

std::string listOf(const std::vector<std::string>& items)
{
    std::string s = "{";
    for (size_t i = 0; i < items.size(); ++i)
        s += (i ? ", " : "") + items[i];
    return s + "}";
}

template <typename List>
std::string namesOf(const List& list)
{
    std::vector<std::string> items;
    for (const auto& x : list)
        items.push_back(LuaStringLiteral(x->Name));
    return listOf(items);
}

template <typename List>
std::string typesOf(const List& list)
{
    std::vector<std::string> items;
    for (const auto& x : list)
        items.push_back(LuaStringLiteral(x->Type));
    return listOf(items);
}

// The WITH lists of events: the data indexes of each event's list, each list
// ended by 255, and where each event's list starts (-1: none).
template <typename Events, typename Data>
std::string withOf(const Events& events, const Data& data, std::string& starts)
{
    std::vector<std::string> with, start;
    for (const auto& e : events) {
        std::vector<std::string> mine;
        for (const TFBDataMemberType* w : e->With)
            for (size_t i = 0; i < data.size(); ++i)
                if (data[i].get() == w)
                    mine.push_back(std::to_string(i));
        if (mine.empty()) {
            start.push_back("-1");
            continue;
        }
        start.push_back(std::to_string(with.size()));
        with.insert(with.end(), mine.begin(), mine.end());
        with.push_back(std::to_string(kMaxPorts));
    }
    starts = listOf(start);
    return listOf(with);
}

std::string tableOf(const std::map<int, std::vector<std::string>>& entries)
{
    std::string s = "{\n";
    for (const auto& [state, list] : entries)
        s += "  [" + std::to_string(state) + "] = " + listOf(list) + ",\n";
    return s + "}";
}

const char* const kEcc = R"(local function ECC(fb, ev)
  local s = fb[0]
  if s == 0 then
    init(fb)
    s = 1
    fb[0] = s
  end
  steps = BUDGET
  while true do
    local ts, dest = T[s], nil
    if ts then
      for i = 1, #ts do
        local c = ts[i][1]
        if c == true then
          dest = ts[i][2]
          break
        end
        local ok, r = pcall(c, fb, ev)
        if ok then
          if r then
            dest = ts[i][2]
            break
          end
        elseif r == LIMIT then
          error(r, 0)
        end
      end
    end
    if not dest then return end
    tick()
    s = dest
    fb[0] = s
    local as = A[s]
    if as then
      for i = 1, #as do
        local a = as[i]
        if a[1] then
          local ok, r = pcall(a[1], fb, ev)
          if not ok and r == LIMIT then error(r, 0) end
        end
        if a[2] then fb(a[2]) end
      end
    end
    ev = nil
  end
end
)";

} // namespace

std::string TChunkWriter::finish(const std::string& body, const std::map<int, std::vector<std::string>>& transitions,
                                 const std::map<int, std::vector<std::string>>& actions)
{
    const TFB_Type& t = type_;
    std::string init = "local function init(fb)\n";
    for (size_t i = 0; i < t.InternalVars.size(); ++i)
        init += "  fb[" + std::to_string(kInternalVarId | static_cast<int64_t>(i)) + "] = " + initialValue(*t.InternalVars[i]) + "\n";
    init += "end\n";

    std::string s;
    for (size_t i = 0; i < helpers().size(); ++i)
        if (used_[i])
            s += helpers()[i].Code;
    s += "local LIMIT, BUDGET, steps = \"Instruction limit reached\", " + std::to_string(kLuaStepBudget) + ", 0\n";
    s += "local function tick()\n  steps = steps - 1\n  if steps < 0 then error(LIMIT, 0) end\nend\n";
    s += body;
    s += init;
    s += "local T = " + tableOf(transitions) + "\n";
    s += "local A = " + tableOf(actions) + "\n";
    s += kEcc;
    std::string eiStarts, eoStarts;
    const std::string eiWith = withOf(t.EventInputs, t.DataInputs, eiStarts);
    const std::string eoWith = withOf(t.EventOutputs, t.DataOutputs, eoStarts);
    s += "return {\n  ECC = ECC,\n  interfaceSpec = {\n";
    s += "    numEIs = " + std::to_string(t.EventInputs.size()) + ", EINames = " + namesOf(t.EventInputs) +
         ", EIWith = " + eiWith + ", EIWithIndexes = " + eiStarts + ",\n";
    s += "    numEOs = " + std::to_string(t.EventOutputs.size()) + ", EONames = " + namesOf(t.EventOutputs) +
         ", EOWith = " + eoWith + ", EOWithIndexes = " + eoStarts + ",\n";
    s += "    numDIs = " + std::to_string(t.DataInputs.size()) + ", DINames = " + namesOf(t.DataInputs) +
         ", DIDataTypeNames = " + typesOf(t.DataInputs) + ",\n";
    s += "    numDOs = " + std::to_string(t.DataOutputs.size()) + ", DONames = " + namesOf(t.DataOutputs) +
         ", DODataTypeNames = " + typesOf(t.DataOutputs) + ",\n";
    s += "    numAdapters = 0, adapterInstanceDefinition = {},\n  },\n";
    s += "  internalVarsInformation = {\n    numIntVars = " + std::to_string(t.InternalVars.size()) +
         ", intVarsNames = " + namesOf(t.InternalVars) + ", intVarsDataTypeNames = " + typesOf(t.InternalVars) +
         ",\n  },\n}\n";
    if (s.find("internalFBs") != std::string::npos)
        refuse("its Lua form would read as a composite type");
    return s;
}


} // namespace

bool LuaFormCarriesType(const std::string& typeText) { return carriedTypes().count(typeText) > 0; }

std::string LuaStringLiteral(std::string_view text)
{
    static constexpr std::string_view kComposite = "internalFBs";
    std::string s = "\"";
    s.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // The runtime takes a chunk holding this word anywhere for a
        // composite type.
        const bool composite = c == 'i' && text.compare(i, kComposite.size(), kComposite) == 0;
        if (c < 32 || c > 126 || c == '"' || c == '\\' || c == '\'' || composite) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03u", c);
            s += buf;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s + "\"";
}

TLuaForm MakeLuaForm(const TFB_Type& type) { return TChunkWriter(type).Make(); }

} // namespace telvo
