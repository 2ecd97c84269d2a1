# The Debian package, made by CPack from the install rules: `cpack -G DEB` in a build folder (what
# scripts/package does) gives vistrelcv_<version>_amd64.deb. Its dependencies on libraries are
# worked out by dpkg-shlibdeps from what the program links; what it loads at run time or needs
# beside the libraries is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vistrelcv)
set(CPACK_PACKAGE_VENDOR Quenbor)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "camera viewer and recorder in a small translucent window")
set(CPACK_PACKAGE_DESCRIPTION
    "Each running instance serves one camera: it shows the live picture in a borderless, rounded,
translucent window, takes JPEG stills and records MPEG-1 movies into numbered files, mirrors the
picture on request and keeps its settings per camera.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER Quenbor)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The icons are drawn by Qt's SVG plugins, which are loaded, not linked; every text the program
# shows is Japanese, so it needs a font with Japanese glyphs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, fonts-noto-cjk | fonts-japanese-gothic")
# Wayland support, Qt's own Japanese texts, the sound theme's fall-back cues, and libcanberra's
# PulseAudio back end (a plugin too), without which the cues go to ALSA even when PulseAudio or
# PipeWire runs; GStreamer's PipeWire elements (plugins too), through which cameras that only
# PipeWire reaches are opened.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-wayland, qt6-translations-l10n, sound-theme-freedesktop, libcanberra-pulse, gstreamer1.0-pipewire")
include(CPack)
