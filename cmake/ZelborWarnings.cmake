# SPDX-License-Identifier: GPL-3.0-or-later
# Warning flags apply to project targets only (not to GoogleTest or Qt headers), in the
# spelling of the compiler at hand.
function(zelbor_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
    if(ZELBOR_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(ZELBOR_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()
