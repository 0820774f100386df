#pragma once
// Basic FB types of the kind an engineer designs in the workbench, for the
// tests of what leaves the workbench for a runtime (the Lua form,
// deployment): guarded transitions, internal variables, IFs, loops,
// arithmetic on every class of value, texts, and names that mean something
// else elsewhere.

namespace telvo::test {

// CALC: REQ (when B <> 0) computes with div, mod, /, a for loop, xor and
// not; every fourth count also passes BIG, whose algorithm overflows DINT
// for large D and so writes nothing; TXT joins texts, and reads S as a
// number, which fails (writing nothing) unless T holds one; INIT, or REQ
// once N is past 20, resets. S only passes through: the simulation reads a
// text input's value as script text, which the runtime's form never does.
inline const char* const kCalcType = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="CALC">
  <InterfaceList>
    <EventInputs>
      <Event Name="REQ"><With Var="A"/><With Var="B"/><With Var="X"/></Event>
      <Event Name="INIT"/>
      <Event Name="TXT"><With Var="S"/><With Var="D"/></Event>
    </EventInputs>
    <EventOutputs>
      <Event Name="CNF"><With Var="Q"/><With Var="R"/><With Var="OK"/></Event>
      <Event Name="BIG"><With Var="W"/></Event>
      <Event Name="DONE"><With Var="T"/></Event>
    </EventOutputs>
    <InputVars>
      <VarDeclaration Name="A" Type="INT"/>
      <VarDeclaration Name="B" Type="INT"/>
      <VarDeclaration Name="X" Type="REAL"/>
      <VarDeclaration Name="S" Type="STRING"/>
      <VarDeclaration Name="D" Type="DINT"/>
    </InputVars>
    <OutputVars>
      <VarDeclaration Name="Q" Type="INT"/>
      <VarDeclaration Name="R" Type="REAL"/>
      <VarDeclaration Name="T" Type="STRING"/>
      <VarDeclaration Name="OK" Type="BOOL"/>
      <VarDeclaration Name="W" Type="DINT"/>
    </OutputVars>
  </InterfaceList>
  <BasicFB>
    <InternalVars>
      <VarDeclaration Name="N" Type="INT" InitialValue="3"/>
      <VarDeclaration Name="ACC" Type="LREAL" InitialValue="0.5"/>
      <VarDeclaration Name="K" Type="INT"/>
    </InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="CALC"><ECAction Algorithm="Calc" Output="CNF"/></ECState>
      <ECState Name="BIG"><ECAction Algorithm="Big" Output="BIG"/></ECState>
      <ECState Name="TEXT"><ECAction Algorithm="Text" Output="DONE"/></ECState>
      <ECState Name="RESET"><ECAction Algorithm="Reset" Output="DONE"/><ECAction Algorithm="" Output="CNF"/></ECState>
      <ECTransition Source="START" Destination="CALC" Condition="REQ AND (B &lt;&gt; 0) AND (N &lt;= 20)"/>
      <ECTransition Source="START" Destination="RESET" Condition="INIT OR (REQ AND (N &gt; 20))"/>
      <ECTransition Source="START" Destination="TEXT" Condition="TXT"/>
      <ECTransition Source="CALC" Destination="BIG" Condition="N mod 4 = 0"/>
      <ECTransition Source="CALC" Destination="START" Condition="1"/>
      <ECTransition Source="BIG" Destination="START" Condition="1"/>
      <ECTransition Source="TEXT" Destination="START" Condition="1"/>
      <ECTransition Source="RESET" Destination="START" Condition="1"/>
    </ECC>
    <Algorithm Name="Calc"><Other Language="DelphiScript" Text="N := N + 1;&#10;if A &gt; B then&#10;  DO_Q := (A div B) * 100 + A mod B&#10;else&#10;  DO_Q := (B div A) * 100 + (B mod A) * -3;&#10;DO_R := X / B + ACC;&#10;ACC := ACC * 1.5 - A;&#10;K := 1;&#10;while K &lt;= B do&#10;begin&#10;  ACC := ACC + K;&#10;  K := K + 1;&#10;end;&#10;DO_OK := (A &gt;= 0) xor not (B &lt; 2);"/></Algorithm>
    <Algorithm Name="Big"><Other Language="DelphiScript" Text="DO_R := N / 4;&#10;DO_W := D * 100000 + N;"/></Algorithm>
    <Algorithm Name="Text"><Other Language="DelphiScript" Text="if D &gt; 5 then&#10;  DO_T := '12'&#10;else&#10;  DO_T := DO_T + 'x';&#10;if DO_T = 'xx' then&#10;  DO_OK := True;&#10;DO_W := D - DO_T;"/></Algorithm>
    <Algorithm Name="Reset"><Other Language="DelphiScript" Text="N := 0;&#10;ACC := 0.5;&#10;DO_Q := 0;&#10;DO_T := '';&#10;DO_W := -1;"/></Algorithm>
  </BasicFB>
</FBType>
)xml";

// KEYWORDS: ports, variables and states named as another language's
// keywords; return doubles the input local into then while elseif counts
// down.
inline const char* const kKeywordsType = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="KEYWORDS">
  <InterfaceList>
    <EventInputs><Event Name="return"><With Var="local"/></Event><Event Name="in"/></EventInputs>
    <EventOutputs><Event Name="end"><With Var="then"/></Event></EventOutputs>
    <InputVars><VarDeclaration Name="local" Type="INT"/></InputVars>
    <OutputVars><VarDeclaration Name="then" Type="INT"/><VarDeclaration Name="not" Type="BOOL"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <InternalVars><VarDeclaration Name="elseif" Type="INT" InitialValue="10"/></InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="function"><ECAction Algorithm="do" Output="end"/></ECState>
      <ECTransition Source="START" Destination="function" Condition="return AND (elseif &gt; -3)"/>
      <ECTransition Source="function" Destination="START" Condition="1"/>
    </ECC>
    <Algorithm Name="do"><Other Language="DelphiScript" Text="DO_then := local * 2 + elseif;&#10;elseif := elseif - 1;&#10;DO_not := elseif &lt; 5;"/></Algorithm>
  </BasicFB>
</FBType>
)xml";

// COUNTER: an own up-counter with a step: CU counts by STEP while below
// LIMIT (an internal copy of the limit is taken on R); R clears.
inline const char* const kCounterType = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="COUNTER">
  <InterfaceList>
    <EventInputs><Event Name="CU"/><Event Name="R"><With Var="LIMIT"/></Event></EventInputs>
    <EventOutputs><Event Name="CUO"><With Var="CV"/></Event><Event Name="RO"><With Var="CV"/></Event></EventOutputs>
    <InputVars><VarDeclaration Name="LIMIT" Type="INT" InitialValue="1000"/></InputVars>
    <OutputVars><VarDeclaration Name="CV" Type="INT"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <InternalVars>
      <VarDeclaration Name="CNT" Type="INT" InitialValue="0"/>
      <VarDeclaration Name="STEP" Type="INT" InitialValue="1"/>
    </InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="COUNT"><ECAction Algorithm="Count" Output="CUO"/></ECState>
      <ECState Name="RESET"><ECAction Algorithm="Clear" Output="RO"/></ECState>
      <ECTransition Source="START" Destination="COUNT" Condition="CU AND (CNT &lt; 30000)"/>
      <ECTransition Source="START" Destination="RESET" Condition="R"/>
      <ECTransition Source="COUNT" Destination="START" Condition="1"/>
      <ECTransition Source="RESET" Destination="START" Condition="1"/>
    </ECC>
    <Algorithm Name="Count"><Other Language="DelphiScript" Text="if CNT &lt; 5 then&#10;  CNT := CNT + STEP&#10;else&#10;  CNT := CNT + STEP * 2;&#10;DO_CV := CNT;"/></Algorithm>
    <Algorithm Name="Clear"><Other Language="DelphiScript" Text="CNT := 0;&#10;DO_CV := 0;"/></Algorithm>
  </BasicFB>
</FBType>
)xml";

// BADNAMES: names and texts made to break out of a string or a comment of
// the generated code: quotes, "]]", line breaks, and code in a text. MARKER
// stands for a file that must never come to exist.
inline const char* const kBadNamesType = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<FBType Name="BADNAMES">
  <InterfaceList>
    <EventInputs><Event Name="REQ"/><Event Name="a&quot;]]&#10;os.execute(&quot;touch /tmp/x&quot;)--"/></EventInputs>
    <EventOutputs><Event Name="CNF&apos;)]]=]--"/></EventOutputs>
    <InputVars><VarDeclaration Name="TXT" Type="STRING"/></InputVars>
    <OutputVars><VarDeclaration Name="T" Type="STRING"/><VarDeclaration Name="U" Type="STRING"/></OutputVars>
  </InterfaceList>
  <BasicFB>
    <InternalVars><VarDeclaration Name="V" Type="STRING" InitialValue="]]..os.execute(&quot;touch MARKER&quot;)..[["/></InternalVars>
    <ECC>
      <ECState Name="START"/>
      <ECState Name="RUN&quot;]]"><ECAction Algorithm="Run" Output="CNF&apos;)]]=]--"/></ECState>
      <ECTransition Source="START" Destination="RUN&quot;]]" Condition="REQ"/>
      <ECTransition Source="RUN&quot;]]" Destination="START" Condition="1"/>
    </ECC>
    <Algorithm Name="Run"><Other Language="DelphiScript" Text="// ]] os.execute(&quot;touch MARKER&quot;) --[[&#10;DO_T := '&quot;) os.execute(&quot;touch MARKER&quot;) print(&quot;' + #10 + ']]' + TXT + #200 + 'internalFBs\';&#10;DO_U := V + '&lt;/FBType&gt;&lt;';"/></Algorithm>
  </BasicFB>
</FBType>
)xml";

} // namespace telvo::test
