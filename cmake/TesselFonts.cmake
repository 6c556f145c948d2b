# The display fonts in fonts/ beside the program (the build tree's root), made once
# by tools/make-fonts.sh from npm packages; the build goes on without them.
set(TESSEL_FONTS_DIR ${CMAKE_BINARY_DIR}/fonts)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/fonts.stamp
  COMMAND ${PROJECT_SOURCE_DIR}/tools/make-fonts.sh ${CMAKE_BINARY_DIR}/font-work ${TESSEL_FONTS_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/fonts.stamp
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make-fonts.sh
  COMMENT "Making the display fonts"
  VERBATIM)
add_custom_target(tessel_fonts ALL DEPENDS ${CMAKE_BINARY_DIR}/fonts.stamp)
