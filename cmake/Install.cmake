# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install` lays out; the packages are made from such an install tree
# (scripts/package.sh), never from the build folder.
#
# Every copy of the program keeps its files beside its executable, so the install prefix is the
# program's folder, laid out as the build's shipping folder (bin/) is:
#   component "program" (the default): the program, zelbor-cli, the virtual controller (Linux),
#     Help.pdf, Languages/ (with the other languages' manuals), Profiles/, Qt's translations/, the licence and the notices;
#   component "installed-copy" (only when asked for): the marker that makes it an installed copy,
#     with per-user settings (src/common/UserFolders.h). The Windows installer and the Debian
#     package ship it; the archives, which people unpack and use in place, do not;
#   component "desktop" (Linux, only when asked for), installed with the prefix /usr while the
#     program goes to /usr/lib/zelbor-config-tool: the commands in bin/, the menu entry, the
#     software-centre metadata, the icon theme's pictures and the manual pages.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME program)

# The project's domain, as the About window's addresses name it, in reverse: the desktop entry's
# and the software centre's name for the program.
set(ZELBOR_APP_ID example.zelbor.ConfigTool)
set(ZELBOR_HOMEPAGE https://zelbor.example/tool)
# Where the Debian package puts the program's folder (its prefix is /usr).
set(ZELBOR_LIBEXEC_DIR /usr/lib/zelbor-config-tool)

# The programs, each where it would be in the shipping folder.
foreach(program ZelborConfigTool zelbor-cli zelbor-virtual-controller)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION .)
  endif()
endforeach()

# The files the programs read beside themselves.
if(TARGET zelbor_shipped_files)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/Languages ${CMAKE_SOURCE_DIR}/resources/Profiles
          DESTINATION .)
  # Qt's own texts (message-box buttons, file dialogs), when the build found them.
  install(DIRECTORY ${ZELBOR_SHIP_DIR}/translations DESTINATION . OPTIONAL)
endif()
# The manuals: the English Help.pdf beside the program, every other language's in its folder of
# Languages/ (src/ui/generated.cmake).
get_property(ZELBOR_MANUAL_FILES GLOBAL PROPERTY ZELBOR_MANUAL_FILES)
foreach(manual IN LISTS ZELBOR_MANUAL_FILES)
  get_filename_component(folder ${manual} DIRECTORY)
  if(NOT folder)
    set(folder .)
  endif()
  install(FILES ${ZELBOR_SHIP_DIR}/${manual} DESTINATION ${folder})
endforeach()

# The licence and the notices of what the packages link and ship, in every package. Windows
# opens a file by its extension.
if(WIN32)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  install(FILES ${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES DESTINATION . RENAME THIRD-PARTY-NOTICES.txt)
else()
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES DESTINATION .)
endif()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/InstalledCopy.txt DESTINATION .
        COMPONENT installed-copy EXCLUDE_FROM_ALL)

if(NOT WIN32 AND TARGET ZelborConfigTool)
  set(ZELBOR_DESKTOP_OUT ${CMAKE_BINARY_DIR}/desktop)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/linux/zelbor-config-tool.desktop.in
                 ${ZELBOR_DESKTOP_OUT}/${ZELBOR_APP_ID}.desktop @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/linux/metainfo.xml.in
                 ${ZELBOR_DESKTOP_OUT}/${ZELBOR_APP_ID}.metainfo.xml @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/linux/zelbor-cli.1.in ${ZELBOR_DESKTOP_OUT}/zelbor-cli.1 @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/linux/zelbor-config-tool.1.in
                 ${ZELBOR_DESKTOP_OUT}/zelbor-config-tool.1 @ONLY)
  # The commands link to the programs, which find their files beside their own real path.
  file(MAKE_DIRECTORY ${ZELBOR_DESKTOP_OUT}/bin)
  file(CREATE_LINK ../lib/zelbor-config-tool/ZelborConfigTool ${ZELBOR_DESKTOP_OUT}/bin/zelbor-config-tool SYMBOLIC)
  file(CREATE_LINK ../lib/zelbor-config-tool/zelbor-cli ${ZELBOR_DESKTOP_OUT}/bin/zelbor-cli SYMBOLIC)

  install(FILES ${ZELBOR_DESKTOP_OUT}/bin/zelbor-config-tool ${ZELBOR_DESKTOP_OUT}/bin/zelbor-cli
          DESTINATION bin COMPONENT desktop EXCLUDE_FROM_ALL)
  install(FILES ${ZELBOR_DESKTOP_OUT}/${ZELBOR_APP_ID}.desktop DESTINATION share/applications
          COMPONENT desktop EXCLUDE_FROM_ALL)
  install(FILES ${ZELBOR_DESKTOP_OUT}/${ZELBOR_APP_ID}.metainfo.xml DESTINATION share/metainfo
          COMPONENT desktop EXCLUDE_FROM_ALL)
  # Drawn by tools/app-icon (src/ui/generated.cmake).
  install(DIRECTORY ${CMAKE_BINARY_DIR}/tools/hicolor DESTINATION share/icons COMPONENT desktop EXCLUDE_FROM_ALL)
  install(FILES ${ZELBOR_DESKTOP_OUT}/zelbor-cli.1 ${ZELBOR_DESKTOP_OUT}/zelbor-config-tool.1
          DESTINATION share/man/man1 COMPONENT desktop EXCLUDE_FROM_ALL)
endif()
