# Capture engine tests. Movies are checked with ffprobe; recordings that must be killed or run
# out of disk space run in a helper process.
add_executable(capture_recording_helper capture/RecordingHelper.cpp)
target_link_libraries(capture_recording_helper PRIVATE vistrelcv_core vistrelcv_options)

vistrelcv_add_test(test_capture
                   SOURCES capture/CaptureTestSupport.cpp capture/CaptureTestSupport.h
                           capture/CameraSourceTest.cpp capture/FramePathTest.cpp
                           capture/CVControllerTest.cpp capture/ShutterTest.cpp
                           capture/SoundCueTest.cpp
                           ${CMAKE_SOURCE_DIR}/testdevices/v4l2/CameraJpeg.cpp
                   LABELS capture)
find_package(JPEG REQUIRED) # the decoder's tests make frames as webcams do
target_link_libraries(test_capture PRIVATE JPEG::JPEG)
vistrelcv_add_test(test_capture_recording
                   SOURCES capture/CaptureTestSupport.cpp capture/CaptureTestSupport.h
                           capture/SoundSync.cpp capture/SoundSync.h
                           capture/RecordingTest.cpp capture/PulseAudioTest.cpp
                   LABELS capture)
add_dependencies(test_capture_recording capture_recording_helper)
target_compile_definitions(test_capture_recording PRIVATE
                           RECORDING_HELPER="$<TARGET_FILE:capture_recording_helper>")
vistrelcv_copy_sounds(test_capture)

# Real V4L2 cameras: the test process links the V4L2 test device, which answers for the node
# files of the folder each test makes.
vistrelcv_add_test(test_capture_v4l2
                   SOURCES capture/CaptureTestSupport.cpp capture/CaptureTestSupport.h
                           capture/V4l2CameraTest.cpp
                   LIBS fakev4l2
                   LABELS capture)
# Nothing of the test calls into the device library, so the linker would drop it unless told to
# keep it; kept, it stands in front of the C library as a preloaded one would.
target_link_options(test_capture_v4l2 PRIVATE -Wl,--no-as-needed)

# Cameras through PipeWire and the camera portal: a private PipeWire daemon, session manager and
# session bus (tests/support/pipewire.sh), virtual cameras from a helper, a stand-in portal.
vistrelcv_add_test(test_pipewire
                   SOURCES capture/PipeWireTest.cpp capture/CaptureTestSupport.cpp
                           capture/CaptureTestSupport.h capture/SoundSync.cpp capture/SoundSync.h
                   LIBS PkgConfig::PIPEWIRE
                   LABELS pipewire)
add_dependencies(test_pipewire pipewire_camera_helper pipewire_microphone_helper
                 capture_recording_helper)
target_compile_definitions(test_pipewire PRIVATE
                           RECORDING_HELPER="$<TARGET_FILE:capture_recording_helper>"
                           PIPEWIRE_CAMERA_HELPER="$<TARGET_FILE:pipewire_camera_helper>"
                           PIPEWIRE_MICROPHONE_HELPER="$<TARGET_FILE:pipewire_microphone_helper>"
                           PIPEWIRE_SH="${CMAKE_SOURCE_DIR}/tests/support/pipewire.sh"
                           PORTAL_STANDIN="${CMAKE_SOURCE_DIR}/tests/support/camera_portal.py")
