# Install rules and the Debian package (cpack -G DEB, see scripts/package.sh).

set(_programs lpmeasure lpanalyse lpsynth-tool lpexample veskinfo)
foreach(t ${_programs})
  if(TARGET ${t})
    install(TARGETS ${t} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# veskb2 and the simulated module library stay in a private folder: the
# module library carries the vendor's library name and must not shadow it.
if(TARGET veskb2)
  install(TARGETS veskb2 LIBRARY DESTINATION ${LP_INSTALL_LIBDIR})
endif()
if(TARGET quickusb_sim AND NOT VESKB2_USB_LIBRARY)
  install(TARGETS quickusb_sim LIBRARY DESTINATION ${LP_INSTALL_LIBDIR})
endif()
set_target_properties(veskb2 PROPERTIES INSTALL_RPATH "$ORIGIN")

# The guide, the default EEPF table and the example files.
if(TARGET userguide)
  install(FILES "${CMAKE_BINARY_DIR}/bin/Installation and User Guide.pdf" DESTINATION ${LP_INSTALL_DOCDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/resources/eedf.txt DESTINATION ${LP_INSTALL_DATADIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${LP_INSTALL_DOCDIR}/examples)
# The Python package beside them, for pip and for examples/plot_session.py.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/ DESTINATION ${LP_INSTALL_DOCDIR}/python
        PATTERN build EXCLUDE PATTERN *.egg-info EXCLUDE PATTERN __pycache__ EXCLUDE)

# Menu entry and icon.
if(TARGET lpicon_png AND TARGET lpmeasure)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/lpmeasure.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  # Session files open in lpmeasure on a double-click.
  install(FILES ${PROJECT_SOURCE_DIR}/resources/quendrix-langmuir.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  install(FILES ${CMAKE_BINARY_DIR}/share/lpmeasure.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
endif()

set(CPACK_PACKAGE_NAME ${LP_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Quendrix")
set(CPACK_PACKAGE_CONTACT "Quendrix Langmuir developers <langmuir@quendrix.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Langmuir-probe plasma diagnostics: measurement application and controller library")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The Debian packages the programs run with (Qt 5 and Qwt from Debian 12).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6, libstdc++6, libgcc-s1, libqt5core5a (>= 5.15), libqt5gui5 (>= 5.15), libqt5widgets5 (>= 5.15), libqt5network5 (>= 5.15), libqt5xml5 (>= 5.15), libqt5svg5 (>= 5.15), libqt5printsupport5 (>= 5.15), libqwt-qt5-6, fonts-dejavu-core")
# lpdata (with its compiled module) goes to the system Python's packages; it needs numpy, and
# pandas, matplotlib and Dask serve its tables, plots and archives.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-numpy")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pandas, python3-matplotlib, python3-dask, python3-distributed")
set(CPACK_GENERATOR DEB)
include(CPack)
