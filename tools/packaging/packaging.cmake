# Installing and packaging. `cmake --install` puts libcvconnect.so and
# libcvsetup.so in the system's ODBC driver folder (<libdir>/odbc, e.g.
# /usr/lib/x86_64-linux-gnu/odbc) and an odbcinst template that
# `odbcinst -i -d -f` registers; `cpack -G DEB` builds a .deb whose postinst
# registers the driver and whose prerm unregisters it.
set(CV_DRIVER_NAME "Corvane PAYPAL ODBC Driver")
set(CV_ODBC_DIR ${CMAKE_INSTALL_LIBDIR}/odbc)
set(CV_ODBC_FULL_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/odbc)
set(CV_TEMPLATE_DIR ${CMAKE_INSTALL_DATADIR}/${PROJECT_NAME})
set(CV_TEMPLATE_PATH ${CMAKE_INSTALL_FULL_DATADIR}/${PROJECT_NAME}/odbcinst.ini.template)
set(cv_pkg ${CMAKE_CURRENT_LIST_DIR})

install(TARGETS cvdriver LIBRARY DESTINATION ${CV_ODBC_DIR})
if(TARGET cvsetup)
  install(TARGETS cvsetup LIBRARY DESTINATION ${CV_ODBC_DIR})
endif()
configure_file(${cv_pkg}/odbcinst.ini.in ${CMAKE_BINARY_DIR}/packaging/odbcinst.ini.template @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/odbcinst.ini.template DESTINATION ${CV_TEMPLATE_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

configure_file(${cv_pkg}/postinst.in ${CMAKE_BINARY_DIR}/packaging/postinst @ONLY)
configure_file(${cv_pkg}/prerm.in ${CMAKE_BINARY_DIR}/packaging/prerm @ONLY)

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ODBC driver presenting the PayPal REST API as a relational database")
set(CPACK_PACKAGE_CONTACT "Corvane ODBC developers <odbc@corvane.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# odbcinst runs the maintainer scripts; libodbcinst is loaded at run time,
# so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "odbcinst, libodbcinst2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "unixodbc")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_BINARY_DIR}/packaging/postinst;${CMAKE_BINARY_DIR}/packaging/prerm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
