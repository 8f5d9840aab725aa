// The card source in the running path: while a set plays, the card source's current entry,
// the file the demultiplexer reads and the engine's file index follow every file change.

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "tests/support/playharness/harness.h"
#include "tests/support/recipes.h"
#include "tests/support/tempdir.h"
#include "tools/recgen/recgen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Recordings of 25 s at 60 pictures a second hold more pictures than the video queue (1280),
// so the demultiplexer reads the file on the screen, not one far ahead.
TEST(CardSourceInPlay, TheCardSourceTheReaderAndTheFileIndexAgreeAfterEveryFileChange)
{
    TempDir dir;
    recgen::RecordingSpec rec = PicturesRecipe(64, 64, 60, 60, 25);
    std::vector<std::string> paths;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(rec, dir.file("card"), 3, false, &paths, nullptr, &error)) << error;

    const playharness::Reference unnamed;
    playharness::Session s(unnamed);
    ASSERT_TRUE(s.OpenFolder(dir.file("card")));
    CJtvCtrl* e = reinterpret_cast<CJtvCtrl*>(s.engine());
    const auto agreeOn = [&](int n) {
        return s.RunUntil(
            [&] {
                return JtvGetFileIndex(s.engine()) == n && e->m_sourceBox.CurrentFileIndex() == n &&
                       e->m_channel.Demux().CurrentFileIndex() == n;
            },
            10000);
    };
    const auto indices = [&] {
        return "engine " + std::to_string(JtvGetFileIndex(s.engine())) + ", card source " +
               std::to_string(e->m_sourceBox.CurrentFileIndex()) + ", demultiplexer " +
               std::to_string(e->m_channel.Demux().CurrentFileIndex());
    };
    const int start = static_cast<int>(rec.start_time);

    s.Seek(start + 23);  // two seconds before the first file ends; play goes on into the second
    EXPECT_TRUE(agreeOn(1)) << indices();
    s.Seek(start + 51);  // one second into the third
    EXPECT_TRUE(agreeOn(2)) << indices();
    JtvSelectFile(s.engine(), 0);
    EXPECT_TRUE(agreeOn(0)) << indices();
}

}  // namespace
