#include <gtest/gtest.h>

#include "support/recording_platform.h"
#include "update/controller/controller_update.h"

namespace vesk {
namespace {

using test::RecordingPlatform;

std::shared_future<ResultCode> Finished(ResultCode result) {
  std::promise<ResultCode> promise;
  promise.set_value(result);
  return promise.get_future().share();
}

TEST(ControllerProgressTest, SuccessfulWriterGetsTheFullDisplayAndTheSuccessLine) {
  RecordingPlatform platform;
  ShowControllerProgress(platform, Finished(kResultOk));
  const std::string out = platform.OutText();
  EXPECT_EQ(out.substr(0, 28), "Updating FX3 Driver... 0.00%");
  EXPECT_NE(out.find("\rUpdating FX3 Driver...  0.33%"), std::string::npos);
  EXPECT_NE(out.find("\rUpdating FX3 Driver... 99.67%"), std::string::npos);
  const std::string ending =
      "\rUpdating FX3 Driver... 100.00%\rUpdating FX3 Driver... 100.00%\n"
      "Update completed successfully!\n";
  EXPECT_EQ(out.substr(out.size() - ending.size()), ending);
  // 1.5 s before the first line, then 301 steps of 100 ms.
  EXPECT_EQ(platform.TotalPaused(), std::chrono::milliseconds(1500 + 301 * 100));
}

TEST(ControllerProgressTest, FailedWriterEndsTheDisplayWithoutTheSuccessLine) {
  std::promise<ResultCode> promise;
  std::shared_future<ResultCode> writer = promise.get_future().share();
  struct FailingMidway : RecordingPlatform {
    std::promise<ResultCode>* Writer;
    int Steps = 0;
    void Pause(std::chrono::milliseconds d) override {
      RecordingPlatform::Pause(d);
      if (++Steps == 10) Writer->set_value(kResultFileUnreadable);
    }
  } platform;
  platform.Writer = &promise;
  ShowControllerProgress(platform, writer);
  const std::string out = platform.OutText();
  EXPECT_EQ(out.find("Update completed successfully!"), std::string::npos);
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(platform.Pauses().size(), 10u) << "the display must stop as soon as the writer failed";
}

}  // namespace
}  // namespace vesk
