# orrery-docgen writes the completion scripts and the manual pages from the
# dispatch table and the help texts at build time; the install copies them
# from share/ of the build folder, the layout uninstall knows.
add_executable(orrery-docgen cli/docgen.cpp cli/dispatch.cpp
  cli/internal/docgen_shell.cpp cli/internal/docgen_man.cpp)
target_link_libraries(orrery-docgen PRIVATE orrery_net orrery_core)

set(ORRERY_DOCS_STAMP ${PROJECT_BINARY_DIR}/share/orrery-docs.stamp)
# The pages are written afresh, so a page of a command that is gone is not
# installed.
add_custom_command(OUTPUT ${ORRERY_DOCS_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${PROJECT_BINARY_DIR}/share/man/man1
  COMMAND orrery-docgen ${PROJECT_BINARY_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${ORRERY_DOCS_STAMP}
  DEPENDS orrery-docgen
  COMMENT "Generating completion scripts and manual pages")
add_custom_target(orrery_docs ALL DEPENDS ${ORRERY_DOCS_STAMP})

install(FILES ${PROJECT_BINARY_DIR}/share/bash-completion/completions/orrery
        DESTINATION share/bash-completion/completions)
install(FILES ${PROJECT_BINARY_DIR}/share/zsh/site-functions/_orrery
        DESTINATION share/zsh/site-functions)
install(DIRECTORY ${PROJECT_BINARY_DIR}/share/man/man1/
        DESTINATION share/man/man1 FILES_MATCHING PATTERN "orrery*.1")
