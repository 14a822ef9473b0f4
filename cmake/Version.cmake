# SPDX-License-Identifier: GPL-3.0-or-later
# The version's forms, all from project(... VERSION major.minor.patch) in CMakeLists.txt:
#   ZELBOR_VERSION_TEXT    what people read (About window, zelbor-cli --version, package names):
#                          major.minor, and the patch number as a release letter when above zero
#                          (2.2.0 "2.2", 2.2.2 "2.2b"), as the program has always shown its releases
#   ZELBOR_VERSION_NUMERIC major.minor.patch, where only numbers will do (the Windows installer's
#                          product version, the executables' version resources)
# Both are cached (INTERNAL) so that the packaging scripts read them from a configured tree.
set(ZELBOR_VERSION_NUMERIC ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
if(NOT PROJECT_VERSION_PATCH MATCHES "^[0-9]+$" OR PROJECT_VERSION_PATCH GREATER 26)
  message(FATAL_ERROR "project() VERSION needs three numbers, the third from 0 to 26 (a release letter): "
                      "'${PROJECT_VERSION}'")
endif()
set(ZELBOR_VERSION_TEXT ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
if(PROJECT_VERSION_PATCH GREATER 0)
  math(EXPR letter "96 + ${PROJECT_VERSION_PATCH}") # 1 is "a"
  string(ASCII ${letter} letter)
  string(APPEND ZELBOR_VERSION_TEXT ${letter})
endif()
set(ZELBOR_VERSION_TEXT ${ZELBOR_VERSION_TEXT} CACHE INTERNAL "The version as people read it")
set(ZELBOR_VERSION_NUMERIC ${ZELBOR_VERSION_NUMERIC} CACHE INTERNAL "The version in numbers only")

# The release's date (the software centre's metadata, the manual pages): the date of the commit
# built, so that building the same tree again says the same; a tree without its history (the
# source archive) takes the date of the build, or SOURCE_DATE_EPOCH's.
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${CMAKE_SOURCE_DIR} log -1 --format=%cs
                  OUTPUT_VARIABLE ZELBOR_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_status ERROR_QUIET)
endif()
if(NOT GIT_FOUND OR NOT git_status EQUAL 0 OR NOT ZELBOR_RELEASE_DATE MATCHES "^[0-9]+-[0-9]+-[0-9]+$")
  string(TIMESTAMP ZELBOR_RELEASE_DATE "%Y-%m-%d" UTC)
endif()
