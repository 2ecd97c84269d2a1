# Desktop integration: the install tree and the Debian package, checked as a user's system would
# see them.
foreach(check install deb)
  add_test(NAME package.${check}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check.sh ${check} ${CMAKE_BINARY_DIR}
                   ${PROJECT_VERSION} ${VISTRELCV_APP_ID})
  set_tests_properties(package.${check} PROPERTIES LABELS package TIMEOUT 180)
endforeach()
