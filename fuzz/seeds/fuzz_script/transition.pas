procedure chkTransition( var theResult:Boolean);
var REQ:Boolean;
var X:Integer;
begin
REQ:=True;
X:=7;
theResult:= REQ AND (X > 5);
end;