// The preview player on a machine that may have no sound device: it plays
// at its own pace, reports progress, reaches the end once per pass and
// starts again from 0.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/factory.h"
#include "core/kinds.h"
#include "corvexa/media_player.h"
#include "media_fixtures.h"

namespace {

using namespace corvexa;
using namespace std::chrono_literals;

using PlayerHandle = media_test::Owned<MediaPlayer>;

PlayerHandle make_player() { return media_test::make_object<MediaPlayer>(core::construct_mediaplaydll); }

// What the player reported, in order.
struct Progress {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<int> values;

  static void callback(std::int32_t percent, std::intptr_t user) {
    auto* self = reinterpret_cast<Progress*>(user);
    std::lock_guard<std::mutex> hold(self->lock);
    self->values.push_back(percent);
    self->changed.notify_all();
  }
  // Waits (generously: the machine may be busy) until `count` reports have
  // come after the first 100; false if they never do.
  bool wait_past_end(std::size_t count) {
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_for(hold, 60s, [&] {
      auto end = std::find(values.begin(), values.end(), 100);
      return end != values.end() && static_cast<std::size_t>(values.end() - end - 1) >= count;
    });
  }
  std::vector<int> copy() {
    std::lock_guard<std::mutex> hold(lock);
    return values;
  }
};

class CountingSurface final : public PreviewSurface {
 public:
  bool IsVisible() override { return true; }
  void Present(const std::uint8_t* pixels, std::int32_t width, std::int32_t height) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (pixels != nullptr && width == 160 && height == 120) ++pictures_;
  }
  int pictures() {
    std::lock_guard<std::mutex> hold(lock_);
    return pictures_;
  }

 private:
  std::mutex lock_;
  int pictures_ = 0;
};

std::string short_clip() {
  return media_test::ffmpeg_fixture(
      "short.mov", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 "
                   "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -c:v mpeg4 -c:a aac");
}

TEST(PreviewPlayer, PlaysToTheEndReportsItOnceAndStartsAgain) {
  const std::string clip = short_clip();
  ASSERT_FALSE(clip.empty());
  PlayerHandle player = make_player();
  ASSERT_TRUE(player->PlayerOpen(clip.c_str()));
  EXPECT_TRUE(player->PlayerHasVideo());
  EXPECT_TRUE(player->PlayerHasAudio());
  EXPECT_NEAR(player->GetDurationMs(), 1000, 100);
  std::int32_t w = 0, h = 0;
  player->GetVideoSize(&w, &h);
  EXPECT_EQ(w, 160);
  EXPECT_EQ(h, 120);

  Progress progress;
  CountingSurface surface;
  ASSERT_TRUE(player->PlayerPlay(&surface, &Progress::callback, reinterpret_cast<std::intptr_t>(&progress)));
  ASSERT_TRUE(progress.wait_past_end(1)) << "the end was never reported";
  // Right after the end the position counts from 0 again.
  EXPECT_LT(player->GetPositionMs(), 900);
  player->PlayerStop();
  EXPECT_EQ(player->GetPositionMs(), 0);

  const std::vector<int> values = progress.copy();
  const auto end = std::find(values.begin(), values.end(), 100);
  ASSERT_NE(end, values.end());
  EXPECT_EQ(std::count(values.begin(), end + 1, 100), 1);
  for (auto v = values.begin(); v != end; ++v) {
    EXPECT_GE(*v, 0);
    EXPECT_LE(*v, 99);
    if (v != values.begin()) {
      EXPECT_GE(*v, *(v - 1)) << "progress went back before the end";
    }
  }
  EXPECT_LT(*(end + 1), 100) << "after the end the pass starts again";
  EXPECT_GT(surface.pictures(), 0);
  player->PlayerClose();
  EXPECT_EQ(player->GetPositionMs(), -1);
}

TEST(PreviewPlayer, SoundOnlyIgnoresTheSurface) {
  const std::string mp3 = media_test::ffmpeg_fixture(
      "player_tone.mp3", std::string(media_test::kTestTone) + " -c:a libmp3lame");
  ASSERT_FALSE(mp3.empty());
  PlayerHandle player = make_player();
  ASSERT_TRUE(player->PlayerOpen(mp3.c_str()));
  EXPECT_FALSE(player->PlayerHasVideo());
  EXPECT_TRUE(player->PlayerHasAudio());
  std::int32_t w = -1, h = -1;
  player->GetVideoSize(&w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  CountingSurface surface;
  ASSERT_TRUE(player->PlayerPlay(&surface, nullptr, 0));
  EXPECT_FALSE(player->ToggleFullScreen());
  player->PlayerClose();
  EXPECT_EQ(surface.pictures(), 0);
}

TEST(PreviewPlayer, PauseSeekAndVolume) {
  const std::string clip = short_clip();
  ASSERT_FALSE(clip.empty());
  PlayerHandle player = make_player();
  ASSERT_TRUE(player->PlayerOpen(clip.c_str()));
  EXPECT_EQ(player->GetPositionMs(), 0);
  EXPECT_TRUE(player->SeekTo(600));
  EXPECT_EQ(player->GetPositionMs(), 600) << "a still player stays where it was put";
  EXPECT_TRUE(player->SeekTo(50000));
  EXPECT_EQ(player->GetPositionMs(), player->GetDurationMs()) << "no further than the end";

  ASSERT_TRUE(player->SeekTo(0));
  ASSERT_TRUE(player->PlayerPlay(nullptr, nullptr, 0));
  ASSERT_TRUE(player->PlayerPause());
  const std::int64_t paused_at = player->GetPositionMs();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(player->GetPositionMs(), paused_at) << "the clock stands while paused";
  EXPECT_EQ(player->PlayerResume(), 0);

  EXPECT_TRUE(player->SetVolume(-2500));
  EXPECT_EQ(player->GetVolume(), -2500);
  EXPECT_TRUE(player->SetVolume(400));
  EXPECT_EQ(player->GetVolume(), 0);
  player->PlayerStop();
  EXPECT_EQ(player->GetPositionMs(), 0);
}

TEST(PreviewPlayer, RefusesNothingToPlay) {
  PlayerHandle player = make_player();
  EXPECT_FALSE(player->PlayerOpen(nullptr));
  EXPECT_FALSE(player->PlayerOpen(""));
  EXPECT_FALSE(player->PlayerOpen("/nonexistent/clip.mp4"));
  EXPECT_FALSE(player->PlayerPlay(nullptr, nullptr, 0));
  EXPECT_FALSE(player->PlayerPause());
  EXPECT_LT(player->PlayerResume(), 0);
  EXPECT_FALSE(player->SetVolume(-100));
  EXPECT_EQ(player->GetPositionMs(), -1);
  EXPECT_EQ(player->GetDurationMs(), 0);
  player->PlayerStop();
  player->PlayerClose();
}

}  // namespace
