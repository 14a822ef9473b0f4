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

# --- Help.pdf ---
set(ZELBOR_HELP_HTML ${CMAKE_SOURCE_DIR}/resources/manual/eng/Help.html)
if(EXISTS ${ZELBOR_HELP_HTML})
  add_custom_command(OUTPUT ${ZELBOR_SHIP_DIR}/Help.pdf
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZELBOR_SHIP_DIR}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${ZELBOR_TOOL_zelbor-help-pdf} ${ZELBOR_HELP_HTML} ${ZELBOR_SHIP_DIR}/Help.pdf
    DEPENDS ${ZELBOR_TOOL_DEPENDS} ${ZELBOR_HELP_HTML}
    COMMENT "Typesetting Help.pdf"
    VERBATIM)
  add_custom_target(zelbor_help_pdf ALL DEPENDS ${ZELBOR_SHIP_DIR}/Help.pdf)
endif()
