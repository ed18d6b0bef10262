# Warnings are errors in our own code.
# The fuzz build's clang warns of more than gcc does; there only the fuzz targets' own warnings stop the
# build (the gcc builds hold the rest of the code to none).
function(mfp_warnings target)
  if(MFP_FUZZ AND NOT target MATCHES "^fuzz-")
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  endif()
endfunction()
