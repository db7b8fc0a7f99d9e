# Installing: the programs in bin/, the module and the libraries they share in
# lib/plenthtools/, each finding the others relative to its own place; and the Debian
# package of the same tree (make deb).
set(PLENTH_LIBRARY_DIR lib/plenthtools)
set(plenth_programs plenth plenth-map)
set(plenth_libraries PlenthTools plenth_com plenth_ui plenth_ui_qt plenth_registry plenth_gis plenth_hostapp plenth_hostpainter)
foreach(target IN LISTS plenth_programs plenth_libraries)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN;$ORIGIN/../${PLENTH_LIBRARY_DIR}")
  endif()
endforeach()
foreach(target IN LISTS plenth_programs)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION bin)
  endif()
endforeach()
install(TARGETS ${plenth_libraries} LIBRARY DESTINATION ${PLENTH_LIBRARY_DIR})
# The Python package, where the system's Python finds it: lib/python3/dist-packages
# under /usr (as Debian's own packages, and the .deb), lib/python3.X/dist-packages under
# any other prefix (/usr/local). Its extension finds the libraries in lib/plenthtools by
# its own place, three folders up, and is stripped as the other binaries are.
if(TARGET _native)
  install(CODE "
    get_filename_component(prefix_name \"\${CMAKE_INSTALL_PREFIX}\" NAME)
    if(prefix_name STREQUAL \"usr\")
      set(python_dir \"\${CMAKE_INSTALL_PREFIX}/lib/python3/dist-packages\")
    else()
      set(python_dir \"\${CMAKE_INSTALL_PREFIX}/lib/python${PLENTH_PYTHON_VERSION}/dist-packages\")
    endif()
    file(INSTALL DESTINATION \"\${python_dir}\" TYPE DIRECTORY FILES \"${CMAKE_BINARY_DIR}/python/plenthtools\"
         PATTERN __pycache__ EXCLUDE)
    set(native \"\$ENV{DESTDIR}\${python_dir}/plenthtools/$<TARGET_FILE_NAME:_native>\")
    file(RPATH_SET FILE \"\${native}\" NEW_RPATH \"$ORIGIN/../../../plenthtools\")
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" \"\${native}\")
    endif()
  ")
endif()
# The QGIS plugin, in QGIS's plugin folder under the prefix (/usr/share/qgis/python/plugins
# for the .deb); it finds the package under the same prefix, or on the system's Python path.
if(TARGET plenthtools_qgis)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/qgis/plenthtools DESTINATION share/qgis/python/plugins
          PATTERN __pycache__ EXCLUDE)
endif()
install(FILES README.md DESTINATION share/doc/plenthtools)
# The README shows its pictures from docs/ beside it.
install(DIRECTORY docs DESTINATION share/doc/plenthtools OPTIONAL FILES_MATCHING PATTERN "*.png")
if(EXISTS ${CMAKE_SOURCE_DIR}/apps/plenth-map/plenth-map.desktop)
  install(FILES apps/plenth-map/plenth-map.desktop DESTINATION share/applications)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plenthtools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Plenth GIS lab")
set(CPACK_PACKAGE_CONTACT "Plenth GIS lab <gislab@plenth.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tools designed for use in Plenth GIS lab")
# One string: separate quoted pieces would become a list, joined by ";" in the package.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "The PlenthTools module with its command-line host plenth and its desktop map application plenth-map:\n"
    "grid export and import, the effort surface, polygon clip statistics, grid spot, line orientation\n"
    "and the point grid generator, on rasters and shapefiles read through GDAL.\n"
    "Also the Python package plenthtools and a QGIS plugin that puts the tools into Processing.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# What the programs load rather than link: Qt's screen plugins and a font to draw with.
# The Python package's extension is built for one version of Python.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
if(TARGET _native)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
         ", python3 (>= ${PLENTH_PYTHON_VERSION}), python3 (<< ${PLENTH_PYTHON_VERSION}.999)")
endif()
# The QGIS plugin runs in QGIS's Python; qgis_process and the desktop come with qgis.
if(TARGET plenthtools_qgis)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-qgis")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qgis")
endif()
include(CPack)
