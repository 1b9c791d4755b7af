# Fails when a program of the release imports a DLL that is not a KnownDLL of every Windows from 7 to
# 11. The loader takes any other DLL from the program's own folder first, and a portable copy is run
# from wherever it was unpacked, often Downloads: whatever lies there would run inside the program.
# Everything else (comctl32, msimg32, ...) is loaded at run time from the system folder by full path.
#   cmake -DOBJDUMP=... -DEXES="a.exe;b.exe" -P check_imports.cmake
cmake_policy(SET CMP0057 NEW)
# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs, in every version from 7 to 11.
set(known advapi32.dll comdlg32.dll gdi32.dll imagehlp.dll imm32.dll kernel32.dll msvcrt.dll normaliz.dll
          nsi.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll setupapi.dll shell32.dll shlwapi.dll
          user32.dll wldap32.dll ws2_32.dll)
set(bad)
foreach(exe IN LISTS EXES)
  execute_process(COMMAND ${OBJDUMP} -p ${exe} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${exe}")
  endif()
  get_filename_component(name ${exe} NAME)
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
  if(NOT lines)
    message(FATAL_ERROR "${name}: no import table found")
  endif()
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST known)
      list(APPEND bad "${name}: ${dll}")
    endif()
    message(STATUS "${name} imports ${dll}")
  endforeach()
endforeach()
if(bad)
  list(JOIN bad ", " bad)
  message(FATAL_ERROR "not a KnownDLL: ${bad}")
endif()
