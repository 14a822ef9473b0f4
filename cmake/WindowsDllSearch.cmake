# SPDX-License-Identifier: GPL-3.0-or-later
# Windows: the executables users start take their libraries from the system folder only, never
# from the program's folder or the current folder (src/common/win32/SystemDllSearch.cpp says why).
#
#   zelbor_system_dlls_only(TARGET)
#
# starts TARGET at an entry point that narrows the DLL search to the system folder before anything
# else runs, and links the libraries of ZELBOR_DELAY_LOADED_LIBRARIES as delay-loaded imports,
# which that entry point binds once the search is narrowed. As ordinary imports the loader would
# look for them, or for what they import in turn, before the program could run a line, beside the
# program first. The delay-import libraries are made with dlltool from the toolchain's import
# libraries and put first in TARGET's library path, so that the names the targets link (-luser32,
# -lversion, ...) resolve to them. The linker writes no delay-import directory into the image, so
# the entry point finds the libraries through their descriptors, listed in a generated source.
# scripts/check-windows-imports.sh checks the result: nothing but known libraries imported directly.
#
# An import library (the toolchain's are made by dlltool too) holds, per library it imports from,
# a head member PREFIXh.o, a tail PREFIXt.o naming the DLL, and a member PREFIXsNNNNN.o per name,
# with the __imp_ pointer and, for a function, its thunk; most hold one DLL, some several (API sets).
#
# Also a script, run at build time for one import library:
#   cmake -DNM=... -DAR=... -DDLLTOOL=... -DIMPORT_LIBRARY=... -DOUTPUT=/absolute/lib.a -P WindowsDllSearch.cmake

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25) # before the functions, which keep the policies they are defined under
endif()

# The DLLs an import library (its member names) imports from: their member prefixes.
function(zelbor_import_prefixes members out)
  set(prefixes "")
  foreach(member IN LISTS members)
    if(member MATCHES "^(.+)h\\.o$")
      set(prefix ${CMAKE_MATCH_1})
      if("${prefix}t.o" IN_LIST members)
        list(APPEND prefixes ${prefix})
      endif()
    endif()
  endforeach()
  set(${out} ${prefixes} PARENT_SCOPE)
endfunction()

# The delay-import descriptor dlltool defines for the DLL of a prefix (named after its output file).
function(zelbor_delay_descriptor prefix out)
  string(MAKE_C_IDENTIFIER "${prefix}.a" name)
  set(${out} __DELAY_IMPORT_DESCRIPTOR_${name} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  execute_process(COMMAND ${AR} t ${IMPORT_LIBRARY} OUTPUT_VARIABLE members RESULT_VARIABLE status)
  execute_process(COMMAND ${NM} -A ${IMPORT_LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE status2)
  if(NOT status EQUAL 0 OR NOT status2 EQUAL 0)
    message(FATAL_ERROR "${AR} or ${NM} could not read ${IMPORT_LIBRARY}")
  endif()
  string(REGEX MATCHALL "[^\n]+" members "${members}")
  zelbor_import_prefixes("${members}" prefixes)
  # The functions (thunks, "T") of each name member. A name with the pointer alone is data, which
  # cannot be delay-loaded: should a program ever use one, its link fails.
  string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[^:]*:(.+)s[0-9][0-9][0-9][0-9][0-9]\\.o:[0-9a-fA-F]+ T (.+)$")
      string(MAKE_C_IDENTIFIER "${CMAKE_MATCH_1}" key)
      list(APPEND functions_${key} ${CMAKE_MATCH_2})
    endif()
  endforeach()
  set(work ${OUTPUT}.work)
  file(REMOVE_RECURSE ${work} ${OUTPUT})
  file(MAKE_DIRECTORY ${work}/members)
  set(taken "")
  foreach(prefix IN LISTS prefixes)
    # The tail's only text ending in a file name extension is the DLL's name.
    execute_process(COMMAND ${AR} x ${IMPORT_LIBRARY} ${prefix}t.o WORKING_DIRECTORY ${work})
    file(STRINGS ${work}/${prefix}t.o dll REGEX "^[A-Za-z0-9_.-]+\\.[A-Za-z]+$" LIMIT_COUNT 1)
    if(NOT dll)
      message(FATAL_ERROR "${IMPORT_LIBRARY}: no DLL name in ${prefix}t.o")
    endif()
    string(MAKE_C_IDENTIFIER "${prefix}" key)
    set(def "LIBRARY ${dll}\nEXPORTS\n")
    foreach(name IN LISTS functions_${key})
      string(APPEND def "${name}\n")
    endforeach()
    file(WRITE ${work}/${prefix}.def "${def}")
    # Run in the work folder with a bare file name: dlltool names the symbols after it.
    execute_process(COMMAND ${DLLTOOL} --input-def ${prefix}.def --dllname ${dll} --output-delaylib ${prefix}.a
                    WORKING_DIRECTORY ${work} RESULT_VARIABLE status)
    if(status EQUAL 0)
      execute_process(COMMAND ${AR} x ../${prefix}.a WORKING_DIRECTORY ${work}/members RESULT_VARIABLE status)
    endif()
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${DLLTOOL} could not make the delay-import library of ${dll}")
    endif()
    foreach(member IN LISTS members)
      if(member MATCHES "^(.+)(h|t|s[0-9][0-9][0-9][0-9][0-9])\\.o$")
        if(CMAKE_MATCH_1 STREQUAL prefix)
          list(APPEND taken ${member})
        endif()
      endif()
    endforeach()
  endforeach()
  # Members of no DLL are code or data of their own (GUIDs, inline helpers): copied as they are.
  set(own ${members})
  list(REMOVE_ITEM own ${taken})
  if(own)
    execute_process(COMMAND ${AR} x ${IMPORT_LIBRARY} ${own} WORKING_DIRECTORY ${work}/members)
  endif()
  file(GLOB objects RELATIVE ${work}/members ${work}/members/*)
  list(SORT objects)
  execute_process(COMMAND ${AR} rcs ${OUTPUT} ${objects}
                  WORKING_DIRECTORY ${work}/members RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${AR} could not make ${OUTPUT}")
  endif()
  file(REMOVE_RECURSE ${work})
  return()
endif()

# Every import library the programs or the Qt linked into them may link, but those of the kernel
# (and its API sets) and the C runtime, which the runtime's start-up needs before any entry point
# of the program's own could run. Windows' known libraries are among them: Windows takes those
# from the system folder in any case, but what they import is not always known (Wine's, for one,
# pull in version.dll through the program's search path), and this way nothing but the kernel and
# the runtime is loaded before the search is narrowed. A name missing here shows up as a direct
# import, which scripts/check-windows-imports.sh refuses unless Windows knows it; a name here that
# nothing uses costs an empty descriptor.
set(ZELBOR_DELAY_LOADED_LIBRARIES
  advapi32 authz comctl32 comdlg32 d3d9 d3d11 dcomp dwmapi dwrite dxgi gdi32 imm32 mpr netapi32 ole32
  oleaut32 runtimeobject setupapi shcore shell32 shlwapi user32 userenv uxtheme version winmm winspool
  wtsapi32 ws2_32)

set(ZELBOR_DELAY_IMPORT_DIR ${CMAKE_BINARY_DIR}/delay-import)
if(CMAKE_DLLTOOL)
  set(ZELBOR_DLLTOOL ${CMAKE_DLLTOOL})
else()
  find_program(ZELBOR_DLLTOOL NAMES ${ZELBOR_MINGW_TRIPLET}-dlltool dlltool REQUIRED)
endif()

# The start-up binds every delay-loaded import at once, right after narrowing the search
# (SystemDllSearch.cpp): it finds them through the descriptors listed here.
set(ZELBOR_DELAY_IMPORT_LIBRARIES "")
set(descriptors "")
foreach(library IN LISTS ZELBOR_DELAY_LOADED_LIBRARIES)
  find_library(ZELBOR_IMPORT_LIBRARY_${library} NAMES ${library} NO_CACHE)
  if(NOT ZELBOR_IMPORT_LIBRARY_${library})
    continue() # the toolchain cannot link it at all, so nothing imports it
  endif()
  set(import_library ${ZELBOR_IMPORT_LIBRARY_${library}})
  execute_process(COMMAND ${CMAKE_AR} t ${import_library} OUTPUT_VARIABLE members)
  string(REGEX MATCHALL "[^\n]+" members "${members}")
  zelbor_import_prefixes("${members}" prefixes)
  foreach(prefix IN LISTS prefixes)
    zelbor_delay_descriptor(${prefix} descriptor)
    list(APPEND descriptors ${descriptor})
  endforeach()
  set(output ${ZELBOR_DELAY_IMPORT_DIR}/lib${library}.a)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DAR=${CMAKE_AR} -DDLLTOOL=${ZELBOR_DLLTOOL}
            -DIMPORT_LIBRARY=${import_library} -DOUTPUT=${output} -P ${CMAKE_CURRENT_LIST_FILE}
    DEPENDS ${import_library} ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Delay-import library of ${library}"
    VERBATIM)
  list(APPEND ZELBOR_DELAY_IMPORT_LIBRARIES ${output})
endforeach()
list(TRANSFORM descriptors PREPEND "extern \"C\" const ImgDelayDescr " OUTPUT_VARIABLE declarations)
list(TRANSFORM descriptors PREPEND "    &" OUTPUT_VARIABLE pointers)
list(JOIN declarations ";\n" declarations)
list(JOIN pointers ",\n" pointers)
file(MAKE_DIRECTORY ${ZELBOR_DELAY_IMPORT_DIR})
file(CONFIGURE OUTPUT ${ZELBOR_DELAY_IMPORT_DIR}/DelayImports.cpp CONTENT [=[
// Generated by cmake/WindowsDllSearch.cmake: the descriptors of the delay-loaded libraries.
#include <windows.h>

#include <delayimp.h>

@declarations@;

namespace zelbor {
extern const ImgDelayDescr* const DelayImports[] = {
@pointers@,
    nullptr};
} // namespace zelbor
]=] @ONLY)
add_custom_target(zelbor_delay_imports DEPENDS ${ZELBOR_DELAY_IMPORT_LIBRARIES})

function(zelbor_system_dlls_only target)
  get_target_property(window ${target} WIN32_EXECUTABLE)
  if(window)
    set(entry ZelborWindowEntry)
  else()
    set(entry ZelborConsoleEntry)
  endif()
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src/common/win32/SystemDllSearch.cpp
                                   ${ZELBOR_DELAY_IMPORT_DIR}/DelayImports.cpp)
  target_link_options(${target} PRIVATE -Wl,--entry=${entry})
  target_link_directories(${target} BEFORE PRIVATE ${ZELBOR_DELAY_IMPORT_DIR})
  # Named too, for the descriptors the generated source lists: a library nothing calls into adds
  # a descriptor without imports, which loads nothing.
  target_link_libraries(${target} PRIVATE ${ZELBOR_DELAY_IMPORT_LIBRARIES})
  add_dependencies(${target} zelbor_delay_imports)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${ZELBOR_DELAY_IMPORT_LIBRARIES})
endfunction()
