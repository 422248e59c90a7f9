# Strict warnings for our own targets; third-party headers come in as SYSTEM.
function(vorna_target_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Woverloaded-virtual -Wnon-virtual-dtor -Wformat=2)
  if(VORNA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(VORNA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
