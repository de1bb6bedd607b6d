# tovra_add_payload(<lib> ARCHIVE <zip> [DEPENDS <targets/files>...] [NO_CHECK])
# A payload library: the extractor pair and <zip> as constant data, with the
# lengths as constants (payload/payload.h). It is an object library, so that
# its data is linked wherever the worker (tovra_worker) is, whatever the order
# of the libraries. The installer uses one; test installers carry other
# archives through the same path. NO_CHECK skips the build-time archive check,
# for test installers that must carry a bad product; the check requires the
# service program to carry TOVRA_PRODUCT_VERSION, this tree's ProductVersion. The pair and the source
# come from payload/'s tovra_payload_api (its TOVRA_* properties); the
# library's TOVRA_ARCHIVE property names the archive it carries.
function(tovra_add_payload name)
  cmake_parse_arguments(P "NO_CHECK" "ARCHIVE" "DEPENDS" ${ARGN})
  foreach(prop SOURCE EXTRACTOR CODEC PAIR_DEPENDS)
    get_target_property(${prop} tovra_payload_api TOVRA_${prop})
  endforeach()
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/${name}-generated)
  set(asm ${gen}/payload.S)
  set(layout ${gen}/payload/payload_layout.h)
  set(check "")
  if(NOT P_NO_CHECK)
    set(check COMMAND ${TOVRA_HOST_BIN}/tovra-archive-check ${P_ARCHIVE} ${TOVRA_PRODUCT_VERSION})
  endif()
  add_custom_command(
    OUTPUT ${asm} ${layout}
    ${check}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${gen}/payload
    COMMAND ${TOVRA_HOST_BIN}/tovra-payload-gen ${EXTRACTOR} ${CODEC} ${P_ARCHIVE} ${asm} ${layout}
    DEPENDS ${PAIR_DEPENDS} ${P_ARCHIVE} ${P_DEPENDS} ${TOVRA_HOST_BIN}/tovra-payload-gen
            ${TOVRA_HOST_BIN}/tovra-archive-check ${CMAKE_BINARY_DIR}/generated/tovra_version.h
    COMMENT "Generating the payload layout of ${name}"
    VERBATIM)
  add_library(${name} OBJECT ${SOURCE} ${asm} ${layout})
  set_target_properties(${name} PROPERTIES TOVRA_ARCHIVE ${P_ARCHIVE})
  # The variant's layout header must win over any other on the include path.
  target_include_directories(${name} BEFORE PUBLIC ${gen})
  target_link_libraries(${name} PUBLIC tovra_payload_api)
  tovra_without_exceptions(${name})
  set_source_files_properties(${asm} TARGET_DIRECTORY ${name} PROPERTIES LANGUAGE ASM
                              OBJECT_DEPENDS "${EXTRACTOR};${CODEC};${P_ARCHIVE}")
endfunction()
