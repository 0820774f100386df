// Hosts reach scripts through scope objects: named methods, properties and
// array properties, and the members every object has (Free, Invoke, Self).

#include "script_test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace telvo;
using telvo::test::Outcome;

namespace {

class TCounter : public TScriptObject {
public:
    explicit TCounter(int* destroyed = nullptr) : TScriptObject("TCounter"), destroyed_(destroyed)
    {
        AddMethod("Add", 1, [this](TScriptCall& c) {
            Value += c.Arg(0).ToInteger();
            return TVariant(Value);
        });
        AddMethod("Sum", -1, [](TScriptCall& c) {
            int32_t sum = 0;
            for (size_t i = 0; i < c.Args.size(); ++i)
                sum += c.Arg(i).ToInteger();
            return TVariant(sum);
        });
        // Doubles the script variable passed as "@Name".
        AddMethod("Twice", 1, [](TScriptCall& c) {
            if (!c.Args[0].IsReference())
                throw std::runtime_error("Twice needs a reference");
            c.Args[0].Deref() = TVariant(c.Arg(0).ToInteger() * 2);
            return TVariant();
        });
        AddMethod("Make", 0, [this](TScriptCall&) { return TVariant::AdoptObject(new TCounter(destroyed_)); });
        AddMethod("Fail", 0, [](TScriptCall&) -> TVariant { throw std::runtime_error("host failed"); });
        AddProperty(
            "Value", [this](TScriptCall&) { return TVariant(Value); },
            [this](TScriptCall&, const TVariant& v) { Value = v.ToInteger(); });
        AddProperty("Name", [](TScriptCall&) { return TVariant("counter"); });
        AddArrayProperty(
            "Item", 1, [this](TScriptCall& c) { return Items.at(static_cast<size_t>(c.Arg(0).ToInteger())); },
            [this](TScriptCall& c, const TVariant& v) { Items.at(static_cast<size_t>(c.Arg(0).ToInteger())) = v; });
    }
    ~TCounter() override
    {
        if (destroyed_)
            ++*destroyed_;
    }

    int32_t Value = 0;
    int FreeCalls = 0;
    std::vector<TVariant> Items = std::vector<TVariant>(3);

protected:
    void OnFree() override { ++FreeCalls; }

private:
    int* destroyed_;
};

std::string RunWith(TScriptObject& scope, const std::string& body)
{
    return Outcome("function F;\nvar O; var X;\nbegin\n" + body + "\nend;", nullptr, &scope);
}

TEST(ScriptHostScope, MethodsAndPropertiesByBareName)
{
    TCounter scope;
    EXPECT_EQ(RunWith(scope, "Add(5);\nresult := Value;"), "5");
    EXPECT_EQ(RunWith(scope, "Value := 7;\nresult := Value + Add(1) + Sum(1, 2, 3) + Sum;"), "21");
    EXPECT_EQ(scope.Value, 8);
    EXPECT_EQ(RunWith(scope, "Item[0] := 'a';\nItem[2] := Name;\nresult := Item[0] + Item[2];"), "acounter");
    EXPECT_EQ(RunWith(scope, "X := 2;\nTwice(@X);\nresult := X;"), "4");
    EXPECT_EQ(RunWith(scope, "result := Self.Value + Invoke('Add', 2) + Invoke('Value') * 0;"), "18");
    EXPECT_EQ(RunWith(scope, "result := Invoke('Item', 0) + Self.Name;"), "acounter");
}

struct TErrorCase {
    const char* Body;
    const char* Expected;
};

void PrintTo(const TErrorCase& c, std::ostream* os) { *os << c.Body; }

class HostError : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(HostError, IsRaisedAndCanBeCaught)
{
    TCounter scope;
    EXPECT_EQ(RunWith(scope, GetParam().Body), std::string("error: ") + GetParam().Expected);
    // The same error inside try/except is the script's to handle.
    EXPECT_EQ(RunWith(scope, std::string("try\n") + GetParam().Body + "\nexcept\n  result := exception;\nend;"),
              GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, HostError,
    ::testing::Values(
        TErrorCase{"result := Unknown;", "Method not found. Method: Unknown"},
        TErrorCase{"Unknown := 1;", "Method not found. Method: Unknown"},
        TErrorCase{"O := Self;\nresult := O.Unknown(1);", "Method not found. Method: Unknown"},
        TErrorCase{"result := Add;", "Not enough actual parameters"},
        TErrorCase{"result := Add(1, 2);", "Too many actual parameters"},
        TErrorCase{"result := Item[1, 2];", "Too many actual parameters"},
        TErrorCase{"result := Self(1);", "Too many actual parameters"},
        TErrorCase{"result := Invoke;", "Not enough actual parameters"},
        TErrorCase{"Name := 'x';", "Error assigning property: Name"},
        TErrorCase{"Add := 1;", "Error assigning property: Add"},
        TErrorCase{"Self := 1;", "Error assigning property: Self"},
        TErrorCase{"Evaluate := 1;", "Error assigning property: Evaluate"},
        TErrorCase{"result := Value[1];", "TCounter.Value cannot be references as an array"},
        TErrorCase{"result := Self.Add[1];", "TCounter.Add cannot be references as an array"},
        TErrorCase{"result := Item;", "Unable to invoke method or property Item in this manner"},
        TErrorCase{"result := Value(1);", "Unable to invoke method or property Value in this manner"},
        TErrorCase{"Item := 1;", "Unable to invoke method or property Item in this manner"},
        TErrorCase{"X := 5;\nresult := X.Value;", "Variant is not an object"},
        TErrorCase{"result := X.Value;", "Variant is not an object"},
        TErrorCase{"X.Value := 1;", "Variant is not an object"},
        TErrorCase{"O := Make;\nO.Free;\nresult := O.Value;", "Error accessing a field or method Value of nil object"},
        TErrorCase{"O := Make;\nO.Free;\nO.Value := 1;", "Error accessing a field or method Value of nil object"},
        TErrorCase{"result := Item[5];", "vector::_M_range_check: __n (which is 5) >= this->size() (which is 3)"},
        TErrorCase{"Fail;", "host failed"},
        TErrorCase{"Twice(X);", "Twice needs a reference"}));

TEST(ScriptHostScope, ObjectsLiveAsLongAsAValueHoldsThem)
{
    int destroyed = 0;
    TCounter scope(&destroyed);
    EXPECT_EQ(RunWith(scope, "O := Make;\nO.Add(2);\nO.Value := O.Value + 1;\nresult := O.Value;"), "3");
    EXPECT_EQ(destroyed, 1);

    // A cell of the host keeps the object after the run.
    std::vector<TVariant> cells(1);
    EXPECT_EQ(Outcome("procedure P(var C);\nbegin\n  C := Make;\n  C.Add(4);\nend;", &cells, &scope), "<empty>");
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(DescribeScriptValue(cells[0]), "<object TCounter>");
    cells[0].Clear();
    EXPECT_EQ(destroyed, 2);
}

TEST(ScriptHostScope, FreeMakesAnObjectNilOnce)
{
    int destroyed = 0;
    TCounter scope(&destroyed);
    std::vector<TVariant> cells(1);
    EXPECT_EQ(Outcome("procedure P(var C);\nbegin\n  C := Make;\n  C.Free;\n  C.Free;\nend;", &cells, &scope), "<empty>");
    auto* object = static_cast<TCounter*>(cells[0].AsObject());
    EXPECT_TRUE(object->Freed());
    EXPECT_EQ(object->FreeCalls, 1);
    EXPECT_EQ(DescribeScriptValue(cells[0]), "<nil>");
    cells[0].Clear();
    EXPECT_EQ(destroyed, 1);

    // Freeing the scope itself: its members are gone for later scripts too.
    EXPECT_EQ(RunWith(scope, "Free;\nresult := 1;"), "1");
    EXPECT_EQ(scope.FreeCalls, 1);
    EXPECT_EQ(RunWith(scope, "result := Value;"), "error: Error accessing a field or method Value of nil object");
    EXPECT_EQ(destroyed, 1);
}

TEST(ScriptHostScope, NilObjectReference)
{
    std::vector<TVariant> cells{TVariant(static_cast<TScriptObject*>(nullptr))};
    EXPECT_EQ(Outcome("function F(O);\nbegin\n  O.Free;\n  result := O.Value;\nend;", &cells),
              "error: Error accessing a field or method Value of nil object");
    EXPECT_EQ(DescribeScriptValue(cells[0]), "<nil>");
}

TEST(ScriptHostScope, ScopeComesBeforeTheSystemScope)
{
    TScriptObject scope("TScope");
    scope.AddMethod("Evaluate", 1, [](TScriptCall& c) { return TVariant("mine: " + c.Arg(0).ToText()); });
    EXPECT_EQ(Outcome("function F;\nbegin\n  result := Evaluate('1 + 1');\nend;", nullptr, &scope), "mine: 1 + 1");
    EXPECT_EQ(Outcome("function F;\nbegin\n  result := Evaluate('1 + 1');\nend;"), "2");
    // Without a scope object the built-ins belong to nobody.
    EXPECT_EQ(Outcome("function F;\nbegin\n  result := Self;\nend;"), "error: Method not found. Method: Self");
}

// A host method may run another script on the same runner meanwhile; its
// arguments go above those of the running script.
TEST(ScriptHostScope, HostMethodRunsANestedScript)
{
    TScriptObject scope("TScope");
    scope.AddMethod("Square", 1, [](TScriptCall& c) {
        TVariant cell = TVariant(c.Arg(0));
        c.Runner.PushReference(cell);
        c.Runner.Execute("procedure Sq(var V);\nvar Local;\nbegin\n  Local := V;\n  V := Local * Local;\nend;");
        return cell;
    });
    std::vector<TVariant> cells{TVariant(int32_t(3))};
    EXPECT_EQ(Outcome("function F(var C);\nvar A; var B;\nbegin\n  A := 10;\n  B := Square(C) + Square(A);\n"
                      "  result := B + Evaluate('A + C');\nend;",
                      &cells, &scope),
              "122");
    EXPECT_EQ(DescribeScriptValue(cells[0]), "3");
}

TEST(ScriptHostScope, HostExceptionsKeepTheirType)
{
    TCounter scope;
    TScriptRunner runner;
    EXPECT_THROW(runner.Execute("procedure P;\nbegin\n  Fail;\nend;", &scope), std::runtime_error);
    EXPECT_EQ(runner.PendingArguments(), 0u);
}

TEST(ScriptHostScope, RegistryRefusesDuplicateNames)
{
    TScriptObject object;
    EXPECT_EQ(object.ClassName(), "TObject");
    EXPECT_TRUE(object.AddMethod("Go", 0, [](TScriptCall&) { return TVariant(); }));
    EXPECT_FALSE(object.AddProperty("GO", [](TScriptCall&) { return TVariant(); }));
    EXPECT_FALSE(object.AddArrayProperty("go", 1, [](TScriptCall&) { return TVariant(); }));
    ASSERT_NE(object.FindMember("gO"), nullptr);
    EXPECT_EQ(object.FindMember("gO")->Kind, TScriptObject::TMemberKind::Method);
    EXPECT_EQ(object.FindMember("Gone"), nullptr);
}

} // namespace
