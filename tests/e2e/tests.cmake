# End-to-end tests: the real program under Xvfb (and Weston for Wayland), driven with xdotool.
set(E2E_SCENARIOS desktop camera_lost_and_back no_camera stuck_camera wayland_run leaving
                  started_together)
foreach(scenario IN LISTS E2E_SCENARIOS)
  add_test(NAME e2e.${scenario} COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/scenarios.sh ${scenario})
  set_tests_properties(e2e.${scenario} PROPERTIES LABELS e2e TIMEOUT 120
    ENVIRONMENT "BINARY=$<TARGET_FILE:vistrelcv>;FAKEV4L2=$<TARGET_FILE:fakev4l2>;E2E_SCREENSHOTS=${CMAKE_BINARY_DIR}/e2e-screenshots")
endforeach()
# Twenty starts and ends of the program, each waiting on a camera stuck inside a read.
set_tests_properties(e2e.leaving PROPERTIES TIMEOUT 300)
