cmake_minimum_required(VERSION 3.25)
# Reads the linker map of an executable and fails unless the platform layer's
# test seam (fault_seam.h: the library qcommon_faults and SetFileCallsForTests)
# is linked in exactly when EXPECT says so. The shipped programs must not carry it.
# Usage: cmake -DMAP=prog.map -DEXPECT=OFF -P CheckFaultSeam.cmake
file(READ "${MAP}" map)
string(FIND "${map}" "qcommon_faults" faultsAt)
string(FIND "${map}" "SetFileCallsForTests" setterAt)
string(FIND "${map}" "qcommon_" commonAt)
if(commonAt EQUAL -1)
  message(FATAL_ERROR "${MAP}: the platform layer is not in this map; nothing to check")
endif()
if(EXPECT)
  if(faultsAt EQUAL -1 OR setterAt EQUAL -1)
    message(FATAL_ERROR "${MAP}: the test seam should be linked in and is not")
  endif()
elseif(NOT faultsAt EQUAL -1 OR NOT setterAt EQUAL -1)
  message(FATAL_ERROR "${MAP}: a shipped program carries the test seam")
endif()
