// The shipped blocks as the simulation runs them: every transition check
// and every algorithm becomes a script of the simulation's form and runs in
// the real script engine, one ECC step per event, re-evaluated without an
// event until no transition fires.

#include "shipped_library/shipped_behaviour_cases.h"
#include "shipped_library/shipped_library.h"

#include "model/file_util.h"
#include "model/value_text.h"
#include "runtime/script/script_runner.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace telvo;
using namespace telvo::test;

namespace {

bool Occurs(const std::string& name, const std::string& text) { return UpperCase(text).find(UpperCase(name)) != std::string::npos; }

bool OccursInLines(const std::string& name, const std::vector<std::string>& lines)
{
    for (const auto& l : lines)
        if (Occurs(name, l))
            return true;
    return false;
}

TVariant ToScriptValue(const TValueHolder& v)
{
    switch (v.Class) {
    case TDataTypeClass::Boolean:
        return TVariant(v.BoolValue);
    case TDataTypeClass::Integer:
        return TVariant(v.IntValue);
    case TDataTypeClass::Real:
        return TVariant(static_cast<double>(v.RealValue));
    case TDataTypeClass::String:
        break;
    }
    return TVariant(v.StringValue);
}

void FromScriptValue(const TVariant& cell, TValueHolder& v)
{
    const TVariant& value = cell.Deref();
    switch (v.Class) {
    case TDataTypeClass::Boolean:
        v.BoolValue = value.ToBoolean();
        break;
    case TDataTypeClass::Integer:
        v.IntValue = value.ToInteger();
        break;
    case TDataTypeClass::Real:
        v.RealValue = value.ToFloat();
        break;
    case TDataTypeClass::String:
        v.StringValue = value.ToText();
        break;
    }
}

// One block's values and chart position, stepped the way a runtime FB does.
class TScriptedFB {
public:
    explicit TScriptedFB(const TFB_Type& type) : type_(type)
    {
        for (const auto& d : type.DataInputs)
            inputs_.emplace_back(d->Type).Parse(d->InitialValue);
        for (const auto& d : type.DataOutputs)
            outputs_.emplace_back(d->Type).Parse(d->InitialValue);
        for (const auto& v : type.InternalVars)
            internals_.emplace_back(v->Type, true).Parse(v->InitialValue);
    }

    void SetInput(const std::string& name, const std::string& value)
    {
        const int k = type_.IndexOfDataInput(name);
        ASSERT_GE(k, 0) << name;
        inputs_[k].Parse(value);
    }

    // One ECC step for the event; returns the output events it produced,
    // each with every data output as it stood when the event was queued.
    std::vector<std::string> Step(const std::string& event);
    // The transition script of the condition for the event, and its result.
    bool CheckTransition(const std::string& condition, const std::string& e);
    // The algorithm script; outputs and internal variables take its results.
    void RunAlgorithm(const std::vector<std::string>& lines, const std::string& e);

private:
    // "var <name>:<type>;" and "<name>:=<value text>;" for a data variable.
    void declare(const std::string& name, const std::string& typeText, const TValueHolder& value,
                 std::vector<std::string>& decl, std::vector<std::string>& init) const
    {
        decl.push_back("var " + name + ":" + RuntimeTypeName(typeText) + ";");
        init.push_back(name + ":=" + value.Format() + ";");
    }
    std::string describeOutput(const std::string& event) const
    {
        std::string out = event;
        for (size_t k = 0; k < type_.DataOutputs.size(); ++k)
            out += " " + type_.DataOutputs[k]->Name + "=" + outputs_[k].Format();
        return out;
    }
    static std::string join(const std::vector<std::string>& lines)
    {
        std::string out;
        for (size_t i = 0; i < lines.size(); ++i)
            out += (i ? "\r\n" : "") + lines[i];
        return out;
    }

    const TFB_Type& type_;
    std::string state_ = "START";
    std::vector<TValueHolder> inputs_, outputs_, internals_;
    TScriptRunner runner_;
};

std::vector<std::string> TScriptedFB::Step(const std::string& event)
{
    std::vector<std::string> produced;
    std::string e = event;
    // A chart that never comes to rest would keep the FB busy for good.
    for (int pass = 0; pass < 100; ++pass) {
        const TECCTransition* fired = nullptr;
        for (const auto& t : type_.Transitions)
            if (t->Source == state_ && CheckTransition(t->Condition, e)) {
                fired = t.get();
                break;
            }
        if (!fired)
            return produced;
        state_ = fired->Destination;
        if (const TECCState* s = type_.FindState(state_))
            for (const auto& a : s->Actions) {
                const TFBAlgorithm* alg = type_.FindAlgorithm(a->Algorithm);
                if (alg && alg->Language == "DelphiScript" && !alg->OtherText.empty())
                    RunAlgorithm(alg->OtherText, e);
                if (type_.FindEventOutput(a->Output))
                    produced.push_back(describeOutput(a->Output));
            }
        e = "-";
    }
    ADD_FAILURE() << type_.Name << ": the chart does not come to rest in state " << state_;
    return produced;
}

bool TScriptedFB::CheckTransition(const std::string& condition, const std::string& e)
{
    std::vector<std::string> decl, init;
    // Event inputs count when they occur in the condition or in the event.
    for (const auto& ev : type_.EventInputs)
        if (Occurs(ev->Name, condition) || Occurs(ev->Name, e)) {
            decl.push_back("var " + ev->Name + ":Boolean;");
            init.push_back(ev->Name == e ? e + ":=True;" : ev->Name + ":=False;");
        }
    for (size_t k = 0; k < type_.DataInputs.size(); ++k)
        if (Occurs(type_.DataInputs[k]->Name, condition))
            declare(type_.DataInputs[k]->Name, type_.DataInputs[k]->Type, inputs_[k], decl, init);
    for (size_t k = 0; k < type_.InternalVars.size(); ++k)
        if (Occurs(type_.InternalVars[k]->Name, condition))
            declare(type_.InternalVars[k]->Name, type_.InternalVars[k]->Type, internals_[k], decl, init);

    std::vector<std::string> script{"procedure chkTransition( var theResult:Boolean);"};
    script.insert(script.end(), decl.begin(), decl.end());
    script.push_back("begin");
    script.insert(script.end(), init.begin(), init.end());
    script.push_back(condition == "1" ? "theResult:= True;" : "theResult:= " + condition + ";");
    script.push_back("end;");

    TVariant result;
    const std::string text = join(script);
    try {
        runner_.PushReference(result);
        runner_.Execute(text);
    } catch (const std::exception& ex) {
        ADD_FAILURE() << type_.Name << ": transition script fails: " << ex.what() << "\n" << text;
        return false;
    }
    return result.ToBoolean();
}

void TScriptedFB::RunAlgorithm(const std::vector<std::string>& lines, const std::string& e)
{
    // Outputs and internal variables are the parameters, bound to cells that
    // are written back after the run; inputs are local copies.
    std::vector<std::string> script{"procedure execAlg("};
    std::vector<TValueHolder*> members;
    std::vector<std::string> decl, init, internalInit;
    for (size_t k = 0; k < type_.DataOutputs.size(); ++k)
        if (OccursInLines(type_.DataOutputs[k]->Name, lines)) {
            script.push_back("var DO_" + type_.DataOutputs[k]->Name + ":" + RuntimeTypeName(type_.DataOutputs[k]->Type) + ";");
            members.push_back(&outputs_[k]);
        }
    for (size_t k = 0; k < type_.InternalVars.size(); ++k)
        if (OccursInLines(type_.InternalVars[k]->Name, lines)) {
            declare(type_.InternalVars[k]->Name, type_.InternalVars[k]->Type, internals_[k], script, internalInit);
            members.push_back(&internals_[k]);
        }
    script.push_back("            );");
    for (const auto& ev : type_.EventInputs)
        if (OccursInLines(ev->Name, lines)) {
            decl.push_back("var " + ev->Name + ":Boolean;");
            init.push_back(ev->Name == e ? e + ":=True;" : ev->Name + ":=False;");
        }
    for (size_t k = 0; k < type_.DataInputs.size(); ++k)
        if (OccursInLines(type_.DataInputs[k]->Name, lines))
            declare(type_.DataInputs[k]->Name, type_.DataInputs[k]->Type, inputs_[k], decl, init);
    script.insert(script.end(), decl.begin(), decl.end());
    script.push_back("begin");
    script.insert(script.end(), init.begin(), init.end());
    script.insert(script.end(), internalInit.begin(), internalInit.end());
    script.push_back("//The FB Algorithm");
    script.insert(script.end(), lines.begin(), lines.end());
    script.push_back("end;");

    std::vector<TVariant> cells;
    for (TValueHolder* m : members)
        cells.push_back(ToScriptValue(*m));
    const std::string text = join(script);
    try {
        for (auto& c : cells)
            runner_.PushReference(c);
        runner_.Execute(text);
    } catch (const std::exception& ex) {
        ADD_FAILURE() << type_.Name << ": algorithm script fails: " << ex.what() << "\n" << text;
        return;
    }
    for (size_t k = 0; k < members.size(); ++k)
        FromScriptValue(cells[k], *members[k]);
}

TEST(ShippedScripts, BlocksAnswerTheirEventsInTheSimulationsScripts)
{
    for (const auto& c : BehaviourCases()) {
        SCOPED_TRACE(c.Type);
        const TShippedFile* f = TShippedLibrary::Get().Find(c.Type);
        ASSERT_NE(f, nullptr);
        TScriptedFB fb(*f->Type);
        for (size_t i = 0; i < c.Steps.size(); ++i) {
            const Step& step = c.Steps[i];
            SCOPED_TRACE("step " + std::to_string(i + 1) + ": " + step.Event + " " + step.Inputs);
            for (const auto& [name, value] : InputAssignments(step.Inputs))
                fb.SetInput(name, value);
            std::string got;
            for (const auto& call : fb.Step(step.Event))
                got += (got.empty() ? "" : ", ") + call;
            EXPECT_EQ(got, step.Expect);
        }
    }
}

TEST(ShippedScripts, EveryConditionAndAlgorithmRunsWhateverTheTextInputsHold)
{
    // Each condition is checked for every event and for the event-less
    // re-evaluation; each algorithm runs; text inputs (the TIME ones) hold
    // what a user may type, which the scripts must never see.
    for (const auto& f : TShippedLibrary::Get().Files) {
        if (!f.Type || f.Type->Composite || f.Type->States.empty())
            continue;
        const TFB_Type& t = *f.Type;
        SCOPED_TRACE(t.Name);
        std::vector<std::string> events{"-"};
        for (const auto& e : t.EventInputs)
            events.push_back(e->Name);
        for (const char* text : {"", "T#1s", "abc def"}) {
            TScriptedFB fb(t);
            for (const auto& d : t.DataInputs)
                if (DataTypeClass(d->Type) == TDataTypeClass::String)
                    fb.SetInput(d->Name, text);
            for (const auto& e : events) {
                for (const auto& tr : t.Transitions)
                    fb.CheckTransition(tr->Condition, e);
                for (const auto& alg : t.Algorithms)
                    fb.RunAlgorithm(alg->OtherText, e);
            }
        }
    }
}

} // namespace
