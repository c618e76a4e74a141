# Small build helpers shared by the subdirectories.

# zf_embed_bytes(OUT_CPP INPUT_FILE SYMBOL NAMESPACE)
# Turns a binary file into a C++ source that defines
#   extern const unsigned char NAMESPACE::SYMBOL[]; extern const unsigned NAMESPACE::SYMBOL_size;
# so a program can carry the file's bytes without a resource lookup.
function(zf_embed_bytes out_cpp input symbol ns)
  add_custom_command(
    OUTPUT ${out_cpp}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${out_cpp} -DSYMBOL=${symbol} -DNS=${ns}
            -P ${PROJECT_SOURCE_DIR}/cmake/embed_bytes.cmake
    DEPENDS ${input} ${PROJECT_SOURCE_DIR}/cmake/embed_bytes.cmake
    COMMENT "Embedding ${input}"
    VERBATIM)
endfunction()
