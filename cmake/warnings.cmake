# Warning and character-set flags shared by every target. Sources are UTF-8; narrow literals are GBK.
function(quill_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive- /source-charset:utf-8 /execution-charset:.936)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -finput-charset=UTF-8 -fexec-charset=GBK)
  endif()
endfunction()
