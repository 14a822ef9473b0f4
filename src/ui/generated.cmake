# SPDX-License-Identifier: GPL-3.0-or-later
# The auxiliary windows' build steps: the pedal-assist diagram (drawn and JPEG-encoded by a
# generator program, then embedded into zelbor_ui), the help document Help.pdf beside the
# executable and the icon files. Included by src/ui/CMakeLists.txt once zelbor_ui exists.
#
# The generators run on the build machine. In a cross build (Windows from Linux) they are built
# for the build machine by a project of their own (tools/host), not for the target.

set(ZELBOR_TOOLS_OUT ${CMAKE_BINARY_DIR}/tools)
set(ZELBOR_GENERATORS zelbor-pas-diagram zelbor-help-pdf zelbor-app-icon)
if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(ZELBOR_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
  set(ZELBOR_HOST_TOOL_FILES)
  foreach(tool IN LISTS ZELBOR_GENERATORS)
    set(ZELBOR_TOOL_${tool} ${ZELBOR_HOST_TOOLS_DIR}/${tool})
    list(APPEND ZELBOR_HOST_TOOL_FILES ${ZELBOR_HOST_TOOLS_DIR}/${tool})
  endforeach()
  # The host's own compiler and Qt: nothing of the cross toolchain is passed on.
  ExternalProject_Add(zelbor_host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools/host
    BINARY_DIR ${ZELBOR_HOST_TOOLS_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DZELBOR_WERROR=${ZELBOR_WERROR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${ZELBOR_HOST_TOOL_FILES}
    USES_TERMINAL_BUILD ON)
  set(ZELBOR_TOOL_DEPENDS zelbor_host_tools)
else()
  set(ZELBOR_SOURCE_ROOT ${CMAKE_SOURCE_DIR})
  include(${CMAKE_SOURCE_DIR}/tools/generators.cmake)
  foreach(tool IN LISTS ZELBOR_GENERATORS)
    set(ZELBOR_TOOL_${tool} $<TARGET_FILE:${tool}>)
  endforeach()
  set(ZELBOR_TOOL_DEPENDS ${ZELBOR_GENERATORS})
endif()

# --- Pedal-assist diagram ---
set(ZELBOR_PAS_JPEG ${CMAKE_CURRENT_BINARY_DIR}/generated/PedalAssist.jpg)
set(ZELBOR_PAS_CPP ${CMAKE_CURRENT_BINARY_DIR}/generated/PedalAssistJpeg.cpp)
add_custom_command(OUTPUT ${ZELBOR_PAS_JPEG} ${ZELBOR_PAS_CPP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/generated
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          ${ZELBOR_TOOL_zelbor-pas-diagram} ${ZELBOR_PAS_JPEG} ${ZELBOR_PAS_CPP}
  DEPENDS ${ZELBOR_TOOL_DEPENDS} ${CMAKE_SOURCE_DIR}/tools/pas-diagram/main.cpp
  COMMENT "Drawing the pedal-assist diagram"
  VERBATIM)
target_sources(zelbor_ui PRIVATE ${ZELBOR_PAS_CPP})

# --- Icon files (the Windows resources and installer take the .ico; the Linux archive the .png,
# the Debian package the icon theme's sizes in hicolor/) ---
set(ZELBOR_APP_ICO ${ZELBOR_TOOLS_OUT}/ZelborConfigTool.ico)
set(ZELBOR_APP_PNG ${ZELBOR_TOOLS_OUT}/zelbor-config-tool.png)
set(ZELBOR_APP_HICOLOR ${ZELBOR_TOOLS_OUT}/hicolor)
set(ZELBOR_APP_HICOLOR_FILES)
foreach(size 16 24 32 48 64 128 256) # as tools/app-icon draws them
  list(APPEND ZELBOR_APP_HICOLOR_FILES ${ZELBOR_APP_HICOLOR}/${size}x${size}/apps/zelbor-config-tool.png)
endforeach()
add_custom_command(OUTPUT ${ZELBOR_APP_ICO} ${ZELBOR_APP_PNG} ${ZELBOR_APP_HICOLOR_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZELBOR_TOOLS_OUT}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          ${ZELBOR_TOOL_zelbor-app-icon} ${ZELBOR_APP_ICO} ${ZELBOR_APP_PNG} ${ZELBOR_APP_HICOLOR}
  DEPENDS ${ZELBOR_TOOL_DEPENDS} ${CMAKE_SOURCE_DIR}/tools/app-icon/main.cpp ${CMAKE_SOURCE_DIR}/src/ui/IconArt.cpp
  COMMENT "Drawing the icon files"
  VERBATIM)
add_custom_target(zelbor_app_icon ALL DEPENDS ${ZELBOR_APP_ICO} ${ZELBOR_APP_PNG} ${ZELBOR_APP_HICOLOR_FILES})

# --- The manuals ---
# One per language with a source, resources/manual/<code>/Help.html (<code> a folder of
# Languages/): the English one is Help.pdf beside the program, every other Languages/<code>/Help.pdf.
# Their pictures are taken from this build's own window in the manual's language
# (tools/manual-shots), so they follow the code. That needs the window and the virtual controller
# running on the build machine: a cross build takes the manuals a native build made instead
# (ZELBOR_MANUALS_FROM, the native build's shipping folder).
file(GLOB ZELBOR_MANUAL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/manual/*/Help.html)
set(ZELBOR_MANUAL_CODES)
foreach(source IN LISTS ZELBOR_MANUAL_SOURCES)
  get_filename_component(dir ${source} DIRECTORY)
  get_filename_component(code ${dir} NAME)
  if(IS_DIRECTORY ${CMAKE_SOURCE_DIR}/resources/Languages/${code})
    list(APPEND ZELBOR_MANUAL_CODES ${code})
  endif()
endforeach()
set(ZELBOR_MANUAL_PICTURES main-window.png warning.png snapshots.png doctor-status.png)
set(ZELBOR_MANUALS_FROM "" CACHE PATH
    "Cross builds: the shipping folder of a native build whose manuals this build ships")
set(ZELBOR_MANUAL_FILES) # relative to the shipping folder, for the install rules and the tests
set(ZELBOR_MANUAL_OUT)

# Where a language's manual lies in the shipping folder: English beside the program, where it has
# always been; the others in their language's folder.
function(zelbor_manual_path code out)
  if(code STREQUAL "eng")
    set(${out} Help.pdf PARENT_SCOPE)
  else()
    set(${out} Languages/${code}/Help.pdf PARENT_SCOPE)
  endif()
endfunction()

if(NOT CMAKE_CROSSCOMPILING AND TARGET zelbor-virtual-controller)
  # The window's test helpers start it and the virtual controller as the window tests do.
  add_executable(zelbor-manual-shots ${CMAKE_SOURCE_DIR}/tools/manual-shots/main.cpp)
  target_include_directories(zelbor-manual-shots PRIVATE ${CMAKE_SOURCE_DIR}/tests/ui)
  target_link_libraries(zelbor-manual-shots PRIVATE zelbor_ui)
  target_compile_definitions(zelbor-manual-shots PRIVATE
    ZELBOR_RESOURCES_DIR="${CMAKE_SOURCE_DIR}/resources"
    ZELBOR_VIRTUAL_CONTROLLER="$<TARGET_FILE:zelbor-virtual-controller>")
  set_target_properties(zelbor-manual-shots PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ZELBOR_TOOLS_OUT})
  add_dependencies(zelbor-manual-shots zelbor-virtual-controller)
  zelbor_warnings(zelbor-manual-shots)
  file(GLOB_RECURSE ZELBOR_LANGUAGE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/Languages/*)
  foreach(code IN LISTS ZELBOR_MANUAL_CODES)
    zelbor_manual_path(${code} relative)
    set(shots ${CMAKE_BINARY_DIR}/manual/${code})
    list(TRANSFORM ZELBOR_MANUAL_PICTURES PREPEND ${shots}/ OUTPUT_VARIABLE pictures)
    add_custom_command(OUTPUT ${pictures}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
              $<TARGET_FILE:zelbor-manual-shots> ${ZELBOR_SHIP_DIR} ${code} ${shots}
      DEPENDS zelbor-manual-shots zelbor-virtual-controller ${ZELBOR_LANGUAGE_SOURCES}
      COMMENT "Taking the manual's pictures (${code})"
      VERBATIM)
    add_custom_command(OUTPUT ${ZELBOR_SHIP_DIR}/${relative}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${ZELBOR_SHIP_DIR}/Languages/${code}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
              ${ZELBOR_TOOL_zelbor-help-pdf} ${CMAKE_SOURCE_DIR}/resources/manual/${code}/Help.html
              ${ZELBOR_SHIP_DIR}/${relative} ${shots}
      DEPENDS ${ZELBOR_TOOL_DEPENDS} ${CMAKE_SOURCE_DIR}/resources/manual/${code}/Help.html ${pictures}
      COMMENT "Typesetting ${relative}"
      VERBATIM)
    list(APPEND ZELBOR_MANUAL_FILES ${relative})
    list(APPEND ZELBOR_MANUAL_OUT ${ZELBOR_SHIP_DIR}/${relative})
  endforeach()
elseif(ZELBOR_MANUALS_FROM)
  foreach(code IN LISTS ZELBOR_MANUAL_CODES)
    zelbor_manual_path(${code} relative)
    add_custom_command(OUTPUT ${ZELBOR_SHIP_DIR}/${relative}
      COMMAND ${CMAKE_COMMAND} -E copy ${ZELBOR_MANUALS_FROM}/${relative} ${ZELBOR_SHIP_DIR}/${relative}
      DEPENDS ${ZELBOR_MANUALS_FROM}/${relative}
      COMMENT "Taking ${relative} from ${ZELBOR_MANUALS_FROM}"
      VERBATIM)
    list(APPEND ZELBOR_MANUAL_FILES ${relative})
    list(APPEND ZELBOR_MANUAL_OUT ${ZELBOR_SHIP_DIR}/${relative})
  endforeach()
elseif(ZELBOR_MANUAL_CODES)
  message(WARNING "No manual in this build: its pictures are taken on the build machine by a native "
                  "build; give its shipping folder as ZELBOR_MANUALS_FROM")
endif()
if(ZELBOR_MANUAL_OUT)
  # Built after the shipped files, which the pictures are taken with and which Languages/ holds.
  add_custom_target(zelbor_help_pdf ALL DEPENDS ${ZELBOR_MANUAL_OUT})
  add_dependencies(zelbor_help_pdf zelbor_shipped_files)
endif()
set_property(GLOBAL PROPERTY ZELBOR_MANUAL_FILES ${ZELBOR_MANUAL_FILES})
