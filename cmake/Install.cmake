# `cmake --install`: the programs and both libraries together in
# lib/kavrol (the programs load the libraries from their own folder), links
# to the programs in bin, the skins and the help page in share/kavrol, and a
# menu entry with its icon.
include(GNUInstallDirs)
set(kavrol_private_dir ${CMAKE_INSTALL_LIBDIR}/kavrol)
set(kavrol_data_dir ${CMAKE_INSTALL_DATADIR}/kavrol)

install(TARGETS CorvexaDll Lumaport kavrol-cli
  RUNTIME DESTINATION ${kavrol_private_dir}
  LIBRARY DESTINATION ${kavrol_private_dir})

set(kavrol_programs kavrol-cli)
if(TARGET kavrol)
  install(TARGETS kavrol RUNTIME DESTINATION ${kavrol_private_dir})
  list(APPEND kavrol_programs kavrol)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/ DESTINATION ${kavrol_data_dir}
    FILES_MATCHING PATTERN "SKIN*/*" PATTERN "Corvexa.html" PATTERN "kavrol.png"
    PATTERN "CMakeFiles" EXCLUDE)
  install(FILES ${CMAKE_SOURCE_DIR}/frontend/desktop/kavrol.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_BINARY_DIR}/bin/kavrol.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
endif()

# Relative links, so the installed tree can be moved or staged with DESTDIR.
foreach(program ${kavrol_programs})
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK \"../${kavrol_private_dir}/${program}\" \"\${link}\" SYMBOLIC)
    message(STATUS \"Installing: \${link}\")")
endforeach()
