# The product's version, declared once by project() in the top CMakeLists.txt,
# and the build number: the number of commits behind HEAD. An archive without
# history (also one unpacked inside another repository), a shallow clone or a
# machine without git gives build number 0; -DRIVERRA_BUILD_NUMBER=<n> sets it
# by hand.
#
# Writes riverra_version.h (the version texts, for --version and the like) and
# offers riverra_add_version_info() for the Windows version resource.

# Functions see the caller's CMAKE_CURRENT_LIST_DIR; the templates lie beside this file.
set(RIVERRA_VERSION_TEMPLATE_DIR ${CMAKE_CURRENT_LIST_DIR})

set(RIVERRA_COMPANY_NAME "Corvane")
set(RIVERRA_PRODUCT_NAME "Riverra")
set(RIVERRA_COPYRIGHT "Copyright (C) 2026 Corvane")

set(RIVERRA_BUILD_NUMBER "" CACHE STRING "Build number; empty: the commit count of the source tree")

function(riverra_commit_count result)
  set(${result} 0 PARENT_SCOPE)
  find_package(Git QUIET)
  if(NOT GIT_FOUND)
    return()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel --is-shallow-repository
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE answers OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(failed)
    return()  # not in a repository
  endif()
  string(REPLACE "\n" ";" answers "${answers}")
  list(GET answers 0 top)
  list(GET answers -1 shallow)
  file(REAL_PATH ${PROJECT_SOURCE_DIR} source)  # git names the top without symbolic links
  # Inside another project's repository (an archive unpacked there, say), or
  # part of the history is missing.
  if(NOT top STREQUAL source OR NOT shallow STREQUAL "false")
    return()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(failed OR NOT count MATCHES "^[0-9]+$")
    return()
  endif()
  set(${result} ${count} PARENT_SCOPE)
  # A new commit or checkout moves HEAD's log: the next build configures
  # again and so picks up the new count.
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path logs/HEAD
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE head_log OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(EXISTS "${head_log}")
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${head_log}")
  endif()
endfunction()

if(RIVERRA_BUILD_NUMBER STREQUAL "")
  riverra_commit_count(RIVERRA_BUILD)
else()
  set(RIVERRA_BUILD ${RIVERRA_BUILD_NUMBER})
endif()
if(NOT RIVERRA_BUILD MATCHES "^[0-9]+$" OR RIVERRA_BUILD GREATER 65535)
  message(FATAL_ERROR "Build number '${RIVERRA_BUILD}' is not a number from 0 to 65535")
endif()

# What the user is told: the product version. The file version adds the build.
set(RIVERRA_PRODUCT_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(RIVERRA_FILE_VERSION ${RIVERRA_PRODUCT_VERSION}.${RIVERRA_BUILD})
message(STATUS "Riverra ${RIVERRA_FILE_VERSION}")

set(RIVERRA_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/riverra_version.h.in ${RIVERRA_GENERATED_DIR}/riverra_version.h @ONLY)

# riverra_add_version_info(<target> DESCRIPTION <text> ORIGINAL_FILENAME <file name> [INTERNAL_NAME <name>])
# Gives <target> access to riverra_version.h and, in Windows builds, a version
# resource made from version_info.rc.in. INTERNAL_NAME defaults to the file
# name without its extension. Records what the resource must hold in
# <build>/pe-expectations/<target>.json for scripts/check-pe-resources.py;
# a target that carries a manifest names its file in the target property
# RIVERRA_MANIFEST, which the check compares too.
function(riverra_add_version_info target)
  cmake_parse_arguments(ARG "" "DESCRIPTION;ORIGINAL_FILENAME;INTERNAL_NAME" "" ${ARGN})
  if(NOT ARG_DESCRIPTION OR NOT ARG_ORIGINAL_FILENAME)
    message(FATAL_ERROR "riverra_add_version_info(${target}): DESCRIPTION and ORIGINAL_FILENAME are required")
  endif()
  if(NOT ARG_INTERNAL_NAME)
    get_filename_component(ARG_INTERNAL_NAME ${ARG_ORIGINAL_FILENAME} NAME_WE)
  endif()
  target_include_directories(${target} PRIVATE ${RIVERRA_GENERATED_DIR})
  if(NOT WIN32)
    return()
  endif()

  string(REPLACE "." "," RIVERRA_FILE_VERSION_COMMAS ${RIVERRA_FILE_VERSION})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_info.rc)
  configure_file(${RIVERRA_VERSION_TEMPLATE_DIR}/version_info.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})

  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/pe-expectations/${target}.json CONTENT "{
  \"executable\": \"$<TARGET_FILE:${target}>\",
  \"manifest\": \"$<TARGET_GENEX_EVAL:${target},$<TARGET_PROPERTY:${target},RIVERRA_MANIFEST>>\",
  \"file_version\": \"${RIVERRA_FILE_VERSION}\",
  \"strings\": {
    \"CompanyName\": \"${RIVERRA_COMPANY_NAME}\",
    \"FileDescription\": \"${ARG_DESCRIPTION}\",
    \"FileVersion\": \"${RIVERRA_FILE_VERSION}\",
    \"InternalName\": \"${ARG_INTERNAL_NAME}\",
    \"LegalCopyright\": \"${RIVERRA_COPYRIGHT}\",
    \"OriginalFilename\": \"${ARG_ORIGINAL_FILENAME}\",
    \"ProductName\": \"${RIVERRA_PRODUCT_NAME}\",
    \"ProductVersion\": \"${RIVERRA_PRODUCT_VERSION}\"
  }
}
")
endfunction()
