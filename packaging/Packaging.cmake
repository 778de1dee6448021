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
set(ZORVIK_PACKAGE_NAMES ${CPACK_DEBIAN_PLUGIN_PACKAGE_NAME} ${CPACK_DEBIAN_TOOLS_PACKAGE_NAME})
# The first line is the synopsis, the others the extended description.
set(CPACK_DEBIAN_PLUGIN_DESCRIPTION
    "Payment by the customer's QR code through the Zorvik service, for Linux tills
A payment plug-in for the till's point-of-sale host: the cashier scans the QR code
that the customer shows in a mobile app, and the plug-in opens a quick-pay session,
registers an order with the receipt's cart and waits until the order is paid or
declined. It refunds and cancels payments, and cancels abandoned orders later
through the host's persistent queue; a payment journal beside its configuration
lets a till that died during a payment cancel that order when it starts again.
.
The host loads lib/zorvikcpqr/libzorvikcpqr.so with the Qt plug-in loader and
reads /trelmo/cash/paysystems/zorvikcpqr/zorvikcpqr.ini; an example configuration
and the English operator texts are in share/zorvikcpqr.")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "Test bench, service simulator and stand-in host library for the Zorvik CPQR plug-in
zorvik-till loads the plug-in as a till's host does and runs a cashier's commands,
the host queue and support queries against it; zorvik-sim simulates the Zorvik
service with scenario codes, faults and a sandbox page that plays the customer's
phone. The stand-in host library they run on lives in a folder of its own and is
never a till's.")

# Every package carries its copyright and its changelog (compressed, as Debian policy asks) in
# /usr/share/doc/<package>/.
set(ZORVIK_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${ZORVIK_CHANGELOG}
    COMMAND sh -c "gzip -9n -c '${PROJECT_SOURCE_DIR}/packaging/changelog' > '${ZORVIK_CHANGELOG}'"
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(changelog ALL DEPENDS ${ZORVIK_CHANGELOG})
foreach(component package IN ZIP_LISTS CPACK_COMPONENTS_ALL ZORVIK_PACKAGE_NAMES)
    install(FILES packaging/copyright ${ZORVIK_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()
# The till loads the plug-in at run time, and the SQLite driver of the plug-in's payment journal
# and of the stand-in queue is loaded at run time too, so no library dependency names them.
set(CPACK_DEBIAN_PLUGIN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "zorvikcpqr (= ${PROJECT_VERSION})")
include(CPack)
