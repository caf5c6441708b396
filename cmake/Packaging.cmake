# Debian package of the installed program (`make package` runs `cpack -G DEB`
# in the build directory). Runtime dependencies are computed from the binary
# with dpkg-shlibdeps; the Qt platform plugins are loaded at run time, so
# their package is named here, and so are Qt's own translations, which are
# loaded at start-up.

set(CPACK_PACKAGE_NAME "quarbe")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Quarbe developers")
set(CPACK_PACKAGE_CONTACT "The Quarbe developers <quarbe@packages.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "antenna bearing and distance for mobile radio amateurs")
# Lines of the long description stay within Debian's 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Quarbe keeps the vehicle and a correspondent in view, each by its QRA\n\
(Maidenhead) locator and its coordinates, and shows the distance, the true\n\
and relative azimuths and the correspondent's azimuth back. It follows a\n\
GPS receiver on a serial port (NMEA 0183) or through gpsd, points an\n\
antenna rotator through a parallel port or through Hamlib (a rotator\n\
controller or rotctld) and draws a compass needle over a picture of the\n\
vehicle. The user interface is in French.")
set(CPACK_STRIP_FILES ON)

# A Debian package installs under /usr whatever prefix the build was
# configured with; the program finds its data in share/quarbe next to its bin
# directory as well as under the configured prefix.
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

set(CPACK_DEBIAN_PACKAGE_NAME "quarbe")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "hamradio")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")

include(CPack)
