# End-to-end tests: the real program under Xvfb, driven with xdotool.
set(E2E_SCENARIOS two_stills movie sigterm_during_recording second_instance_same_camera
                  second_camera_beside_first placement_comes_back no_camera drag_moves_window
                  help_and_version chooser_cancel chooser_pick double_click_opens_panel
                  panel_rec_still panel_movie panel_comes_back translucency_and_look
                  camera_lost_and_back)
if(NOT TARGET vistrelcv)
  return()
endif()
foreach(scenario IN LISTS E2E_SCENARIOS)
  add_test(NAME e2e.${scenario} COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/scenarios.sh ${scenario})
  set_tests_properties(e2e.${scenario} PROPERTIES LABELS e2e TIMEOUT 120
    ENVIRONMENT "BINARY=$<TARGET_FILE:vistrelcv>;E2E_SCREENSHOTS=${CMAKE_BINARY_DIR}/e2e-screenshots")
endforeach()
