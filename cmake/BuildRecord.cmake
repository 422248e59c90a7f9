# Writes the package's build-record header at build time (cmake -P), and only
# when its text changed, so that an unchanged record rebuilds nothing.
#   -DTEMPLATE=record.h.in -DOUTPUT=record.h -DSOURCE_DIR=checkout
#   -DCOMPILER=... -DBUILD_DIR=...
# The revision is the checked-out commit; without git or outside a checkout, 40
# zeros keep the field's form. The time is written after linking (stamp-record.sh).
execute_process(COMMAND git rev-parse HEAD WORKING_DIRECTORY ${SOURCE_DIR}
                OUTPUT_VARIABLE VEVAZARU_REVISION OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT VEVAZARU_REVISION MATCHES "^[0-9a-f]+$")
  string(REPEAT "0" 40 VEVAZARU_REVISION)
endif()
string(SUBSTRING "${VEVAZARU_REVISION}0000000000000000000000000000000000000000" 0 40 VEVAZARU_REVISION)

if(DEFINED ENV{USER})
  set(VEVAZARU_BUILD_USER "$ENV{USER}")
else()
  execute_process(COMMAND id -un OUTPUT_VARIABLE VEVAZARU_BUILD_USER OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
cmake_host_system_information(RESULT VEVAZARU_BUILD_HOST QUERY HOSTNAME)
set(VEVAZARU_COMPILER "${COMPILER}")
set(VEVAZARU_BUILD_DIR "${BUILD_DIR}")
foreach(var VEVAZARU_BUILD_USER VEVAZARU_BUILD_HOST VEVAZARU_BUILD_DIR)
  # "|" separates the record's fields and must not appear inside one.
  string(REPLACE "|" "_" ${var} "${${var}}")
  string(REPLACE "\"" "_" ${var} "${${var}}")
  string(REPLACE "\\" "/" ${var} "${${var}}")
endforeach()
# configure_file leaves an unchanged output, and its time, alone.
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
