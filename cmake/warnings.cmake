# Warning and character-set flags shared by every target. Sources are UTF-8; narrow literals are GBK.
# GCC is told GB18030, which writes every GBK character with GBK's own bytes, because libstdc++'s
# <chrono> holds a "µs" literal that GBK cannot encode and the calendar's dates come from <chrono>.
function(quill_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive- /source-charset:utf-8 /execution-charset:.936)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -finput-charset=UTF-8 -fexec-charset=GB18030)
  endif()
endfunction()
