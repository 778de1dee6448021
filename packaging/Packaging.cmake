# cpack -G DEB: two Debian packages. zorvikcpqr holds what a till installs: the plug-in, its
# catalogues and an example configuration. zorvikcpqr-tools holds zorvik-till, zorvik-sim and the
# stand-in host library they run on, in a folder of its own. Binaries are stripped.
set(CPACK_PACKAGE_NAME zorvikcpqr)
set(CPACK_PACKAGE_VENDOR "Zorvik CPQR plug-in developers")
set(CPACK_PACKAGE_CONTACT "Zorvik CPQR plug-in developers <developers@zorvikcpqr.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Payment by the customer's QR code through the Zorvik service, for Linux tills")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL plugin tools)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The plug-in needs the host library, which the till brings; the built one stands in for it when
# the dependencies are worked out.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME zorvikcpqr)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME zorvikcpqr-tools)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "Test bench, service simulator and stand-in host library for the Zorvik CPQR plug-in")
# The till loads the plug-in at run time, and the SQLite driver of the plug-in's payment journal
# and of the stand-in queue is loaded at run time too, so no library dependency names them.
set(CPACK_DEBIAN_PLUGIN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "zorvikcpqr (= ${PROJECT_VERSION})")
include(CPack)
