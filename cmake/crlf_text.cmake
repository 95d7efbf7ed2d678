# Copies the text file INPUT to OUTPUT with every line ended by CR LF, as
# Windows programs such as Notepad expect. Run as: cmake -DINPUT=... -DOUTPUT=... -P
cmake_minimum_required(VERSION 3.25)
file(READ "${INPUT}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
