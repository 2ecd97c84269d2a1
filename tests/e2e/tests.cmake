# End-to-end tests: the real program under Xvfb (and Weston for Wayland), driven with xdotool.
set(E2E_SCENARIOS two_stills sigterm_during_recording second_instance_same_camera no_camera
                  help_and_version translucency_and_look wayland_run
                  camera_lost_and_back)
foreach(scenario IN LISTS E2E_SCENARIOS)
  add_test(NAME e2e.${scenario} COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/scenarios.sh ${scenario})
  set_tests_properties(e2e.${scenario} PROPERTIES LABELS e2e TIMEOUT 120
    ENVIRONMENT "BINARY=$<TARGET_FILE:vistrelcv>;E2E_SCREENSHOTS=${CMAKE_BINARY_DIR}/e2e-screenshots")
endforeach()
