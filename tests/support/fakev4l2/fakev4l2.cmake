# The V4L2 test device: a library preloaded into a program (LD_PRELOAD, with FAKEV4L2_ROOT naming
# a folder of node files) that answers the V4L2 calls on those nodes, and the module that makes
# its frames, which the library loads beside itself when a stream starts. Neither is built with
# the sanitizers: the library is preloaded into every process of an end-to-end test.
set(fakev4l2_dir ${CMAKE_CURRENT_LIST_DIR})
set(fakev4l2_warnings -Wall -Wextra -Wpedantic $<$<BOOL:${VISTRELCV_WERROR}>:-Werror>)

add_library(fakev4l2_frames MODULE ${fakev4l2_dir}/FrameMaker.cpp
                                   ${CMAKE_SOURCE_DIR}/capture/TestPattern.cpp)
target_include_directories(fakev4l2_frames PRIVATE ${CMAKE_SOURCE_DIR} ${OpenCV_INCLUDE_DIRS})
target_link_libraries(fakev4l2_frames PRIVATE opencv_core opencv_imgproc opencv_imgcodecs)
target_compile_options(fakev4l2_frames PRIVATE ${fakev4l2_warnings})
set_target_properties(fakev4l2_frames PROPERTIES OUTPUT_NAME fakev4l2frames
                                                 CXX_VISIBILITY_PRESET hidden)

add_library(fakev4l2 SHARED ${fakev4l2_dir}/Interpose.cpp ${fakev4l2_dir}/Libc.h
                            ${fakev4l2_dir}/FakeStream.cpp ${fakev4l2_dir}/FakeStream.h
                            ${fakev4l2_dir}/DeviceSpec.cpp ${fakev4l2_dir}/DeviceSpec.h)
target_link_libraries(fakev4l2 PRIVATE ${CMAKE_DL_LIBS})
target_compile_options(fakev4l2 PRIVATE ${fakev4l2_warnings})
add_dependencies(fakev4l2 fakev4l2_frames)

# The test of the device itself, through the plain V4L2 calls. It links the library, which then
# stands in front of the C library in the test process as a preloaded one would.
vistrelcv_add_test(test_fakev4l2 SOURCES support/fakev4l2/FakeV4l2Test.cpp LIBS fakev4l2
                   LABELS capture)
