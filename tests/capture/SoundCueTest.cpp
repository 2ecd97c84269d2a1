// Sound cue lookup. Playing them is exercised by every still and movie of the capture tests.
#include "platform/SoundCue.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <gtest/gtest.h>

TEST(SoundCueTest, LookupTakesTheFirstFolderThatHasTheFile) {
    const QString a = testenv::NewFolder("snd-a"), b = testenv::NewFolder("snd-b"),
                  c = testenv::NewFolder("snd-c");
    ASSERT_TRUE(testenv::WriteFile(b + "/rec.wav", {}) && testenv::WriteFile(c + "/rec.wav", {}));
    QDir(a).mkdir("stop.wav"); // a folder by that name is not a sound
    EXPECT_EQ(FindSoundCue("rec.wav", {a, b, c}), b + "/rec.wav");
    EXPECT_EQ(FindSoundCue("stop.wav", {a, b, c}), QString());

    // The executable's folder first, then the user's data folder; the build puts the project's
    // cues beside every program that may play them.
    const QStringList folders = SoundCueFolders();
    const QString exeDir = QCoreApplication::applicationDirPath();
    ASSERT_GE(folders.size(), 2);
    EXPECT_EQ(folders.first(), exeDir);
    EXPECT_EQ(folders.at(1), testenv::Home() + "/.local/share/vistrelcv/sounds");
    // Last, the data folder of the prefix the program runs from, so an install anywhere finds
    // its own cues.
    EXPECT_EQ(folders.last(), QDir::cleanPath(exeDir + "/../share/vistrelcv/sounds"));
    for (const char* cue : {"rec.wav", "stop.wav", "rel.wav"})
        EXPECT_EQ(FindSoundCue(cue, folders), exeDir + '/' + cue);
}
