#include "script_test_support.h"

#include <gtest/gtest.h>

using namespace telvo;
using telvo::test::Eval;
using telvo::test::Outcome;

TEST(ScriptSmoke, Basic)
{
    EXPECT_EQ(Eval("1 + 2"), "3");
    EXPECT_EQ(Eval("7 / 2"), "3.5");
    std::vector<TVariant> cells(1);
    EXPECT_EQ(Outcome("procedure chkTransition( var theResult:Boolean);\r\nvar REQ:Boolean;\r\nvar X:Integer;\r\nbegin\r\nREQ:=True;\r\nX:=7;\r\ntheResult:= REQ AND (X > 5);\r\nend;", &cells), "<empty>");
    EXPECT_EQ(DescribeScriptValue(cells[0]), "True");
}
