# The Debian package, made by CPack from the install rules: `cpack -G DEB` in a build folder (what
# scripts/package does) gives vistrelcv_<version>_amd64.deb. Its dependencies on libraries are
# worked out by dpkg-shlibdeps from what the program links; what it loads at run time or needs
# beside the libraries is named here.
set(VISTRELCV_MAINTAINER "Quenbor <vistrelcv@quenbor.jp>"
    CACHE STRING "Maintainer of the Debian package: \"Name <address>\"")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vistrelcv)
set(CPACK_PACKAGE_VENDOR Quenbor)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "camera viewer and recorder in a small translucent window")
# Debian wants the lines of the long description under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Each running instance serves one camera: it shows the live picture in a
borderless, rounded, translucent window, takes JPEG stills and records MPEG-1
movies into numbered files, mirrors the picture on request and keeps its
settings per camera.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
# Stripped with plain strip, which leaves the compiler's .comment section: lintian's one remark
# left, an informational tag (binary-has-unneeded-section) that costs a few hundred bytes.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VISTRELCV_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The icons are drawn by Qt's SVG plugins, which are loaded, not linked; every text the program
# shows is Japanese, so it needs a font with Japanese glyphs.
# libav's libraries are loaded when first needed, not linked, so dpkg-shlibdeps does not see them:
# the packages named by the major versions of the headers the program was built against.
set(libav_packages)
foreach(lib avformat avcodec avutil swscale swresample)
  string(REGEX MATCH "^[0-9]+" major "${FFMPEG_lib${lib}_VERSION}")
  list(APPEND libav_packages "lib${lib}${major}")
endforeach()
string(JOIN ", " libav_depends ${libav_packages})
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6svg6, ${libav_depends}, fonts-noto-cjk | fonts-japanese-gothic")
# Wayland support, Qt's own Japanese texts, the sound theme's fall-back cues, libcanberra's
# PulseAudio back end (a plugin too), without which the cues go to ALSA even when PulseAudio or
# PipeWire runs; xdg-open for the menu item that opens the save folder; and GStreamer's plugins
# for pipeline sources: the base set (videotestsrc, videoconvert, appsink), the good one (v4l2src)
# and PipeWire's (pipewiresrc; the program reads PipeWire cameras with libpipewire itself).
string(JOIN ", " CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland qt6-translations-l10n
       sound-theme-freedesktop libcanberra-pulse xdg-utils gstreamer1.0-plugins-base
       gstreamer1.0-plugins-good gstreamer1.0-pipewire)
# What Debian wants beside the program in /usr/share/doc/vistrelcv: the licences in its
# machine-readable form and a changelog, whose one entry is this version, dated by its release.
set(package_doc ${CMAKE_INSTALL_DATADIR}/doc/vistrelcv)
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -R -d "${VISTRELCV_RELEASE_DATE}"
                OUTPUT_VARIABLE VISTRELCV_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
set(changelog ${CMAKE_BINARY_DIR}/package/changelog)
configure_file(${CMAKE_SOURCE_DIR}/res/debian/changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT ${changelog}.gz COMMAND gzip -9 -n -f -k ${changelog}
                   DEPENDS ${changelog} VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${CMAKE_SOURCE_DIR}/res/debian/copyright ${changelog}.gz DESTINATION ${package_doc})
include(CPack)
