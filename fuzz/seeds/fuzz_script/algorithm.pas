procedure execAlg(
var DO_OUT:Single;
var CNT:Integer;
            );
var IN1:Integer;
begin
IN1:=3;
CNT:=0;
//The FB Algorithm
DO_OUT := IN1 * 2.5;
CNT := CNT + 1;
end;