# Dialogs and the shared dialog look, on the offscreen platform.
vistrelcv_add_test(test_dialogs
                   SOURCES dialogs/DialogLookTest.cpp dialogs/SlpDlgTest.cpp
                           dialogs/SelCamDlgTest.cpp dialogs/PrefDlgTest.cpp
                           dialogs/VistrelMessageBoxTest.cpp dialogs/DialogTestUtils.h
                   LIBS vistrelcv_ui Qt6::Test
                   LABELS dialogs)
