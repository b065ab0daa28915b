# What `cmake --install` puts where, and the Debian package that CPack builds
# from it (./package.sh). The files themselves live in data/.
include(GNUInstallDirs)

set(KESTRUN_PACKAGE rv450-kestrun)
set(KESTRUN_APP_ID example.kestrun.RV450Kestrun)
set(KESTRUN_MAINTAINER "RV450 Kestrun for Linux developers <rv450-kestrun@kestrun.example>")
set(KESTRUN_DEB_RELEASE 1)
set(KESTRUN_DEB_VERSION ${PROJECT_VERSION}-${KESTRUN_DEB_RELEASE})
set(KESTRUN_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${KESTRUN_PACKAGE})
set(KESTRUN_DATA ${PROJECT_SOURCE_DIR}/data)
set(KESTRUN_STAGE ${PROJECT_BINARY_DIR}/install-files)

# Every program of the package: its target goes to bin/ and its man page,
# data/man/<program>.1, to man1. A new program is one more name here.
set(KESTRUN_PROGRAMS rv450-kestrun rv450-cli rv450-sim rv450-bench)

# Folders made by the install are rwxr-xr-x whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

find_program(KESTRUN_GZIP gzip REQUIRED)
set(kestrun_generated)

# Compressed the way Debian wants it: best compression, no name or time stamp.
function(kestrun_gzip source output)
  get_filename_component(name ${source} NAME)
  get_filename_component(dir ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${dir}/${name}
    COMMAND ${KESTRUN_GZIP} -9nf ${dir}/${name}
    DEPENDS ${source} VERBATIM)
  set(kestrun_generated ${kestrun_generated} ${output} PARENT_SCOPE)
endfunction()

foreach(program IN LISTS KESTRUN_PROGRAMS)
  if(NOT TARGET ${program})
    continue()  # the window is not built (KESTRUN_WITH_UI=OFF)
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  kestrun_gzip(${KESTRUN_DATA}/man/${program}.1 ${KESTRUN_STAGE}/man/${program}.1.gz)
  install(FILES ${KESTRUN_STAGE}/man/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

if(TARGET rv450-kestrun)
  install(FILES ${KESTRUN_DATA}/${KESTRUN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${KESTRUN_DATA}/${KESTRUN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
  install(FILES ${KESTRUN_DATA}/rv450-kestrun.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
  # The bitmap sizes are rendered from the SVG.
  find_program(KESTRUN_RSVG_CONVERT rsvg-convert REQUIRED)
  foreach(size 48 256)
    set(png ${KESTRUN_STAGE}/icons/${size}x${size}/rv450-kestrun.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTRUN_STAGE}/icons/${size}x${size}
      COMMAND ${KESTRUN_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${KESTRUN_DATA}/rv450-kestrun.svg
      DEPENDS ${KESTRUN_DATA}/rv450-kestrun.svg VERBATIM)
    list(APPEND kestrun_generated ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

# The package's doc folder: copyright, changelog and the example udev rule.
configure_file(${KESTRUN_DATA}/changelog.Debian.in ${KESTRUN_STAGE}/changelog.Debian @ONLY)
kestrun_gzip(${KESTRUN_STAGE}/changelog.Debian ${KESTRUN_STAGE}/doc/changelog.Debian.gz)
install(FILES ${KESTRUN_DATA}/copyright ${KESTRUN_DATA}/70-rv450-kestrun.rules
              ${KESTRUN_STAGE}/doc/changelog.Debian.gz
        DESTINATION ${KESTRUN_DOC_DIR})

install(FILES ${KESTRUN_DATA}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        RENAME ${KESTRUN_PACKAGE})

add_custom_target(kestrun_install_files ALL DEPENDS ${kestrun_generated})

# ---- The Debian package -----------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KESTRUN_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "RV450 Kestrun for Linux developers")
set(CPACK_PACKAGE_CONTACT ${KESTRUN_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure RV450 GPS trackers over a serial port")
set(CPACK_PACKAGE_DESCRIPTION
    "RV450 Kestrun reads the settings of an RV450 GPS tracker over a serial port
into one form, lets the user edit them with a live preview of every command
line and writes them back group by group. Whole settings sets are kept in INI
config files, and every line of serial traffic is logged. A port that does not
open is explained: the program that holds it, ModemManager, or the group to
join.

The package holds the tool (rv450-kestrun), a tracker simulator on a
pseudo-terminal (rv450-sim) and a benchmark of the exchange (rv450-bench).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KESTRUN_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KESTRUN_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.kestrun.example/)
# Libraries from the binaries; Qt's platform plugins (xcb, offscreen, ...) are
# loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
