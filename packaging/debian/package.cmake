# The Debian package mailvak_<version>_amd64.deb, made by cpack from the install
# rules (scripts/package-debian configures with -DMAILVAK_DEBIAN_PACKAGE=ON and
# the prefix /usr). On top of the programs it installs what Debian asks of every
# package: the manual page gzipped, and copyright and changelog.gz in
# /usr/share/doc/mailvak.

file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^mailvak \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog starts with '${newest}', "
                      "not with an entry for version ${PROJECT_VERSION}")
endif()

# gzip -n: no name or time stamp, so the same sources give the same package.
set(debian_dir ${CMAKE_BINARY_DIR}/debian)
set(gzip sh -c "gzip -9n < \"$0\" > \"$1\"")
add_custom_command(OUTPUT ${debian_dir}/mailvak.1.gz ${debian_dir}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${debian_dir}
  COMMAND ${gzip} ${CMAKE_SOURCE_DIR}/docs/mailvak.1 ${debian_dir}/mailvak.1.gz
  COMMAND ${gzip} ${CMAKE_CURRENT_LIST_DIR}/changelog ${debian_dir}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/mailvak.1 ${CMAKE_CURRENT_LIST_DIR}/changelog VERBATIM)
add_custom_target(debian_files ALL DEPENDS ${debian_dir}/mailvak.1.gz ${debian_dir}/changelog.gz)
install(FILES ${debian_dir}/mailvak.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${debian_dir}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mailvak)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Mailvak-ontwikkelaars <mailvak@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps an eye on up to 80 POP3 mailboxes from a terminal")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Mailvak is a full-screen, keyboard-driven terminal program that lists, per\n"
  "account, what waits on a POP3 server (number, sender, subject, date, size)\n"
  "without becoming a mail store. It shows a message's body lines and headers,\n"
  "fetches a message into an .eml file for the desktop's mail viewer, and\n"
  "deletes one message, a marked selection or a whole mailbox on the server.\n"
  "Every server operation is one run of its POP3 tool mboxtool, which speaks\n"
  "TLS with OpenSSL. All texts on screen are Dutch.")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
