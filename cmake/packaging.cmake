# The installed layout of the Linux program and its Debian package, made by
# CPack's DEB generator (`cpack -G DEB` in the build folder; scripts/package
# does it). The Windows installers come from packaging/windows instead.
if(WIN32 OR NOT BREVALT_BUILD_SHELL)
  return()
endif()

set(brevalt_pkg ${PROJECT_SOURCE_DIR}/packaging/linux)
set(brevalt_pkg_build ${PROJECT_BINARY_DIR}/packaging)

# The program and its log folder beside it, which is a link into /var: the
# logs are variable data, and the rotation renames through the link.
install(TARGETS brevalt RUNTIME DESTINATION opt/brevalt)
install(PROGRAMS ${brevalt_pkg}/brevalt-autostart DESTINATION opt/brevalt)
file(MAKE_DIRECTORY ${brevalt_pkg_build})
# On PATH through a link: the program still finds its log folder and its
# sensor beside /opt/brevalt/brevalt, as the kernel names the link's target.
file(CREATE_LINK /opt/brevalt/brevalt ${brevalt_pkg_build}/brevalt SYMBOLIC)
install(FILES ${brevalt_pkg_build}/brevalt DESTINATION usr/bin)
file(CREATE_LINK /var/opt/brevalt/log ${brevalt_pkg_build}/log SYMBOLIC)
install(FILES ${brevalt_pkg_build}/log DESTINATION opt/brevalt)
install(DIRECTORY DESTINATION var/opt/brevalt/log)
# The metrics file's folder (metrics= in brevalt.ini): the operators write
# it, everyone reads it, as the exporter runs as its own user.
install(DIRECTORY DESTINATION var/opt/brevalt/metrics)

# The settings, also the working folder of both desktop entries.
install(FILES packaging/brevalt.ini DESTINATION etc/opt/brevalt)
install(FILES ${brevalt_pkg}/brevalt.desktop DESTINATION usr/share/applications)
install(FILES ${brevalt_pkg}/brevalt-autostart.desktop DESTINATION etc/xdg/autostart RENAME brevalt.desktop)
install(FILES assets/brevalt.png DESTINATION usr/share/icons/hicolor/32x32/apps)

# Documentation: the manual page, the operator's guide (the README), the
# copyright, the changelog (all but the copyright compressed, as policy
# wants) and the example wrapper that runs a real sensor.
foreach(doc ${brevalt_pkg}/changelog ${brevalt_pkg}/brevalt.1 ${PROJECT_SOURCE_DIR}/README.md)
  get_filename_component(doc_name ${doc} NAME)
  execute_process(COMMAND gzip -9nc ${doc} OUTPUT_FILE ${brevalt_pkg_build}/${doc_name}.gz)
  # An edit configures again, so the package never carries an old copy.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${doc})
endforeach()
# The guide's own pictures stay in the repository: it reads as plain text.
install(FILES ${brevalt_pkg_build}/brevalt.1.gz DESTINATION usr/share/man/man1)
install(FILES ${brevalt_pkg}/copyright ${brevalt_pkg_build}/changelog.gz ${brevalt_pkg_build}/README.md.gz
        DESTINATION usr/share/doc/brevalt)
install(FILES ${brevalt_pkg}/snort packaging/brevalt.rules.yml DESTINATION usr/share/doc/brevalt/examples)
# The machine's service, enabled and started by the maintainer scripts.
install(FILES ${brevalt_pkg}/brevalt.service DESTINATION lib/systemd/system)
install(FILES ${brevalt_pkg}/lintian-overrides DESTINATION usr/share/lintian/overrides RENAME brevalt)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brevalt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Brevalt developers <developers@brevalt.invalid>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps an intrusion-detection sensor running, rotates its logs daily")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Brevalt keeps the network sensor (Snort) running from boot, as the systemd
service brevalt, and, once a day at the time set in
/etc/opt/brevalt/brevalt.ini, stops it, gives its two logs dated names and
starts it again. Operators see and steer it from the notification area and
with brevalt status|start|stop|rotate; with the service disabled, each
operator's desktop session runs the sensor instead. It deletes dated logs
only where brevalt.ini asks for it (keep=N keeps those of the N newest
dates); removing or purging the package never deletes a log.")
# Qt's platform plugins are loaded at run time, so shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, init-system-helpers (>= 1.54~), qt6-qpa-plugins")
# The window's captions and the operator's texts are Japanese: without a font
# that has the glyphs they show as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${brevalt_pkg}/postinst ${brevalt_pkg}/prerm ${brevalt_pkg}/postrm ${brevalt_pkg}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
