# SPDX-License-Identifier: GPL-3.0-or-later
# The build-time generators: programs that run on the build machine while the program is built.
# Included by src/ui/generated.cmake in a native build and by tools/host (the build machine's
# own build of them) when the program is cross-built. Expects ZELBOR_SOURCE_ROOT (the source
# tree), ZELBOR_TOOLS_OUT (their folder), Qt6::Gui, JPEG::JPEG and zelbor_warnings().

# The pedal-assist diagram, drawn and JPEG-encoded, then embedded into the program.
add_executable(zelbor-pas-diagram ${ZELBOR_SOURCE_ROOT}/tools/pas-diagram/main.cpp)
target_link_libraries(zelbor-pas-diagram PRIVATE Qt6::Gui JPEG::JPEG)

# The help document Help.pdf, typeset from the manual's HTML.
add_executable(zelbor-help-pdf ${ZELBOR_SOURCE_ROOT}/tools/help-pdf/main.cpp)
target_link_libraries(zelbor-help-pdf PRIVATE Qt6::Gui)

# The program's icon as files: the Windows executable's icon and the desktop entry's picture.
add_executable(zelbor-app-icon ${ZELBOR_SOURCE_ROOT}/tools/app-icon/main.cpp ${ZELBOR_SOURCE_ROOT}/src/ui/IconArt.cpp)
target_include_directories(zelbor-app-icon PRIVATE ${ZELBOR_SOURCE_ROOT}/src)
target_link_libraries(zelbor-app-icon PRIVATE Qt6::Gui)

foreach(tool zelbor-pas-diagram zelbor-help-pdf zelbor-app-icon)
  set_target_properties(${tool} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ZELBOR_TOOLS_OUT})
  zelbor_warnings(${tool})
endforeach()
