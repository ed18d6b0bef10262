# Language resource libraries: a resource script compiled by rescomp into a resource file under the
# library folder (build/lib), where the programs' libraries live until they are installed.
#
#   mfp_resource_library(<target> SCRIPT <file.rc> OUTPUT <name.dll>)
#
# makes <target> (built by default) whose output is ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/<name.dll>; it is
# rebuilt when the script or a picture it names changes. The target's MFP_RESOURCE_FILE property holds
# the output's path.
function(mfp_resource_library target)
  cmake_parse_arguments(ARG "" "SCRIPT;OUTPUT" "" ${ARGN})
  if(NOT ARG_SCRIPT OR NOT ARG_OUTPUT OR ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "mfp_resource_library(${target} SCRIPT <file> OUTPUT <name>): got ${ARGN}")
  endif()
  get_filename_component(script ${ARG_SCRIPT} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  set(output ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/${ARG_OUTPUT})
  set(depfile ${CMAKE_CURRENT_BINARY_DIR}/${target}.d)
  add_custom_command(
    OUTPUT ${output}
    COMMAND rescomp --depfile ${depfile} -o ${output} ${script}
    DEPENDS rescomp ${script}
    DEPFILE ${depfile}
    COMMENT "Compiling resources ${ARG_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
  set_property(TARGET ${target} PROPERTY MFP_RESOURCE_FILE ${output})
endfunction()
