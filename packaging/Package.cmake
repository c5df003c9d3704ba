# cpack -G DEB: one package, corvessa, with everything `cmake --install` puts in place.
set(CPACK_PACKAGE_NAME corvessa)
set(CPACK_PACKAGE_VENDOR "Corvessa")
set(CPACK_PACKAGE_CONTACT "Corvessa maintainers <maintainers@users.noreply.c-seed-1043b3bd.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "repair tool for damaged Outlook mail stores (.pst, .ost)")
set(CPACK_PACKAGE_DESCRIPTION "Corvessa reads a damaged Outlook data file of either layout without writing to it
and writes what it can salvage into a new .pst file. krv-repair is its command line;
the developer tools krv-mkpst, krv-damage, krv-inspect and krv-pstcheck come with it.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The C and C++ run-time libraries the programs were linked against, as dpkg-shlibdeps
# finds them; libKRV.so is the package's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pst-utils, pff-tools")
set(CPACK_STRIP_FILES ON)
include(CPack)
