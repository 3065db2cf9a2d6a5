# Documentation as Debian ships it: compressed with gzip -9n (no name or time stamp inside, so the
# packages come out the same from the same sources), manual pages under share/man.

find_program(KIT_GZIP gzip REQUIRED)
add_custom_target(kit_docs ALL)

# kit_gzip(<source> <output>): <output> is <source> compressed, rebuilt when <source> changes.
function(kit_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "mkdir -p \"$(dirname \"$1\")\" && ${KIT_GZIP} -9nc \"$0\" > \"$1\"" ${source} ${output}
        DEPENDS ${source} VERBATIM)
    # Named after the file's place in the build tree: a name holding its absolute path would change
    # with the checkout and read as noise in every build listing.
    file(RELATIVE_PATH _name ${PROJECT_BINARY_DIR} ${output})
    string(MAKE_C_IDENTIFIER ${_name} _name)
    add_custom_target(kit_doc_${_name} DEPENDS ${output})
    add_dependencies(kit_docs kit_doc_${_name})
endfunction()

# kit_install_manpage(<page.N> <component>): installs the page, compressed, to share/man/manN.
function(kit_install_manpage page component)
    get_filename_component(_page ${page} ABSOLUTE)
    get_filename_component(_name ${page} NAME)
    string(REGEX REPLACE ".*\\.([1-9])$" "\\1" _section ${_name})
    set(_gz ${PROJECT_BINARY_DIR}/man/${_name}.gz)
    kit_gzip(${_page} ${_gz})
    if(KIT_INSTALL)
        install(FILES ${_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${_section} COMPONENT ${component})
    endif()
endfunction()
