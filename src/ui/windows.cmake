# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program: a GUI executable (no console window) with its icon and version
# information as resources, its libraries from the system folder only (cmake/WindowsDllSearch.cmake),
# and, with a static Qt, the platform and style plugins linked in.
# Included by src/ui/CMakeLists.txt on Windows once ZelborConfigTool exists.
set_target_properties(ZelborConfigTool PROPERTIES WIN32_EXECUTABLE ON)
zelbor_system_dlls_only(ZelborConfigTool)

set(ZELBOR_VERSION_COMMAS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/ZelborConfigTool.rc.in ${CMAKE_CURRENT_BINARY_DIR}/ZelborConfigTool.rc @ONLY)
target_sources(ZelborConfigTool PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/ZelborConfigTool.rc)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/ZelborConfigTool.rc PROPERTIES OBJECT_DEPENDS ${ZELBOR_APP_ICO})
add_dependencies(ZelborConfigTool zelbor_app_icon)

get_target_property(ZELBOR_QT_TYPE Qt6::Core TYPE)
if(ZELBOR_QT_TYPE STREQUAL "STATIC_LIBRARY")
  qt_import_plugins(ZelborConfigTool
    INCLUDE Qt6::QWindowsIntegrationPlugin Qt6::QWindowsVistaStylePlugin
    EXCLUDE_BY_TYPE imageformats) # pictures are decoded with libjpeg or drawn; none are read by Qt
endif()
