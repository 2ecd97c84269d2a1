# Dialogs and the shared dialog look, on the offscreen platform.
vistrelcv_add_test(test_dialogs
                   SOURCES dialogs/DialogLookTest.cpp dialogs/DialogsTest.cpp dialogs/DialogTestUtils.h
                   LIBS vistrelcv_ui Qt6::Test
                   LABELS dialogs)
# The camera controls window and the stored controls, on the V4L2 test device (linked, and
# preloaded into a second process that changes a control).
vistrelcv_add_test(test_camera_controls
                   SOURCES dialogs/CameraControlsTest.cpp dialogs/DialogTestUtils.h
                   LIBS vistrelcv_ui fakev4l2 Qt6::Test
                   LABELS dialogs)
target_link_options(test_camera_controls PRIVATE -Wl,--no-as-needed)
target_compile_definitions(test_camera_controls PRIVATE
                           FAKEV4L2_LIBRARY="$<TARGET_FILE:fakev4l2>")
