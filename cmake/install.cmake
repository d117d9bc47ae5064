# Installing the suite (cmake --install build --prefix DIR) and packaging it as a Debian
# package (cd build && cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS ${SOM_PROGRAMS} somrun RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages, compressed the way Debian keeps them (gzip -9n: no name, no time stamp,
# so the same page always gives the same bytes) when gzip is at hand.
set(SOM_MAN_PAGES
  ${CMAKE_SOURCE_DIR}/docs/man/somrun.1
  ${CMAKE_SOURCE_DIR}/docs/man/som-demos.6)
find_program(SOM_GZIP gzip)
mark_as_advanced(SOM_GZIP)
set(man_outputs)
foreach(page IN LISTS SOM_MAN_PAGES)
  get_filename_component(name ${page} NAME)
  string(REGEX REPLACE "^.*\\.([0-9])$" "\\1" section ${name})
  if(SOM_GZIP)
    set(compressed ${CMAKE_BINARY_DIR}/man/${name}.gz)
    add_custom_command(
      OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${SOM_GZIP} ${page} ${compressed}
      DEPENDS ${page}
      COMMENT "Compressing ${name}"
      VERBATIM)
    list(APPEND man_outputs ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  else()
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endif()
endforeach()
if(man_outputs)
  add_custom_target(man_pages ALL DEPENDS ${man_outputs})
endif()

# "man tessfour" and the like: each program's page is a link to som-demos.6.
if(SOM_GZIP)
  set(man6_suffix .6.gz)
else()
  set(man6_suffix .6)
endif()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man/links)
foreach(program IN LISTS SOM_PROGRAMS)
  set(link ${CMAKE_BINARY_DIR}/man/links/${program}${man6_suffix})
  file(CREATE_LINK som-demos${man6_suffix} ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
endforeach()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME som-demos)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "SOM demos developers")
set(CPACK_PACKAGE_CONTACT "SOM demos developers <som-demos@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-organizing map (Kohonen map) demonstrations")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long description under the summary; CPack indents it for the control file and
# marks the empty line between the paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Eight small programs that train a self-organizing map and draw it in a
window of their own while the terminal they were started from waits for
Enter: a 10 x 10 lattice on a disk (planeanim, animated), on a skewed disk
(planeskew), on a Gaussian cloud (planegauss) and in a ball (solidanim,
animated; solidfit); a 2 x 2 and a 3 x 3 lattice whose regions are then
painted (tessfour, tessnine); and a 40-neuron chain that winds through the
disk (chainanim).

somrun runs any of them without a display, writing a palette PNG at every
pause and the trained weights, exactly, at the end; with --seed a run can be
repeated to the last bit.")

find_program(SOM_DPKG_SHLIBDEPS dpkg-shlibdeps)
mark_as_advanced(SOM_DPKG_SHLIBDEPS)
if(SOM_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libsdl2-2.0-0, libpng16-16")
endif()

include(CPack)
