#include "runtime/simulation_host.h"

#include "model/fb_instance.h"
#include "model/value_text.h"
#include "runtime/script/script_errors.h"
#include "runtime/script_generation.h"
#include "runtime/script/script_value.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace telvo {

// ---- TScheduleTable ----

namespace {

// Steps only grow, so a new column almost always goes at the end.
void addColumn(std::vector<int32_t>& columns, int32_t col)
{
    if (columns.empty() || columns.back() < col)
        columns.push_back(col);
    else if (!std::binary_search(columns.begin(), columns.end(), col))
        columns.insert(std::lower_bound(columns.begin(), columns.end(), col), col);
}

} // namespace

TScheduleTable::TScheduleTable(std::string header) : header_(std::move(header)) {}

void TScheduleTable::Reset()
{
    colCount_ = 2;
    currentCol_ = 1;
    currentRow_ = 1;
    headed_.clear();
    labels_.clear();
    marks_.clear();
    rowOf_.clear();
}

int32_t TScheduleTable::RowCount() const { return std::max<int32_t>(2, static_cast<int32_t>(labels_.size()) + 1); }

void TScheduleTable::Record(const std::string& label, int32_t step)
{
    if (step < 0)
        return;
    const int32_t col = step + 1;
    colCount_ = step + 2;
    addColumn(headed_, col);
    auto [it, added] = rowOf_.try_emplace(label, static_cast<int32_t>(labels_.size()) + 1);
    if (added) {
        labels_.push_back(label);
        marks_.emplace_back();
    }
    const int32_t row = it->second;
    addColumn(marks_[row - 1], col);
    currentCol_ = col;
    currentRow_ = row;
}

std::string TScheduleTable::Cell(int32_t col, int32_t row) const
{
    if (col < 0 || row < 0 || col >= colCount_ || row >= RowCount())
        return {};
    if (row == 0) {
        if (col == 0)
            return header_;
        return std::binary_search(headed_.begin(), headed_.end(), col) ? "t" + std::to_string(col) : std::string();
    }
    if (row > static_cast<int32_t>(labels_.size()))
        return {};
    if (col == 0)
        return labels_[row - 1];
    const auto& marks = marks_[row - 1];
    return std::binary_search(marks.begin(), marks.end(), col) ? "--" : "";
}

std::vector<std::string> TScheduleTable::Lines() const
{
    std::vector<std::string> lines;
    const int32_t rows = RowCount();
    lines.reserve(rows);
    for (int32_t r = 0; r < rows; ++r) {
        std::string line;
        for (int32_t c = 0; c < colCount_; ++c) {
            if (c)
                line += '\t';
            line += Cell(c, r);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// ---- TSimulationScripts ----

namespace {

// How a member's value travels to its cell and back: by the class that
// holds it, except that the IEC integer types held as texts travel as
// integers.
struct TSlot {
    TDataTypeClass Class;
    const std::string& Name;
    const std::string& Type;
};

// Cells follow the member's data type: Boolean, 32-bit integer, double or
// text; an integer held as text is a 32-bit integer, or a double beyond.
TVariant cellFor(const TSlot& slot, bool b, int32_t i, double r, const std::string& s)
{
    switch (slot.Class) {
    case TDataTypeClass::Boolean: return TVariant(b);
    case TDataTypeClass::Integer: return TVariant(i);
    case TDataTypeClass::Real: return TVariant(r);
    case TDataTypeClass::String: break;
    }
    int64_t value = 0;
    if (TextIntegerForScript(slot.Name, slot.Type, s, value)) {
        if (value >= INT32_MIN && value <= INT32_MAX)
            return TVariant(static_cast<int32_t>(value));
        return TVariant(static_cast<double>(value));
    }
    return TVariant(s);
}

// The converted result of one cell, taken before anything is written so
// that a cell that does not convert leaves every member as it was.
struct TWriteBack {
    bool B = false;
    int32_t I = 0;
    double R = 0;
    std::string S;
};

TWriteBack convert(const TSlot& slot, const TVariant& cell)
{
    TWriteBack w;
    const TVariant& v = cell.Deref();
    switch (slot.Class) {
    case TDataTypeClass::Boolean: w.B = v.ToBoolean(); break;
    case TDataTypeClass::Integer: w.I = v.ToInteger(); break;
    case TDataTypeClass::Real: w.R = v.ToFloat(); break;
    case TDataTypeClass::String:
        if (!TextIntegerFromScript(slot.Name, slot.Type, v, w.S))
            w.S = v.ToText();
        break;
    }
    return w;
}

template <typename Member>
void store(TDataTypeClass cls, Member& m, TWriteBack& w)
{
    switch (cls) {
    case TDataTypeClass::Boolean: m.BoolValue = w.B; break;
    case TDataTypeClass::Integer: m.IntValue = w.I; break;
    case TDataTypeClass::Real: m.RealValue = w.R; break;
    case TDataTypeClass::String: m.StrValue = std::move(w.S); break;
    }
}

const std::string& typeOf(const TFBDataMember& m)
{
    static const std::string none;
    return m.Decl ? m.Decl->Type : none;
}

const std::string& typeOf(const TFBInstance_InternalVar& v)
{
    static const std::string none;
    return v.Decl ? v.Decl->Type : none;
}

const std::string& nameOf(const TFBInstance_InternalVar& v)
{
    static const std::string none;
    return v.Decl ? v.Decl->Name : none;
}

} // namespace

TSimulationScripts::TSimulationScripts(TScriptObject* scope) : scope_(scope), runner_(std::make_unique<TScriptRunner>())
{
}

TSimulationScripts::~TSimulationScripts() = default;

TSimulationScripts::TCompiled* TSimulationScripts::TCache::Find(const std::string& key)
{
    auto it = index_.find(key);
    if (it == index_.end())
        return nullptr;
    lru_.splice(lru_.begin(), lru_, it->second);
    return &it->second->Compiled;
}

TSimulationScripts::TCompiled& TSimulationScripts::TCache::Add(std::string key, TCompiled compiled)
{
    if (index_.size() >= kCacheSize) {
        index_.erase(lru_.back().Key);
        lru_.pop_back();
    }
    lru_.push_front(TEntry{std::move(key), std::move(compiled)});
    index_.emplace(lru_.front().Key, lru_.begin());
    return lru_.front().Compiled;
}

namespace {

// One start value of a generated script: "<name>:=<literal>;" right after
// "begin".
struct TStartValue {
    std::string_view Name;
    TVariant Value;
};

bool identChar(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c >= 192;
}

// A literal the engine reads as exactly this value: a 32-bit integer, a
// float with digits on both sides of the point (read the way the engine
// reads it), or True/False. A leading "-" is the engine's negation.
bool readLiteral(std::string_view text, TVariant& value)
{
    if (SameScriptName(text, "true") || SameScriptName(text, "false")) {
        value = TVariant(SameScriptName(text, "true"));
        return true;
    }
    const bool negative = !text.empty() && text.front() == '-';
    std::string_view digits = negative ? text.substr(1) : text;
    const size_t dot = digits.find('.');
    auto allDigits = [](std::string_view d) {
        return !d.empty() && std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (dot == std::string_view::npos) {
        if (!allDigits(digits) || digits.size() > 10)
            return false;
        int64_t v = 0;
        for (char c : digits)
            v = v * 10 + (c - '0');
        if (v > INT32_MAX)
            return false;
        value = TVariant(static_cast<int32_t>(negative ? -v : v));
        return true;
    }
    if (!allDigits(digits.substr(0, dot)) || !allDigits(digits.substr(dot + 1)))
        return false;
    double d = 0;
    auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), d);
    if (ec != std::errc() || p != digits.data() + digits.size())
        return false;
    value = TVariant(negative ? -d : d);
    return true;
}

// The shape of a script: its text with the start values left out. False
// when a start value is no plain literal (a text value, a number in
// exponent form): such a script is compiled as it is.
bool shapeOf(const std::string& script, std::string& shape, std::vector<TStartValue>& values)
{
    static constexpr std::string_view kBegin = "\r\nbegin\r\n";
    const size_t begin = script.find(kBegin);
    if (begin == std::string::npos)
        return false;
    shape.assign(script, 0, begin + kBegin.size());
    size_t pos = begin + kBegin.size();
    for (;;) {
        const size_t eol = script.find("\r\n", pos);
        if (eol == std::string::npos)
            break;
        const std::string_view line(script.data() + pos, eol - pos);
        const size_t assign = line.find(":=");
        if (assign == std::string_view::npos || assign == 0 || line.size() < assign + 4 || line.back() != ';' ||
            !std::all_of(line.begin(), line.begin() + assign, [](char c) { return identChar(static_cast<unsigned char>(c)); }))
            break;
        TVariant v;
        if (!readLiteral(line.substr(assign + 2, line.size() - assign - 3), v)) {
            // "theResult:= <condition>;" and the algorithm's comment end the
            // start values; an assignment of anything else is no shape.
            if (line[assign + 2] == ' ')
                break;
            return false;
        }
        values.push_back({line.substr(0, assign), std::move(v)});
        shape.append(line.substr(0, assign + 2));
        shape += "\x01;\r\n";
        pos = eol + 2;
    }
    shape.append(script, pos, std::string::npos);
    return true;
}

bool sameValue(const TVariant& a, const TVariant& b)
{
    if (a.Kind() != b.Kind())
        return false;
    switch (a.Kind()) {
    case TVariantKind::Boolean: return a.AsBoolean() == b.AsBoolean();
    case TVariantKind::Integer: return a.AsInteger() == b.AsInteger();
    case TVariantKind::Float: return a.AsFloat() == b.AsFloat();
    default: return false;
    }
}

// Gives each start value a constant of its own, once the compiled code is
// seen to begin as the compiler begins such a script: the routine's entry,
// then for every start value a load of its literal and a store to its
// variable. Anything else leaves the code as it is (false).
bool makeTemplate(TScriptCode& code, const std::vector<TStartValue>& values, std::vector<int>& slots)
{
    const auto& in = code.Instructions;
    if (in.size() < 1 + 2 * values.size() || in[0].Op != TScriptOpcode::ENTER)
        return false;
    for (size_t i = 0; i < values.size(); ++i) {
        const TScriptInstr& load = in[1 + 2 * i];
        const TScriptInstr& store = in[2 + 2 * i];
        if (load.Op != TScriptOpcode::LOADK || load.A < 0 || static_cast<size_t>(load.A) >= code.Constants.size() ||
            !sameValue(code.Constants[load.A], values[i].Value))
            return false;
        if ((store.Op != TScriptOpcode::STOREVAR && store.Op != TScriptOpcode::STOREREF) || store.A < 0 ||
            static_cast<size_t>(store.A) >= code.Symbols.size() ||
            !SameScriptName(code.Symbols[store.A].Name, values[i].Name))
            return false;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        code.Constants.push_back(values[i].Value);
        slots.push_back(static_cast<int>(code.Constants.size()) - 1);
        code.Instructions[1 + 2 * i].A = slots.back();
    }
    return true;
}

} // namespace

const TScriptCode& TSimulationScripts::compiled(const std::string& script)
{
    std::string shape;
    std::vector<TStartValue> values;
    if (shapeOf(script, shape, values)) {
        TCompiled* c = shapes_.Find(shape);
        if (!c) {
            auto code = std::make_unique<TScriptCode>(script);
            ++compilations_;
            code->SetCompiled(true); // a failure throws and caches nothing
            TCompiled fresh;
            if (makeTemplate(*code, values, fresh.Slots)) {
                fresh.Code = std::move(code);
                return *shapes_.Add(std::move(shape), std::move(fresh)).Code;
            }
            // Remember that this shape takes no new values, and keep the
            // code under its text.
            shapes_.Add(std::move(shape), TCompiled{});
            TCompiled exact;
            exact.Code = std::move(code);
            return *texts_.Add(script, std::move(exact)).Code;
        }
        if (c->Code) {
            for (size_t i = 0; i < values.size(); ++i)
                c->Code->Constants[c->Slots[i]] = std::move(values[i].Value);
            return *c->Code;
        }
    }
    if (TCompiled* c = texts_.Find(script))
        return *c->Code;
    auto code = std::make_unique<TScriptCode>(script);
    ++compilations_;
    code->SetCompiled(true);
    TCompiled exact;
    exact.Code = std::move(code);
    return *texts_.Add(script, std::move(exact)).Code;
}

TVariant TSimulationScripts::run(const TScriptCode& code)
{
    {
        std::lock_guard lock(runnerMutex_);
        running_ = true;
    }
    struct TDone {
        TSimulationScripts& S;
        ~TDone()
        {
            std::lock_guard lock(S.runnerMutex_);
            S.running_ = false;
            // A termination asked for just as the script ended is still
            // pending in the runner and would end the next, innocent script:
            // a fresh runner forgets it.
            if (S.runner_->Terminated())
                S.runner_ = std::make_unique<TScriptRunner>();
        }
    } done{*this};
    return runner_->Run(code, scope_);
}

bool TSimulationScripts::EvaluateTransition(const std::string& script)
{
    const TScriptCode& code = compiled(script);
    TVariant result;
    runner_->PushReference(result);
    run(code);
    return result.ToBoolean();
}

void TSimulationScripts::ExecuteAlgorithm(const std::string& script, const std::vector<TFBDataMember*>& outputs,
                                          const std::vector<TFBInstance_InternalVar*>& variables)
{
    const TScriptCode& code = compiled(script);
    std::vector<TVariant> cells;
    std::vector<TSlot> slots;
    cells.reserve(outputs.size() + variables.size());
    slots.reserve(cells.capacity());
    for (const TFBDataMember* m : outputs) {
        slots.push_back({DataTypeClass(typeOf(*m)), m->Name(), typeOf(*m)});
        cells.push_back(cellFor(slots.back(), m->BoolValue, m->IntValue, m->RealValue, m->StrValue));
    }
    for (const TFBInstance_InternalVar* v : variables) {
        slots.push_back({DataTypeClass(typeOf(*v)), nameOf(*v), typeOf(*v)});
        cells.push_back(
            cellFor(slots.back(), v->BoolValue, v->IntValue, static_cast<double>(v->RealValue), v->StrValue));
    }
    for (auto& c : cells)
        runner_->PushReference(c);
    run(code);

    std::vector<TWriteBack> results;
    results.reserve(cells.size());
    for (size_t k = 0; k < cells.size(); ++k)
        results.push_back(convert(slots[k], cells[k]));
    size_t k = 0;
    for (TFBDataMember* m : outputs) {
        store(slots[k].Class, *m, results[k]);
        ++k;
    }
    for (TFBInstance_InternalVar* v : variables) {
        store(slots[k].Class, *v, results[k]);
        ++k;
    }
}

void TSimulationScripts::Terminate()
{
    std::lock_guard lock(runnerMutex_);
    if (running_)
        runner_->Terminate();
}

// ---- THeadlessSimulationHost ----

THeadlessSimulationHost::THeadlessSimulationHost() = default;
THeadlessSimulationHost::~THeadlessSimulationHost() = default;

void THeadlessSimulationHost::AddLogLine(const std::string& text)
{
    std::lock_guard lock(mutex_);
    log_.push_back(text);
}

void THeadlessSimulationHost::ShowScheduleEntry(const std::string& fbName, const std::string& eventName, int32_t step)
{
    std::lock_guard lock(mutex_);
    events_.Record(fbName + "." + eventName + "()", step);
    fbs_.Record(fbName, step);
}

bool THeadlessSimulationHost::EvaluateTransitionScript(const std::string& script)
{
    return scripts_.EvaluateTransition(script);
}

void THeadlessSimulationHost::ExecuteAlgorithmScript(const std::string& script,
                                                     const std::vector<TFBDataMember*>& outputs,
                                                     const std::vector<TFBInstance_InternalVar*>& variables)
{
    scripts_.ExecuteAlgorithm(script, outputs, variables);
}

void THeadlessSimulationHost::TerminateScript() { scripts_.Terminate(); }

void THeadlessSimulationHost::ResetSchedule()
{
    std::lock_guard lock(mutex_);
    events_.Reset();
    fbs_.Reset();
}

std::vector<std::string> THeadlessSimulationHost::LogLines() const
{
    std::lock_guard lock(mutex_);
    return log_;
}

TScheduleTable THeadlessSimulationHost::EventsTable() const
{
    std::lock_guard lock(mutex_);
    return events_;
}

TScheduleTable THeadlessSimulationHost::FBTable() const
{
    std::lock_guard lock(mutex_);
    return fbs_;
}

} // namespace telvo
