# Dialogs and the shared dialog look, on the offscreen platform.
vistrelcv_add_test(test_dialogs
                   SOURCES dialogs/DialogLookTest.cpp dialogs/DialogsTest.cpp dialogs/DialogTestUtils.h
                   LIBS vistrelcv_ui Qt6::Test
                   LABELS dialogs)
