# The translation catalogues (po/<lang>.po and po/<lang>-<part>.po) travel inside the program as
# text, so the game speaks the player's language without any installed locale or catalogue file.
# kx_carry_catalogues(OUT) makes the C++ source OUT of them at build time (tools/embed_po.cmake);
# the program, the browser build and the fuzz targets each carry their own.
function(kx_carry_catalogues out)
  file(GLOB po_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/po/*.po)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DPO_DIR=${CMAKE_SOURCE_DIR}/po -DOUT=${out}
            -P ${CMAKE_SOURCE_DIR}/tools/embed_po.cmake
    DEPENDS ${po_files} ${CMAKE_SOURCE_DIR}/tools/embed_po.cmake
    COMMENT "Carrying the translation catalogues")
endfunction()
