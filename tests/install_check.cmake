# Installs the build in BUILD_DIR under WORK_DIR and packs it with cpack, and
# fails unless both hold the program PROGRAM (tuflat or tuflat.exe), the README,
# the licence and the man page where a user looks for them. When groff is
# present, the installed man page must also render without a warning.
#   cmake -DBUILD_DIR=... -DPROGRAM=... -DSOURCE_DIR=... -DWORK_DIR=... -DCPACK=cpack \
#     -P install_check.cmake
foreach(variable BUILD_DIR PROGRAM SOURCE_DIR WORK_DIR CPACK)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

set(layout bin/${PROGRAM} share/doc/tuflat/README.md share/doc/tuflat/LICENSE
           share/man/man1/tuflat.1)

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed: ${status}")
endif()
foreach(file ${layout})
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "the install lacks ${file}")
  endif()
endforeach()
foreach(pair README.md:share/doc/tuflat/README.md LICENSE:share/doc/tuflat/LICENSE
             doc/tuflat.1:share/man/man1/tuflat.1)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 original)
  list(GET pair 1 installed)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SOURCE_DIR}/${original}
                          ${prefix}/${installed} RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "the installed ${installed} is not ${original}")
  endif()
endforeach()

# The package holds the same tree under one top directory.
execute_process(COMMAND ${CPACK} -B ${WORK_DIR}/package WORKING_DIRECTORY ${BUILD_DIR}
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE complaints)
file(GLOB packages ${WORK_DIR}/package/tuflat-*.zip ${WORK_DIR}/package/tuflat-*.tar.gz)
list(LENGTH packages count)
if(NOT status EQUAL 0 OR NOT count EQUAL 1)
  message(FATAL_ERROR "cpack in ${BUILD_DIR} did not make one package: ${status}, ${packages}")
endif()
if(NOT complaints STREQUAL "")
  message(FATAL_ERROR "cpack in ${BUILD_DIR} complained:\n${complaints}")
endif()
if(PROGRAM MATCHES "[.]exe$" AND NOT packages MATCHES "[.]zip$")
  message(FATAL_ERROR "the Windows package is not a zip: ${packages}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${packages}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot list ${packages}")
endif()
foreach(file ${layout})
  if(NOT listing MATCHES "(^|\n)tuflat-[^/\n]*/${file}(\n|$)")
    message(FATAL_ERROR "${packages} lacks ${file}:\n${listing}")
  endif()
endforeach()

find_program(GROFF groff)
if(GROFF)
  execute_process(COMMAND ${GROFF} -man -Tutf8 -ww ${prefix}/share/man/man1/tuflat.1
                  OUTPUT_QUIET ERROR_VARIABLE warnings RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "the man page does not render cleanly:\n${warnings}")
  endif()
else()
  message(STATUS "groff not found; the man page was not rendered")
endif()
