{ Every statement kind once. }
function F(A; out B; var C; const D);
var I: Integer;
var S, T: String;
const K = 'a'#13#10'b'; N = null; R = 2.5; H = $1F;
begin
  S := 'It''s';
  for I := 1 to 3 do
    if I mod 2 = 0 then continue else S := S + K;
  I := 10;
  while I > 0 do begin I := I - 1; if I = 5 then break; end;
  repeat I := I + 1 until I >= 8;
  try
    try
      raise 'x' + S[2];
    finally
      T := Evaluate('S + ''!''');
    end;
  except
    T := T + exception;
  end;
  L1: if I < 9 then begin I := I + 1; goto L1; end;
  C := @S;
  Store(@T);
  Value := Make;
  Value.Item[1] := Add(1, 2.5);
  Item[0] := Value.Invoke('Any', 1, 2) + Self.Any;
  result := not (A > 5 and D < 3) xor True or False;
  F := result;
  exit;
end;
