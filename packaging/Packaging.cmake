# cpack -G DEB: the plug-in, the host layer library, the tools, the catalogues and an example
# configuration in one Debian package.
set(CPACK_PACKAGE_NAME zorvikcpqr)
set(CPACK_PACKAGE_VENDOR "Zorvik CPQR plug-in developers")
set(CPACK_PACKAGE_CONTACT "Zorvik CPQR plug-in developers <developers@zorvikcpqr.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Payment by the customer's QR code through the Zorvik service, for Linux tills")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The SQLite driver is loaded at run time, so no library dependency names it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
