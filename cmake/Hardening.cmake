# Debian's hardening flags, as dpkg-buildflags gives them (all of them, bindnow included, unless
# DEB_BUILD_MAINT_OPTIONS says otherwise), for every build of the program, so that any build can
# be packaged. The build type keeps deciding optimisation and debug information: those flags, and
# the path mapping meant for Debian's own source packages, are left out. Sanitizer builds and
# machines without dpkg-buildflags go without.
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS OR VISTRELCV_SANITIZE)
  return()
endif()
if(DEFINED ENV{DEB_BUILD_MAINT_OPTIONS})
  set(maint_options "$ENV{DEB_BUILD_MAINT_OPTIONS}")
else()
  set(maint_options "hardening=+all")
endif()

function(vistrelcv_buildflags kind out)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=${maint_options}"
                          ${DPKG_BUILDFLAGS} --get ${kind}
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-(O|g|ffile-prefix-map=|fdebug-prefix-map=)")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

vistrelcv_buildflags(CPPFLAGS cpp_flags)
vistrelcv_buildflags(CXXFLAGS cxx_flags)
vistrelcv_buildflags(LDFLAGS ld_flags)
# glibc's checked functions need an optimising build type, and say so in a warning otherwise.
list(TRANSFORM cpp_flags REPLACE "^(-D_FORTIFY_SOURCE=.*)$"
     "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:\\1>")
target_compile_options(vistrelcv_options INTERFACE ${cpp_flags} ${cxx_flags})
target_link_options(vistrelcv_options INTERFACE ${ld_flags})
