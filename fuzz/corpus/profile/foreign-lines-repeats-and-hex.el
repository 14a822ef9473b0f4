; saved by hand
[basic]
LBP=$2A
LBP=7
WD=0x0C
Other=keep
[Pedal Assist]
[BASIC]
LC=99
[Throttle Handle]
SV = -3 
EV="35"
