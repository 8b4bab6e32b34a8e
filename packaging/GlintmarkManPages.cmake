# Man pages made at build time by help2man from each program's --help, so new options appear
# without edits, plus the hand-written sections in man/<program>.h2m.
find_program(GLINTMARK_HELP2MAN help2man)
if(GLINTMARK_HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
    set(man_default ON)
else()
    set(man_default OFF)
endif()
option(GLINTMARK_MAN_PAGES "Make the man pages with help2man (runs the built programs)" ${man_default})
if(NOT GLINTMARK_MAN_PAGES)
    return()
endif()
if(NOT GLINTMARK_HELP2MAN)
    message(FATAL_ERROR "GLINTMARK_MAN_PAGES needs help2man (scripts/install-deps --package)")
endif()

execute_process(COMMAND date -u -d ${GLINTMARK_RELEASE_DATE} +%s
                OUTPUT_VARIABLE release_epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

# glintmark_man_page(<program target> <one-line summary>)
# Writes <program>.1.gz (gzip -9n, as Debian wants) and installs it into man1.
function(glintmark_man_page program summary)
    # help2man calls its program by path: a stand-in of the same name runs the real one
    # through man/shape-help.
    set(stand_in ${CMAKE_CURRENT_BINARY_DIR}/help/${program})
    file(GENERATE OUTPUT ${stand_in}
         CONTENT "#!/bin/sh\nexec '${CMAKE_CURRENT_SOURCE_DIR}/man/shape-help' '$<TARGET_FILE:${program}>' \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                          WORLD_READ WORLD_EXECUTE)
    set(include ${CMAKE_CURRENT_SOURCE_DIR}/man/${program}.h2m)
    add_custom_command(OUTPUT ${program}.1.gz
        COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${release_epoch}
                ${GLINTMARK_HELP2MAN} --no-info --section=1 --name=${summary}
                --include=${include} --output=${program}.1 ${stand_in}
        COMMAND gzip -9nf ${program}.1
        DEPENDS ${program} ${include} ${CMAKE_CURRENT_SOURCE_DIR}/man/shape-help
        COMMENT "Writing the man page ${program}(1)"
        VERBATIM)
    add_custom_target(${program}_man ALL DEPENDS ${program}.1.gz)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${program}.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

glintmark_man_page(glintmark-cli "pull the JPEG textures out of level database files")
if(GLINTMARK_BUILD_GUI)
    glintmark_man_page(glintmark "desktop window that pulls the JPEG textures out of level databases")
endif()
