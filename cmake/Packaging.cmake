# Installation (cmake --install), the Debian package (cmake --build build --target package) and the
# checks of the installed files. Included at the end of the top-level CMakeLists, once every program's
# target exists.

include(GNUInstallDirs)

set(ASTRELVO_APP_ID org.astrelvo.Astrelvo)
# The documentation directory is named after the package, not after the CMake project. On Windows
# everything goes into the one program folder (Program Files\Astrelvo).
if(WIN32)
  set(ASTRELVO_BINDIR .)
  set(ASTRELVO_DOCDIR .)
else()
  set(ASTRELVO_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(ASTRELVO_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/astrelvo)
endif()

# Where the About box finds the user manual (app/UserManual.cpp): beside the program, wherever the
# package was installed, and from the build tree the README of the sources.
file(RELATIVE_PATH ASTRELVO_MANUAL_FROM_BINDIR
     ${CMAKE_INSTALL_PREFIX}/${ASTRELVO_BINDIR} ${CMAKE_INSTALL_PREFIX}/${ASTRELVO_DOCDIR}/MANUAL.md)
# A cross-built Windows tree runs under Wine, which shows the build machine's root as drive Z:.
set(ASTRELVO_HOST_ROOT "")
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(ASTRELVO_HOST_ROOT "Z:")
endif()
target_compile_definitions(astrelvo_app PRIVATE
  ASTRELVO_MANUAL_FROM_BINDIR="${ASTRELVO_MANUAL_FROM_BINDIR}"
  ASTRELVO_MANUAL_INSTALLED="${CMAKE_INSTALL_PREFIX}/${ASTRELVO_DOCDIR}/MANUAL.md"
  ASTRELVO_BUILD_DIR="${ASTRELVO_HOST_ROOT}${CMAKE_BINARY_DIR}"
  ASTRELVO_SOURCE_README="${ASTRELVO_HOST_ROOT}${CMAKE_SOURCE_DIR}/README.md")

# The programs.
foreach(program astrelvo astrelvo-cli astrelvo-emulator)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${ASTRELVO_BINDIR})
  endif()
endforeach()

# The user manual, the README and the licence.
install(FILES ${CMAKE_SOURCE_DIR}/docs/MANUAL.md ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${ASTRELVO_DOCDIR})
# The manual's pictures, beside it as its links expect.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images DESTINATION ${ASTRELVO_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${ASTRELVO_DOCDIR})

if(WIN32)
  # The Windows programs carry Qt, its bundled libraries, kissfft and the MinGW-w64 runtime inside
  # them (all linked statically): their licences go with them.
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/licenses/ DESTINATION licenses)

  # The installer: build-win/Astrelvo-VERSION-win64.exe (cmake --build build-win --target package),
  # made with NSIS. It installs into Program Files\Astrelvo, adds a Start-menu entry and an uninstaller
  # that removes all it installed; /S installs and uninstalls silently. The program started from the
  # Start menu writes its exports into the user's Documents folder (ui/main/main.cpp).
  set(CPACK_GENERATOR NSIS)
  set(CPACK_PACKAGE_NAME Astrelvo)
  set(CPACK_PACKAGE_VENDOR "Astrelvo")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "periodic-error logger and configurator for RZ4 mount controllers")
  set(CPACK_PACKAGE_FILE_NAME Astrelvo-${PROJECT_VERSION}-win64)
  set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Astrelvo)
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Astrelvo)
  set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_DISPLAY_NAME "Astrelvo ${PROJECT_VERSION}")
  set(CPACK_NSIS_PACKAGE_NAME Astrelvo)
  set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/data/icons/${ASTRELVO_APP_ID}.ico)
  set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/data/icons/${ASTRELVO_APP_ID}.ico)
  set(CPACK_NSIS_INSTALLED_ICON_NAME astrelvo.exe)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  # A 64-bit installer for a 64-bit program (it also runs under a Wine without 32-bit support).
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
  # (NSIS takes single quotes too: CPack writes these lines into its configuration without escaping
  # double quotes.)
  set(CPACK_NSIS_CREATE_ICONS_EXTRA
      "  SetOutPath '$INSTDIR'\n  CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Astrelvo.lnk' '$INSTDIR\\\\astrelvo.exe'")
  # Also the vendor key above the installer's own registry key, which would stay behind empty.
  set(CPACK_NSIS_DELETE_ICONS_EXTRA
      "  Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Astrelvo.lnk'\n  DeleteRegKey /ifempty SHCTX 'Software\\\\Astrelvo'")
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

# Menu entry, AppStream metainfo and icon (the PNGs are rendered from the SVG by
# data/icons/make-pngs.sh and kept in the repository).
set(ASTRELVO_DATA ${CMAKE_SOURCE_DIR}/data)
install(FILES ${ASTRELVO_DATA}/${ASTRELVO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ASTRELVO_DATA}/${ASTRELVO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${ASTRELVO_DATA}/icons/${ASTRELVO_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${ASTRELVO_DATA}/icons/hicolor/${size}x${size}/${ASTRELVO_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Manual pages, compressed as Debian installs them (-n: no name or time stamp, so the build repeats).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(ASTRELVO_MAN_PAGES)
foreach(page astrelvo astrelvo-cli astrelvo-emulator)
  set(source ${CMAKE_SOURCE_DIR}/docs/man/${page}.1)
  set(copy ${CMAKE_BINARY_DIR}/man/${page}.1)
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${GZIP_PROGRAM} -9nf ${copy}
    DEPENDS ${source}
    COMMENT "Compressing the manual page ${page}.1"
    VERBATIM)
  list(APPEND ASTRELVO_MAN_PAGES ${copy}.gz)
endforeach()
add_custom_target(astrelvo_man_pages ALL DEPENDS ${ASTRELVO_MAN_PAGES})
install(FILES ${ASTRELVO_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)


# The rest (the Debian package and the checks of the installed files) is for Debian and its kin.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

# The Debian package: build/astrelvo_VERSION_ARCH.deb. dpkg-shlibdeps finds the shared libraries the
# programs link (Qt 6, kissfft, the C++ runtime); the Qt platform plugins are loaded at run time, so
# they are named here.
find_program(DPKG_PROGRAM dpkg)
if(DPKG_PROGRAM)
  execute_process(COMMAND ${DPKG_PROGRAM} --print-architecture
                  OUTPUT_VARIABLE ASTRELVO_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
  set(ASTRELVO_DEB_ARCH amd64)
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME astrelvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Astrelvo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "periodic-error logger and configurator for RZ4 mount controllers")
set(CPACK_PACKAGE_DESCRIPTION
    "Astrelvo connects to the RZ4 closed-loop motor controller of a telescope mount over a serial\n\
port, logs the mount's encoder while it tracks, graphs the tracking error live, measures the\n\
periodic error and configures the controller's closed loop (PID and aux parameters, motor\n\
current, tracking, encoder calibration, EEPROM). It comes with a headless logger (astrelvo-cli)\n\
and a controller emulator (astrelvo-emulator).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_FILE_NAME astrelvo_${PROJECT_VERSION}_${ASTRELVO_DEB_ARCH}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ASTRELVO_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)

# Checks of the installed files: the menu entry and the metainfo as the desktop's tools read them, and
# the programs run from a staging copy of the installation. A missing checker skips its test (exit 77).
set(ASTRELVO_CHECKS ${CMAKE_SOURCE_DIR}/tests/install)
add_test(NAME InstallChecks.DesktopEntryIsValid
         COMMAND ${ASTRELVO_CHECKS}/validate.sh desktop-file-validate
                 ${ASTRELVO_DATA}/${ASTRELVO_APP_ID}.desktop)
add_test(NAME InstallChecks.MetainfoIsValid
         COMMAND ${ASTRELVO_CHECKS}/validate.sh appstreamcli validate --no-net
                 ${ASTRELVO_DATA}/${ASTRELVO_APP_ID}.metainfo.xml)
add_test(NAME InstallChecks.StagedInstallRuns
         COMMAND ${ASTRELVO_CHECKS}/staged-install.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}
                 ${CMAKE_BINARY_DIR}/install-check ${PROJECT_VERSION} ${ASTRELVO_MANUAL_FROM_BINDIR})
add_test(NAME InstallChecks.PackageNamesItsDependencies
         COMMAND ${ASTRELVO_CHECKS}/package.sh ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR}
                 ${CMAKE_BINARY_DIR}/package-check ${PROJECT_VERSION})
set_tests_properties(InstallChecks.DesktopEntryIsValid InstallChecks.MetainfoIsValid
                     InstallChecks.StagedInstallRuns InstallChecks.PackageNamesItsDependencies
                     PROPERTIES LABELS install SKIP_RETURN_CODE 77)
set_tests_properties(InstallChecks.StagedInstallRuns InstallChecks.PackageNamesItsDependencies
                     PROPERTIES TIMEOUT 120 RESOURCE_LOCK astrelvo_install)
