# The auxiliary windows' build steps: the pedal-assist diagram (drawn and JPEG-encoded by a
# generator program, then embedded into zelbor_ui) and the help document Help.pdf beside the
# executable. Included by src/ui/CMakeLists.txt once zelbor_ui exists.

set(ZELBOR_TOOLS_OUT ${CMAKE_BINARY_DIR}/tools)

# --- Pedal-assist diagram ---
add_executable(zelbor-pas-diagram ${CMAKE_SOURCE_DIR}/tools/pas-diagram/main.cpp)
target_link_libraries(zelbor-pas-diagram PRIVATE Qt6::Gui JPEG::JPEG)
set_target_properties(zelbor-pas-diagram PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ZELBOR_TOOLS_OUT})
zelbor_warnings(zelbor-pas-diagram)

set(ZELBOR_PAS_JPEG ${CMAKE_CURRENT_BINARY_DIR}/generated/PedalAssist.jpg)
set(ZELBOR_PAS_CPP ${CMAKE_CURRENT_BINARY_DIR}/generated/PedalAssistJpeg.cpp)
add_custom_command(OUTPUT ${ZELBOR_PAS_JPEG} ${ZELBOR_PAS_CPP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/generated
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:zelbor-pas-diagram> ${ZELBOR_PAS_JPEG} ${ZELBOR_PAS_CPP}
  DEPENDS zelbor-pas-diagram ${CMAKE_SOURCE_DIR}/tools/pas-diagram/main.cpp
  COMMENT "Drawing the pedal-assist diagram"
  VERBATIM)
target_sources(zelbor_ui PRIVATE ${ZELBOR_PAS_CPP})

# --- Help.pdf ---
set(ZELBOR_HELP_HTML ${CMAKE_SOURCE_DIR}/resources/manual/Help.html)
if(EXISTS ${ZELBOR_HELP_HTML})
  add_executable(zelbor-help-pdf ${CMAKE_SOURCE_DIR}/tools/help-pdf/main.cpp)
  target_link_libraries(zelbor-help-pdf PRIVATE Qt6::Gui)
  set_target_properties(zelbor-help-pdf PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ZELBOR_TOOLS_OUT})
  zelbor_warnings(zelbor-help-pdf)

  add_custom_command(OUTPUT ${ZELBOR_SHIP_DIR}/Help.pdf
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZELBOR_SHIP_DIR}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:zelbor-help-pdf> ${ZELBOR_HELP_HTML} ${ZELBOR_SHIP_DIR}/Help.pdf
    DEPENDS zelbor-help-pdf ${ZELBOR_HELP_HTML}
    COMMENT "Typesetting Help.pdf"
    VERBATIM)
  add_custom_target(zelbor_help_pdf ALL DEPENDS ${ZELBOR_SHIP_DIR}/Help.pdf)
endif()
