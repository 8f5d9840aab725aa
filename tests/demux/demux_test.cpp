#include "demux_helpers.h"

#include "engine/Jtv.h"
#include "engine/JtvCtrl.h"
#include "platform/base/clock.h"
#include "tests/support/access_units.h"
#include "tests/support/local_zone.h"
#include "tests/support/media_probe.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

std::int64_t PtsUs(std::int64_t ticks)
{
    return static_cast<std::int64_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(ticks)) * 11.1111);
}

bool StartsWithFrameUnit(const std::vector<std::uint8_t>& b, bool key)
{
    std::size_t i = 0;
    while (i < b.size() && b[i] == 0)
        ++i;
    if (i < 2 || i + 1 >= b.size() || b[i] != 1)
        return false;
    const int nal = b[i + 1] & 0x1F;
    return key ? (nal == 7 || nal == 5) : nal == 1;
}

constexpr const char* kZone = "America/St_Johns";  // half an hour off whole-hour zones

// The date the channel's template carries, and the one `date` gives for a time in kZone.
std::string TemplateDate(CTSChn& chn)
{
    CarInfoRecord t;
    chn.GetTemplate(t);
    char s[32];
    std::snprintf(s, sizeof s, "%04d %02d %02d %02d %02d %02d", t.date[0] + 1800, t.date[1], t.date[2], t.date[3],
                  t.date[4], t.date[5]);
    return s;
}

std::string DateInZone(std::int64_t time)
{
    const auto lines = mediaprobe::Lines(mediaprobe::Shell(std::string("TZ=") + kZone + " date -d @" +
                                                            std::to_string(time) + " '+%Y %m %d %H %M %S'"));
    return lines.empty() ? "" : lines.front();
}

recgen::RecordingSpec SmallSpec()
{
    recgen::RecordingSpec s;
    s.width = 160;
    s.height = 120;
    s.fps = 30;
    s.gop = 15;
    s.seconds = 2.0;
    s.info_hz = 5;
    return s;
}

}  // namespace

TEST(Demux, ForwardPlayQueuesEveryPictureWithItsRecordsAndAudioInStreamOrder)
{
    LocalZone zone(kZone);
    TempDir dir;
    const std::string path = dir.file("a.ts");
    const recgen::RecordingInfo info = Generate(SmallSpec(), path);
    const std::vector<AccessUnit> reference = ReadAccessUnits(path);  // as FFmpeg's own demuxer extracts them
    ASSERT_EQ(reference.size(), info.pictures.size());

    DemuxRig rig;
    ASSERT_TRUE(rig.Start({path}));
    const std::vector<Popped> all = rig.PopUntilEnd();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().type, PKT_END_OF_STREAM);
    const std::vector<Popped> pics = Pictures(all);
    ASSERT_EQ(pics.size(), info.pictures.size());
    for (std::size_t i = 0; i < pics.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(pics[i].type == PKT_KEY_FRAME, info.pictures[i].key);
        EXPECT_EQ(pics[i].pts, PtsUs(info.pictures[i].pts));
        EXPECT_EQ(pics[i].rate, 30);
        EXPECT_EQ(pics[i].direction, 0.0);
        EXPECT_EQ(pics[i].time, static_cast<int>(SmallSpec().start_time + info.pictures[i].pts / 90000));
        // The body is the access unit without the units in front of its first SPS or slice.
        const auto& ref = reference[i].data;
        ASSERT_LE(pics[i].body.size(), ref.size());
        EXPECT_TRUE(std::equal(pics[i].body.begin(), pics[i].body.end(), ref.end() - pics[i].body.size()));
        EXPECT_TRUE(StartsWithFrameUnit(pics[i].body, info.pictures[i].key));
        EXPECT_GE(pics[i].body.size() + 6, ref.size() - 10);  // only the delimiter is dropped
    }
    // The channel's template is dated with the picture queued last.
    EXPECT_EQ(TemplateDate(rig.chn), DateInZone(SmallSpec().start_time + info.pictures.back().pts / 90000));

    // Records: one per private PES, the samples and NMEA as written, each after the pictures
    // that began before it.
    std::size_t record = 0, pictures = 0;
    for (const Popped& p : all) {
        if (p.type == PKT_KEY_FRAME || p.type == PKT_FRAME) {
            ++pictures;
            continue;
        }
        if (p.type != PKT_CAR_INFO)
            continue;
        ASSERT_LT(record, info.records.size());
        const recgen::RecordInfo& w = info.records[record];
        SCOPED_TRACE(record);
        const auto before = std::count_if(info.pictures.begin(), info.pictures.end(),
                                          [&](const recgen::PictureInfo& pi) { return pi.offset < w.offset; });
        EXPECT_EQ(pictures, static_cast<std::size_t>(before));
        EXPECT_EQ(p.record.magic, kCarInfoMagic);
        EXPECT_EQ(p.record.sampleCount, 1);
        EXPECT_EQ(p.record.samples[0].x, static_cast<std::int16_t>(std::trunc(w.x * 512)));
        EXPECT_EQ(p.record.samples[0].y, static_cast<std::int16_t>(std::trunc(w.y * 512)));
        EXPECT_EQ(p.record.samples[0].z, static_cast<std::int16_t>(std::trunc(w.z * 512)));
        EXPECT_EQ(p.record.samples[0].lean, std::clamp(w.lean, -90, 90));
        if (!w.nmea.empty()) {
            EXPECT_EQ(std::string(p.record.NmeaText()), w.nmea.substr(0, 160));
        }
        ++record;
    }
    EXPECT_EQ(record, info.records.size());

    const std::vector<Popped> audio = rig.PopAudio();
    EXPECT_GE(audio.size() + 2, info.audio.size());
    EXPECT_LE(audio.size(), info.audio.size());
    for (const Popped& a : audio)
        EXPECT_EQ(a.type, PKT_AAC_FRAME);
}

TEST(Demux, PtsOnlyStreamsWithShortStartCodesFindTheirKeyFrames)
{
    TempDir dir;
    recgen::RecordingSpec recipe = SmallSpec();
    recipe.video_dts = false;
    recipe.long_start_codes = false;
    recipe.audio = false;
    const std::string path = dir.file("p.ts");
    const recgen::RecordingInfo info = Generate(recipe, path);
    DemuxRig rig;
    ASSERT_TRUE(rig.Start({path}));
    const std::vector<Popped> pics = Pictures(rig.PopUntilEnd());
    ASSERT_EQ(pics.size(), info.pictures.size());
    for (std::size_t i = 0; i < pics.size(); ++i) {
        EXPECT_EQ(pics[i].type == PKT_KEY_FRAME, info.pictures[i].key) << i;
        EXPECT_EQ(pics[i].pts, PtsUs(info.pictures[i].pts)) << i;
    }
}

TEST(Demux, FrameRateFromTheHeaderOrMeasured)
{
    struct Case {
        int fps, byte82, expected;
    };
    for (const Case c : {Case{30, 25, 25}, Case{25, 255, 24}, Case{10, 255, 10}, Case{30, 0, 30}}) {
        SCOPED_TRACE(c.byte82);
        TempDir dir;
        recgen::RecordingSpec recipe = SmallSpec();
        recipe.fps = c.fps;
        recipe.frame_rate_byte = c.byte82;
        recipe.seconds = 4;
        recipe.audio = false;
        const std::string path = dir.file("r.ts");
        Generate(recipe, path);
        DemuxRig rig;
        ASSERT_TRUE(rig.Start({path}));
        const std::vector<Popped> pics = Pictures(rig.PopUntilEnd());
        ASSERT_FALSE(pics.empty());
        EXPECT_EQ(rig.Demux().FramesPerSecond(), c.expected);
        EXPECT_TRUE(rig.Demux().FrameRateMeasured());
        EXPECT_EQ(pics.back().rate, c.expected);
    }
}

TEST(Demux, BackwardPlayGivesTheKeyFramesInReverseAcrossAFileSet)
{
    LocalZone zone(kZone);
    TempDir dir;
    recgen::RecordingSpec recipe = SmallSpec();
    recipe.audio = false;
    std::vector<std::string> paths;
    std::vector<recgen::RecordingInfo> infos;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(recipe, dir.file("card"), 2, false, &paths, &infos, &error)) << error;

    DemuxRig rig;
    ASSERT_TRUE(rig.chn.VideoQueue().Create(kVideoRingBytes, kVideoMaxPacket, true));
    ASSERT_TRUE(rig.chn.AudioQueue().Create(kAudioRingBytes, kAudioMaxPacket, true));
    rig.Demux().SetFileList(paths);
    rig.Demux().SetDirection(1);
    rig.Demux().SetFileFromList(1);
    ASSERT_TRUE(rig.Demux().Play(paths[1]));
    const std::vector<Popped> all = rig.PopUntilEnd();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().type, PKT_END_OF_STREAM);
    std::vector<std::int64_t> expected;
    for (int f = 1; f >= 0; --f)
        for (auto it = infos[f].pictures.rbegin(); it != infos[f].pictures.rend(); ++it)
            if (it->key)
                expected.push_back(PtsUs(it->pts));
    std::vector<std::int64_t> got;
    for (const Popped& p : Pictures(all)) {
        EXPECT_EQ(p.type, PKT_KEY_FRAME);
        EXPECT_EQ(p.direction, -1.0);
        EXPECT_EQ(p.rate, 1);
        got.push_back(p.pts);
    }
    EXPECT_EQ(got, expected);
    for (const Popped& p : all)
        EXPECT_NE(p.type, PKT_CAR_INFO);
    // Dated with the first picture of the set, the last one queued.
    EXPECT_EQ(TemplateDate(rig.chn), DateInZone(recipe.start_time + infos[0].pictures.front().pts / 90000));
}

TEST(Demux, ForwardPlayWalksTheFileSetAndEndsOnce)
{
    TempDir dir;
    recgen::RecordingSpec recipe = SmallSpec();
    std::vector<std::string> paths;
    std::vector<recgen::RecordingInfo> infos;
    std::string error;
    ASSERT_TRUE(recgen::WriteFolder(recipe, dir.file("card"), 3, false, &paths, &infos, &error)) << error;
    DemuxRig rig;
    ASSERT_TRUE(rig.Start(paths));
    const std::vector<Popped> all = rig.PopUntilEnd();
    std::size_t total = 0;
    for (const auto& i : infos)
        total += i.pictures.size();
    EXPECT_EQ(Pictures(all).size(), total);
    EXPECT_EQ(rig.Demux().CurrentFileIndex(), 2);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().type, PKT_END_OF_STREAM);
    // Nothing more after the end while idle.
    PacketDesc d;
    Sleep(300);
    EXPECT_FALSE(rig.chn.VideoQueue().Pop(d));
}

TEST(Demux, SeeksLandOnTheKeyFrameAtOrBeforeThePosition)
{
    TempDir dir;
    recgen::RecordingSpec recipe = SmallSpec();
    recipe.audio = false;
    recipe.info_hz = 0;
    const std::string path = dir.file("s.ts");
    const recgen::RecordingInfo info = Generate(recipe, path);
    DemuxRig rig;
    ASSERT_TRUE(rig.Start({path}));
    rig.PopUntilEnd();
    for (const int t : {500, 0, 999, 250}) {
        SCOPED_TRACE(t);
        EXPECT_EQ(rig.Demux().SeekRelative(t), t);
        while (rig.Demux().RequestPending())
            Sleep(1);
        const std::vector<Popped> pics = Pictures(rig.PopUntilEnd());
        ASSERT_FALSE(pics.empty());
        const std::int64_t target = info.file_size * t / 1000;
        std::int64_t key = info.pictures.front().pts;
        std::size_t first = 0;
        for (std::size_t i = 0; i < info.pictures.size(); ++i)
            if (info.pictures[i].key && info.pictures[i].offset <= target) {
                key = info.pictures[i].pts;
                first = i;
            }
        EXPECT_EQ(pics.front().type, PKT_KEY_FRAME);
        EXPECT_EQ(pics.front().pts, PtsUs(key));
        EXPECT_EQ(pics.size(), info.pictures.size() - first);
    }
}

TEST(Demux, DirectionChangesContinueFromThePictureOnScreen)
{
    TempDir dir;
    recgen::RecordingSpec recipe = SmallSpec();
    recipe.audio = false;
    recipe.info_hz = 0;
    recipe.seconds = 4;
    const std::string path = dir.file("d.ts");
    const recgen::RecordingInfo info = Generate(recipe, path);
    // The channel of an engine, its video thread showing pictures as fast as they decode.
    HJTV h = JtvCreate();
    ASSERT_NE(h, nullptr);
    auto* e = reinterpret_cast<CJtvCtrl*>(h);
    ASSERT_TRUE(e->CreateChannels());
    CVideoCtx& video = e->m_channel.VideoCtx();
    video.SetSyncOff(true);
    e->m_channel.SetSource(nullptr, path);
    ASSERT_TRUE(e->m_channel.Start());
    ASSERT_TRUE(video.Start());
    for (int i = 0; i < 2000 && video.ShownCount() < 20; ++i)
        Sleep(5);
    JtvSetPlaySpeed(h, 0.0);
    std::int64_t pts = 0;
    int position = 0;
    std::int32_t time = 0;
    std::uint64_t shown = 0;
    for (int i = 0; i < 100 && shown != video.ShownCount(); ++i) {
        shown = video.ShownCount();
        Sleep(100);
    }
    ASSERT_TRUE(video.ShownPlace(&pts, &position, &time));
    int onScreen = -1;
    for (std::size_t i = 0; i < info.pictures.size(); ++i)
        if (PtsUs(info.pictures[i].pts) == pts)
            onScreen = static_cast<int>(i);
    ASSERT_GE(onScreen, 15);
    // Frames read beyond it were taken (and dropped) meanwhile, as a video thread that sees the
    // new direction first does: the oldest frame still queued is groups past the screen.
    CVBuffer2& queue = e->m_channel.VideoQueue();
    PacketDesc d;
    for (int taken = 0; taken < 2 * recipe.gop + 5;)
        if (queue.Pop(d))
            taken += d.type == PKT_KEY_FRAME || d.type == PKT_FRAME ? 1 : 0;
        else
            Sleep(1);
    ASSERT_EQ(e->m_channel.Demux().SetDirection(1), 1);
    while (e->m_channel.Demux().RequestPending())
        Sleep(1);
    std::vector<std::int64_t> got;
    for (int idle = 0; idle < 5000;) {
        if (!queue.Pop(d)) {
            Sleep(1);
            ++idle;
            continue;
        }
        if (d.type == PKT_END_OF_STREAM)
            break;
        if (d.type == PKT_KEY_FRAME || d.type == PKT_FRAME)
            got.push_back(d.pts);
    }
    std::vector<std::int64_t> expected;
    for (int i = onScreen; i >= 0; --i)
        if (info.pictures[static_cast<std::size_t>(i)].key)
            expected.push_back(PtsUs(info.pictures[static_cast<std::size_t>(i)].pts));
    EXPECT_EQ(got, expected) << "picture on the screen: " << onScreen;
    JtvDestroy(h);
}

TEST(Demux, DamagedRecordingsPlayWhatIsLeftAndEnd)
{
    struct Case {
        const char* name;
        recgen::Damage damage;
    };
    std::vector<Case> cases;
    Case c{"cut", {}};
    c.damage.cut_at = 40000;
    cases.push_back(c);
    c = Case{"flips", {}};
    c.damage.flips = 200;
    cases.push_back(c);
    c = Case{"notables", {}};
    c.damage.no_tables = true;
    cases.push_back(c);
    c = Case{"garbage", {}};
    c.damage.lead_garbage = 1000;
    c.damage.junk_every = 7;
    cases.push_back(c);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TempDir dir;
        recgen::RecordingSpec recipe = SmallSpec();
        recipe.damage = k.damage;
        const std::string path = dir.file("x.ts");
        const recgen::RecordingInfo info = Generate(recipe, path);
        DemuxRig rig;
        ASSERT_TRUE(rig.Start({path}));
        const std::vector<Popped> all = rig.PopUntilEnd();
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.back().type, PKT_END_OF_STREAM);
        const std::size_t pics = Pictures(all).size();
        if (std::string(k.name) == "notables") {
            EXPECT_EQ(pics, 0u);
        } else if (std::string(k.name) == "garbage") {
            EXPECT_EQ(pics, info.pictures.size());
        } else if (std::string(k.name) == "cut") {
            const auto whole = std::count_if(info.pictures.begin(), info.pictures.end(), [&](const auto& p) {
                return p.offset + p.size + 200 < k.damage.cut_at;
            });
            EXPECT_GE(pics, static_cast<std::size_t>(whole) - 1);
            EXPECT_LE(pics, info.pictures.size());
        }
        // Backwards over the same damage ends too.
        DemuxRig back;
        ASSERT_TRUE(back.Start({path}, 1));
        const std::vector<Popped> rev = back.PopUntilEnd();
        ASSERT_FALSE(rev.empty());
        EXPECT_EQ(rev.back().type, PKT_END_OF_STREAM);
    }
}

TEST(Demux, StopReturnsWhileTheQueueIsFullAndNothingIsPopped)
{
    TempDir dir;
    recgen::RecordingSpec recipe = SmallSpec();
    recipe.seconds = 3;
    recipe.audio = false;
    const std::string path = dir.file("f.ts");
    Generate(recipe, path);
    DemuxRig rig;
    rig.chn.VideoQueue().SetCapacity(10);
    ASSERT_TRUE(rig.Start({path}));
    Sleep(200);
    EXPECT_LE(rig.chn.VideoQueue().MediaCount(), 11);
    rig.Demux().Stop();
    EXPECT_FALSE(rig.Demux().IsThreadAlive());
    // And it starts again on the same buffers.
    ASSERT_TRUE(rig.chn.VideoQueue().Create(kVideoRingBytes, kVideoMaxPacket, true));
    ASSERT_TRUE(rig.chn.AudioQueue().Create(kAudioRingBytes, kAudioMaxPacket, true));
    rig.chn.VideoQueue().SetCapacity(1280);
    ASSERT_TRUE(rig.Demux().Play(path));
    EXPECT_EQ(Pictures(rig.PopUntilEnd()).size(), 90u);
}
